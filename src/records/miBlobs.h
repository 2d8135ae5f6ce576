#pragma once
// Data blobs: rows of CourBlobs holding a block of bytes, stored as they are
// (compression 0) or as a zlib stream (1) made by the compressor
// "Qv_Packer.QvZLib" at level 7, created by ProgID once per thread.
// ContentLength counts the bytes as stored. Every routine works on the
// thread's user database (MapperUserDatabase).

#include <cstdint>
#include <span>
#include <string_view>

namespace qv::records {
class QvByteStream;
}

namespace qv::miBlobs {

inline constexpr std::string_view kModule = "miBlobs";

// Compression types.
inline constexpr int32_t kStored = 0;
inline constexpr int32_t kZlib = 1;
// Fewer bytes than this are stored uncompressed whatever was asked.
inline constexpr size_t kMinCompressedLength = 50;
inline constexpr int32_t kZlibLevel = 7;

enum class BlobWrite { kNothing, kWritten, kDeleted };
struct SavedBlob {
  BlobWrite outcome = BlobWrite::kNothing;
  int32_t storedLength = 0;  // ContentLength written (kWritten)
};

// Writes `aContent` into blob `rID`, or into a new blob (identifier last +
// 1) when `rID` is 0, which then returns in `rID`; one write-locked
// transaction. No bytes delete blob `rID` (nothing for 0). A blob `rID`
// without a row is not recreated (kNothing). Errors: 1001 "Unknown
// copmression type." for a desired compression other than 0 and 1, before
// anything is written.
SavedBlob SaveDataBlob(double& rID, std::span<const uint8_t> aContent, int32_t aDesiredCompression);

// Replaces the bytes of `aTarget` with those of blob `aID`, decompressed;
// nothing for 0 or a blob without a row, or when the blob holds no bytes.
// Errors: 1001 for a stored compression type other than 0 and 1 ("Unknown
// copmpression type in database blob (N).") and for content that is not
// one whole zlib stream; `aTarget` is then unchanged.
void LoadCourBlobTo(double aID, records::QvByteStream& aTarget);

// Deletes blob `aID` when it exists.
void DeleteDataBlob(double aID);

}  // namespace qv::miBlobs
