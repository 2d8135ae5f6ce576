// The schema half of JetParser: CREATE TABLE, CREATE [UNIQUE] INDEX,
// DROP TABLE, DROP INDEX and ALTER TABLE, parsed into the SchemaChange the
// catalogue carries out. Their words (TABLE, INDEX, PRIMARY, KEY ...) are
// read where the grammar expects them, so they stay plain names elsewhere.

#include <array>
#include <cstdlib>

#include "platform/automation/VbaText.h"
#include "platform/jet/JetSchemaChange.h"
#include "platform/jet/sql/JetParser.h"
#include "platform/jet/sql/JetSqlError.h"

namespace qv::jet::sql {

namespace {

struct SqlType {
  std::string_view name;
  JetType type;
  bool counter = false;
};

// The type names of Jet's SQL, which differ from the names of its
// definitions: INTEGER is a Long here, SHORT an Integer.
constexpr auto kSqlTypes = std::to_array<SqlType>({
    {"TEXT", JetType::kText},
    {"VARCHAR", JetType::kText},
    {"CHAR", JetType::kText},
    {"CHARACTER", JetType::kText},
    {"STRING", JetType::kText},
    {"ALPHANUMERIC", JetType::kText},
    {"MEMO", JetType::kMemo},
    {"LONGTEXT", JetType::kMemo},
    {"LONGCHAR", JetType::kMemo},
    {"NOTE", JetType::kMemo},
    {"BYTE", JetType::kByte},
    {"INTEGER1", JetType::kByte},
    {"TINYINT", JetType::kByte},
    {"SHORT", JetType::kInteger},
    {"SMALLINT", JetType::kInteger},
    {"INTEGER2", JetType::kInteger},
    {"LONG", JetType::kLong},
    {"INT", JetType::kLong},
    {"INTEGER", JetType::kLong},
    {"INTEGER4", JetType::kLong},
    {"COUNTER", JetType::kLong, true},
    {"AUTOINCREMENT", JetType::kLong, true},
    {"SINGLE", JetType::kSingle},
    {"REAL", JetType::kSingle},
    {"FLOAT4", JetType::kSingle},
    {"IEEESINGLE", JetType::kSingle},
    {"DOUBLE", JetType::kDouble},
    {"FLOAT", JetType::kDouble},
    {"FLOAT8", JetType::kDouble},
    {"IEEEDOUBLE", JetType::kDouble},
    {"NUMBER", JetType::kDouble},
    {"CURRENCY", JetType::kCurrency},
    {"MONEY", JetType::kCurrency},
    {"DATETIME", JetType::kDate},
    {"DATE", JetType::kDate},
    {"TIME", JetType::kDate},
    {"TIMESTAMP", JetType::kDate},
    {"BIT", JetType::kBoolean},
    {"LOGICAL", JetType::kBoolean},
    {"YESNO", JetType::kBoolean},
    {"BOOLEAN", JetType::kBoolean},
    {"GUID", JetType::kGUID},
    {"UNIQUEIDENTIFIER", JetType::kGUID},
    {"BINARY", JetType::kBinary},
    {"VARBINARY", JetType::kBinary},
    {"LONGBINARY", JetType::kLongBinary},
    {"OLEOBJECT", JetType::kLongBinary},
    {"GENERAL", JetType::kLongBinary},
    {"IMAGE", JetType::kLongBinary},
    {"DECIMAL", JetType::kDecimal},
    {"NUMERIC", JetType::kDecimal},
});

const SqlType* FindSqlType(std::string_view name) {
  for (const SqlType& t : kSqlTypes)
    if (EqualsAsciiNoCase(t.name, name)) return &t;
  return nullptr;
}

// The name Jet gives an index a constraint makes without naming it.
std::string ConstraintIndexName(bool primary, const std::vector<IndexField>& fields) {
  return primary ? std::string("PrimaryKey") : fields.front().name;
}

}  // namespace

bool JetParser::IsWord(const Token& t, std::string_view word) const {
  return t.kind == TokenKind::kWord && EqualsAsciiNoCase(t.text, word);
}

bool JetParser::AcceptWord(std::string_view word) {
  if (!IsWord(Peek(), word)) return false;
  Take();
  return true;
}

void JetParser::ExpectWord(std::string_view word) {
  if (!AcceptWord(word)) Fail(Peek());
}

void JetParser::FailUnsupported(const Token& at, std::string_view what) const {
  ThrowSyntax(clauseError_, JetMessage(clauseError_) + " " + std::string(what) + " not supported.",
              sql_, at.pos, at.text);
}

Statement JetParser::SchemaStatement(std::shared_ptr<SchemaChange> change, size_t pos) {
  ExpectStatementEnd();
  Statement st;
  st.kind = StatementKind::kSchema;
  st.pos = pos;
  st.change = std::move(change);
  return st;
}

Statement JetParser::ParseCreate() {
  const size_t pos = Take().pos;
  clauseError_ = sqlerr::kInvalidStatement;
  if (AcceptWord("TABLE")) return ParseCreateTable(pos);
  const bool unique = AcceptWord("UNIQUE");
  if (AcceptWord("INDEX")) return ParseCreateIndex(pos, unique);
  FailUnsupported(Peek(), "CREATE other than TABLE or INDEX is");
}

// CREATE TABLE name (field definition | CONSTRAINT ..., ...)
Statement JetParser::ParseCreateTable(size_t pos) {
  clauseError_ = sqlerr::kCreateTableSyntax;
  auto change = std::make_shared<SchemaChange>();
  change->op = SchemaChange::Op::kCreateTable;
  TableSpec& table = change->table;
  table.name = ExpectName();
  ExpectSymbol("(");
  do {
    if (IsWord(Peek(), "CONSTRAINT") || IsWord(Peek(), "PRIMARY") || IsWord(Peek(), "UNIQUE"))
      table.indexes.push_back(ParseConstraint({}));
    else
      table.fields.push_back(ParseFieldDefinition(table));
    clauseError_ = sqlerr::kCreateTableSyntax;
  } while (AcceptSymbol(","));
  ExpectSymbol(")");
  return SchemaStatement(std::move(change), pos);
}

// name type[(size)] {NOT NULL | NULL | DEFAULT value | [CONSTRAINT c] PRIMARY KEY | UNIQUE}
FieldSpec JetParser::ParseFieldDefinition(TableSpec& table) {
  clauseError_ = sqlerr::kFieldSyntax;
  FieldSpec f;
  f.name = ExpectName();
  const Token& typeToken = Peek();
  const SqlType* type = typeToken.kind == TokenKind::kWord ? FindSqlType(typeToken.text) : nullptr;
  if (!type) Fail(typeToken);
  Take();
  f.type = type->type;
  f.autoIncrement = type->counter;
  if (AcceptSymbol("(")) {
    // A size; Decimal's precision and scale are taken and not kept.
    if (type->counter || Peek().kind != TokenKind::kNumber) Fail(Peek());
    f.size = std::atoi(std::string(Take().text).c_str());
    if (f.type == JetType::kDecimal && AcceptSymbol(",")) {
      if (Peek().kind != TokenKind::kNumber) Fail(Peek());
      Take();
    }
    ExpectSymbol(")");
  }
  for (;;) {
    const Token& t = Peek();
    if (t.Is(Keyword::kNot)) {
      Take();
      Expect(Keyword::kNull);
      f.required = true;
    } else if (t.Is(Keyword::kNull)) {
      Take();
    } else if (IsWord(t, "DEFAULT")) {
      Take();
      // The value as written, up to what ends it; the catalogue reads it.
      const size_t start = Peek().pos;
      size_t end = start;
      for (int depth = 0;; Take()) {
        const Token& v = Peek();
        if (v.kind == TokenKind::kEnd) break;
        if (depth == 0 && (v.IsSymbol(",") || v.IsSymbol(")") || v.Is(Keyword::kNot) ||
                           IsWord(v, "CONSTRAINT") || IsWord(v, "PRIMARY") || IsWord(v, "UNIQUE")))
          break;
        if (v.IsSymbol("(")) ++depth;
        if (v.IsSymbol(")")) --depth;
        end = v.end();
      }
      if (end == start) Fail(Peek());
      f.defaultValue = std::string(sql_.substr(start, end - start));
    } else if (IsWord(t, "CONSTRAINT") || IsWord(t, "PRIMARY") || IsWord(t, "UNIQUE")) {
      table.indexes.push_back(ParseConstraint(f.name));
      clauseError_ = sqlerr::kFieldSyntax;
    } else if (IsWord(t, "REFERENCES")) {
      FailUnsupported(t, "REFERENCES is");
    } else {
      return f;
    }
  }
}

// [CONSTRAINT name] {PRIMARY KEY | UNIQUE} [(columns)]: the columns are
// given after a table's constraint and are `column` after a field's.
IndexSpec JetParser::ParseConstraint(const std::string& column) {
  clauseError_ = sqlerr::kConstraintSyntax;
  IndexSpec x;
  if (AcceptWord("CONSTRAINT")) x.name = ExpectName();
  if (AcceptWord("PRIMARY")) {
    ExpectWord("KEY");
    x.primary = true;
  } else if (AcceptWord("UNIQUE")) {
    x.unique = true;
  } else if (IsWord(Peek(), "FOREIGN") || IsWord(Peek(), "REFERENCES") || IsWord(Peek(), "CHECK")) {
    FailUnsupported(Peek(), "FOREIGN KEY, REFERENCES and CHECK are");
  } else {
    Fail(Peek());
  }
  if (column.empty())
    x.fields = ParseIndexColumns();
  else
    x.fields.push_back({column, false});
  if (x.name.empty()) x.name = ConstraintIndexName(x.primary, x.fields);
  return x;
}

// (column [ASC | DESC], ...)
std::vector<IndexField> JetParser::ParseIndexColumns() {
  std::vector<IndexField> fields;
  ExpectSymbol("(");
  do {
    IndexField f;
    f.name = ExpectName();
    if (Accept(Keyword::kDesc))
      f.descending = true;
    else
      Accept(Keyword::kAsc);
    fields.push_back(std::move(f));
  } while (AcceptSymbol(","));
  ExpectSymbol(")");
  return fields;
}

// CREATE [UNIQUE] INDEX name ON table (columns) [WITH PRIMARY]
Statement JetParser::ParseCreateIndex(size_t pos, bool unique) {
  clauseError_ = sqlerr::kCreateIndexSyntax;
  auto change = std::make_shared<SchemaChange>();
  change->op = SchemaChange::Op::kCreateIndex;
  IndexSpec x;
  x.name = ExpectName();
  x.unique = unique;
  Expect(Keyword::kOn);
  change->table.name = ExpectName();
  x.fields = ParseIndexColumns();
  if (AcceptWord("WITH")) {
    if (AcceptWord("PRIMARY"))
      x.primary = true;
    else if (IsWord(Peek(), "DISALLOW") || IsWord(Peek(), "IGNORE"))
      FailUnsupported(Peek(), "WITH DISALLOW NULL or IGNORE NULL is");
    else
      Fail(Peek());
  }
  change->table.indexes.push_back(std::move(x));
  return SchemaStatement(std::move(change), pos);
}

// DROP TABLE name | DROP INDEX name ON table
Statement JetParser::ParseDrop() {
  const size_t pos = Take().pos;
  clauseError_ = sqlerr::kDropSyntax;
  auto change = std::make_shared<SchemaChange>();
  if (AcceptWord("TABLE")) {
    change->op = SchemaChange::Op::kDropTable;
    change->table.name = ExpectName();
  } else if (AcceptWord("INDEX")) {
    change->op = SchemaChange::Op::kDropIndex;
    change->name = ExpectName();
    Expect(Keyword::kOn);
    change->table.name = ExpectName();
  } else {
    Fail(Peek());
  }
  return SchemaStatement(std::move(change), pos);
}

// ALTER TABLE name {ADD [COLUMN] field, ... | ADD constraint | DROP [COLUMN]
// name | DROP CONSTRAINT name}
Statement JetParser::ParseAlter() {
  const size_t pos = Take().pos;
  clauseError_ = sqlerr::kAlterTableSyntax;
  ExpectWord("TABLE");
  auto change = std::make_shared<SchemaChange>();
  TableSpec& table = change->table;
  table.name = ExpectName();
  if (AcceptWord("ADD")) {
    change->op = SchemaChange::Op::kAddFields;
    if (IsWord(Peek(), "CONSTRAINT") || IsWord(Peek(), "PRIMARY") || IsWord(Peek(), "UNIQUE")) {
      change->op = SchemaChange::Op::kCreateIndex;
      table.indexes.push_back(ParseConstraint({}));
    } else {
      AcceptWord("COLUMN");
      do {
        table.fields.push_back(ParseFieldDefinition(table));
        clauseError_ = sqlerr::kAlterTableSyntax;
      } while (AcceptSymbol(","));
    }
  } else if (AcceptWord("DROP")) {
    if (AcceptWord("CONSTRAINT")) {
      change->op = SchemaChange::Op::kDropConstraint;
    } else {
      AcceptWord("COLUMN");
      change->op = SchemaChange::Op::kDropField;
    }
    change->name = ExpectName();
  } else if (IsWord(Peek(), "ALTER")) {
    FailUnsupported(Peek(), "ALTER COLUMN is");
  } else {
    Fail(Peek());
  }
  return SchemaStatement(std::move(change), pos);
}

}  // namespace qv::jet::sql
