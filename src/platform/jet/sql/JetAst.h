#pragma once
// The syntax tree of one Jet statement, as the parser builds it and the
// emitter reads it. Source positions are byte offsets into the statement.

#include <cstddef>
#include <cstdint>
#include <forward_list>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/jet/JetTranslator.h"

namespace qv::jet::sql {

struct Query;

// Storage of the syntax tree: its nodes and their lists of operands, select
// items and order keys come from a per-thread arena, and the tree is
// dropped by giving the arena back to where it stood before the statement
// was parsed (TreeScope): its nodes hold views and arena lists only, so none
// has anything to free and no node's destructor is run.
void* AllocateTreeBlock(size_t size);

// Given to a translation: the tree parsed within it lives until it ends.
// Scopes nest (a translation inside another's gives back only its own).
class TreeScope {
 public:
  TreeScope();
  ~TreeScope();
  TreeScope(const TreeScope&) = delete;
  TreeScope& operator=(const TreeScope&) = delete;

 private:
  void* current_;  // where the arena stood
  size_t used_;
};

// The nodes' operator new; nothing is freed node by node.
struct TreeNode {
  static void* operator new(size_t size) { return AllocateTreeBlock(size); }
  static void operator delete(void*) noexcept {}
};

// A node's pointer, which frees nothing: the arena holds the node. A plain
// pointer's copy: as a unique_ptr (with a deleter doing nothing) every
// level of the parser returned its node through memory and nulled what it
// moved from.
template <class T>
class TreePtr {
 public:
  TreePtr() = default;
  TreePtr(std::nullptr_t) {}
  explicit TreePtr(T* p) : p_(p) {}
  T* get() const { return p_; }
  T& operator*() const { return *p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  bool operator==(std::nullptr_t) const { return p_ == nullptr; }

 private:
  T* p_ = nullptr;
};
template <class T, class... Args>
TreePtr<T> MakeTree(Args&&... args) {
  return TreePtr<T>(new T(std::forward<Args>(args)...));
}

// The lists' allocator.
template <class T>
struct TreeAllocator {
  using value_type = T;
  TreeAllocator() = default;
  template <class U>
  TreeAllocator(const TreeAllocator<U>&) noexcept {}
  T* allocate(size_t n) { return static_cast<T*>(AllocateTreeBlock(n * sizeof(T))); }
  void deallocate(T*, size_t) noexcept {}
  friend bool operator==(const TreeAllocator&, const TreeAllocator&) { return true; }
};
template <class T>
using TreeList = std::vector<T, TreeAllocator<T>>;

// A buffer of a translation (a vector or a string) kept per thread for the
// next one: taken empty with the capacity the last use left, given back
// when done unless it grew beyond `kKept` elements. A use inside another's
// finds it taken and starts without. A translation then allocates none of
// them but when it outgrows the last.
template <class T, size_t kKept>
class ThreadBuffer {
 public:
  explicit ThreadBuffer(T& kept) : kept_(kept), value_(std::move(kept)) { value_.clear(); }
  ~ThreadBuffer() {
    if (value_.capacity() > kKept) return;
    value_.clear();
    kept_ = std::move(value_);
  }
  ThreadBuffer(const ThreadBuffer&) = delete;
  ThreadBuffer& operator=(const ThreadBuffer&) = delete;

  T& operator*() { return value_; }
  T* operator->() { return &value_; }

 private:
  T& kept_;
  T value_;
};

enum class ExprKind : uint8_t {
  kNumber,  // `text` as written
  kString,  // `text` holds the value
  kDate,    // `number` holds the date serial
  kGuid,    // `text` holds "{XXXXXXXX-...}"
  kNull,
  kBool,      // `number` is -1 or 0
  kColumn,    // [qualifier.]name
  kUnary,     // op kNeg or kNot; args[0]
  kBinary,    // op; args[0], args[1]
  kBetween,   // args: value, bound, bound; negated
  kLike,      // args: value, pattern; negated
  kIn,        // args[0] the value, args[1..] the list, or `sub`; negated
  kIsNull,    // args[0]; negated for Is Not Null
  kExists,    // sub
  kSubquery,  // sub, a scalar sub-select
  kCall,      // name(args), or name(*) with `star`
};

enum class Op : uint8_t {
  kNone,
  kNeg,
  kNot,
  kPow,
  kMul,
  kDiv,
  kIntDiv,
  kMod,
  kAdd,
  kSub,
  kConcat,
  kEq,
  kNe,
  kLt,
  kGt,
  kLe,
  kGe,
  kAnd,
  kOr,
};

struct Expr;
using ExprPtr = TreePtr<Expr>;
using ExprList = TreeList<ExprPtr>;

struct Expr : TreeNode {
  Expr(ExprKind k, size_t p) : kind(k), pos(p), end(p) {}

