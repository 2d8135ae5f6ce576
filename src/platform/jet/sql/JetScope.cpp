#include "platform/jet/sql/JetScope.h"

#include <cctype>
#include <cstring>

#include "platform/automation/VbaText.h"
#include "platform/jet/Sqlite.h"
#include "platform/jet/sql/JetSqlError.h"

namespace qv::jet::sql {

namespace {

// NamesEqual, answered here for two names equal but for the case of ASCII
// letters and for two ASCII names (nearly every name a scope compares: each
// column reference is compared with every column of its sources).
bool SameName(std::string_view a, std::string_view b) {
  if (a.size() == b.size()) {
    size_t i = 0;
    for (; i < a.size(); ++i) {
      const auto x = static_cast<unsigned char>(a[i]);
      const auto y = static_cast<unsigned char>(b[i]);
      if (x == y) continue;
      const unsigned lower = x | 0x20u;
      if ((x ^ y) != 0x20u || lower < 'a' || lower > 'z') break;
    }
    if (i == a.size()) return true;
  }
  // First characters of one byte that differ but for case: no folding
  // makes the names equal (a reference's name and the columns it is
  // compared with mostly differ there), without looking at the rest.
  if (!a.empty() && !b.empty()) {
    const auto x = static_cast<unsigned char>(a[0]);
    const auto y = static_cast<unsigned char>(b[0]);
    const unsigned lower = x | 0x20u;
    if (x < 0x80 && y < 0x80 && x != y && ((x ^ y) != 0x20u || lower < 'a' || lower > 'z'))
      return false;
  }
  auto ascii = [](std::string_view s) {
    unsigned high = 0;
    for (const char c : s) high |= static_cast<unsigned char>(c);
    return high < 0x80;
  };
  if (ascii(a) && ascii(b)) return false;
  return NamesEqual(a, b);
}

thread_local std::vector<ScopeSource> tSpareSources;
constexpr size_t kSourcesKept = 16;

}  // namespace

Scope::Scope(const Scope* outer) : outer_(outer), sources_(std::move(tSpareSources)) {
  sources_.clear();
}

Scope::~Scope() {
  if (sources_.capacity() > kSourcesKept) return;
  sources_.clear();
  tSpareSources = std::move(sources_);
}

std::string QuoteName(std::string_view name) {
  std::string out;
  out.reserve(name.size() + 2);
  sqlite::AppendQuoted(out, name);
  return out;
}

void AppendQualifiedName(std::string& out, const ScopeSource& source, const ColumnInfo& column) {
  if (column.quoted.empty()) {
    out += source.qualifier;
    out += '.';
    sqlite::AppendQuoted(out, column.name);
    return;
  }
  // Sized once and written: every column reference comes here, and its
  // three appends cost more than the bytes they copied.
  const std::string_view q = source.qualifier, c = column.quoted;
  const size_t at = out.size();
  out.resize(at + q.size() + 1 + c.size());
  char* p = out.data() + at;
  std::memcpy(p, q.data(), q.size());
  p[q.size()] = '.';
  std::memcpy(p + q.size() + 1, c.data(), c.size());
}

const ScopeSource* Scope::FindSource(std::string_view name) const {
  for (const auto& s : sources_)
    if (!s.name.empty() && SameName(s.name, name)) return &s;
  return nullptr;
}

std::optional<Scope::Hit> Scope::Find(std::string_view qualifier, std::string_view name) const {
  std::optional<Hit> hit;
  for (const auto& s : sources_) {
    if (!qualifier.empty() && (s.name.empty() || !SameName(s.name, qualifier))) continue;
    for (const auto& c : *s.columns) {
      if (!SameName(c.name, name)) continue;
      if (hit) ThrowJet(sqlerr::kAmbiguousField, name);
      hit = Hit{&s, &c};
      break;
    }
  }
  return hit;
}

std::optional<Scope::Hit> Scope::FindThroughDerived(std::string_view qualifier,
                                                    std::string_view name) const {
  const ScopeSource* derived = nullptr;
  for (const auto& s : sources_) {
    for (const auto& inner : s.innerSources) {
      if (!NamesEqual(inner, qualifier)) continue;
      if (derived != nullptr)
        ThrowJet(sqlerr::kAmbiguousField, std::string(qualifier) + "." + std::string(name));
      derived = &s;
      break;
    }
  }
  if (derived == nullptr) return std::nullopt;
  Hit hit{derived, nullptr};
  for (size_t i = 0; i < derived->origins.size(); ++i) {
    const ColumnOrigin& o = derived->origins[i];
    if (!NamesEqual(o.source, qualifier) || !NamesEqual(o.column, name)) continue;
    if (hit.column != nullptr)
      ThrowJet(sqlerr::kAmbiguousField, std::string(qualifier) + "." + std::string(name));
    hit.column = &(*derived->columns)[i];
  }
  return hit;
}

}  // namespace qv::jet::sql
