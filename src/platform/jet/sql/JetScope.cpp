#include "platform/jet/sql/JetScope.h"

#include <cctype>

#include "platform/automation/VbaText.h"
#include "platform/jet/Sqlite.h"
#include "platform/jet/sql/JetSqlError.h"

namespace qv::jet::sql {

namespace {

// NamesEqual, answered here for two ASCII names (nearly every name a scope
// compares: each column reference is compared with every column of its
// sources), which are equal when their letters are equal without case.
bool SameName(std::string_view a, std::string_view b) {
  bool ascii = true;
  bool equal = a.size() == b.size();
  for (size_t i = 0; i < a.size(); ++i) {
    const auto x = static_cast<unsigned char>(a[i]);
    ascii = ascii && x < 0x80;
    if (!equal) continue;
    const auto y = static_cast<unsigned char>(b[i]);
    const unsigned lower = x | 0x20u;
    equal = x == y || ((x ^ y) == 0x20u && lower >= 'a' && lower <= 'z');
  }
  if (!ascii) return NamesEqual(a, b);
  for (const char c : b)
    if (static_cast<unsigned char>(c) >= 0x80) return NamesEqual(a, b);
  return equal;
}

}  // namespace

std::string QuoteName(std::string_view name) {
  std::string out;
  out.reserve(name.size() + 2);
  sqlite::AppendQuoted(out, name);
  return out;
}

void AppendQualifiedName(std::string& out, const ScopeSource& source, std::string_view column) {
  out += source.qualifier;
  out += '.';
  sqlite::AppendQuoted(out, column);
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
