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
#include <new>

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

}  // namespace qv
