#pragma once
// IntDocQuerySession: one structured document search (DocumentQueries.
// PerformDocQuery) over a query object read late-bound (the criteria of
// siblings/records/QvDocQuery.h).
//
// Phase 1 builds one statement over doc_registry (d), joined to
// doc_templates (t), AccStream (a) and Branches (ch) only where a condition
// needs them; each criterion adds " (condition) ", joined by " and ". A
// list condition is "field in (a, b)", "field = a", or "field = -100" for
// an empty list. Phase 2 reads each document found and keeps those whose
// signing date, signer and tax offices match; the rest of the criteria are
// settled by the statement. Caller texts reach the statement through the
// literal builders; list items must be numbers (error 13 otherwise).

#include <cstdint>
#include <string>
#include <vector>

#include "platform/automation/Collection.h"
#include "platform/automation/Object.h"

namespace qv::queries {

class IntDocQuerySession {
 public:
  static constexpr std::string_view kModule = "IntDocQuerySession";
  // Periods of a range up to this many are listed; more go in a sub-select.
  static constexpr size_t kMaxListedPeriods = 80;

  explicit IntDocQuerySession(ObjectPtr aQuery);

  // The documents found, keyed "_" + ID, in the statement's order, with
  // the other documents of their pension-fund packs after them when the
  // query asks. `aAdditionalInfo` becomes an array: the phase-1 statement,
  // the number of documents it found, the number kept.
  CollectionPtr PerformDocQuery(Variant& aAdditionalInfo);
  // The phase-1 statement.
  std::string BuildStatement();

 private:
  bool On(std::string_view criterion) const;
  Variant Value(std::string_view criterion) const;
  void Add(const std::string& condition);
  std::vector<double> Ids(std::string_view criterion) const;

  void AddDocStatus();
  void AddNotes();
  void AddDocNumbers();
  void AddTemplates();
  void AddPeriods();
  void AddAccStreams();
  void AddTaxpayers();

  bool Keeps(const ObjectPtr& doc) const;
  void AddPfrCluster(Collection& docs, double aDocID) const;

  ObjectPtr query_;
  std::string where_, top_, order_;
  bool usesTemplates_ = false, usesStreams_ = false, usesBranches_ = false;
};

}  // namespace qv::queries
