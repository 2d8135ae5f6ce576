#pragma once
// XML documents for the options file and the like, with failure texts that
// explain where a document is broken.

#include <memory>
#include <string>
#include <string_view>

#include <pugixml.hpp>

namespace qv::mQvXmlToolsErr {

inline constexpr std::string_view kModule = "mQvXmlToolsErr";

using XmlDocument = std::shared_ptr<pugi::xml_document>;

// The loaded document, or null with `errorText` set to the explanation of
// XmlExplainParseError (a missing file included).
XmlDocument XmlLoadDocumentSafe(const std::string& path, std::string& errorText);

// "   Reason: ...\r\n   Source: ...\r\n   Line: N" for a failed load of `path`.
std::string XmlExplainParseError(const pugi::xml_parse_result& result, const std::string& path);

// The attribute's text, or the default when the node or the attribute is missing.
std::string XmlGetStringAttributeDef(const pugi::xml_node& node, std::string_view name,
                                     std::string_view def);
// The attribute as a yes/no word: "yes", "1", "true" are true; "no", "0",
// "false" false (trimmed, any case); anything else gives the default.
bool XmlGetBooleanAttributeDef(const pugi::xml_node& node, std::string_view name, bool def);

}  // namespace qv::mQvXmlToolsErr
