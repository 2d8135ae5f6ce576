#include "platform/jet/sql/JetAst.h"

#include <new>

namespace qv::jet::sql {

namespace {

// Under the address sanitizer every node is its own allocation, so that a
// use after free is still caught.
#if defined(__SANITIZE_ADDRESS__)
constexpr size_t kFreeExprsKept = 0;
#else
constexpr size_t kFreeExprsKept = 256;
#endif

// Trivially destructible, so that it stays usable while the thread's other
// objects are destroyed; the nodes it holds at the thread's end are freed by
// FreeExprsOwner.
struct FreeExprs {
  void* nodes[kFreeExprsKept > 0 ? kFreeExprsKept : 1];
  size_t count = 0;
};
thread_local FreeExprs tFreeExprs;

struct FreeExprsOwner {
  ~FreeExprsOwner() {
    while (tFreeExprs.count > 0) ::operator delete(tFreeExprs.nodes[--tFreeExprs.count]);
  }
};

}  // namespace

void* Expr::operator new(size_t size) {
  // Made on the thread's first node, so destroyed before the list is gone.
  thread_local FreeExprsOwner owner;
  FreeExprs& free = tFreeExprs;
  if (size == sizeof(Expr) && free.count > 0) return free.nodes[--free.count];
  return ::operator new(size);
}

void Expr::operator delete(void* node, size_t size) noexcept {
  FreeExprs& free = tFreeExprs;
  if (size == sizeof(Expr) && free.count < kFreeExprsKept) {
    free.nodes[free.count++] = node;
    return;
  }
  ::operator delete(node);
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
