#pragma once
// DBQScattering ("Qv_DBProvider.DBQScattering"): the cells of one document
// read by key masks, to spread ("scatter") its rows over accounting streams
// or pages. Stateless.
//
// A mask is a cell key in which every "#" stands for one variable
// character: R##C01 matches R01C01, R02C01 ... A template is filled from a
// page key: each "#" takes the page key's next character.

#include <string>

#include "platform/ado/Recordset.h"
#include "platform/automation/Object.h"

namespace qv::queries {

class DBQScattering : public Object {
  QV_DECLARE_CLASS(DBQScattering)

 public:
  // One row per non-empty cell matching `aMainFieldMask`: its value as
  // `aMainFieldName` and its key as `aMainFieldName`_key, then for each
  // mask of `aFieldsMasks` (separated by ",", named by the same place in
  // `aFieldsNames`) the cell whose key has the main cell's variable
  // characters in its "#" places (Null when there is none).
  // Error 5 (before any statement) for names that are not identifiers
  // (letters, digits, "_", not starting with a digit), unequal numbers of
  // masks and names, more than 25 fields, or masks longer than 65536 bytes
  // together.
  ado::RecordsetPtr GetAccStreamsFromDocument(double aDocumentID, const std::string& aMainFieldMask,
                                              const std::string& aMainFieldName,
                                              const std::string& aFieldsMasks,
                                              const std::string& aFieldsNames);
  // The cells (document_id, cell_key, first_value, first_type) whose keys
  // are the templates of `aCellKeysTemplates` (separated by ",") filled
  // from `aPageKey`; a "#" past the page key's end is dropped. One template
  // is compared with Like (its "?", "*" ... are wildcards). `aResetSystemID`
  // is accepted and not applied. Error 5, before any work, for templates
  // longer than 65536 bytes together; the work is linear in their length.
  ado::RecordsetPtr GetScatteringPage(double aDocumentID, const std::string& aPageKey,
                                      const std::string& aCellKeysTemplates, bool aResetSystemID);
};

}  // namespace qv::queries
