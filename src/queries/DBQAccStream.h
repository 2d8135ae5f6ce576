#pragma once
// DBQAccStream ("Qv_DBProvider.DBQAccStream"): lists and tests over the
// accounting streams (AccStream), one reporting relation of a taxpayer
// with its tax offices.
//
// Stateless. Lists return collections of stream records that read
// themselves on first use; sort modes as in PersonQueries ("{dir}" takes
// the direction, an unknown mode leaves the list unordered). "Alive"
// streams are those whose person is an accounted person or a branch.

#include <cstdint>
#include <string>

#include "platform/ado/Recordset.h"
#include "platform/automation/Collection.h"
#include "platform/automation/Object.h"

namespace qv::queries {

class DBQAccStream : public Object {
  QV_DECLARE_CLASS(DBQAccStream)

 public:
  // The owner of the stream; error 40090 when the stream does not exist.
  double GetPersonIDByAccStreamID(double aAccStreamID);
  // -1 when the taxpayer has a stream, else 0.
  int32_t HasAccStreams(double aTaxpayerID);
  // "name" by display name and KPP, "kpp" by KPP, "imns" by tax office and
  // KPP; any other mode in storage order.
  CollectionPtr GetAllAccStreams(const std::string& aSortMode, int32_t aSortDirection);
  bool IsAnyAccStreamExists();
  bool IsAnyAccStreamWithTypeExists(int32_t aAccStreamType);
  // Modes of GetAllAccStreams, and "type_kpp" (type, KPP) and "type_imns"
  // (type, tax office, KPP).
  CollectionPtr GetAllAliveAccStreams(const std::string& aSortMode, int32_t aSortDirection);
  // Modes of GetAllAccStreams.
  CollectionPtr GetAllAliveAccStreamsWithType(int32_t aAccStreamType, const std::string& aSortMode,
                                              int32_t aSortDirection);
  // The alive streams with their owner's type, INN, KPP (empty for natural
  // persons), category (0 for natural persons), last month and GIIN.
  ado::RecordsetPtr GetAccStreamsForSolver();
  // The streams of a person, modes of GetAllAccStreams.
  CollectionPtr GetAccStreamsByPerson(double aPersonID, const std::string& aSortMode,
                                      int32_t aSortDirection);
  CollectionPtr GetAccStreamsByPersonAndType(double aPersonID, int32_t aAccStreamType);
  bool HasDocuments(double aAccStreamID);
  // The streams of the taxpayer and type a new or changed stream would
  // duplicate: same second tax office (when given and a system office,
  // below 1e9); by type, same KPP and main tax office (1), same KPP and
  // main tax office when given (2 to 7), same KPP (12), nothing more (8 to
  // 11 and others); `aExcludeAccStreamID` (the stream itself) left out.
  CollectionPtr FindDuplicates(double aTaxpayerID, int32_t aAccStreamType, const std::string& aKpp,
                               double aTaxOffice1ID, double aTaxOffice2ID,
                               double aExcludeAccStreamID);
  // The foreign-organisation streams (type 9) whose foreign tax code is
  // `aGiin`, letter case ignored; at most `aMaxCount` when it is above 0.
  CollectionPtr GetAccStreamsByGiin(const std::string& aGiin, int32_t aMaxCount);
  // True when the stream has a document of any template other than 607:
  // such a stream may not be moved to another person.
  bool IsBanMoveAccStream(double aAccStreamID);
  ado::RecordsetPtr GetAllOfrLicTypesList();
};

}  // namespace qv::queries
