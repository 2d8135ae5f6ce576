#include "siblings/records/FakeMapper.h"

#include "platform/automation/Collection.h"
#include "siblings/records/RecordClass.h"

namespace qv::records::testing {

namespace {

using namespace decl;

constexpr LazyGroupDef kGroups[] = {kLazyFields, {"Items", "ReadItems", "ItemsLoaded"}};
constexpr PropertyDef kProps[] = {Text("Name"),
                                  Long("Count"),
                                  Num("Amount"),
                                  Date("When"),
                                  Bool("Flag"),
                                  Var("Any"),
                                  Sub("Parent", "QvTest.Rec"),
                                  List("Children", "QvTest.Rec"),
                                  Text("Note", 0),
                                  Marking(List("Items", {}, 1), "ItemsModified"),
                                  Flag("ItemsModified")};
constexpr RecordType kType{.progId = "QvTest.Rec",
                           .mapperProgId = "QvTest.FakeMapper",
                           .properties = kProps,
                           .groups = kGroups};

constexpr PropertyDef kOrphanProps[] = {Text("Name")};
constexpr RecordType kOrphan{
    .progId = "QvTest.Orphan", .mapperProgId = "QvTest.NoSuchMapper", .properties = kOrphanProps};

[[maybe_unused]] const bool kRegistered =
    (RegisterRecordType(kType), RegisterRecordType(kOrphan), true);

std::string IdText(double id) {
  return CStr(Variant(id));
}

}  // namespace

std::map<double, FakeRow>& FakeTable() {
  static std::map<double, FakeRow> table;
  return table;
}

std::vector<std::string>& FakeLog() {
  static std::vector<std::string> log;
  return log;
}

void ResetFake() {
  FakeTable() = {{3, {"three", 3, 0, "note of 3"}}, {7, {"seven", 7, 3, "note of 7"}}};
  FakeLog().clear();
}

void FakeMapper::ReadRecord(double id, ObjectPtr r) {
  FakeLog().push_back("ReadRecord " + IdText(id));
  if (id == 0) {
    r->CallV("Clear");
    return;
  }
  auto it = FakeTable().find(id);
  if (it == FakeTable().end()) {
    r->CallV("MarkNotFound", id);
    return;
  }
  r->CallV("BeginLoad", id);
  r->Let("Name", Variant(it->second.name));
  r->Let("Count", Variant(it->second.count));
  r->Get("Parent").AsObject()->CallV("SetID", it->second.parent);
  r->CallV("EndLoad");
}

void FakeMapper::ReadLazyFields(ObjectPtr r) {
  const double id = CDbl(r->Get("ID"));
  FakeLog().push_back("ReadLazyFields " + IdText(id));
  if (id == 0) return;
  if (CLng(r->Get("RState")) != 3) ReadRecord(id, r);
  if (CLng(r->Get("RState")) != 3) return;
  r->CallV("BeginLazyLoad");
  r->Let("Note", Variant(FakeTable()[id].note));
  r->CallV("EndLazyLoad");
}

void FakeMapper::ReadItems(ObjectPtr r) {
  FakeLog().push_back("ReadItems " + CStr(r->Get("ID")));
  auto items = std::make_shared<Collection>();
  items->Add(Variant(1.0));
  items->Add(Variant(2.0));
  r->Let("Items", Variant(items));
}

// Saves whatever it is given: the gates that leave a record alone are the
// real mappers' (MapperSave.GatesLeaveTheRowAndTheRecordAlone).
void FakeMapper::SaveRecord(ObjectPtr r, bool, const Variant& owner) {
  double id = CDbl(r->Get("ID"));
  const bool isNew = id == 0;
  if (isNew) {
    id = FakeTable().empty() ? 1 : FakeTable().rbegin()->first + 1;
    r->CallV("AssignNewID", id);
  }
  FakeLog().push_back("SaveRecord " + IdText(id) +
                      (owner.IsMissing() ? "" : " owner " + CStr(owner)));
  FakeRow& row = FakeTable()[id];
  row.name = CStr(r->Get("Name"));
  row.count = CLng(r->Get("Count"));
  if (CBool(r->Get("LazyLoaded"))) row.note = CStr(r->Get("Note"));
  r->CallV(isNew ? "AfterInsert" : "AfterUpdate");
}

void FakeMapper::DeleteRecord(ObjectPtr r) {
  const double id = CDbl(r->Get("ID"));
  FakeLog().push_back("DeleteRecord " + IdText(id));
  FakeTable().erase(id);
  r->CallV("AfterDelete");
}

QV_DEFINE_CLASS(FakeMapper, "QvTest.FakeMapper", QV_CREATABLE(FakeMapper),
                Method("ReadRecord", &FakeMapper::ReadRecord),
                Method("ReadLazyFields", &FakeMapper::ReadLazyFields),
                Method("ReadItems", &FakeMapper::ReadItems),
                Method("SaveRecord", &FakeMapper::SaveRecord, {Variant::Missing()}),
                Method("DeleteRecord", &FakeMapper::DeleteRecord))

}  // namespace qv::records::testing
