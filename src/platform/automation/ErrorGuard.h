#pragma once
// The error chain of an automation library: a routine runs its body through
// GuardIn, which on an error prefixes the description with the routine's
// location line and raises it again with the same number and an empty
// source, so the caller reads the chain of procedures outermost first and
// the failing component's source once.
//
//   "[library::module.procedure (line)] {extra}"    then, when the error had
//   "[source]"                                      a source, that source.
//
// The library name is the caller's: each library built on this layer names
// itself (the data-access library wraps these in mErrorHandling.h).

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "platform/automation/Error.h"
#include "platform/automation/Object.h"

namespace qv {

std::string LocationLine(std::string_view library, std::string_view module,
                         std::string_view procedure, int32_t line, std::string_view extra,
                         std::string_view source);

// The error in flight as an Error: an Error as it is, std::bad_alloc as
// error 7, another std::exception as error 440 with its text, anything else
// as error 51. REQUIRES: called inside a catch block.
Error CurrentError();

// The error in flight with the location line prefixed (a line break added
// unless its description starts with one). REQUIRES: inside a catch block.
Error ErrorWithLocation(std::string_view library, std::string_view module,
                        std::string_view procedure, std::string_view extra = {});

// Raises ErrorWithLocation. REQUIRES: called inside a catch block.
[[noreturn]] void RaiseWithLocation(std::string_view library, std::string_view module,
                                    std::string_view procedure, std::string_view extra = {});

template <class F>
decltype(auto) GuardIn(std::string_view library, std::string_view module,
                       std::string_view procedure, F&& body) {
  try {
    return std::forward<F>(body)();
  } catch (...) {
    RaiseWithLocation(library, module, procedure);
  }
}

// CreateObject(progId) on this machine (`server` empty or this machine's
// name, else error 429). A failure is raised again from `module`'s
// "CreateObjectErr" with the extra text "Object: <progId>[@server]".
ObjectPtr CreateObjectErr(std::string_view library, std::string_view module,
                          std::string_view progId, std::string_view server = {});

}  // namespace qv
