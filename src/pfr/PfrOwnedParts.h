#pragma once
// The delete hook of the pension-fund mappers whose lazy columns name rows
// they own (a person's passport and addresses, an exchange's blobs): the
// engine deletes owned sub-records of the lazy columns only while the record
// holds them, so a record read without them reads them first. A row whose
// owner is deleted must not stay behind unreferenced.

#include "platform/dao/Database.h"
#include "records/MapperEngine.h"
#include "siblings/records/QvRecord.h"

namespace qv::pfr {

template <class Mapper>
void ReadOwnedPartsFirst(dao::Database& db, records::QvRecord& rec) {
  const int group = rec.RecordClassOf().GroupIndexByFlag("LazyLoaded");
  if (group >= 0 && !rec.GroupLoaded(group)) records::ReadLazyRow(db, Mapper::Def(), rec);
}

}  // namespace qv::pfr
