#include "siblings/records/QvByteStream.h"

namespace qv::records {

Variant QvByteStream::Bytes() const {
  return Variant(ByteArray{0, bytes_});
}

void QvByteStream::SetBytes(const Variant& value) {
  if (value.IsByteArray()) {
    bytes_ = value.AsBytes().bytes;
  } else if (value.IsEmpty()) {
    bytes_.clear();
  } else if (value.IsString()) {
    const std::string& s = value.AsString();
    bytes_.assign(s.begin(), s.end());
  } else {
    ThrowVb(vberr::kTypeMismatch, "QvByteStream.Bytes takes a Byte array");
  }
}

QV_DEFINE_CLASS(QvByteStream, "Qv_Records.QvByteStream", QV_CREATABLE(QvByteStream),
                Method("Size", &QvByteStream::Size),
                Property("Bytes", &QvByteStream::Bytes, &QvByteStream::SetBytes),
                Method("Clear", &QvByteStream::Clear))

}  // namespace qv::records
