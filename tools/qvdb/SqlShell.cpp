#include "SqlShell.h"

#include <readline/history.h>
#include <readline/readline.h>
#include <sys/select.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <istream>
#include <ostream>
#include <sstream>

#include "AdoCopy.h"
#include "ResultWriter.h"
#include "SqlDump.h"
#include "TextWidth.h"
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

struct SqlSession::Source {
  std::string name;  // "" for standard input
  size_t line = 0;
  bool interactive = false;
  bool located = true;  // errors name the line
};

namespace {

using qv::TrimWhitespace;

// Set by Ctrl-C while the interactive shell runs; the connection of the
// statement running, which Ctrl-C stops inside its step too.
volatile std::sig_atomic_t g_interrupt = 0;
qv::jet::Connection* volatile g_running = nullptr;
void OnInterrupt(int) {
  g_interrupt = 1;
  if (qv::jet::Connection* conn = g_running) conn->Interrupt();
}

// The statement without its trailing ";" (and spaces).
std::string Statement(std::string_view text) {
  std::string s(TrimWhitespace(text));
  while (!s.empty() && s.back() == ';')
    s = std::string(TrimWhitespace(std::string_view(s).substr(0, s.size() - 1)));
  return s;
}

// A table name as a command argument: without a ";", brackets or quotes.
std::string NameArgument(std::string_view text) {
  std::string s = Statement(text);
  if (s.size() >= 2 &&
      ((s.front() == '[' && s.back() == ']') || (s.front() == '"' && s.back() == '"') ||
       (s.front() == '\'' && s.back() == '\'')))
    s = s.substr(1, s.size() - 2);
  return s;
}

bool IsBlank(std::string_view s) {
  return TrimWhitespace(s).empty();
}

std::string HistoryFile() {
  const char* home = std::getenv("HOME");
  return std::string(home ? home : ".") + "/.qvdb_history";
}

constexpr const char* kHelp =
    "Statements end with \";\" and may span lines. Commands:\n"
    "  .tables [PATTERN]     the tables of the database (* and ? in PATTERN)\n"
    "  .schema [TABLE]       columns (Jet types), Required, indexes\n"
    "  .dump [TABLE]         Jet SQL that .read loads again\n"
    "  .read FILE            runs the statements and commands of FILE\n"
    "  .translate STATEMENT  the SQLite text the statement runs as\n"
    "  .format table|tsv|csv|json  (also .mode)\n"
    "  .timer on|off         the time of each statement\n"
    "  .quit\n";

constexpr const char* kDotCommands[] = {".tables",    ".schema", ".dump", ".read",
                                        ".translate", ".format", ".mode", ".timer",
                                        ".help",      ".quit",   ".exit"};

constexpr const char* kSqlWords[] = {
    "select",      "from",     "where", "group by", "order by",     "having",       "insert into",
    "values",      "update",   "set",   "delete",   "inner join",   "left join",    "right join",
    "on",          "and",      "or",    "not",      "null",         "is null",      "like",
    "between",     "distinct", "top",   "as",       "asc",          "desc",         "count(",
    "sum(",        "min(",     "max(",  "avg(",     "create table", "create index", "drop table",
    "alter table", "union",    "in ("};

// The words Tab completes from, made at the first Tab.
std::vector<std::string>* g_words = nullptr;

char* NextWord(const char* text, int state) {
  static size_t next = 0;
  if (state == 0) next = 0;
  const std::string_view prefix(text);
  while (g_words && next < g_words->size()) {
    const std::string& w = (*g_words)[next++];
    if (w.size() >= prefix.size() && qv::EqualsAsciiNoCase(w.substr(0, prefix.size()), prefix))
      return strdup(w.c_str());
  }
  return nullptr;
}

char** Complete(const char* text, int, int) {
  rl_attempted_completion_over = 1;  // no file names
  return rl_completion_matches(text, NextWord);
}

// A pattern over UTF-8 texts, compared in lower case.
bool Glob(std::string_view s, std::string_view p) {
  if (p.empty()) return s.empty();
  if (p[0] == '*' || p[0] == '%') {
    for (size_t i = 0; i <= s.size(); ++i)
      if (Glob(s.substr(i), p.substr(1))) return true;
    return false;
  }
  if (s.empty()) return false;
  if (p[0] == '?' || p[0] == '_') {
    size_t n = 1;
    while (n < s.size() && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) ++n;
    return Glob(s.substr(n), p.substr(1));
  }
  return s[0] == p[0] && Glob(s.substr(1), p.substr(1));
}

}  // namespace

