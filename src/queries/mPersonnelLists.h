#pragma once
// The composed lists of people behind DictQueries.GetPersonnelOfTaxpayer
// and GetPersonsAllowedForSigners: built row by row in memory, each row
// with the titles of the person's warrants at the job place (and at the
// parent organisation when the job place is a branch).
//
// A job place of -1 means none. Names and posts are cut to 250 characters,
// dates in them written "DD.MM.YYYY". WarrantName joins the titles with
// "; ", each without a leading "Доверенность " (any case), and is cut to
// 250 characters.

#include <string>

#include "platform/ado/Recordset.h"

namespace qv::queries {

// Fields PersonnelID, PersonID, person_type, Fio, PostName, WarrantName;
// ordered by person_type and Fio unless `aID` (personnel identifiers)
// is given, which replaces every other filter.
ado::RecordsetPtr PersonnelOfTaxpayer(double aJobPlaceID, const std::string& aExcludeIDs,
                                      const std::string& aID, bool aAllowLegalAgents);

// Fields PersonID, person_type, Fio, WarrantName; legal persons first, then
// by Fio, unless `aID` (person identifiers) is given.
ado::RecordsetPtr PersonsAllowedForSigners(double aJobPlaceID, const std::string& aID,
                                           bool aAllowLegalAgents);

// The WarrantName of a person: the titles of the warrants of the person's
// personnel rows at the job place (any job place for -1) and, when
// `aParentJobPlaceID` is not 0, of those at the parent shown in branches.
std::string WarrantNamesOfPerson(double aPersonID, double aJobPlaceID, double aParentJobPlaceID);

}  // namespace qv::queries
