#pragma once
// Collections made from a recordset for the query classes: the values of an
// identifier column, or one record object per row from the thread's
// RecordFactory. Records are references (state 1) that read themselves
// through their mapper on first use, unless the builder says otherwise.
// Every builder reads from the first row to the end; the recordset is left
// at its end.

#include <string>

#include "platform/automation/Collection.h"

namespace qv::dao {
class Recordset;
}

namespace qv::miRecCollection {

inline constexpr std::string_view kModule = "miRecCollection";

// The values of `aColumn` as numbers, in row order. With `aUnique` each value
// is kept once, under the key "_" + its text, in order of first appearance;
// a Null is then error 94. Without it a Null counts as 0.
CollectionPtr GetIDCollection(dao::Recordset& aRs, const std::string& aColumn, bool aUnique);

CollectionPtr GetRecCollection_QvPerson(dao::Recordset& aRs, const std::string& aColumn);
CollectionPtr GetRecCollection_QvAccStream(dao::Recordset& aRs, const std::string& aColumn);
CollectionPtr GetRecCollection_QvConsStream(dao::Recordset& aRs, const std::string& aColumn);
CollectionPtr GetRecCollection_QvWorker(dao::Recordset& aRs, const std::string& aColumn);
CollectionPtr GetRecCollection_QvTimePeriod(dao::Recordset& aRs, const std::string& aColumn);
// `aNewLoadOnSetID`: instead of references, new document records with
// LoadOnSetID set, given their identifier with SetID (so each reads itself
// at once).
CollectionPtr GetRecCollection_QvDocument(dao::Recordset& aRs, const std::string& aColumn,
                                          bool aNewLoadOnSetID = false);
CollectionPtr GetRecCollection_QvPfrSubDoc(dao::Recordset& aRs, const std::string& aColumn);
// Read at once (base columns) rather than on first use.
CollectionPtr GetRecCollection_QvPfrSubDocPreloaded(dao::Recordset& aRs,
                                                    const std::string& aColumn);
CollectionPtr GetRecCollection_QvPfrAddress(dao::Recordset& aRs, const std::string& aColumn);
CollectionPtr GetRecCollection_QvWarrant(dao::Recordset& aRs, const std::string& aColumn);
CollectionPtr GetRecCollection_QvAttachmentDoc(dao::Recordset& aRs, const std::string& aColumn);
CollectionPtr GetRecCollection_QvStoredFile(dao::Recordset& aRs, const std::string& aColumn);
CollectionPtr GetRecCollection_QvTemplate(dao::Recordset& aRs, const std::string& aColumn);
CollectionPtr GetRecCollection_QvTemplType(dao::Recordset& aRs, const std::string& aColumn);
CollectionPtr GetRecCollection_QvAccProfile(dao::Recordset& aRs, const std::string& aColumn);
CollectionPtr GetRecCollection_QvPfrManualSheaf(dao::Recordset& aRs, const std::string& aColumn);
CollectionPtr GetRecCollection_QvPfrPerson(dao::Recordset& aRs, const std::string& aColumn);
// Read at once (base columns) rather than on first use.
CollectionPtr GetRecCollection_QvPfrPersonWithNonLazyFields(dao::Recordset& aRs,
                                                            const std::string& aColumn);
CollectionPtr GetRecCollection_QvStdProfile(dao::Recordset& aRs, const std::string& aColumn);
CollectionPtr GetRecCollection_QvWjEvent(dao::Recordset& aRs, const std::string& aColumn);
// Work-journal events with the options of the journal query: `aBareIds`
// gives the identifiers instead of records; `aKeyed` adds each item under
// "_" + its identifier, skipping duplicates; records are new ones given
// their identifier with SetID, read at once when `aLoadOnSetID`.
CollectionPtr GetRecCollection_QvWjEvent_Ex(dao::Recordset& aRs, const std::string& aColumn,
                                            bool aBareIds, bool aKeyed, bool aLoadOnSetID);

}  // namespace qv::miRecCollection
