#include "platform/jet/sql/JetAst.h"

#include <cstdint>
#include <new>

namespace qv::jet::sql {

namespace {

// Blocks are kept by size class: 16-byte steps up to kLargestPooled bytes
// (a node is the largest), at most kBlocksKept of each. Under the address
// sanitizer every block is its own allocation, so that a use after free is
// still caught.
constexpr size_t kClassBytes = 16;
constexpr size_t kLargestPooled = 256;
constexpr size_t kClasses = kLargestPooled / kClassBytes;
#if defined(__SANITIZE_ADDRESS__)
constexpr size_t kBlocksKept = 0;
#else
constexpr size_t kBlocksKept = 256;
#endif

// A free block holds the next free block of its class.
struct FreeBlock {
  FreeBlock* next;
};

// Trivially destructible, so that it stays usable while the thread's other
// objects are destroyed; the blocks it holds at the thread's end are freed
// by FreeBlocksOwner.
struct FreeBlocks {
  FreeBlock* first[kClasses];
  uint16_t count[kClasses];
};
// Compiled with TLS descriptors (CMakeLists.txt): in the default model each
// access called __tls_get_addr. The initial-exec model would not call at
// all, but it puts the library's whole TLS block (every thread_local of it)
// in the static space, and the PostgreSQL server, which opens the library
// with its extension, then refuses to load it.
thread_local FreeBlocks tFreeBlocks;

struct FreeBlocksOwner {
  ~FreeBlocksOwner() {
    for (size_t c = 0; c < kClasses; ++c) {
      while (FreeBlock* b = tFreeBlocks.first[c]) {
        tFreeBlocks.first[c] = b->next;
        ::operator delete(b);
      }
      tFreeBlocks.count[c] = 0;
    }
  }
};

// The class of a block of `size` bytes; kClasses when it is not pooled.
size_t SizeClassOf(size_t size) {
  return size == 0 || size > kLargestPooled ? kClasses : (size - 1) / kClassBytes;
}

}  // namespace

void* AllocateTreeBlock(size_t size) {
  const size_t c = SizeClassOf(size);
  if (c == kClasses) return ::operator new(size);
  FreeBlocks& free = tFreeBlocks;
  if (FreeBlock* b = free.first[c]) {
    free.first[c] = b->next;
    --free.count[c];
    return b;
  }
  // Made when the thread first allocates a block, so destroyed before the
  // lists are gone; asked only here, as each access of a per-thread object
  // costs a call in a shared library. (A syntax tree is freed on the thread
  // that made it.)
  thread_local FreeBlocksOwner owner;
  (void)owner;
  // The whole class's size, so that any block of the class may serve later.
  return ::operator new((c + 1) * kClassBytes);
}

void FreeTreeBlock(void* block, size_t size) noexcept {
  const size_t c = SizeClassOf(size);
  FreeBlocks& free = tFreeBlocks;
  if (c == kClasses || free.count[c] >= kBlocksKept) {
    ::operator delete(block);
    return;
  }
  free.first[c] = new (block) FreeBlock{free.first[c]};
  ++free.count[c];
}

std::string WrittenName(const Expr& e) {
  std::string name;
  if (!e.qualifier.empty()) {
    name.reserve(e.qualifier.size() + 1 + e.text.size());
    name.append(e.qualifier) += '.';
  }
  return name.append(e.text);
}

// Out of line: each node owns nodes of types declared after it.
Expr::~Expr() = default;
TableRef::~TableRef() = default;
Select::~Select() = default;
Query::~Query() = default;
Statement::Statement(Statement&&) noexcept = default;
Statement& Statement::operator=(Statement&&) noexcept = default;
Statement::~Statement() = default;

}  // namespace qv::jet::sql
