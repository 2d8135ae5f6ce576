#include "core/mErrorHandling.h"

#include <atomic>
#include <cstdlib>
#include <iostream>
#include <mutex>

namespace qv {

namespace {

std::mutex sinkMutex;

ErrorDisplaySink& Sink() {
  static ErrorDisplaySink sink = [](const ErrorDisplay& d) {
    std::cerr << (d.title.empty() ? std::string() : d.title + ": ") << d.text << std::endl;
  };
  return sink;
}

std::atomic<int> unattended{-1};  // -1: not set, read the environment

}  // namespace

ErrorDisplaySink SetErrorDisplaySink(ErrorDisplaySink sink) {
  std::lock_guard lock(sinkMutex);
  ErrorDisplaySink previous = std::move(Sink());
  Sink() = std::move(sink);
  return previous;
}

void ShowMessageBox(const std::string& text, int32_t style, const std::string& title) {
  ErrorDisplaySink sink;
  {
    std::lock_guard lock(sinkMutex);
    sink = Sink();
  }
  if (sink) sink(ErrorDisplay{title, text, style});
}

void SetUnattended(bool value) {
  unattended = value ? 1 : 0;
}

bool IsUnattended() {
  const int v = unattended;
  if (v >= 0) return v == 1;
  const char* env = std::getenv("QV_UNATTENDED");
  return env && *env && std::string_view(env) != "0";
}

namespace mErrorHandling {

void ProcessError(std::string_view module, std::string_view procedure, std::string_view extra,
                  int32_t /*flags*/) {
  RaiseWithLocation(kLibraryName, module, procedure, extra);
}

void ProcessErrorAndShow(std::string_view module, std::string_view procedure,
                         std::string_view extra, int32_t /*flags*/) {
  const Error e = CurrentError();
  const std::string description =
      ErrorWithLocation(kLibraryName, module, procedure, extra).Description();
  if (!IsUnattended()) {
    // A splash window would hide the error dialog: close it when there is one.
    try {
      if (ProgIdRegistry::Find("Qv_SplashWindow.SplashWindow"))
        CreateObject("Qv_SplashWindow.SplashWindow")->CallV("CloseSplashImmediately");
    } catch (...) {
    }
  }
  ShowError(description, e.Source(), std::string(), e.Number());
}

void ShowError(const std::string& description, const std::string& source,
               const std::string& helpText, int32_t number) {
  ObjectPtr handler;
  try {
    if (ProgIdRegistry::Find("Qv_Errors.QvErrorHandler"))
      handler = CreateObject("Qv_Errors.QvErrorHandler");
  } catch (...) {
  }
  if (handler) {
    try {
      std::vector<Variant> args{Variant(description), Variant(source), Variant(number),
                                Variant(helpText)};
      handler->Call("ErrorMsgBox", args);
      return;
    } catch (...) {
      // fall back to the message box
    }
  }
  ShowMessageBox(description, 16, "Сбой программы");
}

ObjectPtr CreateObjectErr(std::string_view progId, std::string_view server) {
  return qv::CreateObjectErr(kLibraryName, kModule, progId, server);
}

}  // namespace mErrorHandling
}  // namespace qv