bool MatchesTablePattern(std::string_view name, std::string_view pattern) {
  return pattern.empty() || Glob(qv::LCase(name), qv::LCase(pattern));
}

std::string JetTypeText(qv::jet::JetType type, int32_t size) {
  std::string name(qv::jet::JetTypeName(type));
  if (type == qv::jet::JetType::kText || type == qv::jet::JetType::kChar ||
      type == qv::jet::JetType::kBinary || type == qv::jet::JetType::kVarBinary)
    name += "(" + std::to_string(size == 0 ? 255 : size) + ")";
  return name;
}

std::shared_ptr<qv::dao::Database> OpenShellDatabase(const std::filesystem::path& file) {
  auto ws = qv::dao::DBEngine::ForThread()->DefaultWorkspace();
  return ws->Open(file.string(), {.readOnly = qv::os::OpensReadOnly(file.string())});
}

SqlSession::SqlSession(const std::filesystem::path& file, Format format, std::ostream& out,
                       std::ostream& err)
    : db_(OpenShellDatabase(file)), format_(format), out_(out), err_(err) {}

SqlSession::~SqlSession() {
  if (db_) db_->Close();
}

void SqlSession::Execute(const std::string& statement) {
  const std::string sql = Statement(statement);
  if (sql.empty()) return;
  if (server_) return ExecuteOnServer(sql);
  auto& conn = db_->Connection();
  const auto started = std::chrono::steady_clock::now();
  if (conn.Translate(sql)->kind == qv::jet::StatementKind::kSelect) {
    // Each row is printed as it is read; the statement holds one row.
    auto st = conn.Prepare(sql);
    // Ctrl-C after the line was read, before the statement started: the
    // rest of the line is dropped.
    if (g_interrupt)
      throw qv::Error(qv::jet::jeterr::kCanceled, "Interrupted: the statement was stopped");
    std::vector<ResultColumn> columns;
    for (int i = 0; i < st.ColumnCount(); ++i) {
      const auto& c = st.Column(i);
      columns.push_back({c.name, AdoTypeForJet(c.type, c.size).type});
    }
    ResultWriter writer(out_, format_);
    writer.Begin(std::move(columns));
    std::vector<qv::Variant> row(st.ColumnCount());
    try {
      while (st.Step()) {
        if (g_interrupt) {
          g_interrupt = 0;
          throw qv::Error(qv::jet::jeterr::kCanceled, "Interrupted: the statement was stopped");
        }
        st.Values(row);
        writer.Row(row);
      }
    } catch (...) {
      writer.End();  // the rows read before the error are shown
      throw;
    }
    writer.End();
  } else {
    const int64_t n = db_->ExecuteSql(sql);
    if (format_ == Format::kJson)
      out_ << "{\"rowsAffected\":" << n << "}\n";
    else
      out_ << n << (n == 1 ? " row affected\n" : " rows affected\n");
  }
  if (timer_) {
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
    char buf[48];
    std::snprintf(buf, sizeof buf, "Run Time: %.3f s\n", took.count());
    out_ << buf;
  }
}

std::vector<std::string> SqlSession::TableNames(const std::string& pattern) {
  std::vector<std::string> names;
  for (const std::string& name :
       server_ ? server_->TableNames() : db_->Connection().Schema().TableNames())
    if (MatchesTablePattern(name, pattern)) names.push_back(name);
  return names;
}

