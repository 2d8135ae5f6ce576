#pragma once
// DBQKladr ("Qv_DBProvider.DBQKladr"): the address classifier (Kladr.mdb
// beside the user database: KladrObjects in a tree of levels, KladrAbbrevs
// the kinds of object "г", "ул" ...) and the recognition of countries and
// regions of the user database. Stateless.
//
// Classifier operations other than IsKladrPresents need Kladr.mdb and fail
// with the error of opening it when it is absent (3024). Names compare
// without regard to letter case (Cyrillic included); a caller's text goes
// into a statement only as a quoted literal, so quotes and wildcards in it
// are plain characters.

#include <cstdint>
#include <string>

#include "platform/ado/Recordset.h"
#include "platform/automation/Object.h"

namespace qv::queries {

class DBQKladr : public Object {
  QV_DECLARE_CLASS(DBQKladr)

 public:
  bool IsKladrPresents();
  // The objects under `aParentID` at `aLevel`: ID, Name (name and
  // abbreviation), NameNoAb, Abbrev, PostIndex; at level 1 also SeekName
  // ("77 Москва г") and ordered by ID, otherwise by name.
  ado::RecordsetPtr GetKladrObjects(int32_t aParentID, int32_t aLevel);
  // The objects of an identifier list ("," or ";" between; error 5 for
  // anything but numbers; none for ""), columns as GetKladrObjects without
  // SeekName.
  ado::RecordsetPtr GetKladrObjectByIDList(const std::string& aIDList);
  bool IsKladrObjectsExist(int32_t aParentID, int32_t aLevel);
  // The first object under the parent at the level whose name is `aName`
  // ("Ленина ул" when `aNameIncludesAbbrev`, else "Ленина"); 0 when none.
  double FindKladrObjectByName(int32_t aParentID, int32_t aLevel, const std::string& aName,
                               bool aNameIncludesAbbrev);
  // The same with the name and the abbreviation given apart.
  double FindKladrObjectByName15(int32_t aParentID, int32_t aLevel, const std::string& aNameNoAb,
                                 const std::string& aAbbrev);
  // The objects under the parent at the level whose names start with
  // `aNameStart` (every one for ""), columns as GetKladrObjectByIDList,
  // ordered by name; at most `aMaxCount` when it is above 0. Read through
  // the (ParentID, Level) index.
  ado::RecordsetPtr FindKladrObjectsByNameStart(int32_t aParentID, int32_t aLevel,
                                                const std::string& aNameStart, int32_t aMaxCount);
  // A country by its numeric code (a text of at most 3 characters, padded
  // with "0": "643", "4" for "004"), else by its short or full name; 0 when
  // none or the text is empty.
  double RecognizeCountry(const std::string& aString);
  // A region by its name and abbreviation ("Московская обл"); 0 when none.
  double RecognizeRegion(const std::string& aString);
};

// The statement of FindKladrObjectsByNameStart (shared with its benchmark
// and the check of its plan).
std::string KladrNameStartSql(int32_t aParentID, int32_t aLevel, const std::string& aNameStart,
                              int32_t aMaxCount);

}  // namespace qv::queries
