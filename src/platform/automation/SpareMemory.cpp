#include "platform/automation/SpareMemory.h"

#include <algorithm>

namespace qv {

namespace {

constexpr size_t kPage = 4096;
constexpr std::align_val_t kAlign{alignof(std::max_align_t)};

size_t Rounded(size_t bytes) {
  return (bytes + kPage - 1) / kPage * kPage;
}

// The thread's kept buffers, oldest first.
struct Spares {
  struct Buffer {
    void* p;
    size_t size;
  };
  static constexpr size_t kMaxBuffers = 64;
  Buffer buffers[kMaxBuffers];
  size_t count = 0, bytes = 0;

  ~Spares();
  // Not inlined: inlined, the compiler worked the thread's address of the
  // pool out again (a call into the loader) at every buffer it looked at.
  [[gnu::noinline]] void* Take(size_t size) {
    for (size_t i = count; i-- > 0;)
      if (buffers[i].size == size) {
        void* p = buffers[i].p;
        bytes -= size;
        std::copy(buffers + i + 1, buffers + count, buffers + i);
        --count;
        return p;
      }
    return nullptr;
  }
  [[gnu::noinline]] void Keep(void* p, size_t size) {
    while (count > 0 && (count == kMaxBuffers || bytes + size > kSpareBytes)) {
      ::operator delete(buffers[0].p, kAlign);
      bytes -= buffers[0].size;
      std::copy(buffers + 1, buffers + count, buffers);
      --count;
    }
    buffers[count++] = Buffer{p, size};
    bytes += size;
  }
};

// Set when the thread's Spares are gone (buffers freed by other objects'
// destructors at thread exit go to the heap); trivially destructible, so
// valid until the thread's end.
thread_local bool tSparesGone = false;

Spares::~Spares() {
  for (size_t i = 0; i < count; ++i) ::operator delete(buffers[i].p, kAlign);
  count = bytes = 0;
  tSparesGone = true;
}

Spares* ThreadSpares() {
  if (tSparesGone) return nullptr;
  thread_local Spares spares;
  return &spares;
}

}  // namespace

void* AllocateSpare(size_t bytes) {
  if (bytes < kSpareMinBytes) return ::operator new(bytes, kAlign);
  const size_t size = Rounded(bytes);
  if (Spares* s = ThreadSpares())
    if (void* p = s->Take(size)) return p;
  return ::operator new(size, kAlign);
}

void FreeSpare(void* p, size_t bytes) noexcept {
  if (!p) return;
  if (bytes < kSpareMinBytes) return ::operator delete(p, kAlign);
  const size_t size = Rounded(bytes);
  Spares* s = size <= kSpareBytes ? ThreadSpares() : nullptr;
  if (!s) return ::operator delete(p, kAlign);
  s->Keep(p, size);
}

}  // namespace qv