void SqlSession::PrintTables(const std::string& pattern) {
  for (const std::string& name : TableNames(pattern)) out_ << name << '\n';
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
    out_ << "TABLE " << SqlName(spec->name) << '\n';
    size_t width = 0;
    for (const auto& f : spec->fields) width = std::max(width, DisplayWidth(SqlName(f.name)));
    for (const auto& f : spec->fields) {
      const std::string name = SqlName(f.name);
      out_ << "  " << name << std::string(width + 2 - DisplayWidth(name), ' ')
           << JetTypeText(f.type, f.size);
      if (f.autoIncrement) out_ << " COUNTER";
      if (f.required) out_ << " REQUIRED";
      if (qv::jet::IsTextType(f.type) && !f.allowZeroLength) out_ << " NOT ZERO-LENGTH";
      if (!f.defaultValue.empty()) out_ << " DEFAULT " << f.defaultValue;
      out_ << '\n';
    }
    for (const auto& idx : spec->indexes) {
      out_ << "  INDEX " << SqlName(idx.name) << " (";
      for (size_t i = 0; i < idx.fields.size(); ++i)
        out_ << (i ? ", " : "") << SqlName(idx.fields[i].name)
             << (idx.fields[i].descending ? " DESC" : "");
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
    PrintTables(NameArgument(arg));
  } else if (cmd == ".schema") {
    PrintSchema(NameArgument(arg));
  } else if (cmd == ".dump") {
    if (server_)
      qv::ThrowVb(qv::vberr::kInvalidProcedureCall,
                  ".dump reads a database file; on a server use the server's own dump tool");
    const std::string table = NameArgument(arg);
    DumpTables(
        db_->Connection(),
        table.empty() ? db_->Connection().Schema().TableNames() : std::vector<std::string>{table},
        out_);
  } else if (cmd == ".read") {
    const std::string file = NameArgument(arg);
    if (file.empty()) qv::ThrowVb(qv::vberr::kInvalidProcedureCall, ".read needs a file name");
    RunFile(file);
    return !stop_;
  } else if (cmd == ".translate") {
    const std::string sql = Statement(arg);
    out_ << (server_ ? server_->Translate(sql) : db_->Connection().Translate(sql))->sql << '\n';
  } else if (cmd == ".format" || cmd == ".mode") {
    format_ = ParseFormat(arg);
  } else if (cmd == ".timer") {
    if (arg != "on" && arg != "off")
      qv::ThrowVb(qv::vberr::kInvalidProcedureCall, ".timer takes on or off");
    timer_ = arg == "on";
  } else if (cmd == ".help") {
    out_ << kHelp;
  } else {
    qv::ThrowVb(qv::vberr::kInvalidProcedureCall, "unknown command \"" + cmd + "\" (try .help)");
  }
  return true;
}

void SqlSession::PrintError(const std::exception& e) {
  ++errors_;
  out_.flush();
  if (!sources_.empty() && !sources_.back()->interactive && sources_.back()->located) {
    const Source& src = *sources_.back();
    const size_t line = statementLine_ ? statementLine_ : src.line;
    err_ << (src.name.empty() ? "line " + std::to_string(line) + ": "
                              : src.name + ":" + std::to_string(line) + ": ");
  }
  if (auto* qe = dynamic_cast<const qv::Error*>(&e))
    err_ << ErrorReport(*qe) << std::endl;
  else
    err_ << "Error: " << e.what() << std::endl;
}

bool SqlSession::Run(const std::string& statement) {
  bool ok = true;
  try {
    g_running = db_ ? &db_->Connection() : nullptr;
    Execute(statement);
  } catch (const std::exception& e) {
    PrintError(e);
    ok = false;
  }
  g_running = nullptr;
  statementLine_ = 0;
  const bool interactive = !sources_.empty() && sources_.back()->interactive;
  if (!ok && bail_ && !interactive) stop_ = true;
  return !stop_;
}

