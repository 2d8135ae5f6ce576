#include "platform/automation/ErrorGuard.h"
#include "platform/automation/VbaText.h"

#include <new>

#include <unistd.h>

namespace qv {

std::string LocationLine(std::string_view library, std::string_view module,
                         std::string_view procedure, int32_t line, std::string_view extra,
                         std::string_view source) {
  std::string text = "[";
  text += library;
  text += "::";
  text += module.empty() ? std::string_view("?") : module;
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

Error ErrorWithLocation(std::string_view library, std::string_view module,
                        std::string_view procedure, std::string_view extra) {
  const Error e = CurrentError();
  std::string text = LocationLine(library, module, procedure, e.Line(), extra, e.Source());
  const std::string& d = e.Description();
  if (d.empty() || (d.front() != '\r' && d.front() != '\n')) text += "\r\n";
  text += d;
  Error raised(e.Number(), std::move(text));
  raised.SetMessage(e.Message());  // the message stays what was first raised
  return raised;
}

void RaiseWithLocation(std::string_view library, std::string_view module,
                       std::string_view procedure, std::string_view extra) {
  throw ErrorWithLocation(library, module, procedure, extra);
}

ObjectPtr CreateObjectErr(std::string_view library, std::string_view module,
                          std::string_view progId, std::string_view server) {
  try {
    if (!server.empty()) {
      char host[256] = {};
      if (gethostname(host, sizeof host - 1) != 0 || !EqualsAsciiNoCase(server, host))
        ThrowVb(vberr::kCannotCreateObject, "no remote server " + std::string(server));
    }
    return CreateObject(progId);
  } catch (...) {
    std::string extra = "Object: " + std::string(progId);
    if (!server.empty()) extra += "@" + std::string(server);
    RaiseWithLocation(library, module, "CreateObjectErr", extra);
  }
}

}  // namespace qv
