#include "SqlShell.h"

#include <readline/history.h>
#include <readline/readline.h>

#include <cstdlib>
#include <istream>
#include <ostream>

#include "AdoCopy.h"
#include "platform/automation/Error.h"
#include "platform/automation/VbaText.h"
#include "platform/dao/DBEngine.h"
#include "platform/dao/Recordset.h"
#include "platform/dao/Workspace.h"
#include "platform/jet/JetCatalog.h"
#include "platform/jet/JetConnection.h"
#include "platform/jet/JetEngine.h"
#include "platform/os/HostServices.h"

namespace qvdb {

namespace {

using qv::TrimWhitespace;

// The statement without its trailing ";" (and spaces).
std::string Statement(std::string_view text) {
  std::string s(TrimWhitespace(text));
  while (!s.empty() && s.back() == ';')
    s = std::string(TrimWhitespace(std::string_view(s).substr(0, s.size() - 1)));
  return s;
}

// Whether a ";" ends the text outside quotes and brackets, so that a
// statement spanning lines is complete.
bool EndsStatement(const std::string& text) {
  char quote = 0;
  bool bracket = false;
  char last = 0;
  for (char c : text) {
    if (quote) {
      if (c == quote) quote = 0;
    } else if (bracket) {
      if (c == ']') bracket = false;
    } else if (c == '\'' || c == '"') {
      quote = c;
    } else if (c == '[') {
      bracket = true;
    }
    if (!quote && !bracket && c != ' ' && c != '\t' && c != '\n' && c != '\r') last = c;
  }
  return !quote && !bracket && last == ';';
}

std::string HistoryFile() {
  const char* home = std::getenv("HOME");
  return std::string(home ? home : ".") + "/.qvdb_history";
}

constexpr const char* kHelp =
    "Statements end with \";\" and may span lines. Commands:\n"
    "  .tables               the tables of the database\n"
    "  .schema [TABLE]       columns (Jet types), Required, indexes\n"
    "  .translate STATEMENT  the SQLite text the statement runs as\n"
    "  .format table|tsv|json\n"
    "  .quit\n";

}  // namespace

std::string JetTypeText(qv::jet::JetType type, int32_t size) {
  std::string name(qv::jet::JetTypeName(type));
  if (type == qv::jet::JetType::kText || type == qv::jet::JetType::kChar ||
      type == qv::jet::JetType::kBinary || type == qv::jet::JetType::kVarBinary)
    name += "(" + std::to_string(size == 0 ? 255 : size) + ")";
  return name;
}

SqlSession::SqlSession(const std::filesystem::path& file, Format format, std::ostream& out,
                       std::ostream& err)
    : format_(format), out_(out), err_(err) {
  ws_ = qv::dao::DBEngine::ForThread()->DefaultWorkspace();
  db_ = ws_->Open(file.string(), {.readOnly = qv::os::OpensReadOnly(file.string())});
}

SqlSession::~SqlSession() {
  if (db_) db_->Close();
}

void SqlSession::Execute(const std::string& statement) {
  const std::string sql = Statement(statement);
  if (sql.empty()) return;
  if (server_) return ExecuteOnServer(sql);
  auto& conn = db_->Connection();
  if (conn.Translate(sql)->kind == qv::jet::StatementKind::kSelect) {
    auto rs = db_->OpenStatement(sql, qv::dao::dbOpenSnapshot);
    auto rows = DaoToAdo(*rs);
    rs->Close();
    PrintRecordset(out_, *rows, format_);
    return;
  }
  const int64_t n = db_->ExecuteSql(sql);
  if (format_ == Format::kJson)
    out_ << "{\"rowsAffected\":" << n << "}\n";
  else
    out_ << n << (n == 1 ? " row affected\n" : " rows affected\n");
}

void SqlSession::PrintTables() {
  for (const std::string& name :
       server_ ? server_->TableNames() : db_->Connection().Schema().TableNames())
    out_ << name << '\n';
}

void SqlSession::PrintSchema(const std::string& table) {
  std::vector<std::string> names;
  if (table.empty())
    names = server_ ? server_->TableNames() : db_->Connection().Schema().TableNames();
  else
    names.push_back(table);
  for (size_t t = 0; t < names.size(); ++t) {
    auto spec =
        server_ ? server_->FindTable(names[t]) : db_->Connection().Schema().FindTable(names[t]);
    if (!spec)
      throw qv::Error(qv::jet::jeterr::kTableNotFound, "Table '" + names[t] + "' does not exist.");
    if (t) out_ << '\n';
    out_ << "TABLE " << spec->name << '\n';
    size_t width = 0;
    for (const auto& f : spec->fields) width = std::max(width, f.name.size());
    for (const auto& f : spec->fields) {
      out_ << "  " << f.name << std::string(width + 2 - f.name.size(), ' ')
           << JetTypeText(f.type, f.size);
      if (f.required) out_ << " REQUIRED";
      if (qv::jet::IsTextType(f.type) && !f.allowZeroLength) out_ << " NOT ZERO-LENGTH";
      if (!f.defaultValue.empty()) out_ << " DEFAULT " << f.defaultValue;
      out_ << '\n';
    }
    for (const auto& idx : spec->indexes) {
      out_ << "  INDEX " << idx.name << " (";
      for (size_t i = 0; i < idx.fields.size(); ++i)
        out_ << (i ? ", " : "") << idx.fields[i].name << (idx.fields[i].descending ? " DESC" : "");
      out_ << ")" << (idx.primary ? " PRIMARY" : idx.unique ? " UNIQUE" : "") << '\n';
    }
  }
}

bool SqlSession::Dot(const std::string& line) {
  const std::string text(TrimWhitespace(line));
  const size_t space = text.find_first_of(" \t");
  const std::string cmd = text.substr(0, space);
  const std::string arg = space == std::string::npos
                              ? ""
                              : std::string(TrimWhitespace(std::string_view(text).substr(space)));
  if (cmd == ".quit" || cmd == ".exit") return false;
  if (cmd == ".tables") {
    PrintTables();
  } else if (cmd == ".schema") {
    PrintSchema(Statement(arg));
  } else if (cmd == ".translate") {
    const std::string sql = Statement(arg);
    out_ << (server_ ? server_->Translate(sql) : db_->Connection().Translate(sql))->sql << '\n';
  } else if (cmd == ".format") {
    format_ = ParseFormat(arg);
  } else if (cmd == ".help") {
    out_ << kHelp;
  } else {
    qv::ThrowVb(qv::vberr::kInvalidProcedureCall, "unknown command \"" + cmd + "\" (try .help)");
  }
  return true;
}

void SqlSession::PrintError(const std::exception& e) {
  ++errors_;
  if (auto* qe = dynamic_cast<const qv::Error*>(&e))
    err_ << ErrorReport(*qe) << std::endl;
  else
    err_ << "Error: " << e.what() << std::endl;
}

bool SqlSession::Feed(const std::string& line) {
  try {
    if (pending_.empty() && TrimWhitespace(line).starts_with(".")) return Dot(line);
    if (pending_.empty() && TrimWhitespace(line).empty()) return true;
    pending_ += pending_.empty() ? line : "\n" + line;
    if (!EndsStatement(pending_)) return true;
    std::string statement;
    statement.swap(pending_);
    Execute(statement);
  } catch (const std::exception& e) {
    PrintError(e);
  }
  return true;
}

int SqlSession::RunScript(std::istream& in) {
  std::string line;
  while (std::getline(in, line))
    if (!Feed(line)) return errors_;
  if (!TrimWhitespace(pending_).empty()) {  // a last statement without ";"
    std::string statement;
    statement.swap(pending_);
    try {
      Execute(statement);
    } catch (const std::exception& e) {
      PrintError(e);
    }
  }
  return errors_;
}

int SqlSession::RunInteractive() {
  const std::string history = HistoryFile();
  using_history();
  read_history(history.c_str());
  out_ << "qvdb sql on " << (server_ ? server_->Location() : db_->Name())
       << ". Statements end with \";\"; .help for commands.\n";
  for (;;) {
    char* raw = readline(pending_.empty() ? "qvdb> " : "  ...> ");
    if (!raw) break;
    std::string line(raw);
    std::free(raw);
    if (!TrimWhitespace(line).empty()) add_history(line.c_str());
    if (!Feed(line)) break;
    out_.flush();
  }
  write_history(history.c_str());
  history_truncate_file(history.c_str(), 1000);
  return errors_;
}

}  // namespace qvdb
