#pragma once
// Lookups of the document queries: a document's attributes, and the
// existence checks the moves make before they write. Each works on the
// thread's user database.

#include <optional>
#include <string>
#include <string_view>

#include "platform/automation/Collection.h"

namespace qv::queries {

struct DocAttributes {
  double templateId = 0;
  double period = 0;
  double docType = 0;  // 0 when the template has no row
  double stream = 0;
};

// The attributes of a document; nothing when it does not exist.
std::optional<DocAttributes> FindDocAttributes(double aDocID);
// The same, required. Errors: 40090 when the document does not exist.
DocAttributes DocAttributesOf(double aDocID);

// The documents of a statement's "ID" column as records (references).
CollectionPtr DocumentRecords(const std::string& sql);

// Error 5 naming `what` and the identifier unless `table` has a row whose
// `keyColumn` is `aID`.
void RequireRow(std::string_view table, std::string_view keyColumn, double aID,
                std::string_view what);

}  // namespace qv::queries
