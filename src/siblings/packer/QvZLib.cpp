#include "siblings/packer/QvZLib.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <string>

namespace qv::packer {

namespace {

constexpr std::string_view kSource = "Qv_Packer.QvZLib";

[[noreturn]] void Fail(int32_t number, const std::string& text) {
  throw Error(number, text, std::string(kSource));
}

const std::vector<uint8_t>& BytesOf(const Variant& v) {
  static const std::vector<uint8_t> kNone;
  if (v.IsEmpty()) return kNone;
  if (!v.IsByteArray()) Fail(vberr::kTypeMismatch, "a Byte array was expected");
  return v.AsBytes().bytes;
}

// zlib counts in uInt; larger blocks are refused rather than cut.
uInt Size32(size_t n) {
  if (n > std::numeric_limits<uInt>::max()) Fail(vberr::kOverflow, "the block is too large");
  return static_cast<uInt>(n);
}

// Inflate's output buffer, kept by the thread between calls.
struct Scratch {
  std::unique_ptr<uint8_t[]> data;
  size_t size = 0;
  // A buffer of `size` bytes holding the first `used` of the old one.
  void Grow(size_t bigger, size_t used) {
    auto next = std::make_unique_for_overwrite<uint8_t[]>(bigger);
    if (used) std::memcpy(next.get(), data.get(), used);
    data = std::move(next);
    size = bigger;
  }
};
constexpr size_t kFirstScratch = 256 * 1024;
constexpr size_t kKeptScratch = 4 * 1024 * 1024;

Scratch& ThreadScratch() {
  thread_local Scratch scratch;
  return scratch;
}

}  // namespace

void QvZLib::SetLevel(int32_t level) {
  if (level < 0 || level > 9)
    Fail(vberr::kInvalidProcedureCall,
         "the compression level must be 0 to 9, not " + std::to_string(level));
  level_ = level;
}

Variant QvZLib::Compress(const Variant& aBytes) const {
  const std::vector<uint8_t>& bytes = BytesOf(aBytes);
  return Variant(ByteArray{0, active_ ? Deflate(bytes, level_) : bytes});
}

Variant QvZLib::Decompress(const Variant& aBytes) const {
  return Variant(ByteArray{0, Inflate(BytesOf(aBytes))});
}

std::vector<uint8_t> QvZLib::Deflate(std::span<const uint8_t> bytes, int32_t level) {
  uLongf size = compressBound(Size32(bytes.size()));
  std::vector<uint8_t> out(size);
  const int rc = compress2(out.data(), &size, bytes.data(), Size32(bytes.size()), level);
  if (rc == Z_MEM_ERROR) Fail(vberr::kOutOfMemory, "out of memory while compressing");
  if (rc != Z_OK)
    Fail(vberr::kInvalidProcedureCall, std::string("compression failed: ") + zError(rc));
  out.resize(size);
  return out;
}

std::vector<uint8_t> QvZLib::Inflate(std::span<const uint8_t> stream) {
  z_stream z{};
  if (inflateInit(&z) != Z_OK) Fail(vberr::kOutOfMemory, "out of memory while decompressing");
  struct End {
    z_stream& z;
    ~End() { inflateEnd(&z); }
  } end{z};
  z.next_in = const_cast<Bytef*>(stream.data());
  z.avail_in = Size32(stream.size());
  // The size is not known ahead: inflated into the thread's scratch buffer,
  // doubled when full, then copied once into bytes of the exact size. A
  // vector grown as it went was moved into fresh memory at each growth, the
  // pages of each faulted in (about 2 MB touched for 1 MB read); the buffer
  // stays for the next call, up to kKeptScratch.
  Scratch& s = ThreadScratch();
  struct Trim {
    Scratch& s;
    ~Trim() {
      if (s.size > kKeptScratch) s = Scratch{};
    }
  } trim{s};
  if (!s.data) s.Grow(std::max(kFirstScratch, stream.size() * 4), 0);
  size_t used = 0;
  for (;;) {
    if (used == s.size) s.Grow(s.size * 2, used);
    const size_t room = std::min<size_t>(s.size - used, std::numeric_limits<uInt>::max());
    z.next_out = s.data.get() + used;
    z.avail_out = static_cast<uInt>(room);
    const int rc = inflate(&z, Z_NO_FLUSH);
    used += room - z.avail_out;
    if (rc == Z_STREAM_END) break;
    if (rc == Z_MEM_ERROR) Fail(vberr::kOutOfMemory, "out of memory while decompressing");
    if (rc == Z_OK || (rc == Z_BUF_ERROR && z.avail_out == 0)) continue;
    // A data error, a preset dictionary, or no progress with input left
    // to give: the stream is damaged or cut short.
    Fail(vberr::kInvalidProcedureCall, std::string("the data is not a whole zlib stream: ") +
                                           (z.msg ? z.msg : "it ends before its last block"));
  }
  if (z.avail_in != 0)
    Fail(vberr::kInvalidProcedureCall, "the data goes on after the end of its zlib stream");
  return std::vector<uint8_t>(s.data.get(), s.data.get() + used);
}

QV_DEFINE_CLASS(QvZLib, "Qv_Packer.QvZLib", QV_CREATABLE(QvZLib),
                Property("Level", &QvZLib::Level, &QvZLib::SetLevel),
                Property("Active", &QvZLib::Active, &QvZLib::SetActive),
                Method("Compress(aBytes)", &QvZLib::Compress),
                Method("Decompress(aBytes)", &QvZLib::Decompress))

}  // namespace qv::packer
