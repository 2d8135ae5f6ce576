#include "platform/ado/Recordset.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <sstream>

#include "AdoTestSupport.h"

namespace qv::ado {
namespace {

using test::Column;
using test::ExpectError;
using test::MakeRecordset;
using test::Render;

RecordsetPtr Ids(int n) {
  std::vector<std::vector<Variant>> rows;
  for (int i = 1; i <= n; ++i) rows.push_back({Variant(i)});
  return MakeRecordset({{"ID", adInteger}}, std::move(rows));
}

// Position, BOF/EOF, count and the current ID ("-" when there is none).
std::string State(Recordset& rs) {
  std::string id = "-";
  if (!rs.IsBOF() && !rs.IsEOF() && rs.AbsolutePosition() > 0) id = CStr(rs.CurrentValue(0));
  return std::to_string(rs.AbsolutePosition()) + (rs.IsBOF() ? " B" : " -") +
         (rs.IsEOF() ? "E" : "-") + " n=" + std::to_string(rs.RecordCount()) + " id=" + id;
}

// Runs one step of a navigation script: a named operation, "Move<n>" or "Pos<n>".
void Apply(Recordset& rs, const std::string& op) {
  static const std::map<std::string, std::function<void(Recordset&)>> kOps = {
      {"First", [](Recordset& r) { r.MoveFirst(); }},
      {"Last", [](Recordset& r) { r.MoveLast(); }},
      {"Next", [](Recordset& r) { r.MoveNext(); }},
      {"Prev", [](Recordset& r) { r.MovePrevious(); }},
      {"AddNew", [](Recordset& r) { r.AddNew(), r.SetValue(0, Variant(9)); }},
      {"Cancel", [](Recordset& r) { r.CancelUpdate(); }},
      {"Delete", [](Recordset& r) { r.Delete(); }},
  };
  if (auto it = kOps.find(op); it != kOps.end()) return it->second(rs);
  if (op.rfind("Move", 0) == 0) return rs.Move(std::stoi(op.substr(4)));
  ASSERT_EQ(op.rfind("Pos", 0), 0u) << op;
  rs.SetAbsolutePosition(std::stoi(op.substr(3)));
}

TEST(Recordset, MovesAndReportsPositionLikeAStaticClientCursor) {
  const struct {
    int rows;
    const char* script;  // "op: state or err N; ..."
  } cases[] = {
      {0, "First: err 3021; Last: err 3021; Next: err 3021; Prev: err 3021; Move1: err 3021"},
      {0, "AddNew: 1 -- n=1 id=9; Cancel: -1 BE n=0 id=-"},
      {1,
       "Prev: -2 B- n=1 id=-; Prev: err 3021; Next: 1 -- n=1 id=1; Next: -3 -E n=1 id=-; "
       "Next: err 3021; Move-5: -2 B- n=1 id=-; Move+1: 1 -- n=1 id=1; "
       "Delete: -1 -- n=0 id=-; Next: -1 BE n=0 id=-"},
      {3,
       "Move+1: 2 -- n=3 id=2; Move+5: -3 -E n=3 id=-; Move-2: 2 -- n=3 id=2; "
       "Delete: -1 -- n=2 id=-; Next: 2 -- n=2 id=3; Pos1: 1 -- n=2 id=1; Pos3: err 3001; "
       "Delete: -1 -- n=1 id=-; Prev: -2 B- n=1 id=-"},
      {3, "Last: 3 -- n=3 id=3; Delete: -1 -- n=2 id=-; Next: -3 -E n=2 id=-"},
      {3, "Pos2: 2 -- n=3 id=2; Delete: -1 -- n=2 id=-; Move+1: 2 -- n=2 id=3"},
      {3,
       "Pos2: 2 -- n=3 id=2; AddNew: 4 -- n=4 id=9; Cancel: 2 -- n=3 id=2; "
       "AddNew: 4 -- n=4 id=9; First: 1 -- n=4 id=1; Last: 4 -- n=4 id=9"},
  };
  for (const auto& c : cases) {
    auto rs = Ids(c.rows);
    std::string trace = std::to_string(c.rows) + " rows:";
    std::istringstream steps(c.script);
    for (std::string op, want;
         std::getline(steps >> std::ws, op, ':') && std::getline(steps >> std::ws, want, ';');) {
      trace += " " + op;
      const int32_t err = testsupport::RaisedError([&] { Apply(*rs, op); }).Number();
      EXPECT_EQ(err ? "err " + std::to_string(err) : State(*rs), want) << trace;
    }
    EXPECT_TRUE(steps.eof()) << trace;  // every step ran
  }
}

TEST(Recordset, AddsEditsAndCancelsRows) {
  auto rs = MakeRecordset({{"ID", adInteger}, {"Name", adVarWChar, 20}});
  rs->AddNew();
  EXPECT_EQ(rs->EditMode(), adEditAdd);
  EXPECT_TRUE(rs->CurrentValue(1).IsNull());  // a new row starts as Nulls
  rs->SetValue(0, Variant(1));
  rs->SetValue(1, Variant("Иванов"));
  rs->AddNew();  // stores the first row before adding the next
  rs->SetValue(0, Variant(2));
  rs->MoveFirst();  // moving stores the pending row too
  EXPECT_EQ(rs->EditMode(), adEditNone);
  rs->SetValue(1, Variant("Петров"));
  EXPECT_EQ(rs->EditMode(), adEditInProgress);
  rs->CancelUpdate();  // the edit is undone
  rs->MoveLast();
  rs->SetValue(1, Variant("Сидоров"));
  rs->Update();
  rs->CancelUpdate();  // nothing pending: no effect
  EXPECT_EQ(Render(*rs),
            "ID:3(4) | Name:202(20)\n"
            "  Long 1 | String \"Иванов\"\n"
            "> Long 2 | String \"Сидоров\"\n");
  ExpectError(0, "", [&] { rs->Close(); });
  EXPECT_EQ(rs->State(), adStateClosed);
  EXPECT_EQ(rs->FieldCount(), 2u);  // the columns survive Close
}

TEST(Recordset, RejectsMisuseWithAdoErrors) {
  auto open = Ids(1);
  auto closed = std::make_shared<Recordset>();
  closed->AppendField("ID", adInteger);
  testsupport::ExpectErrors({
      {"append when open", [&] { open->AppendField("X", adInteger); }, adoerr::kObjectOpen},
      {"open twice", [&] { open->Open(); }, adoerr::kObjectOpen},
      {"cursor location when open", [&] { open->SetCursorLocation(adUseClient); },
       adoerr::kObjectOpen},
      {"count when closed", [&] { closed->RecordCount(); }, adoerr::kObjectClosed},
      {"EOF when closed", [&] { closed->IsEOF(); }, adoerr::kObjectClosed},
      {"close when closed", [&] { closed->Close(); }, adoerr::kObjectClosed},
      {"add when closed", [&] { closed->AddNew(); }, adoerr::kObjectClosed},
      {"duplicate name", [&] { closed->AppendField("id", adDouble); },
       adoerr::kAlreadyInCollection},
      {"unknown type", [&] { closed->AppendField("V", 12); }, adoerr::kBadArguments},
      {"empty name", [&] { closed->AppendField("", adInteger); }, adoerr::kBadArguments},
      {"no fields", [] { std::make_shared<Recordset>()->Open(); }, adoerr::kBadArguments},
      {"unknown field", [&] { open->FieldIndex("Nope"); }, adoerr::kItemNotFound},
      {"ordinal too big", [&] { open->ItemIndex(Variant(1)); }, adoerr::kItemNotFound},
      {"negative ordinal", [&] { open->ItemIndex(Variant(-1)); }, adoerr::kItemNotFound},
      {"row of wrong width",
       [&] {
         open->AppendRow({Variant(1), Variant(2)});
       },
       adoerr::kBadArguments},
      {"read at EOF", [&] { open->MoveNext(), open->CurrentValue(0); }, adoerr::kNoCurrentRecord},
      {"write at EOF", [&] { open->SetValue(0, Variant(1)); }, adoerr::kNoCurrentRecord},
      {"update at EOF", [&] { open->Update(); }, adoerr::kNoCurrentRecord},
      {"delete at EOF", [&] { open->Delete(); }, adoerr::kNoCurrentRecord},
      {"close with a pending row", [&] { open->AddNew(), open->Close(); },
       adoerr::kNotAllowedInContext},
  });
}

TEST(Recordset, ErrorsCarryAdoTextsAndSources) {
  auto rs = Ids(0);
  EXPECT_EQ(ExpectError(3021,
                        "Either BOF or EOF is True, or the current record has been deleted. "
                        "Requested operation requires a current record.",
                        [&] { rs->CurrentValue(0); })
                .Source(),
            "ADODB.Field");
  EXPECT_EQ(ExpectError(adoerr::kItemNotFound,
                        "Item cannot be found in the collection corresponding to the requested "
                        "name or ordinal. (Имя)",
                        [&] { rs->FieldIndex("Имя"); })
                .Source(),
            "ADODB.Fields");
}

TEST(Recordset, AppendsRowsInBulkAndRendersThem) {
  auto rs = MakeRecordset(
      {{"ID", adInteger},
       {"Fio", adVarWChar, 250},
       {"Born", adDate},
       {"Sum", adCurrency},
       {"Flag", adBoolean},
       {"Code", adWChar, 3}},
      {{Variant(1.0), Variant("Иванов И.И."), Variant("05.03.1970"), Variant(10.5), Variant(1),
        Variant("A")},
       {Variant("2"), Variant::Null(), Variant(), Variant(0), Variant(false), Variant("BCD")}});
  EXPECT_EQ(rs->FieldIndex("fio"), 1u);  // names ignore case
  EXPECT_EQ(rs->FieldIndex("FLAG"), 4u);
  EXPECT_EQ(Render(*rs),
            "ID:3(4) | Fio:202(250) | Born:7(8) | Sum:6(8) | Flag:11(2) | Code:130(3)\n"
            "> Long 1 | String \"Иванов И.И.\" | Date 05.03.1970 | Currency 10.5 | Boolean True | "
            "String \"A  \"\n"
            "  Long 2 | Null | Null | Currency 0 | Boolean False | String \"BCD\"\n");
  // A value that does not convert leaves the recordset as it was.
  ExpectError(adoerr::kMultipleStep, "", [&] {
    rs->AppendRow(
        {Variant(3), Variant("x"), Variant("not a date"), Variant(), Variant(), Variant()});
  });
  EXPECT_EQ(rs->RecordCount(), 2);
  EXPECT_EQ(rs->AbsolutePosition(), 1);
}

TEST(Recordset, AddNewAndUpdateTakeNamesAndValuesAsArrays) {
  auto rs = MakeRecordset({{"ID", adInteger}, {"Name", adVarWChar, 10}, {"Qty", adDouble}});
  auto arr = [](std::vector<Variant> v) { return Variant(VariantArray::Of(std::move(v))); };
  rs->AddNewV(arr({Variant("Name"), Variant(0)}), arr({Variant("Ключ"), Variant("7")}));
  EXPECT_EQ(rs->EditMode(), adEditNone);  // stored at once
  rs->AddNewV(Variant("qty"), Variant(2.5));
  rs->UpdateV(Variant(0), Variant(8));
  const struct {
    const char* what;
    Variant fields, values;
    int32_t error;
  } bad[] = {
      {"lengths differ", arr({Variant("ID")}), arr({Variant(1), Variant(2)}),
       adoerr::kBadArguments},
      {"names without values", arr({Variant("ID")}), Variant::Missing(), adoerr::kBadArguments},
      {"unknown name", arr({Variant("ID"), Variant("Nope")}), arr({Variant(1), Variant(2)}),
       adoerr::kItemNotFound},
      {"second value bad", arr({Variant("ID"), Variant("Qty")}), arr({Variant(1), Variant("x")}),
       adoerr::kMultipleStep},
  };
  for (const auto& c : bad) {
    SCOPED_TRACE(::testing::Message() << c.what);
    ExpectError(c.error, "", [&] { rs->AddNewV(c.fields, c.values); });
    EXPECT_EQ(rs->RecordCount(), 2);  // no half-made row is left
  }
  ExpectError(adoerr::kMultipleStep, "", [&] {
    rs->UpdateV(arr({Variant("ID"), Variant("Qty")}), arr({Variant(99), Variant("x")}));
  });
  EXPECT_EQ(test::ColumnText(*rs, 0), "7,8");  // ID 99 was not stored either
  EXPECT_EQ(test::ColumnText(*rs, 1), "Ключ,Null");
  EXPECT_EQ(test::ColumnText(*rs, 2), "Null,2.5");
}

}  // namespace
}  // namespace qv::ado