bool SqlSession::RunDot(const std::string& line) {
  const int before = errors_;
  try {
    if (!Dot(line)) stop_ = true;
  } catch (const std::exception& e) {
    PrintError(e);
  }
  const bool interactive = !sources_.empty() && sources_.back()->interactive;
  if (errors_ > before && bail_ && !interactive) stop_ = true;
  return !stop_;
}

bool SqlSession::Unfinished() const {
  return statementLine_ != 0 || quote_ || bracket_;
}

void SqlSession::Reset() {
  pending_.clear();
  quote_ = 0;
  bracket_ = false;
  statementLine_ = 0;
}

bool SqlSession::Feed(const std::string& line) {
  const size_t lineNo = sources_.empty() ? 0 : sources_.back()->line;
  if (!Unfinished()) {
    pending_.clear();
    const std::string_view trimmed = TrimWhitespace(line);
    if (trimmed.starts_with(".")) return RunDot(std::string(trimmed));
    if (trimmed.starts_with("--")) return true;
  }
  // Splits the line at each ";" outside quotes and brackets; the text
  // after the last one waits for the next line.
  size_t begin = 0;
  for (size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quote_) {
      if (c == quote_) quote_ = 0;
    } else if (bracket_) {
      if (c == ']') bracket_ = false;
    } else if (c == '\'' || c == '"') {
      quote_ = c;
    } else if (c == '[') {
      bracket_ = true;
    } else if (c == ';') {
      pending_.append(line, begin, i - begin);
      begin = i + 1;
      std::string statement;
      statement.swap(pending_);
      if (!Run(statement)) return false;
      continue;
    }
    if (statementLine_ == 0 && c != ' ' && c != '\t' && c != '\r') statementLine_ = lineNo;
  }
  pending_.append(line, begin, std::string::npos);
  pending_ += '\n';
  return true;
}

int SqlSession::RunScript(std::istream& in, const std::string& name) {
  Source src{name};
  sources_.push_back(&src);
  std::string line;
  while (!stop_ && std::getline(in, line)) {
    ++src.line;
    if (!Feed(line)) break;
  }
  if (!stop_ && !IsBlank(pending_)) {  // a last statement without ";"
    std::string statement;
    statement.swap(pending_);
    Run(statement);
  }
  Reset();
  sources_.pop_back();
  if (sources_.empty()) stop_ = false;
  return errors_;
}

int SqlSession::RunText(const std::string& text) {
  Source src{"", 0, false, false};
  sources_.push_back(&src);
  const bool bail = bail_;
  bail_ = true;
  std::istringstream in(text);
  std::string line;
  while (!stop_ && std::getline(in, line)) {
    ++src.line;
    if (!Feed(line)) break;
  }
  if (!stop_ && !IsBlank(pending_)) {
    std::string statement;
    statement.swap(pending_);
    Run(statement);
  }
  bail_ = bail;
  Reset();
  sources_.pop_back();
  if (sources_.empty()) stop_ = false;
  return errors_;
}

int SqlSession::RunFile(const std::filesystem::path& file) {
  std::error_code ec;
  // A folder opens as a file that reads as empty: no statement would be run.
  if (std::filesystem::is_directory(file, ec))
    qv::ThrowVb(qv::vberr::kPathFileAccessError,
                "cannot read " + file.string() + ": it is a folder, not a script");
  std::ifstream in(file);
  if (!in)
    qv::ThrowVb(qv::vberr::kFileNotFound,
                "cannot read " + file.string() + ": " + std::strerror(errno));
  // The file's statements are its own: one that the caller left unfinished
  // (there is none: .read stands on a line of its own) is kept apart.
  std::string pending;
  pending.swap(pending_);
  const int errors = RunScript(in, file.string());
  pending_.swap(pending);
  return errors;
}

