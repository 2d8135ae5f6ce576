// The data-access objects on both engines: a database file and a database
// on the PostgreSQL server QV_TEST_PG names (in a schema of its own), both
// opened through the workspace's OpenDatabase. One table of steps runs on
// each; a step's outcome (rows rendered with their types, rows affected,
// the position after a seek or a move, or the Jet error number) must be the
// expected one, the server's where it differs. Without QV_TEST_PG the
// program says so and exits 77 (ctest: skipped).

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/automation/Error.h"
#include "platform/automation/Variant.h"
#include "platform/automation/VbaText.h"
#include "platform/dao/DBEngine.h"
#include "platform/dao/DaoCollections.h"
#include "platform/dao/Database.h"
#include "platform/dao/Field.h"
#include "platform/dao/Index.h"
#include "platform/dao/Recordset.h"
#include "platform/dao/TableDef.h"
#include "platform/dao/TableDefs.h"
#include "platform/dao/Transaction.h"
#include "platform/dao/Workspace.h"
#include "platform/jet/JetCatalog.h"
#include "platform/jet/JetEngine.h"
#include "sql/SqlScript.h"
#include "support/PgBothEngines.h"
#include "support/TestSupport.h"

namespace qv::pgtest {
namespace {

using dao::Database;
using dao::Recordset;
using testsupport::RenderTyped;

enum class Op {
  kExec,      // ExecuteSql: the rows affected (and RecordsAffected alike)
  kRows,      // OpenRecordset(source, arg's type): every row forward, then RecordCount
  kBackward,  // the same from MoveLast back to the first row
  kSeek,      // a table recordset, arg "Index|cmp|keys|moves": the row found, then after each move
  kAdd,       // AddNew on the table, arg "F=v;...", Update
  kEdit,      // arg "Index|key|F=v;...": Seek =, Edit, Update
  kDelete,    // arg "Index|key": Seek =, Delete, then MoveNext
  kBegin,     // the workspace's BeginTrans
  kCommit,    // CommitTrans
  kRollback,  // Rollback
  kEditUndone,  // arg "Index|key|F=v": a dao::Transaction around an Edit, rolled back;
                // the field before, after the Update and after the rollback
  kAddCounted,  // AddNew of arg's fields; the new row's fields through LastModified
  kDefs,        // TableDefs: the tables, then the fields and indexes of `source`
  kConnection,  // Database::Connection()
  kReadOnly,    // a second, read-only open: Execute `source`, or AddNew on the table `arg`
  kRequery,  // a snapshot of `source`, the statement `arg` run, Requery: the rows before and after
  kAppendTable,  // TableDefs.Append of `source`, arg "fields|indexes" (below)
  kAppendField,  // Fields.Append on the table `source`, arg one field (below)
  kAppendIndex,  // Indexes.Append on the table `source`, arg one index (below)
  kDeleteIndex,  // Indexes.Delete of the index `arg` of the table `source`
  kCompress,     // the field `arg` of the table `source` given UnicodeCompression; read again
  kBookmark,     // arg "Index|n": a table recordset, MoveFirst and n MoveNext; its Bookmark,
                 // then the rows after MoveLast, after going back to the bookmark, and next
  kKept,         // KeptServerStatement(source), arg's values "v|v" bound, Run; a last
                 // value "more": 16 other texts kept between the taking and the Run
};

struct Step {
  Op op;
  std::string source;
  std::string arg;
  std::string expected;
  // The server's outcome where it differs (a facility a server lacks).
  std::optional<std::string> server = std::nullopt;
  // The server's side writes through a Jet function (a Yes/No column's
  // jet_store_boolean): skipped there without the functions' script.
  bool functions = false;
};

// "L:5" Long, "S:text", "D:45306" a date by its day number, "F:1.5" Double,
// "B:1" True, "N" Null.
Variant Parse(std::string_view t) {
  if (t == "N") return Variant::Null();
  const std::string v(t.substr(2));
  return t[0] == 'L'   ? Variant(static_cast<int32_t>(std::stol(v)))
         : t[0] == 'D' ? Variant(OleDate{std::stod(v)})
         : t[0] == 'F' ? Variant(std::stod(v))
         : t[0] == 'B' ? Variant(v == "1")
                       : Variant(v);
}

std::vector<std::string> Split(std::string_view text, char sep) {
  std::vector<std::string> out;
  for (size_t at = 0, end; !text.empty() && at <= text.size(); at = end + 1) {
    end = std::min(text.find(sep, at), text.size());
    out.emplace_back(text.substr(at, end - at));
  }
  return out;
}

int32_t TypeOf(std::string_view name) {
  if (name == "snapshot") return dao::dbOpenSnapshot;
  if (name == "dynaset") return dao::dbOpenDynaset;
  if (name == "forward") return dao::dbOpenForwardOnly;
  return dao::dbOpenTable;
}

std::string Row(Recordset& rs) {
  std::string out;
  for (int32_t i = 0; i < rs.FieldCount(); ++i)
    out += (i ? "|" : "") + RenderTyped(rs.FieldValue(i));
  return out;
}

std::string Where(Recordset& rs) {
  if (rs.NoMatch()) return "NoMatch";
  if (rs.IsEOF()) return "EOF";
  if (rs.IsBOF()) return "BOF";
  return Row(rs);
}

// "F=v;G=w" into the edit buffer.
void SetFields(Recordset& rs, std::string_view assignments) {
  for (const std::string& a : Split(assignments, ';')) {
    const size_t eq = a.find('=');
    rs.SetField(std::string_view(a).substr(0, eq), Parse(std::string_view(a).substr(eq + 1)));
  }
}

// A field "Name:type:size" with "!" after it for Required, "=default" for
// a default value and "~" for one that refuses "".
std::shared_ptr<dao::Field> MakeField(dao::TableDef& t, std::string_view text) {
  std::string def;
  std::string_view spec = text;
  if (const size_t eq = text.find('='); eq != std::string_view::npos) {
    def = std::string(text.substr(eq + 1));
    spec = text.substr(0, eq);
  }
  const bool required = spec.find('!') != std::string_view::npos;
  const bool noEmpty = spec.find('~') != std::string_view::npos;
  const std::vector<std::string> p = Split(spec.substr(0, spec.find_first_of("!~")), ':');
  auto f = t.CreateField(Variant(p[0]), Variant(static_cast<int32_t>(std::stoi(p[1]))),
                         Variant(static_cast<int32_t>(std::stoi(p[2]))));
  f->SetRequired(required);
  if (noEmpty) f->SetAllowZeroLength(false);
  if (!def.empty()) f->SetDefaultValue(Variant(def));
  return f;
}

// An index "Name=+a;-b" with "P" (primary) or "U" (unique) after a ":".
std::shared_ptr<dao::Index> MakeIndex(dao::TableDef& t, std::string_view text) {
  const size_t eq = text.find('=');
  const size_t colon = text.find(':');
  auto x = t.CreateIndex(Variant(std::string(text.substr(0, eq))));
  x->SetFieldsValue(Variant(std::string(text.substr(eq + 1, colon - eq - 1))));
  if (colon != std::string_view::npos) {
    x->SetPrimary(text.substr(colon + 1) == "P");
    x->SetUnique(text.substr(colon + 1) == "U");
  }
  return x;
}

std::shared_ptr<dao::TableDef> Def(Database& db, const std::string& table) {
  auto t = db.TableDefsCollection()->Find(table);
  if (!t) throw Error(3265, "no table " + table, "test");
  return t;
}

std::shared_ptr<Recordset> SeekKey(Database& db, const std::string& table, std::string_view index,
                                   std::string_view key) {
  auto rs = db.OpenTable(table);
  rs->SetIndex(std::string(index));
  const Variant k = Parse(key);
  rs->Seek("=", std::span<const Variant>(&k, 1));
  return rs;
}

// The updates that fail leave the edit pending: said with the number.
std::string Update(Recordset& rs) {
  const int32_t n = testsupport::RaisedError([&] { rs.Update(); }).Number();
  if (n == 0) return "ok";
  return "error " + std::to_string(n) + (rs.EditMode() != dao::dbEditNone ? " pending" : " ended");
}

std::string Outcome(dao::Workspace& ws, Database& db, const std::string& location,
                    const Step& step) {
  try {
    switch (step.op) {
      case Op::kExec: {
        const int64_t rows = db.ExecuteSql(step.source);
        if (rows != db.RecordsAffected()) return "RecordsAffected differs";
        return std::to_string(rows);
      }
      case Op::kRows:
      case Op::kBackward: {
        auto rs = db.OpenRecordset(step.source, Variant(TypeOf(step.arg)), Variant(), Variant());
        std::string out;
        const bool back = step.op == Op::kBackward;
        if (back && !rs->IsEOF()) rs->MoveLast();
        while (!(back ? rs->IsBOF() : rs->IsEOF())) {
          out += (out.empty() ? "" : "; ") + Row(*rs);
          if (back)
            rs->MovePrevious();
          else
            rs->MoveNext();
        }
        return out + " #" + std::to_string(rs->RecordCount());
      }
      case Op::kSeek: {
        const std::vector<std::string> parts = Split(step.arg, '|');
        auto rs = db.OpenTable(step.source);
        rs->SetIndex(parts[0]);
        std::vector<Variant> keys;
        for (const std::string& k : Split(parts[2], ',')) keys.push_back(Parse(k));
        rs->Seek(parts[1], keys);
        std::string out = Where(*rs);
        for (char m : parts.size() > 3 ? parts[3] : std::string()) {
          if (m == 'n')
            rs->MoveNext();
          else if (m == 'p')
            rs->MovePrevious();
          else if (m == 'f')
            rs->MoveFirst();
          else
            rs->MoveLast();
          out += " > " + Where(*rs);
        }
        return out;
      }
      case Op::kAdd: {
        auto rs = db.OpenTable(step.source);
        rs->AddNew();
        SetFields(*rs, step.arg);
        return Update(*rs);
      }
      case Op::kEdit: {
        const std::vector<std::string> parts = Split(step.arg, '|');
        auto rs = SeekKey(db, step.source, parts[0], parts[1]);
        rs->Edit();
        SetFields(*rs, parts[2]);
        std::string out = Update(*rs);
        return out == "ok" ? out + " " + Row(*rs) : out;
      }
      case Op::kDelete: {
        const std::vector<std::string> parts = Split(step.arg, '|');
        auto rs = SeekKey(db, step.source, parts[0], parts[1]);
        rs->Delete();
        rs->MoveNext();
        return "next " + Where(*rs);
      }
      case Op::kBegin:
      case Op::kCommit:
      case Op::kRollback:
        step.op == Op::kBegin    ? ws.BeginTrans()
        : step.op == Op::kCommit ? ws.CommitTrans(Variant())
                                 : ws.Rollback();
        return "";
      case Op::kEditUndone: {
        const std::vector<std::string> parts = Split(step.arg, '|');
        auto rs = SeekKey(db, step.source, parts[0], parts[1]);
        const std::string field(std::string_view(parts[2]).substr(0, parts[2].find('=')));
        std::string out = RenderTyped(rs->FieldValue(field));
        {
          dao::Transaction tx(db);
          rs->Edit();
          SetFields(*rs, parts[2]);
          rs->Update();
          out += " > " + RenderTyped(rs->FieldValue(field));
          tx.Rollback();
        }
        return out + " > " + RenderTyped(rs->FieldValue(field));
      }
      case Op::kAddCounted: {
        auto rs = db.OpenTable(step.source);
        rs->AddNew();
        SetFields(*rs, step.arg);
        rs->Update();
        rs->SetBookmark(rs->LastModified());
        return Row(*rs);
      }
      case Op::kDefs: {
        auto defs = db.TableDefsCollection();
        std::string out;
        for (int32_t i = 0; i < defs->Count(); ++i) {
          auto t = std::dynamic_pointer_cast<dao::TableDef>(defs->Item(Variant(i)));
          out += (i ? "," : "") + t->Name();
        }
        auto t = defs->Find(step.source);
        if (!t) return out + " / no " + step.source;
        out += " /";
        auto fields = t->FieldsCollection();
        for (int32_t i = 0; i < fields->Count(); ++i) {
          auto f = std::dynamic_pointer_cast<dao::Field>(fields->Item(Variant(i)));
          out += " " + f->Name() + ":" + std::to_string(f->Type()) + ":" +
                 std::to_string(f->Size()) + (f->Required() ? "!" : "");
        }
        out += " /";
        auto indexes = t->IndexesCollection();
        for (int32_t i = 0; i < indexes->Count(); ++i) {
          auto x = std::dynamic_pointer_cast<dao::Index>(indexes->Item(Variant(i)));
          out += " " + x->Name() + "(";
          for (const auto& f : x->FieldsCollection()->Items())
            out += (f->IsDescending() ? "-" : "+") + f->Name();
          out += std::string(")") + (x->Primary() ? "P" : x->Unique() ? "U" : "");
        }
        return out;
      }
      case Op::kConnection:
        db.Connection();
        return "ok";
      case Op::kKept: {
        // One buffer for every row's text: the same address, another text.
        static std::string text(64, ' ');
        text.assign(step.source);
        const std::shared_ptr<jet::EngineStatement> st = db.KeptServerStatement(text);
        std::vector<std::string> values = Split(step.arg, '|');
        if (!values.empty() && values.back() == "more") {
          values.pop_back();
          std::vector<std::string> others;
          others.reserve(16);
          for (int i = 0; i < 16; ++i)
            db.KeptServerStatement(
                others.emplace_back("SELECT ID FROM Kept WHERE ID = " + std::to_string(i)));
        }
        for (size_t i = 0; i < values.size(); ++i)
          st->Bind(static_cast<int>(i) + 1, Parse(values[i]));
        return std::to_string(st->Run());
      }
      case Op::kReadOnly: {
        auto reader = ws.OpenDatabase(location, Variant(false), Variant(true), Variant());
        if (!step.source.empty()) return std::to_string(reader->ExecuteSql(step.source));
        reader->OpenTable(step.arg)->AddNew();
        return "ok";
      }
      case Op::kRequery: {
        auto rs = db.OpenRecordset(step.source, Variant(dao::dbOpenSnapshot), Variant(), Variant());
        auto rows = [&] {
          std::string out;
          for (rs->MoveFirst(); !rs->IsEOF(); rs->MoveNext())
            out += (out.empty() ? "" : ", ") + Row(*rs);
          return out + " #" + std::to_string(rs->RecordCount());
        };
        std::string out = rows();
        db.ExecuteSql(step.arg);
        rs->Requery();
        return out + " > " + (rs->IsEOF() ? "EOF" : rows());
      }
      case Op::kAppendTable: {
        auto t = std::make_shared<dao::TableDef>(step.source);
        const std::vector<std::string> parts = Split(step.arg, '|');
        for (const std::string& f : Split(parts[0], ','))
          t->FieldsCollection()->Append(MakeField(*t, f));
        for (const std::string& x : Split(parts.size() > 1 ? parts[1] : "", ','))
          t->IndexesCollection()->Append(MakeIndex(*t, x));
        db.TableDefsCollection()->Append(t);
        return "ok";
      }
      case Op::kAppendField: {
        auto t = Def(db, step.source);
        t->FieldsCollection()->Append(MakeField(*t, step.arg));
        return "ok " + std::to_string(t->FieldsCollection()->Count());
      }
      case Op::kAppendIndex: {
        auto t = Def(db, step.source);
        t->IndexesCollection()->Append(MakeIndex(*t, step.arg));
        return "ok " + std::to_string(t->IndexesCollection()->Count());
      }
      case Op::kDeleteIndex: {
        auto t = Def(db, step.source);
        t->IndexesCollection()->Delete(step.arg);
        return "ok " + std::to_string(t->IndexesCollection()->Count());
      }
      case Op::kCompress: {
        Def(db, step.source)->FieldsCollection()->Find(step.arg)->SetUnicodeCompression(true);
        return db.FindTableSpec(step.source)->FindField(step.arg)->unicodeCompression ? "on"
                                                                                      : "off";
      }
      case Op::kBookmark: {
        const std::vector<std::string> parts = Split(step.arg, '|');
        auto rs = db.OpenTable(step.source);
        if (!parts[0].empty()) rs->SetIndex(parts[0]);
        rs->MoveFirst();
        for (int i = 0; i < std::stoi(parts[1]); ++i) rs->MoveNext();
        const Variant mark = rs->Bookmark();
        std::string out = Row(*rs);
        rs->MoveLast();
        out += " > " + Row(*rs);
        rs->SetBookmark(mark);
        out += " > " + Row(*rs);
        rs->MoveNext();
        return out + " > " + Where(*rs);
      }
    }
  } catch (const Error& e) {
    if (std::getenv("QV_TEST_VERBOSE")) std::cerr << e.Description() << '\n';
    return "error " + std::to_string(e.Number());
  }
  return "?";
}

const std::vector<Step>& Steps() {
  static const std::vector<Step> steps = {
      {Op::kExec,
       "CREATE TABLE People (ID LONG CONSTRAINT pk PRIMARY KEY, Name TEXT(10) NOT NULL, "
       "Born DATETIME, Score DOUBLE)",
       "", "0"},
      {Op::kExec, "CREATE INDEX ByName ON People (Name)", "", "0"},
      {Op::kExec, "CREATE INDEX ByBornScore ON People (Born DESC, Score)", "", "0"},
      {Op::kExec,
       "INSERT INTO People (ID, Name, Born, Score) VALUES (1, 'Анна', #2024-01-15#, 1.5)", "", "1"},
      {Op::kExec, "INSERT INTO People (ID, Name, Score) VALUES (2, 'bob', 2)", "", "1"},
      {Op::kExec, "INSERT INTO People (ID, Name, Born) VALUES (3, 'Ёлкина', #2000-02-29 12:00#)",
       "", "1"},
      {Op::kExec, "INSERT INTO People (ID, Name, Born) VALUES (4, 'Алла', #2024-01-15#)", "", "1"},
      {Op::kExec, "INSERT INTO People (ID, Name) VALUES (5, 'Carl')", "", "1"},
      {Op::kExec, "UPDATE People SET Score = Score * 2 WHERE Score Is Not Null", "", "2"},
      // (Statement and table recordsets, the comparisons of Seek, writes,
      // transactions and Requery are the dao suite's cases, on a server too.)
      // Seek on a named index, then moves in its order (Russian order:
      // Latin before Cyrillic, case ignored, Ё after Е).
      {Op::kSeek, "People", "ByName|=|S:BOB|nnnn",
       "Long:2|Str:bob|Null|Dbl:4 > Long:5|Str:Carl|Null|Null > "
       "Long:4|Str:Алла|Date:45306|Null > Long:1|Str:Анна|Date:45306|Dbl:3 > "
       "Long:3|Str:Ёлкина|Date:36585.5|Null"},
      // A dao::Transaction around an Edit, rolled back: the open recordset shows the row as it is.
      {Op::kEditUndone, "People", "pk|L:1|Score=F:100", "Dbl:3 > Dbl:100 > Dbl:3"},
      // Counters and LastModified; a table without a primary key.
      {Op::kExec, "CREATE TABLE Counted (ID COUNTER CONSTRAINT pk PRIMARY KEY, Label TEXT(20))", "",
       "0"},
      {Op::kAddCounted, "Counted", "Label=S:первый", "Long:1|Str:первый"},
      {Op::kAddCounted, "Counted", "Label=S:второй", "Long:2|Str:второй"},
      {Op::kRequery, "Counted", "INSERT INTO Counted (Label) VALUES ('третий')",
       "Long:1|Str:первый, Long:2|Str:второй #2 > "
       "Long:1|Str:первый, Long:2|Str:второй, Long:3|Str:третий #3"},
      // An AddNew that sets no field: a row of the defaults.
      {Op::kExec,
       "CREATE TABLE Defaulted (ID COUNTER CONSTRAINT pk PRIMARY KEY, Label TEXT(10) DEFAULT "
       "\"нет\", N LONG)",
       "", "0"},
      {Op::kAddCounted, "Defaulted", "", "Long:1|Str:нет|Null"},
      {Op::kExec, "ALTER TABLE Defaulted ADD COLUMN M SHORT DEFAULT 5", "", "0"},
      {Op::kExec, "ALTER TABLE Defaulted DROP COLUMN N", "", "0"},
      {Op::kAddCounted, "Defaulted", "", "Long:2|Str:нет|Int:5"},
      {Op::kExec, "DELETE FROM Defaulted", "", "2"},
      {Op::kExec, "ALTER TABLE Defaulted ADD COLUMN R LONG NOT NULL", "", "0"},
      {Op::kAdd, "Defaulted", "", "error 3314 pending"},
      {Op::kExec, "DROP TABLE Defaulted", "", "0"},
      // Defaults that read the clock (on a server jet_now, jet_date, jet_time).
      {Op::kExec,
       "CREATE TABLE Clocked (ID LONG CONSTRAINT pk PRIMARY KEY, A DATETIME DEFAULT Now(), "
       "D DATETIME DEFAULT Date(), T DATETIME DEFAULT Time())",
       "", "0", std::nullopt, true},
      {Op::kExec, "INSERT INTO Clocked (ID) VALUES (1)", "", "1", std::nullopt, true},
      {Op::kRows, "SELECT ID, Abs(A - Now()) < 0.001, D = Int(D), T < 1, A > 45000 FROM Clocked",
       "snapshot", "Long:1|Bool:True|Bool:True|Bool:True|Bool:True #1", std::nullopt, true},
      {Op::kExec, "DROP TABLE Clocked", "", "0", std::nullopt, true},
      {Op::kExec, "CREATE TABLE OnlyCounter (ID COUNTER CONSTRAINT pk PRIMARY KEY)", "", "0"},
      {Op::kAddCounted, "OnlyCounter", "", "Long:1"},
      {Op::kAddCounted, "OnlyCounter", "", "Long:2"},
      // A Null given to a counter takes its next value on both engines.
      {Op::kExec, "INSERT INTO OnlyCounter (ID) VALUES (Null)", "", "1"},
      {Op::kExec, "INSERT INTO OnlyCounter (ID) VALUES (7)", "", "1"},
      {Op::kRows, "SELECT ID FROM OnlyCounter ORDER BY ID", "snapshot",
       "Long:1; Long:2; Long:3; Long:7 #4"},
      {Op::kExec, "DROP TABLE OnlyCounter", "", "0"},
      {Op::kExec, "CREATE TABLE Loose (A LONG, B TEXT(5))", "", "0"},
      {Op::kExec, "INSERT INTO Loose VALUES (1, 'x')", "", "1"},
      // A table without a primary key: the server keys it by a hidden row
      // key, so that the table cursor finds each row again, twins included.
      {Op::kExec, "CREATE INDEX ByA ON Loose (A)", "", "0"},
      // Twins: one of two equal rows is written and deleted alone.
      {Op::kExec, "INSERT INTO Loose VALUES (7, 'q')", "", "1"},
      {Op::kExec, "INSERT INTO Loose (B, A) VALUES ('q', 7)", "", "1"},
      {Op::kEdit, "Loose", "ByA|L:7|B=S:r", "ok Long:7|Str:r"},
      // The table's snapshot in insertion order, the written twin where it was.
      {Op::kRows, "Loose", "snapshot", "Long:1|Str:x; Long:7|Str:r; Long:7|Str:q #3"},
      {Op::kDelete, "Loose", "ByA|L:7", "next Long:7|Str:q"},
      {Op::kRows, "SELECT A, B FROM Loose WHERE A = 7", "snapshot", "Long:7|Str:q #1"},
      // A field added after the row key: an INSERT without a column list,
      // `*` and the definitions see the fields alone.
      {Op::kExec, "ALTER TABLE Loose ADD COLUMN C SHORT", "", "0"},
      {Op::kExec, "INSERT INTO Loose VALUES (8, 'w', 3)", "", "1"},
      {Op::kExec, "INSERT INTO Loose VALUES (8, 'w')", "", "error 3346"},
      {Op::kRows, "SELECT * FROM Loose WHERE A >= 7 ORDER BY A", "snapshot",
       "Long:7|Str:q|Null; Long:8|Str:w|Int:3 #2"},
      {Op::kAdd, "Loose", "A=L:9;C=L:4", "ok"},
      {Op::kDefs, "Loose", "", "People,Counted,Loose / A:4:4 B:10:5 C:3:2 / ByA(+A)"},
      // A table made from a keyless one has a row key of its own.
      {Op::kExec, "SELECT * INTO LooseCopy FROM Loose WHERE A >= 3 ORDER BY A", "", "3"},
      {Op::kRows, "LooseCopy", "table",
       "Long:7|Str:q|Null; Long:8|Str:w|Int:3; Long:9|Null|Int:4 #3"},
      {Op::kExec, "INSERT INTO LooseCopy SELECT * FROM Loose WHERE A = 8", "", "1"},
      {Op::kAddCounted, "LooseCopy", "A=L:10", "Long:10|Null|Null"},
      {Op::kRows, "SELECT Count(*) FROM LooseCopy", "snapshot", "Long:5 #1"},
      {Op::kExec, "ALTER TABLE Loose DROP COLUMN C", "", "0"},
      {Op::kRows, "SELECT * FROM Loose WHERE A = 9", "snapshot", "Long:9|Null #1"},
      {Op::kExec, "DROP TABLE LooseCopy", "", "0"},
      // A primary key taken away leaves the table keyless; one given later
      // keys it again.
      {Op::kExec, "CREATE TABLE Was (K LONG CONSTRAINT pk PRIMARY KEY, V TEXT(5))", "", "0"},
      {Op::kExec, "INSERT INTO Was VALUES (2, 'b')", "", "1"},
      {Op::kExec, "INSERT INTO Was VALUES (1, 'a')", "", "1"},
      {Op::kExec, "ALTER TABLE Was DROP CONSTRAINT pk", "", "0"},
      {Op::kAdd, "Was", "K=L:1;V=S:a2", "ok"},
      {Op::kBookmark, "Was", "|1", "Long:1|Str:a > Long:1|Str:a2 > Long:1|Str:a > Long:1|Str:a2"},
      {Op::kExec, "DELETE FROM Was WHERE V = 'a2'", "", "1"},
      {Op::kExec, "CREATE INDEX pk ON Was (K) WITH PRIMARY", "", "0"},
      {Op::kSeek, "Was", "pk|>=|L:1|n", "Long:1|Str:a > Long:2|Str:b"},
      {Op::kExec, "DROP INDEX pk ON Was", "", "0"},
      {Op::kAdd, "Was", "K=L:2;V=S:b2", "ok"},
      {Op::kExec, "CREATE INDEX ByK ON Was (K)", "", "0"},
      {Op::kDelete, "Was", "ByK|L:2", "next Long:2|Str:b2"},
      {Op::kRows, "SELECT K, V FROM Was ORDER BY K, V", "snapshot",
       "Long:1|Str:a; Long:2|Str:b2 #2"},
      {Op::kExec, "DROP TABLE Was", "", "0"},
      // The row key's name is the server's.
      {Op::kExec, "CREATE TABLE Named ([_jet_row] LONG)", "", "0", "error 3125"},
      {Op::kExec, "DROP TABLE Named", "", "0", "error 3376"},
      // No primary key but a unique index of Required fields: the cursor's key.
      {Op::kExec, "CREATE TABLE Keyed (Code TEXT(5) NOT NULL, N LONG, CONSTRAINT u UNIQUE (Code))",
       "", "0"},
      {Op::kExec, "INSERT INTO Keyed VALUES ('a', 1)", "", "1"},
      {Op::kAdd, "Keyed", "Code=S:b;N=L:2", "ok"},
      {Op::kAdd, "Keyed", "Code=S:A", "error 3022 pending"},
      {Op::kEdit, "Keyed", "u|S:b|N=L:20", "ok Str:b|Long:20"},
      {Op::kRows, "Keyed", "table", "Str:a|Long:1; Str:b|Long:20 #2"},
      {Op::kBackward, "Keyed", "dynaset", "Str:b|Long:20; Str:a|Long:1 #2"},
      {Op::kAddCounted, "Keyed", "Code=S:c;N=L:3", "Str:c|Long:3"},
      {Op::kDelete, "Keyed", "u|S:a", "next Str:b|Long:20"},
      {Op::kEdit, "Keyed", "u|S:c|Code=S:d", "ok Str:d|Long:3"},
      {Op::kSeek, "Keyed", "u|<=|S:z|pp", "Str:d|Long:3 > Str:b|Long:20 > BOF"},
      {Op::kExec, "DROP TABLE Keyed", "", "0"},
      // A unique index that allows Null is no key: the row key is.
      {Op::kExec, "CREATE TABLE LooseUnique (A LONG, CONSTRAINT u UNIQUE (A))", "", "0"},
      {Op::kAdd, "LooseUnique", "A=N", "ok"},
      {Op::kAdd, "LooseUnique", "A=L:1", "ok"},
      {Op::kBookmark, "LooseUnique", "u|0", "Null > Long:1 > Null > Long:1"},
      {Op::kExec, "DROP TABLE LooseUnique", "", "0"},
      // Yes/No, Byte and Integer keys and values through the table cursor.
      {Op::kExec, "CREATE TABLE Flags (K SHORT, F YESNO, B BYTE, CONSTRAINT pk PRIMARY KEY (K, F))",
       "", "0"},
      {Op::kAdd, "Flags", "K=L:1;F=B:1;B=L:200", "ok", std::nullopt, true},
      {Op::kAdd, "Flags", "K=L:1;F=B:0;B=L:7", "ok", std::nullopt, true},
      {Op::kAdd, "Flags", "K=L:1;F=B:1", "error 3022 pending", std::nullopt, true},
      {Op::kAdd, "Flags", "K=L:2;F=B:0;B=L:300", "error 3349"},
      {Op::kSeek, "Flags", "pk|>=|L:1|nn",
       "Int:1|Bool:True|Byte:200 > Int:1|Bool:False|Byte:7 > EOF", std::nullopt, true},
      {Op::kExec, "DROP TABLE Flags", "", "0"},
      // The table definitions.
      {Op::kDefs, "people", "",
       "People,Counted,Loose / ID:4:4 Name:10:10! Born:8:8 Score:7:8 / "
       "pk(+ID)P ByName(+Name) ByBornScore(-Born+Score)",
       // The server's catalogue keeps no creation order of indexes: by name.
       "People,Counted,Loose / ID:4:4 Name:10:10! Born:8:8 Score:7:8 / "
       "ByBornScore(-Born+Score) ByName(+Name) pk(+ID)P"},
      {Op::kDefs, "Nowhere", "", "People,Counted,Loose / no Nowhere"},
      {Op::kExec, "DROP TABLE Loose", "", "0"},
      {Op::kDefs, "Counted", "", "People,Counted / ID:4:4 Label:10:20 / pk(+ID)P"},
      // A table made in a transaction is seen at once, and gone with its rollback.
      {Op::kBegin, "", "", ""},
      {Op::kExec, "CREATE TABLE Undone (A LONG)", "", "0"},
      {Op::kDefs, "Undone", "", "People,Counted,Undone / A:4:4 /"},
      {Op::kRollback, "", "", ""},
      {Op::kDefs, "Undone", "", "People,Counted / no Undone"},
      // Tables, fields and indexes made through the definitions' collections,
      // then written, sought and read back from a new TableDefs.
      {Op::kAppendTable, "Made", "K:4:0!,Name:10:12=\"нет\",At:8:0|pk=+K:P,ByName=-Name;+K", "ok"},
      {Op::kAdd, "Made", "K=L:2;At=D:45306", "ok"},
      {Op::kAdd, "Made", "K=L:1;Name=S:Борис", "ok"},
      {Op::kAdd, "Made", "K=L:1;Name=S:Dup", "error 3022 pending"},
      {Op::kAppendField, "Made", "Score:7:0", "ok 4"},
      {Op::kAppendField, "Made", "Score:7:0", "error 3191"},
      {Op::kAppendField, "Made", "Bad[Name:7:0", "error 3125"},
      // A default given to a new field fills the rows already there.
      {Op::kAppendField, "Made", "Level:4:0=7", "ok 5"},
      {Op::kRows, "SELECT K, Level FROM Made ORDER BY K", "snapshot",
       "Long:1|Long:7; Long:2|Long:7 #2"},
      {Op::kAppendField, "Made", "Odd:7:0=Nonsense(", "error 3001"},
      {Op::kAppendIndex, "Made", "ByScore=+Score:U", "ok 3"},
      {Op::kAppendIndex, "Made", "ByNothing=+Nope", "error 3265"},
      {Op::kAdd, "Made", "K=L:3;Score=F:1.5", "ok"},
      {Op::kAdd, "Made", "K=L:4;Score=F:1.5", "error 3022 pending"},
      {Op::kSeek, "Made", "ByScore|>|F:1|", "Long:3|Str:нет|Null|Dbl:1.5|Long:7"},
      {Op::kDeleteIndex, "Made", "ByName", "ok 2"},
      {Op::kDeleteIndex, "Made", "ByName", "error 3265"},
      {Op::kSeek, "Made", "ByName|=|S:нет|", "error 3015"},
      // The server's catalogue gives a table's indexes in name order.
      {Op::kDefs, "Made", "",
       "People,Counted,Made / K:4:4! Name:10:12 At:8:8 Score:7:8 Level:4:4 / pk(+K)P "
       "ByScore(+Score)U",
       "People,Counted,Made / K:4:4! Name:10:12 At:8:8 Score:7:8 Level:4:4 / ByScore(+Score)U "
       "pk(+K)P"},
      {Op::kCompress, "Made", "Name", "on"},
      // A text that refuses "" and the types Jet's DDL has no word for
      // (BigInt 16, VarBinary 17, Char 18, Numeric 19, Float 21, Time 22).
      {Op::kAppendTable, "Twice", "X:4:0,Y:10:5~", "ok"},
      {Op::kDefs, "Twice", "", "People,Counted,Made,Twice / X:4:4 Y:10:5 /"},
      {Op::kExec, "INSERT INTO Twice (X, Y) VALUES (1, '')", "", "error 3315"},
      {Op::kExec, "INSERT INTO Twice (X, Y) VALUES (1, 'a')", "", "1"},
      {Op::kAppendTable, "Wide", "B:16:0,V:17:6,C:18:3,N:19:0,F:21:0,T:22:0", "ok"},
      {Op::kAppendField, "Wide", "More:16:0", "ok 7"},
      {Op::kDefs, "Wide", "",
       "People,Counted,Made,Twice,Wide / B:16:8 V:17:6 C:18:3 N:19:0 F:21:0 T:22:0 More:16:8 /"},
      {Op::kExec, "DROP TABLE Wide", "", "0"},
      {Op::kExec, "DROP TABLE Made", "", "0"},
      // The file's own facilities.
      {Op::kConnection, "", "", "ok", "error 3251"},
      // A read-only open refuses a new row and a select given to Execute.
      // (Its refused statements and the exclusive open are the dao suite's
      // cases, on a server too, as are the collections' 3010 and 3283.)
      {Op::kReadOnly, "", "Counted", "error 3027"},
      {Op::kReadOnly, "SELECT Count(*) FROM People", "", "error 3065"},
      // A kept statement is prepared again after a change of the schema, and
      // for another text at its address.
      {Op::kExec, "CREATE TABLE Kept (ID LONG, D DATETIME)", "", "0"},
      {Op::kKept, "INSERT INTO Kept (ID, D) VALUES (0, 0.5)", "L:1|D:45306.5", "error 3251", "1"},
      {Op::kExec, "DROP TABLE Kept", "", "0"},
      {Op::kExec, "CREATE TABLE Kept (id LONG, d DOUBLE)", "", "0"},
      {Op::kKept, "INSERT INTO Kept (ID, D) VALUES (0, 0.5)", "L:2|F:1.5", "error 3251", "1"},
      {Op::kKept, "INSERT INTO Kept (D, ID) VALUES (0.5, 0)", "F:2.5|L:3", "error 3251", "1"},
      // One held while the database lets it go (past 16 texts) still runs.
      {Op::kKept, "INSERT INTO Kept (D, ID) VALUES (0.5, 0)", "F:3.5|L:4|more", "error 3251", "1"},
      {Op::kRows, "SELECT ID, D FROM Kept ORDER BY ID", "snapshot", " #0",
       "Long:2|Dbl:1.5; Long:3|Dbl:2.5; Long:4|Dbl:3.5 #3"},
  };
  return steps;
}

// `functions`: the server has the Jet functions (the script was run in its schema).
int RunAll(const std::string& name, const std::string& location, bool functions) {
  auto ws = dao::DBEngine::ForThread()->DefaultWorkspace();
  std::shared_ptr<Database> db = ws->CreateDatabase(location, Variant(), Variant());
  int failures = 0, skipped = 0;
  for (const Step& step : Steps()) {
    if (db->IsServer() && step.functions && !functions) {
      ++skipped;
      std::cout << name << ": skipped (needs the Jet functions on the server): " << step.source
                << " " << step.arg << '\n';
      continue;
    }
    failures +=
        testsupport::StepFailed(name, step.source + " " + step.arg,
                                db->IsServer() && step.server ? *step.server : step.expected,
                                Outcome(*ws, *db, location, step));
  }
  db->Close();
  std::cout << name << ": " << Steps().size() - static_cast<size_t>(skipped) << " steps run, "
            << skipped << " skipped, " << failures << " failed\n";
  return failures;
}

// A database made before tables without a primary key had the row key: a
// keyless table whose row key is taken away behind the engine's back. A
// read-only open has no table cursor for it; a writable open gives the
// table its row key back (the rows numbered in their order), and the other
// tables keep what they had.
int RunOldDatabase(const std::string& conninfo, const std::string& location,
                   const std::string& schema) {
  // The steps on each open, their outcomes joined by " / ".
  struct OpenStep {
    bool readOnly;
    std::vector<Step> steps;
    std::string expected;
  };
  const Step rows{Op::kRows, "Old", "table", ""}, mark{Op::kBookmark, "Old", "|1", ""};
  const OpenStep steps[] = {
      {true, {rows}, "error 3251"},
      {false,
       {{Op::kAdd, "Old", "A=L:3;B=S:d", ""}, rows, mark},
       "ok / Long:2|Str:b; Long:1|Str:a; Long:2|Str:c; Long:3|Str:d #4 / "
       "Long:1|Str:a > Long:3|Str:d > Long:1|Str:a > Long:2|Str:c"},
      {true,
       {rows, mark},
       "Long:2|Str:b; Long:1|Str:a; Long:2|Str:c; Long:3|Str:d #4 / "
       "Long:1|Str:a > Long:3|Str:d > Long:1|Str:a > Long:2|Str:c"},
  };
  auto ws = dao::DBEngine::ForThread()->DefaultWorkspace();
  auto db = ws->OpenDatabase(location, Variant(), Variant(), Variant());
  db->ExecuteSql("CREATE TABLE Old (A LONG, B TEXT(5))");
  db->ExecuteSql("CREATE TABLE OldKeyed (K LONG CONSTRAINT pk PRIMARY KEY)");
  for (const char* row : {"(2, 'b')", "(1, 'a')", "(2, 'c')"})
    db->ExecuteSql(std::string("INSERT INTO Old VALUES ") + row);
  db->Close();
  testsupport::PgAdmin admin(conninfo);
  const std::string rowKeys =
      "SELECT string_agg(c.relname, ',' ORDER BY c.relname) FROM pg_attribute a JOIN pg_class c "
      "ON c.oid = a.attrelid JOIN pg_namespace n ON n.oid = c.relnamespace WHERE n.nspname = '" +
      schema +
      "' AND a.attname = '_jet_row' AND NOT a.attisdropped AND c.relkind = 'r' AND c.relname LIKE "
      "'Old%'";
  int failures = 0;
  auto expect = [&](const std::string& what, const std::string& got, const std::string& want) {
    failures += testsupport::StepFailed("old database", what, want, got);
  };
  expect("the row key made with the table", admin.Value(rowKeys), "Old");
  admin.Value("ALTER TABLE " + schema + ".\"Old\" DROP COLUMN \"_jet_row\"");
  for (const OpenStep& step : steps) {
    auto opened = ws->OpenDatabase(location, Variant(), Variant(step.readOnly), Variant());
    std::string got;
    for (const Step& s : step.steps)
      got += (got.empty() ? "" : " / ") + Outcome(*ws, *opened, location, s);
    opened->Close();
    expect(step.readOnly ? "read-only open" : "writable open", got, step.expected);
  }
  expect("the row key after the writable open", admin.Value(rowKeys), "Old");
  std::cout << "old database: " << std::size(steps) << " opens, " << failures << " failed\n";
  return failures;
}

int Main(const char* functionsScript) {
  return testsupport::RunOnFileAndServer(
      "qv_dao_", functionsScript, "Dao.mdb", [&](const testsupport::FileAndSchema& places) {
        int failures = RunAll("file", places.File(), true);
        // Without the catalogue the server's database is none of ours
        // (3343); CreateDatabase makes it.
        failures +=
            testsupport::StepFailed("server", "an open without the catalogue", "error 3343", [&] {
              dao::DBEngine::ForThread()->OpenDatabase(places.Server(), Variant(), Variant(),
                                                       Variant());
            });
        failures += RunAll("server", places.Server(), functionsScript != nullptr);
        return failures + RunOldDatabase(places.Conninfo(), places.Server(), places.SchemaName());
      });
}

}  // namespace
}  // namespace qv::pgtest

int main(int argc, char** argv) {
  return qv::pgtest::Main(argc > 1 ? argv[1] : nullptr);
}
