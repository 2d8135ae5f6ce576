#include "platform/jet/sql/JetAst.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <new>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#define QV_POISON(p, n) ASAN_POISON_MEMORY_REGION(p, n)
#define QV_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION(p, n)
#else
#define QV_POISON(p, n) ((void)(p), (void)(n))
#define QV_UNPOISON(p, n) ((void)(p), (void)(n))
#endif

namespace qv::jet::sql {

namespace {

// The arena of a thread: a list of chunks kept from one translation to the
// next, taken in order. A chunk is at least kChunkBytes; a block larger than
// that gets a chunk of its own size. After the outermost translation the
// first kChunksKept stay (a statement near the limits leaves no megabytes
// behind for the thread's life).
constexpr size_t kChunkBytes = size_t{64} << 10;
constexpr size_t kChunksKept = 1;
constexpr size_t kAlign = alignof(std::max_align_t);

// At the start of its chunk; the blocks follow.
struct alignas(kAlign) Chunk {
  Chunk* next;
  size_t size;  // bytes after the header
  char* Data() { return reinterpret_cast<char*>(this + 1); }
};

// Trivially destructible, so that it stays usable while the thread's other
// objects are destroyed; the chunks it holds at the thread's end are freed
// by ArenaOwner.
struct Arena {
  Chunk* first;
  Chunk* current;  // null before the first block of the outermost scope
  size_t used;     // bytes of `current` taken
};
// Compiled with TLS descriptors (CMakeLists.txt): in the default model each
// access called __tls_get_addr. The initial-exec model would not call at
// all, but it puts the library's whole TLS block (every thread_local of it)
// in the static space, and the PostgreSQL server, which opens the library
// with its extension, then refuses to load it.
thread_local Arena tArena;

// Frees the chunks after the first `kept`.
void FreeChunks(Arena& a, size_t kept) {
  Chunk** link = &a.first;
  for (size_t k = 0; *link != nullptr && k < kept; ++k) link = &(*link)->next;
  for (Chunk* c = *link; c != nullptr;) {
    Chunk* next = c->next;
    QV_UNPOISON(c->Data(), c->size);
    ::operator delete(c);
    c = next;
  }
  *link = nullptr;
}

struct ArenaOwner {
  ~ArenaOwner() {
    FreeChunks(tArena, 0);
    tArena.current = nullptr;
    tArena.used = 0;
  }
};

// A block from a chunk after the current one: apart, so that the common
// case saves none of the registers this needs.
[[gnu::noinline]] void* AllocateFromNextChunk(Arena& a, size_t size) {
  // The next chunk that holds the block; one skipped for being too small
  // stays unused until the scope ends.
  Chunk* last = a.current;
  Chunk* next = a.current != nullptr ? a.current->next : a.first;
  while (next != nullptr && next->size < size) {
    last = next;
    next = next->next;
  }
  if (next == nullptr) {
    // Made when the thread first allocates a chunk, so destroyed before
    // the arena is gone; asked only here, as each access of a per-thread
    // object costs a call in a shared library.
    thread_local ArenaOwner owner;
    (void)owner;
    const size_t bytes = std::max(size, kChunkBytes);
    next = new (::operator new(sizeof(Chunk) + bytes)) Chunk{nullptr, bytes};
    QV_POISON(next->Data(), bytes);
    (last != nullptr ? last->next : a.first) = next;
  }
  a.current = next;
  a.used = size;
  QV_UNPOISON(next->Data(), size);
  return next->Data();
}

}  // namespace

void* AllocateTreeBlock(size_t size) {
  Arena& a = tArena;
  size = (size + kAlign - 1) & ~(kAlign - 1);
  if (a.current == nullptr || a.current->size - a.used < size)
    return AllocateFromNextChunk(a, size);
  void* block = a.current->Data() + a.used;
  a.used += size;
  QV_UNPOISON(block, size);
  return block;
}

TreeScope::TreeScope() : current_(tArena.current), used_(tArena.used) {}

TreeScope::~TreeScope() {
  Arena& a = tArena;
  a.current = static_cast<Chunk*>(current_);
  a.used = used_;
#if defined(__SANITIZE_ADDRESS__)
  // Under the address sanitizer the blocks given back are poisoned, so that
  // a node used after its translation is still caught.
  for (Chunk* c = a.current != nullptr ? a.current : a.first; c != nullptr; c = c->next) {
    const size_t from = c == a.current ? a.used : 0;
    QV_POISON(c->Data() + from, c->size - from);
  }
#endif
  if (current_ == nullptr) FreeChunks(a, kChunksKept);
}

std::string WrittenName(const Expr& e) {
  std::string name;
  if (!e.qualifier.empty()) {
    name.reserve(e.qualifier.size() + 1 + e.text.size());
    name.append(e.qualifier) += '.';
  }
  return name.append(e.text);
}

// Out of line: a statement holds nodes of types declared after it.
Statement::Statement(Statement&&) noexcept = default;
Statement& Statement::operator=(Statement&&) noexcept = default;
Statement::~Statement() = default;

}  // namespace qv::jet::sql
