#include "queries/mActiveWarrantTitle.h"

#include <utility>

namespace qv::queries {
namespace {

// No warrant yet: the warrant queries (the active warrant of a worker, with
// the latest warrant standing in when none is active) fill this in, giving
// the warrant record's display title.
std::optional<std::string> NoWarrant(double) {
  return std::nullopt;
}

WarrantTitleSource& Source() {
  static WarrantTitleSource source = &NoWarrant;
  return source;
}

}  // namespace

std::optional<std::string> ActiveWarrantTitle(double aPersonnelID) {
  return Source()(aPersonnelID);
}

WarrantTitleSource SetWarrantTitleSource(WarrantTitleSource source) {
  if (!source) source = &NoWarrant;
  return std::exchange(Source(), std::move(source));
}

}  // namespace qv::queries
