#pragma once
// A mapper over an in-memory table, following the record-mapper pattern, for
// records of the test type "QvTest.Rec" (registered with it). Every call is
// logged so a test can see when a record loaded itself.

#include <map>
#include <string>
#include <vector>

#include "platform/automation/Object.h"

namespace qv::records::testing {

struct FakeRow {
  std::string name;
  int32_t count = 0;
  double parent = 0;
  std::string note;  // lazy
};

// The table and the log, shared by every FakeMapper instance.
std::map<double, FakeRow>& FakeTable();
std::vector<std::string>& FakeLog();
// Restores the table to rows 7 ("seven", parent 3) and 3 ("three") and
// empties the log.
void ResetFake();

inline constexpr const char* kTestType = "QvTest.Rec";
inline constexpr const char* kOrphanType = "QvTest.Orphan";  // its mapper does not exist

class FakeMapper : public Object {
  QV_DECLARE_CLASS(FakeMapper)

 public:
  void ReadRecord(double id, ObjectPtr record);
  void ReadLazyFields(ObjectPtr record);
  void ReadItems(ObjectPtr record);
  // `owner`: the optional third argument some mappers take.
  void SaveRecord(ObjectPtr record, bool recursive, const Variant& owner);
  void DeleteRecord(ObjectPtr record);
};

}  // namespace qv::records::testing
