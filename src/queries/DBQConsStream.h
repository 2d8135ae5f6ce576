#pragma once
// DBQConsStream ("Qv_DBProvider.DBQConsStream"): the member accounting
// streams of a consolidated stream (ConsMembers) and its documents (ConsDocs).
// Stateless.

#include <cstdint>
#include <string>

#include "platform/ado/Recordset.h"
#include "platform/automation/Collection.h"
#include "platform/automation/Object.h"

namespace qv::queries {

class DBQConsStream : public Object {
  QV_DECLARE_CLASS(DBQConsStream)

 public:
  // One row per member, the stream's identifier as ID.
  ado::RecordsetPtr GetMembersListOfConsStream(double aConsStreamID);
  // Replaces the members with `aMembersIDs` (stream identifiers separated
  // by "," or ";"; empty: no members), in one transaction. New rows take
  // the identifiers after the largest in the table. Error 5 for a list that
  // is not numbers; nothing is changed then.
  void SaveMembersList(double aConsStreamID, const std::string& aMembersIDs);
  // Every consolidated stream as a record reference.
  CollectionPtr GetAllConsStreams();
  bool IsAnyConsStreamExists();
  int32_t GetDocumentsCountInConsStream(double aConsStreamID);
};

}  // namespace qv::queries
