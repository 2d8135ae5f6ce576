#pragma once
// The object factory: one instance per thread of each mapper and query
// class the library's classes call internally (and of three classes of the
// courier library), created by ProgID on first use and kept in the
// thread's slot table for the life of the thread; and fresh instances of
// the document-package service.
//
// Creation goes through mErrorHandling::CreateObjectErr, so a class not
// registered fails with 429 naming its ProgID, re-raised with the creator's
// location. IntGetDBPfrSubDoc and IntGetDBQPfr show that error to the user
// instead and return null.

#include <cstdint>
#include <span>
#include <string_view>

#include "platform/automation/Object.h"

namespace qv::miDBProviderFactory {

inline constexpr std::string_view kModule = "miDBProviderFactory";
inline constexpr int32_t kSlotCount = 43;

struct Creator {
  std::string_view name;    // the creator's name, as errors name it
  int32_t slot;             // 0 .. kSlotCount-1; the numbers leave gaps
  std::string_view progId;  // what it creates
  bool showFailure;         // the failure is shown, not raised
};
// Every creator, in slot order.
std::span<const Creator> Creators();

ObjectPtr IntGetDBCourMailAccount();
ObjectPtr IntGetDBCourDocCircle();
ObjectPtr IntGetDBCourBlob();
ObjectPtr IntGetBlankQueries();
ObjectPtr IntGetDBAccProfile();
ObjectPtr IntGetDBAdrCountry();
ObjectPtr IntGetDBAddress();
ObjectPtr IntGetDBPerson();
ObjectPtr IntGetDBIdentity();
ObjectPtr IntGetDBWorker();
ObjectPtr IntGetDBTaxOffice();
ObjectPtr IntGetDBAccStream();
ObjectPtr IntGetDBTimePeriod();
ObjectPtr IntGetDBTemplate();
ObjectPtr IntGetDBDocument();
ObjectPtr IntGetDBConsStream();
ObjectPtr IntGetDocumentQueries();
ObjectPtr IntGetPersonQueries();
ObjectPtr IntGetDBStdProfile();
ObjectPtr IntGetDBPfrPerson();
ObjectPtr IntGetDBPfrSubDoc();
ObjectPtr IntGetDBQPfr();
ObjectPtr IntGetDBPfrAddress();
ObjectPtr IntGetDBDataBlob();
ObjectPtr IntGetDBWarSubject();
ObjectPtr IntGetDBWarPower();
ObjectPtr IntGetDBPermissions();
ObjectPtr IntGetDBAttachmentDoc();
ObjectPtr IntGetDBStoredFile();
ObjectPtr IntGetPeriodQueries();
ObjectPtr IntGetDBQAccStream();
ObjectPtr IntGetDBQWarrant();
ObjectPtr IntGetDBOfrLicense();

// A new "Qv_KPRSrv.KPRDocsPackageSrv" on every call, not cached; a failure
// is the platform's 429 as it is (this routine adds no location).
ObjectPtr NewKPRDocsPackageSrv();

}  // namespace qv::miDBProviderFactory
