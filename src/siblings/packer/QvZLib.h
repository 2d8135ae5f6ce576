#pragma once
// Stand-in for "Qv_Packer.QvZLib", the compressor of data blobs, on the
// system zlib. Late-bound members:
//   Level (get/let)    the compression level, 0 to 9 (6 until set)
//   Active (get/let)   False (until set): Compress hands the bytes back as
//                      they are; True: it compresses
//   Compress(aBytes)   a Byte array -> the zlib stream (header, deflate data,
//                      checksum) of those bytes
//   Decompress(aBytes) a zlib stream -> the bytes it holds, whatever Active
//                      says
// Errors: 5 for a level outside 0 to 9 and for data that is not one whole
// zlib stream (zlib's reason in the text), 13 for an argument that is no
// Byte array (Empty counts as no bytes), 7 when memory runs out.

#include <cstdint>
#include <span>
#include <vector>

#include "platform/automation/Object.h"

namespace qv::packer {

class QvZLib : public Object {
  QV_DECLARE_CLASS(QvZLib)

 public:
  int32_t Level() const { return level_; }
  void SetLevel(int32_t level);
  bool Active() const { return active_; }
  void SetActive(bool active) { active_ = active; }

  Variant Compress(const Variant& aBytes) const;
  Variant Decompress(const Variant& aBytes) const;

  // The same for C++ callers.
  static std::vector<uint8_t> Deflate(std::span<const uint8_t> bytes, int32_t level);
  static std::vector<uint8_t> Inflate(std::span<const uint8_t> stream);

 private:
  int32_t level_ = 6;
  bool active_ = false;
};

}  // namespace qv::packer