int SqlSession::RunInteractive() {
  const std::string history = HistoryFile();
  using_history();
  read_history(history.c_str());
  out_ << "qvdb sql on " << (server_ ? server_->Location() : db_->Name())
       << ". Statements end with \";\"; .help for commands.\n";
  out_.flush();

  Source src{"", 0, true};
  sources_.push_back(&src);
  // Words for Tab: commands, tables and their columns (bracketed too), SQL.
  std::vector<std::string> words(std::begin(kDotCommands), std::end(kDotCommands));
  for (const std::string& t : TableNames("")) {
    words.push_back(t);
    if (SqlName(t) != t) words.push_back(SqlName(t));
    if (auto spec = server_ ? server_->FindTable(t) : db_->Connection().Schema().FindTable(t))
      for (const auto& f : spec->fields) {
        words.push_back(f.name);
        if (SqlName(f.name) != f.name) words.push_back(SqlName(f.name));
      }
  }
  words.insert(words.end(), std::begin(kSqlWords), std::end(kSqlWords));
  std::sort(words.begin(), words.end());
  words.erase(std::unique(words.begin(), words.end()), words.end());
  g_words = &words;
  rl_attempted_completion_function = Complete;
  rl_basic_word_break_characters = const_cast<char*>(" \t\n,;()=<>*+-/.");

  // Ctrl-C comes here as a flag (readline leaves signals to us), which
  // ends the wait for input below or the statement running.
  struct sigaction onInt {
  }, previous{};
  onInt.sa_handler = OnInterrupt;
  sigemptyset(&onInt.sa_mask);
  onInt.sa_flags = SA_RESTART;
  sigaction(SIGINT, &onInt, &previous);
  rl_catch_signals = 0;

  static std::string* line = nullptr;
  static bool gotLine = false, eof = false;
  std::string text;
  line = &text;
  bool warned = false;
  while (!stop_) {
    gotLine = eof = false;
    // A Ctrl-C that stopped the last statement is spent; one pressed from
    // the prompt on drops what is typed.
    g_interrupt = 0;
    rl_callback_handler_install(Unfinished() ? "  ...> " : "qvdb> ", [](char* raw) {
      if (raw)
        *line = raw, gotLine = true;
      else
        eof = true;
      std::free(raw);
      rl_callback_handler_remove();
    });
    bool interrupted = false;
    while (!gotLine && !eof) {
      // The flag is looked at before each wait and the wait is short: a
      // Ctrl-C that comes just before select() begins does not interrupt it.
      if (g_interrupt) {
        g_interrupt = 0;
        interrupted = true;
        break;
      }
      fd_set fds;
      FD_ZERO(&fds);
      FD_SET(STDIN_FILENO, &fds);
      timeval wait{0, 100000};
      const int ready = select(STDIN_FILENO + 1, &fds, nullptr, nullptr, &wait);
      if (ready < 0 && errno != EINTR) eof = true;
      if (ready <= 0) continue;
      rl_callback_read_char();
    }
    if (interrupted) {
      // The line and the statement being typed are dropped.
      rl_replace_line("", 0);
      rl_callback_handler_remove();
      std::fputs("\n", stdout);
      std::fflush(stdout);
      Reset();
      warned = false;
      continue;
    }
    if (eof) {
      if (Unfinished() && !warned) {
        err_ << "The statement is not finished (no \";\" after it): end it, or press Ctrl-D "
                "again to drop it and quit; Ctrl-C drops it."
             << std::endl;
        warned = true;
        continue;
      }
      break;
    }
    warned = false;
    g_interrupt = 0;  // a Ctrl-C from now on stops what this line runs
    ++src.line;
    if (!IsBlank(text)) add_history(text.c_str());
    if (!Feed(text)) break;
    out_.flush();
  }
  rl_callback_handler_remove();
  sigaction(SIGINT, &previous, nullptr);
  g_words = nullptr;
  Reset();
  sources_.pop_back();
  write_history(history.c_str());
  history_truncate_file(history.c_str(), 1000);
  return errors_;
}

}  // namespace qvdb
