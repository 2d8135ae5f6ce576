#include "core/mQvXmlToolsErr.h"

#include <fstream>
#include <sstream>

#include "platform/automation/VbaText.h"

namespace qv::mQvXmlToolsErr {

namespace {

// The line number and the text of the line at byte `offset` of the file.
std::pair<int, std::string> LineAt(const std::string& path, ptrdiff_t offset) {
  std::ifstream in(path, std::ios::binary);
  if (!in || offset < 0) return {0, {}};
  std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const size_t at = std::min(static_cast<size_t>(offset), content.size());
  int line = 1;
  size_t lineStart = 0;
  for (size_t i = 0; i < at; ++i)
    if (content[i] == '\n') ++line, lineStart = i + 1;
  size_t lineEnd = content.find('\n', lineStart);
  if (lineEnd == std::string::npos) lineEnd = content.size();
  std::string text = content.substr(lineStart, lineEnd - lineStart);
  if (!text.empty() && text.back() == '\r') text.pop_back();
  return {line, text};
}

}  // namespace

std::string XmlExplainParseError(const pugi::xml_parse_result& result, const std::string& path) {
  int line = 0;
  std::string source;
  if (result.status != pugi::status_file_not_found && result.status != pugi::status_io_error)
    std::tie(line, source) = LineAt(path, result.offset);
  return "   Reason: " + std::string(result.description()) + "\r\n" + "   Source: " + source +
         "\r\n" + "   Line: " + std::to_string(line);
}

XmlDocument XmlLoadDocumentSafe(const std::string& path, std::string& errorText) {
  auto doc = std::make_shared<pugi::xml_document>();
  const pugi::xml_parse_result result = doc->load_file(path.c_str());
  if (!result) {
    errorText = XmlExplainParseError(result, path);
    return nullptr;
  }
  errorText.clear();
  return doc;
}

std::string XmlGetStringAttributeDef(const pugi::xml_node& node, std::string_view name,
                                     std::string_view def) {
  if (!node) return std::string(def);
  const pugi::xml_attribute attr = node.attribute(std::string(name).c_str());
  if (!attr) return std::string(def);
  return attr.value();
}

bool XmlGetBooleanAttributeDef(const pugi::xml_node& node, std::string_view name, bool def) {
  const std::string word = LCase(Trim(XmlGetStringAttributeDef(node, name, "")));
  if (word == "yes" || word == "1" || word == "true") return true;
  if (word == "no" || word == "0" || word == "false") return false;
  return def;
}

}  // namespace qv::mQvXmlToolsErr
