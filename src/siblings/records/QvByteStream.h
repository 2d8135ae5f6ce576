#pragma once
// QvByteStream: a block of bytes handed between a blob record and the code
// that stores it ("Qv_Records.QvByteStream"). Late-bound: Size, Bytes
// (get/let a Byte array), Clear.

#include <cstdint>
#include <utility>
#include <vector>

#include "platform/automation/Object.h"

namespace qv::records {

class QvByteStream : public Object {
  QV_DECLARE_CLASS(QvByteStream)

 public:
  int32_t Size() const { return static_cast<int32_t>(bytes_.size()); }
  // A Byte array (lower bound 0); an empty stream gives an empty array.
  Variant Bytes() const;
  // Takes a Byte array, Empty (no bytes) or a text (its UTF-8 bytes); error
  // 13 for anything else.
  void SetBytes(const Variant& value);
  void Clear() { bytes_.clear(); }

  const std::vector<uint8_t>& Data() const { return bytes_; }
  void SetData(std::vector<uint8_t> bytes) { bytes_ = std::move(bytes); }

 private:
  std::vector<uint8_t> bytes_;
};

}  // namespace qv::records
