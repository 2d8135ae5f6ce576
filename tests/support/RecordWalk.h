#pragma once
// Reads every property of a record (which loads its lazy groups and
// references) and of the records and collections `depth` levels down, and
// every item of a collection: a stored value read wrongly raises here even
// when the call that made the record did not read it.

#include "platform/automation/Collection.h"
#include "siblings/records/QvRecord.h"

namespace qv::testsupport {

inline void TouchEveryProperty(const Variant& value, int depth) {
  if (!value.IsObject() || depth < 0) return;
  if (auto list = value.ObjectAs<Collection>()) {
    for (int32_t i = 1; i <= list->Count(); ++i) TouchEveryProperty(list->At(i), depth);
    return;
  }
  auto rec = value.ObjectAs<records::QvRecord>();
  if (!rec) return;
  for (int i = 0; i < rec->RecordClassOf().PropertyCount(); ++i)
    TouchEveryProperty(rec->Get(rec->RecordClassOf().Property(i).name), depth - 1);
}

}  // namespace qv::testsupport