  ExprKind kind;
  Op op = Op::kNone;
  bool negated = false;
  bool star = false;
  // Views of the statement text, or of a text of the statement's `texts`
  // (a literal's value that differs from its token): a node owns nothing of
  // its own, so making and dropping one copies and frees no string.
  std::string_view text;       // literal text or value, column or function name
  std::string_view qualifier;  // the table or alias before the dot of a column
  double number = 0;
  ExprList args;
  TreePtr<Query> sub;
  size_t pos;      // first byte of the expression
  size_t end;      // just past its last byte
  int height = 1;  // 1 + the height of the tallest operand
};

// A column reference's name as written: [qualifier.]name.
std::string WrittenName(const Expr& e);

struct SelectItem {
  ExprPtr expr;                    // null for * and q.*
  std::string_view starQualifier;  // q of q.*; empty for *
  std::string_view alias;
  size_t pos = 0;
};

enum class JoinKind : uint8_t { kInner, kLeft, kRight, kCross };

struct TableRef : TreeNode {
  enum class Kind : uint8_t { kTable, kSubquery, kJoin };
  explicit TableRef(Kind k, size_t p) : kind(k), pos(p) {}

  Kind kind;
  std::string_view table;  // kTable: the name as written
  TreePtr<Query> sub;      // kSubquery
  std::string_view alias;  // kTable, kSubquery
  JoinKind join = JoinKind::kInner;
  TreePtr<TableRef> left, right;  // kJoin
  ExprPtr on;                     // kJoin except kCross
  size_t pos;
};

struct OrderKey {
  ExprPtr expr;
  bool desc = false;
};

struct Select : TreeNode {
  bool distinct = false;
  bool hasTop = false;
  bool topPercent = false;
  double top = 0;
  TreeList<SelectItem> items;
  TreePtr<TableRef> from;  // null for a select of expressions alone
  ExprPtr where;
  TreeList<ExprPtr> groupBy;
  ExprPtr having;
  TreeList<OrderKey> orderBy;
  size_t pos = 0;
};

// A select, or a union of parts; a parenthesised select followed by ORDER BY
// is a union of one part.
struct Query : TreeNode {
  bool IsCompound() const { return select == nullptr; }

  TreePtr<Select> select;
  TreeList<TreePtr<Query>> parts;
  TreeList<bool> unionAll;  // between parts[i] and parts[i + 1]
  TreeList<OrderKey> orderBy;
  size_t pos = 0;
};

struct Assignment {
  std::string qualifier;
  std::string column;
  ExprPtr value;
  size_t pos = 0;
};

struct Statement {
  Statement() = default;
  Statement(Statement&&) noexcept;
  Statement& operator=(Statement&&) noexcept;
  ~Statement();

  StatementKind kind = StatementKind::kSelect;
  TreePtr<Query> query;                  // SELECT; the source of INSERT ... SELECT
  std::string table;                     // target of INSERT and UPDATE
  std::string alias;                     // of the UPDATE target
  std::vector<std::string> columns;      // INSERT column list (may be empty)
  TreeList<ExprPtr> values;              // INSERT ... VALUES
  std::vector<Assignment> assignments;   // UPDATE
  std::shared_ptr<SchemaChange> change;  // kSchema; a make-table's select is `query`
  TreePtr<TableRef> from;                // DELETE source
  std::string deleteQualifier;           // q of DELETE q.*
  ExprPtr where;                         // UPDATE, DELETE
  size_t pos = 0;
  // The values the nodes' views point to that are not in the statement's
  // text (a literal with a quote written twice, a GUID): a list, so that
  // neither adding one nor moving the statement moves them, and none is
  // allocated for a statement without them.
  std::forward_list<std::string> texts;
};

}  // namespace qv::jet::sql
