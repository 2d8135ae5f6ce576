#pragma once
// The parts of the person and stream cascades that belong to other
// subsystems, one function each, so that each subsystem completes its own
// part in one place. Every function runs inside the caller's
// dao::Transaction on `db`: a failure undoes the whole delete.

#include <cstdint>

namespace qv::dao {
class Database;
}

namespace qv::records {

// Rights-system block types of the objects the mappers delete.
inline constexpr int32_t kPermBlockNaturalPerson = 3;
inline constexpr int32_t kPermBlockLegalPerson = 4;
inline constexpr int32_t kPermBlockAccStream = 5;

// Deletes every document of the stream through the document mapper
// (Qv_DBProvider.DBDocument, created by ProgID), which removes its cells,
// chains and files. Until that mapper is registered, a stream that has
// documents cannot be deleted: the call fails with 429 naming the mapper
// (rather than leaving documents without their stream); a stream without
// documents is not affected.
void DeleteDocumentsOfStream(dao::Database& db, double aAccStreamID);

// Removes the blocks of type `aBlockType` that name the object `aObjectID`
// from the rights system, with their document lists, items and object
// lists.
void DeletePermObjectReferences(dao::Database& db, int32_t aBlockType, double aObjectID);

}  // namespace qv::records
