#include "core/mErrorHandling.h"

#include <atomic>
#include <cstdlib>
#include <iostream>
#include <mutex>
#include <new>

#include <unistd.h>

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

bool StartsWithLineBreak(std::string_view s) {
  return !s.empty() && (s.front() == '\r' || s.front() == '\n');
}

std::string NewDescription(const Error& e, std::string_view module, std::string_view procedure,
                           std::string_view extra) {
  std::string text = mErrorHandling::LocationLine(module, procedure, e.Line(), extra, e.Source());
  if (!StartsWithLineBreak(e.Description())) text += "\r\n";
  text += e.Description();
  return text;
}

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

std::string LocationLine(std::string_view module, std::string_view procedure, int32_t line,
                         std::string_view extra, std::string_view source) {
  std::string text = "[";
  text += kLibraryName;
  if (module.empty()) {
    text += "::?";
  } else {
    text += "::";
    text += module;
  }
  if (!procedure.empty()) {
    text += ".";
    text += procedure;
  }
  if (line != 0) text += " (" + std::to_string(line) + ")";
  text += "]";
  if (!extra.empty()) {
    text += " {";
    text += extra;
    text += "}";
  }
  if (!source.empty()) {
    text += "\r\n[";
    text += source;
    text += "]";
  }
  return text;
}

Error CurrentError() {
  try {
    throw;
  } catch (const Error& e) {
    return e;
  } catch (const std::bad_alloc&) {
    return Error(vberr::kOutOfMemory, std::string(VbErrorText(vberr::kOutOfMemory)));
  } catch (const std::exception& e) {
    return Error(vberr::kAutomationError, e.what());
  } catch (...) {
    return Error(vberr::kInternalError, std::string(VbErrorText(vberr::kInternalError)));
  }
}

void ProcessError(std::string_view module, std::string_view procedure, std::string_view extra,
                  int32_t /*flags*/) {
  const Error e = CurrentError();
  Error raised(e.Number(), NewDescription(e, module, procedure, extra));
  raised.SetMessage(e.Message());
  throw raised;
}

void ProcessErrorAndShow(std::string_view module, std::string_view procedure,
                         std::string_view extra, int32_t /*flags*/) {
  const Error e = CurrentError();
  const std::string description = NewDescription(e, module, procedure, extra);
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
  try {
    if (!server.empty()) {
      char host[256] = {};
      if (gethostname(host, sizeof host - 1) != 0 || !NameEquals(server, host))
        ThrowVb(vberr::kCannotCreateObject, "no remote server " + std::string(server));
    }
    return CreateObject(progId);
  } catch (...) {
    std::string extra = "Object: " + std::string(progId);
    if (!server.empty()) extra += "@" + std::string(server);
    ProcessError(kModule, "CreateObjectErr", extra);
  }
}

}  // namespace mErrorHandling
}  // namespace qv
