#pragma once
// Large buffers a thread frees and asks for again, kept for it instead of
// going back to the heap: a reader that builds thousands of records and
// keys per call and frees them when its caller is done otherwise gets the
// same megabyte back from the kernel each call, page faults and page
// clearing included, after the heap gave it back.
//
// Only buffers of at least kSpareMinBytes are kept, in page-rounded sizes,
// at most kSpareBytes per thread (the oldest go first); smaller requests
// and the rest are the heap's. A buffer may be freed on another thread than
// the one it came from.

#include <cstddef>
#include <cstring>
#include <new>
#include <type_traits>

namespace qv {

inline constexpr size_t kSpareMinBytes = 16 * 1024;
// Under the address sanitizer nothing is kept, so that a use of a freed
// buffer is still caught.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr size_t kSpareBytes = 0;
#else
inline constexpr size_t kSpareBytes = 2 * 1024 * 1024;
#endif

// Aligned for any object; FreeSpare takes the size AllocateSpare was given.
void* AllocateSpare(size_t bytes);
void FreeSpare(void* p, size_t bytes) noexcept;

// A standard allocator over AllocateSpare, for containers that are large
// and made and freed again and again.
template <class T>
struct SpareAllocator {
  using value_type = T;
  SpareAllocator() = default;
  template <class U>
  SpareAllocator(const SpareAllocator<U>&) {}  // NOLINT: converting, as allocators do
  T* allocate(size_t n) {
    static_assert(alignof(T) <= alignof(std::max_align_t));
    return static_cast<T*>(AllocateSpare(n * sizeof(T)));
  }
  void deallocate(T* p, size_t n) noexcept { FreeSpare(p, n * sizeof(T)); }
  template <class U>
  bool operator==(const SpareAllocator<U>&) const {
    return true;
  }
};

// Values kept by memcpy, in memory from AllocateSpare, grown by doubling in
// whole multiples of kSpareMinBytes, so that a result read again asks for
// the sizes it asked for before, which the spare memory has. A thread's
// first buffer of T's starts at the size its last one would have grown to
// for what it held (unless the spare memory would not keep that), so that
// reading many results neither faults in the same memory over and over
// nor grows the buffer again each time.
template <class T>
struct SpareBuffer {
  static_assert(std::is_trivially_copyable_v<T> && kSpareMinBytes % sizeof(T) == 0);
  T* data = nullptr;
  size_t size = 0, capacity = 0;

  SpareBuffer() = default;
  SpareBuffer(const SpareBuffer&) = delete;
  SpareBuffer& operator=(const SpareBuffer&) = delete;
  ~SpareBuffer() { Free(); }

  // Room for `n` more values at the end; returns where they go.
  T* Extend(size_t n) {
    if (capacity - size < n) Grow(n);
    T* at = data + size;
    size += n;
    return at;
  }
  // Gives the memory back, noting the size the thread's next buffer starts
  // at from what this one holds.
  void Free() noexcept {
    if (!data) return;
    size_t used = kSpareMinBytes;
    while (used < size * sizeof(T)) used *= 2;
    FirstBytes() = used <= kSpareBytes ? used : kSpareMinBytes;
    FreeSpare(data, capacity * sizeof(T));
    data = nullptr;
    size = capacity = 0;
  }

 private:
  static size_t& FirstBytes() {
    thread_local size_t bytes = kSpareMinBytes;
    return bytes;
  }
  [[gnu::noinline]] void Grow(size_t n) {
    const size_t needed = (size + n) * sizeof(T);
    size_t bytes = capacity > 0 ? 2 * capacity * sizeof(T) : FirstBytes();
    if (bytes < needed) bytes = (needed + kSpareMinBytes - 1) / kSpareMinBytes * kSpareMinBytes;
    T* grown = static_cast<T*>(AllocateSpare(bytes));
    if (size > 0) std::memcpy(grown, data, size * sizeof(T));
    FreeSpare(data, capacity * sizeof(T));
    data = grown;
    capacity = bytes / sizeof(T);
  }
};

}  // namespace qv
