#pragma once
// `qvdb call CLASS.OPERATION [ARG...]`: creates a public class by ProgID
// ("Qv_DBProvider." is implied when CLASS has no dot), calls the operation
// with the arguments read by their form (CallArgs.h), and prints the result
// (none for an Empty one), then every argument that is an object or an array,
// that the operation takes by reference, or that the call changed. In JSON the whole output is
// {"result":...,"args":[...]} with every argument.

#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "Output.h"

namespace qvdb {

// The library whose classes a ProgID may name without it ("DictQueries").
inline constexpr std::string_view kOwnLibrary = "Qv_DBProvider";

// Raises the errors of argument reading (5), creation (429) and the call.
void RunCall(const std::string& target, const std::vector<std::string>& rawArgs, Format format,
             std::ostream& out);

// `qvdb classes [--members]`: the ProgIDs of the classes `call` can create,
// sorted, each once, one a line; with `members`, every CLASS.MEMBER as `call`
// takes it (the library's own classes without "Qv_DBProvider."), a tab and
// its signature. The shell completion reads the first column.
void ListClasses(bool members, std::ostream& out);

}  // namespace qvdb
