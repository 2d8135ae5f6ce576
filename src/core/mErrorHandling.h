#pragma once
// The library's one error discipline. Every public operation and every
// routine that can fail runs its body through Guard (or GuardX, which names
// an extra text such as the failing statement); on an error the guard
// prefixes the description with the procedure's location line in this
// library ("[Qv_DBProvider::module.procedure]", ErrorGuard.h) and raises it
// again with the same number and an empty source, so the caller sees the
// chain of procedures the error passed, outermost first.
//
//   Variant DictQueries::GetCountry(...) {
//     return Guard(QV_HERE, [&] { ... });
//   }
//
// QV_HERE names the enclosing class or module (its `kModule`) and function.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/automation/Error.h"
#include "platform/automation/ErrorGuard.h"
#include "platform/automation/Object.h"

namespace qv {

namespace mErrorHandling {

inline constexpr std::string_view kModule = "mErrorHandling";
inline constexpr std::string_view kLibraryName = "Qv_DBProvider";

// Re-raises the error in flight with the location line of `module`.
// `procedure` prefixed; the error's Message() stays what was first raised.
// REQUIRES: called inside a catch block.
[[noreturn]] void ProcessError(std::string_view module, std::string_view procedure,
                               std::string_view extra = {}, int32_t flags = 0);

// Builds the same text as ProcessError and shows it instead of raising.
// REQUIRES: called inside a catch block.
void ProcessErrorAndShow(std::string_view module, std::string_view procedure,
                         std::string_view extra = {}, int32_t flags = 0);

// The user-visible report of an error: the application's error handler
// "Qv_Errors.QvErrorHandler" when it can be created, else the display sink.
void ShowError(const std::string& description, const std::string& source,
               const std::string& helpText, int32_t number);

// Creates an outside object by ProgID; on failure re-raises with the ProgID
// (and server) named (qv::CreateObjectErr of ErrorGuard.h, from this
// module). `server` must be empty or this machine's name.
ObjectPtr CreateObjectErr(std::string_view progId, std::string_view server = {});

}  // namespace mErrorHandling

// What reaches the display sink: the message box the user would see.
struct ErrorDisplay {
  std::string title;   // "Сбой программы"
  std::string text;    // the description
  int32_t style = 16;  // critical-stop icon
};
using ErrorDisplaySink = std::function<void(const ErrorDisplay&)>;

// Replaces the sink that shows errors to the user (standard error by
// default) and returns the previous one. Process-wide.
ErrorDisplaySink SetErrorDisplaySink(ErrorDisplaySink sink);
// Messages that are not errors (a notice box) go to the same sink.
void ShowMessageBox(const std::string& text, int32_t style = 0, const std::string& title = {});

// When set (or when QV_UNATTENDED is set in the environment) the host runs
// unattended: nothing on screen is touched before an error is shown.
void SetUnattended(bool unattended);
bool IsUnattended();

template <class F>
decltype(auto) Guard(std::string_view module, std::string_view procedure, F&& body) {
  return GuardIn(mErrorHandling::kLibraryName, module, procedure, std::forward<F>(body));
}

// As Guard, with an extra text built only when an error occurs.
template <class X, class F>
decltype(auto) GuardX(std::string_view module, std::string_view procedure, X&& extra, F&& body) {
  try {
    return std::forward<F>(body)();
  } catch (...) {
    std::string text;
    try {
      text = extra();
    } catch (...) {
    }
    mErrorHandling::ProcessError(module, procedure, text);
  }
}

}  // namespace qv

#define QV_HERE kModule, __func__
