// The recordset, command and parameter as a script reaches them: created
// by ProgID and called by name with Variant arguments.

#include <gtest/gtest.h>

#include "AdoTestSupport.h"
#include "platform/ado/Command.h"
#include "platform/ado/Recordset.h"

namespace qv::ado {
namespace {

using test::ExpectError;

Variant Arr(std::vector<Variant> items) {
  return Variant(VariantArray::Of(std::move(items)));
}

TEST(LateBound, BuildsAndReadsARecordsetByName) {
  ObjectPtr rs = CreateObject("ADODB.Recordset.2.6");
  ObjectPtr fields = rs->Get("Fields").AsObject();
  fields->CallV("Append", "PersonID", adDouble, 0, adFldIsNullable);
  fields->CallV("Append", "Fio", adVarWChar, 250, adFldIsNullable);
  fields->CallV("Append", "person_type", adInteger);  // default attributes: not nullable
  rs->Let("CursorLocation", Variant(adUseClient));
  rs->CallV("Open");
  rs->CallV("AddNew");
  rs->CallV("Fields", "PersonID").AsObject()->Let("Value", Variant(5));
  std::vector<Variant> let{Variant("fio"), Variant("Сидоров")};  // rs("fio") = "Сидоров"
  rs->Invoke("", CallKind::kLet, let);
  rs->CallV("Fields", 2).AsObject()->Let("", Variant("1"));  // default member of a Field
  rs->CallV("Update");
  rs->CallV("AddNew", Arr({Variant("PersonID"), Variant("person_type")}),
            Arr({Variant(6), Variant(2)}));
  rs->CallV("MoveFirst");

  EXPECT_EQ(rs->Get("RecordCount"), Variant(int32_t{2}));
  EXPECT_EQ(rs->Get("EOF"), Variant(false));
  EXPECT_EQ(rs->Get("BOF"), Variant(false));
  ObjectPtr fio = rs->CallV("Fields", "FIO").AsObject();
  EXPECT_EQ(fio->Get("Value"), Variant("Сидоров"));
  EXPECT_EQ(fio->Get("Name"), Variant("Fio"));
  EXPECT_EQ(fio->Get("Type"), Variant(adVarWChar));
  EXPECT_EQ(fio->Get("DefinedSize"), Variant(int32_t{250}));
  EXPECT_EQ(fio->Get("Attributes"), Variant(adFldIsNullable));
  std::vector<Variant> byName{Variant("PersonID")};
  EXPECT_EQ(rs->Invoke("", CallKind::kGet, byName).AsObject()->Get(""), Variant(5.0));
  EXPECT_EQ(rs->CallV("Collect", 2), Variant(int32_t{1}));
  EXPECT_EQ(fields->Get("Count"), Variant(int32_t{3}));
  EXPECT_EQ(fields->CallV("Item", 1).AsObject()->Get("Name"), Variant("Fio"));
  rs->CallV("MoveNext");
  EXPECT_EQ(fio->Get("Value"), Variant::Null());  // a Field follows the current row
  rs->CallV("MoveNext");
  EXPECT_EQ(rs->Get("EOF"), Variant(true));
  EXPECT_EQ(rs->Get("AbsolutePosition"), Variant(adPosEOF));
  ExpectError(adoerr::kNoCurrentRecord, "", [&] { fio->Get("Value"); });
  // Sort and Filter are properties: set, read back and applied.
  rs->Let("Sort", Variant("PersonID DESC"));
  rs->Let("Filter", Variant("person_type = 1"));
  EXPECT_EQ(rs->Get("Sort"), Variant("PersonID DESC"));
  EXPECT_EQ(rs->Get("Filter"), Variant("person_type = 1"));
  EXPECT_EQ(rs->Get("RecordCount"), Variant(int32_t{1}));
  rs->Let("Filter", Variant(adFilterNone));
  EXPECT_EQ(rs->Get("Filter"), Variant(adFilterNone));
  rs->CallV("MoveFirst");
  EXPECT_EQ(rs->CallV("Collect", "PersonID"), Variant(6.0));
  rs->CallV("Close");
  EXPECT_EQ(rs->Get("State"), Variant(adStateClosed));
}

TEST(LateBound, ReportsMisuseThroughDispatch) {
  ObjectPtr rs = CreateObject("ADODB.Recordset");
  ObjectPtr fields = rs->Get("Fields").AsObject();
  fields->CallV("Append", "ID", adInteger, 0, adFldIsNullable);
  testsupport::ExpectErrors({
      {"open a statement", [&] { rs->CallV("Open", "select 1"); }, adoerr::kConnectionUnusable},
      {"field value when closed", [&] { rs->CallV("Fields", "ID").AsObject()->Get("Value"); },
       adoerr::kObjectClosed},
      {"append a field value", [&] { fields->CallV("Append", "X", adInteger, 0, 32, 1); },
       adoerr::kBadArguments},
      {"cursor location 7", [&] { rs->Let("CursorLocation", Variant(7)); }, adoerr::kBadArguments},
  });
  fields->CallV("Append", "Name", adVarWChar, 5, adFldIsNullable);
  rs->CallV("Open");
  ObjectPtr name = rs->CallV("Fields", "Name").AsObject();
  testsupport::ExpectErrors({
      {"move past EOF", [&] { rs->CallV("MoveNext"); }, adoerr::kNoCurrentRecord},
      {"too long", [&] { rs->CallV("AddNew", "Name", "longer"); }, adoerr::kMultipleStep},
      {"delete a group", [&] { rs->CallV("Delete", 2); }, adoerr::kBadArguments},
      {"move from bookmark 9", [&] { rs->CallV("Move", 1, 9); }, adoerr::kBadArguments},
      {"precision when open", [&] { name->Let("Precision", Variant(5)); }, adoerr::kObjectOpen},
  });
  EXPECT_EQ(rs->Get("RecordCount"), Variant(int32_t{0}));
}

TEST(LateBound, CommandHoldsParametersButCannotRunWithoutAConnection) {
  // ADODB.Command, ADODB.Parameter and ADODB.Recordset (with and without .2.6) are
  // created by name in these tests.
  EXPECT_TRUE(CreateObject("ADODB.Command.2.6"));
  ExpectError(vberr::kCannotCreateObject, "", [] { CreateObject("ADODB.Field"); });

  ObjectPtr cmd = CreateObject("ADODB.Command");
  cmd->Let("CommandText", Variant("select * from Person where ID = ?"));
  cmd->Let("CommandType", Variant(adCmdText));
  ObjectPtr params = cmd->Get("Parameters").AsObject();
  ObjectPtr id = cmd->CallV("CreateParameter", "pID", adDouble, adParamInput, 0, 15).AsObject();
  params->CallV("Append", id);
  ObjectPtr name = CreateObject("ADODB.Parameter.2.6");
  name->Let("Name", Variant("Имя"));
  name->Let("Type", Variant(adVarWChar));
  name->Let("Size", Variant(50));
  name->Let("", Variant("Пётр"));
  params->CallV("Append", name);

  EXPECT_EQ(params->Get("Count"), Variant(int32_t{2}));
  EXPECT_EQ(params->CallV("Item", "PID").AsObject()->Get("Value"), Variant(15));
  EXPECT_EQ(cmd->CallV("Parameters", "имя").AsObject()->Get("Value"), Variant("Пётр"));
  EXPECT_EQ(params->CallV("Item", 1).AsObject()->Get("Size"), Variant(int32_t{50}));
  EXPECT_EQ(cmd->Get("CommandType"), Variant(adCmdText));
  EXPECT_TRUE(cmd->Get("ActiveConnection").IsNothing());

  testsupport::ExpectErrors({
      {"execute", [&] { cmd->CallV("Execute"); }, adoerr::kConnectionUnusable},
      {"append twice", [&] { params->CallV("Append", id); }, adoerr::kAlreadyInCollection},
      {"append a non-parameter", [&] { params->CallV("Append", cmd); }, adoerr::kBadArguments},
      {"append without type", [&] { params->CallV("Append", CreateObject("ADODB.Parameter")); },
       adoerr::kParameterIncomplete},
      {"unknown name", [&] { params->CallV("Item", "x"); }, adoerr::kItemNotFound},
      {"ordinal out of range", [&] { params->CallV("Item", 2); }, adoerr::kItemNotFound},
      {"bad direction", [&] { id->Let("Direction", Variant(9)); }, adoerr::kBadArguments},
      {"bad type", [&] { id->Let("Type", Variant(12)); }, adoerr::kBadArguments},
      {"bad command type", [&] { cmd->Let("CommandType", Variant(3)); }, adoerr::kBadArguments},
  });
  params->CallV("Delete", "pid");
  EXPECT_EQ(params->CallV("Item", 0).AsObject()->Get("Name"), Variant("Имя"));
}

}  // namespace
}  // namespace qv::ado
