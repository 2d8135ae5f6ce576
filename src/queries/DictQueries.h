#pragma once
// DictQueries ("Qv_DBProvider.DictQueries"): the reference dictionaries
// (countries, regions, identity-document types, tax offices, posts, the
// all-Russian classifiers, profiles, warrant permissions, declarant and
// licence types) and the composed lists of people who may sign or send a
// taxpayer's reports. It only reads and keeps no state.
//
// `aID` arguments are identifier lists: empty for no restriction, else
// identifiers separated by ";". A list is put into the statement as given
// (after ";" becomes "," or ", "), so a caller passing anything but numbers
// gets the engine's syntax error. The OKATO operations read the OKATO
// database when its file is present, else the copy in the main database.

#include <cstdint>
#include <string>

#include "platform/ado/Recordset.h"
#include "platform/automation/Object.h"

namespace qv::queries {

class DictQueries : public Object {
  QV_DECLARE_CLASS(DictQueries)

 public:
  // Countries by OrderNum (descending) and name; with no list, bit 1 of
  // `aFlags` leaves out country 179.
  ado::RecordsetPtr GetCountry(const std::string& aID, int32_t aFlags);
  ado::RecordsetPtr GetRegion(const std::string& aID);
  // Identity-document types. With no list: `aGroup` >= 0 selects the group;
  // -1 the types with a pension-fund code, -2 those with an income-statement
  // code, -3 either; other negative values all types. `aGroup` is by
  // reference for the caller's interface and not changed.
  ado::RecordsetPtr GetCertificateType(const std::string& aID, double& aGroup);
  // Tax offices; `aContoraType` 0 for every kind, 7 only those whose RegType
  // is 501..599.
  ado::RecordsetPtr GetTaxOffice(const std::string& aID, int32_t aContoraType);
  // The office with the code (inserted as given); 0 unless exactly one.
  double GetTaxOfficeIDByCode(const std::string& aCode);
  ado::RecordsetPtr GetPersonnelPost(const std::string& aID);
  ado::RecordsetPtr GetNsiListClass(const std::string& aID);
  // The personnel rows (jobs) of a job place (-1: any) with the titles of
  // their warrants; for a branch also the parent's rows shown in branches.
  // `aID` (personnel identifiers) replaces every other filter. Fields
  // PersonnelID, PersonID, person_type, Fio, PostName, WarrantName.
  ado::RecordsetPtr GetPersonnelOfTaxpayer(double aJobPlaceID, const std::string& aExcludeIDs,
                                           const std::string& aID, bool aAllowLegalAgents);
  // The persons working at a job place (-1: anywhere) who may sign, with
  // their warrant titles; `aID` (person identifiers) replaces the job place.
  // Fields PersonID, person_type, Fio, WarrantName.
  ado::RecordsetPtr GetPersonsAllowedForSigners(double aJobPlaceID, const std::string& aID,
                                                bool aAllowLegalAgents);
  ado::RecordsetPtr GetNsiOKOPF(const std::string& aID);
  ado::RecordsetPtr GetNsiOKFS(const std::string& aID);
  ado::RecordsetPtr GetNsiOKVED(const std::string& aID);
  // `aID` is a comma list inserted unchanged; `aOrder` an order-by text.
  ado::RecordsetPtr GetNsiOKATO(const std::string& aID, const std::string& aOrder);
  // The largest OKATO identifier with the code; -1 when there is none.
  double FindOkatoID(const std::string& aCode);
  // The code of an OKATO identifier, as a recordset.
  ado::RecordsetPtr FindOkatoByID(double aID);
  // Everyone working at a job place (0: any) with name, INN and KPP.
  ado::RecordsetPtr GetAllPotentialSenders(double aJobPlaceID, const std::string& aID);
  // Built-in and user profiles, by name.
  ado::RecordsetPtr GetStdProfiles(const std::string& aID);
  // Identity-document type lookups; 0 when there is none.
  double GetIdentityTypeByPfrCode(const std::string& aPfrCode);
  double GetIdentityTypeByIdentityCode(const std::string& aCode);
  ado::RecordsetPtr GetWarPermissions();
  ado::RecordsetPtr GetOfrDeclarantType(const std::string& aID);
  double GetIdentityTypeByTndflCode(const std::string& aCode);
  ado::RecordsetPtr GetOfrLicType(const std::string& aID);
};

}  // namespace qv::queries
