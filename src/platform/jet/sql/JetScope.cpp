#include "platform/jet/sql/JetScope.h"

#include <cctype>

#include "platform/automation/VbaText.h"
#include "platform/jet/sql/JetSqlError.h"

namespace qv::jet::sql {

bool NamesEqual(std::string_view a, std::string_view b) {
  bool ascii = true;
  for (const char c : a) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
  for (const char c : b) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
  if (!ascii) return FoldCase(a) == FoldCase(b);
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

std::string QuoteName(std::string_view name) {
  std::string out = "\"";
  for (const char c : name) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
  return out;
}

const ScopeSource* Scope::FindSource(std::string_view name) const {
  for (const auto& s : sources_)
    if (!s.name.empty() && NamesEqual(s.name, name)) return &s;
  return nullptr;
}

std::optional<Scope::Hit> Scope::Find(std::string_view qualifier, std::string_view name) const {
  std::optional<Hit> hit;
  for (const auto& s : sources_) {
    if (!qualifier.empty() && (s.name.empty() || !NamesEqual(s.name, qualifier))) continue;
    for (const auto& c : s.columns) {
      if (!NamesEqual(c.name, name)) continue;
      if (hit) ThrowJet(sqlerr::kAmbiguousField, name);
      hit = Hit{&s, &c};
      break;
    }
  }
  return hit;
}

}  // namespace qv::jet::sql
