#pragma once
// The warrants step of `qvdb demo`: a signer of the first accounting
// stream's taxpayer gets a warrant (subjects, a power with permissions),
// made active through DBQWarrant, and the taxpayer's signer list shows it.
// Earlier runs' demo warrants are deleted first. A failure raises qv::Error.

#include <iosfwd>

namespace qvdb {

void WalkWarrants(std::ostream& out);

}  // namespace qvdb
