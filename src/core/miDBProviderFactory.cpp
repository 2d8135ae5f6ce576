#include "core/miDBProviderFactory.h"

#include <array>

#include "core/mErrorHandling.h"

namespace qv::miDBProviderFactory {

namespace {

#define QV_LIB(cls) "Qv_DBProvider." cls

// name, slot, ProgID, the failure is shown instead of raised
#define QV_FACTORY_CREATORS(X)                                        \
  X(IntGetDBCourMailAccount, 0, "Qv_CourDB.DBCourMailAccount", false) \
  X(IntGetDBCourDocCircle, 1, "Qv_CourDB.DBCourDocCircle", false)     \
  X(IntGetDBCourBlob, 2, "Qv_CourDB.DBCourBlob", false)               \
  X(IntGetBlankQueries, 3, QV_LIB("BlankQueries"), false)             \
  X(IntGetDBAccProfile, 4, QV_LIB("DBAccProfile"), false)             \
  X(IntGetDBAdrCountry, 5, QV_LIB("DBAdrCountry"), false)             \
  X(IntGetDBAddress, 7, QV_LIB("DBAddress"), false)                   \
  X(IntGetDBPerson, 8, QV_LIB("DBPerson"), false)                     \
  X(IntGetDBIdentity, 10, QV_LIB("DBIdentity"), false)                \
  X(IntGetDBWorker, 11, QV_LIB("DBWorker"), false)                    \
  X(IntGetDBTaxOffice, 12, QV_LIB("DBTaxOffice"), false)              \
  X(IntGetDBAccStream, 13, QV_LIB("DBAccStream"), false)              \
  X(IntGetDBTimePeriod, 15, QV_LIB("DBTimePeriod"), false)            \
  X(IntGetDBTemplate, 16, QV_LIB("DBTemplate"), false)                \
  X(IntGetDBDocument, 17, QV_LIB("DBDocument"), false)                \
  X(IntGetDBConsStream, 18, QV_LIB("DBConsStream"), false)            \
  X(IntGetDocumentQueries, 20, QV_LIB("DocumentQueries"), false)      \
  X(IntGetPersonQueries, 21, QV_LIB("PersonQueries"), false)          \
  X(IntGetDBStdProfile, 22, QV_LIB("DBStdProfile"), false)            \
  X(IntGetDBPfrPerson, 23, QV_LIB("DBPfrPerson"), false)              \
  X(IntGetDBPfrSubDoc, 24, QV_LIB("DBPfrSubDoc"), true)               \
  X(IntGetDBQPfr, 25, QV_LIB("DBQPfr"), true)                         \
  X(IntGetDBPfrAddress, 26, QV_LIB("DBPfrAddress"), false)            \
  X(IntGetDBDataBlob, 29, QV_LIB("DBDataBlob"), false)                \
  X(IntGetDBWarSubject, 30, QV_LIB("DBWarSubject"), false)            \
  X(IntGetDBWarPower, 32, QV_LIB("DBWarPower"), false)                \
  X(IntGetDBPermissions, 33, QV_LIB("DBPermissions"), false)          \
  X(IntGetDBAttachmentDoc, 35, QV_LIB("DBAttachmentDoc"), false)      \
  X(IntGetDBStoredFile, 36, QV_LIB("DBStoredFile"), false)            \
  X(IntGetPeriodQueries, 37, QV_LIB("PeriodQueries"), false)          \
  X(IntGetDBQAccStream, 38, QV_LIB("DBQAccStream"), false)            \
  X(IntGetDBQWarrant, 40, QV_LIB("DBQWarrant"), false)                \
  X(IntGetDBOfrLicense, 42, QV_LIB("DBOfrLicense"), false)

#define QV_CREATOR_ROW(name, slot, progId, show) {#name, slot, progId, show},
constexpr Creator kCreators[] = {QV_FACTORY_CREATORS(QV_CREATOR_ROW)};
#undef QV_CREATOR_ROW

using SlotTable = std::array<ObjectPtr, kSlotCount>;

SlotTable& ThreadSlots() {
  thread_local SlotTable slots;
  return slots;
}

ObjectPtr FromSlot(const Creator& c) {
  ObjectPtr& slot = ThreadSlots()[static_cast<size_t>(c.slot)];
  if (slot) return slot;
  try {
    slot = mErrorHandling::CreateObjectErr(c.progId);
    return slot;
  } catch (...) {
    if (!c.showFailure) mErrorHandling::ProcessError(kModule, c.name);
    mErrorHandling::ProcessErrorAndShow(kModule, c.name);
    return nullptr;
  }
}

template <size_t N>
constexpr size_t IndexOf(const char (&name)[N]) {
  for (size_t i = 0; i < std::size(kCreators); ++i)
    if (kCreators[i].name == std::string_view(name, N - 1)) return i;
  return std::size(kCreators);
}

}  // namespace

std::span<const Creator> Creators() {
  return kCreators;
}

#define QV_CREATOR_FUNCTION(name, slot, progId, show)     \
  ObjectPtr name() {                                      \
    static_assert(IndexOf(#name) < std::size(kCreators)); \
    return FromSlot(kCreators[IndexOf(#name)]);           \
  }
QV_FACTORY_CREATORS(QV_CREATOR_FUNCTION)
#undef QV_CREATOR_FUNCTION

ObjectPtr NewKPRDocsPackageSrv() {
  return CreateObject("Qv_KPRSrv.KPRDocsPackageSrv");
}

}  // namespace qv::miDBProviderFactory
