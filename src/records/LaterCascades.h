#pragma once
// The parts of the person and stream cascades that belong to other
// subsystems, one function each, so that each subsystem completes its own
// part in one place. Every function runs inside the caller's
// dao::Transaction on `db`: a failure undoes the whole delete.

#include <cstdint>
#include <string>

namespace qv::dao {
class Database;
}

namespace qv::records {

// Rights-system block types of the objects the mappers delete.
inline constexpr int32_t kPermBlockNaturalPerson = 3;
inline constexpr int32_t kPermBlockLegalPerson = 4;
inline constexpr int32_t kPermBlockAccStream = 5;

// Deletes every document of the stream through the document mapper
// (DBDocument.DeleteRecord), which removes its cells, chain links, files
// and what else hangs on it (LaterDocumentParts.h: a document with
// pension-fund sub-documents or attachments cannot be deleted before their
// subsystems are).
void DeleteDocumentsOfStream(dao::Database& db, double aAccStreamID);

// Deletes the insured persons of the taxpayer `aPersonID` (PfrPersons rows
// whose Person_ID names it) through their mapper
// (Qv_DBProvider.DBPfrPerson, created by ProgID), with the passports and
// addresses they own. Their sub-documents go with the documents of the
// taxpayer's streams, which are deleted before.
void DeletePfrPersonsOfTaxpayer(dao::Database& db, double aPersonID);

// Removes the blocks of type `aBlockType` that name the object `aObjectID`
// (PermObjectID) from the rights system, with their document lists, items
// and object lists.
void DeletePermObjectReferences(dao::Database& db, int32_t aBlockType, double aObjectID);

// The rights system's blocks that meet `blocksWhere` (a condition on
// "PermBlocks AS b") lose their document lists, items and object lists, in
// that order; then `blocksDelete` removes the blocks themselves. The one
// place these statements are built: DeletePermObjectReferences above and
// the user deletes of DBPermissions use it.
void DeletePermBlocks(dao::Database& db, const std::string& blocksWhere,
                      const std::string& blocksDelete);

}  // namespace qv::records
