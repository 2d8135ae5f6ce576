#include "platform/jet/ServerLocation.h"

#include <libpq-fe.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/jet/JetError.h"
#include "platform/jet/PgConnection.h"

namespace qv::jet {

namespace {

using Options = std::unique_ptr<PQconninfoOption, decltype(&PQconninfoFree)>;

[[noreturn]] void Refuse(std::string_view location, std::string_view why) {
  throw Error(
      jeterr::kInvalidPath,
      "'" + ShownLocation(location) + "' is not a valid server location: " + std::string(why),
      std::string(kSourceDatabase));
}

Options Parse(std::string_view location) {
  char* error = nullptr;
  Options options(PQconninfoParse(std::string(location).c_str(), &error), &PQconninfoFree);
  if (!options) {
    std::string why = error ? error : "libpq cannot read it";
    PQfreemem(error);
    while (!why.empty() && (why.back() == '\n' || why.back() == ' ')) why.pop_back();
    Refuse(location, why);
  }
  return options;
}

// The words of a libpq "options" value: split at unescaped blanks, "\x"
// standing for x.
std::vector<std::string> Words(std::string_view text) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == ' ' || c == '\t' || c == '\n') {
      if (inWord) words.push_back(std::move(word));
      word.clear();
      inWord = false;
      continue;
    }
    inWord = true;
    if (c == '\\' && i + 1 < text.size()) ++i;
    word += text[i];
  }
  if (inWord) words.push_back(std::move(word));
  return words;
}

std::string EscapeWord(std::string_view word) {
  std::string out;
  for (char c : word) {
    if (c == ' ' || c == '\\' || c == '\t') out += '\\';
    out += c;
  }
  return out;
}

struct SearchPath {
  std::vector<std::string> schemas;  // as written, blanks around entries dropped
  std::vector<std::string> otherWords;
};

std::string Trim(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return std::string(s);
}

// Takes "-c search_path=...", "-csearch_path=..." and "--search_path=..."
// out of an options value; the rest stays in order.
SearchPath ReadSearchPath(std::string_view options) {
  SearchPath out;
  const std::vector<std::string> words = Words(options);
  constexpr std::string_view kKey = "search_path=";
  for (size_t i = 0; i < words.size(); ++i) {
    std::string_view w = words[i];
    std::string_view setting;
    bool isSetting = false;
    if (w == "-c" && i + 1 < words.size()) {
      setting = words[i + 1];
      isSetting = true;
    } else if (w.starts_with("-c")) {
      setting = w.substr(2);
    } else if (w.starts_with("--")) {
      setting = w.substr(2);
    }
    if (!setting.starts_with(kKey)) {
      out.otherWords.emplace_back(w);
      continue;
    }
    if (isSetting) ++i;
    out.schemas.clear();
    std::string_view list = setting.substr(kKey.size());
    while (!list.empty()) {
      const size_t comma = list.find(',');
      std::string entry = Trim(list.substr(0, comma));
      if (entry.size() >= 2 && entry.front() == '"' && entry.back() == '"')
        entry = entry.substr(1, entry.size() - 2);
      if (!entry.empty()) out.schemas.push_back(std::move(entry));
      if (comma == std::string_view::npos) break;
      list.remove_prefix(comma + 1);
    }
  }
  return out;
}

std::string_view OptionsValue(const Options& options) {
  for (PQconninfoOption* o = options.get(); o->keyword; ++o)
    if (std::string_view(o->keyword) == "options" && o->val) return o->val;
  return {};
}

std::string QuoteValue(std::string_view value) {
  std::string out = "'";
  for (char c : value) {
    if (c == '\'' || c == '\\') out += '\\';
    out += c;
  }
  return out + "'";
}

}  // namespace

bool IsConnectionKeyword(std::string_view word) {
  // libpq's own keywords: parsing an empty string lists every one of them,
  // without reading the environment or a service file.
  static const std::set<std::string, std::less<>> keywords = [] {
    std::set<std::string, std::less<>> out;
    char* error = nullptr;
    const Options options(PQconninfoParse("", &error), &PQconninfoFree);
    PQfreemem(error);
    if (options)
      for (PQconninfoOption* o = options.get(); o->keyword; ++o) out.emplace(o->keyword);
    return out;
  }();
  return keywords.contains(word);
}

bool IsPlainSchemaName(std::string_view name) {
  if (name.empty() || name.size() > 63) return false;
  if (name.front() >= '0' && name.front() <= '9') return false;
  for (char c : name)
    if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_')) return false;
  return true;
}

bool SetsSearchPath(std::string_view location) {
  return !ReadSearchPath(OptionsValue(Parse(location))).schemas.empty();
}

std::string ServerFolderSchema(std::string_view location) {
  const Options options = Parse(location);
  const SearchPath path = ReadSearchPath(OptionsValue(options));
  if (path.schemas.empty()) return "public";
  const std::string& first = path.schemas.front();
  if (!IsPlainSchemaName(first))
    Refuse(location, "its search path starts with '" + first +
                         "'; a data folder's schema is a lower-case name of letters a-z, "
                         "digits and '_' (at most 63)");
  return first;
}

std::string ServerLocationInSchema(std::string_view location, std::string_view schema) {
  if (!IsPlainSchemaName(schema))
    Refuse(location, "the schema '" + std::string(schema) +
                         "' is not a lower-case name of letters a-z, digits and '_' (at most 63)");
  const Options options = Parse(location);
  const SearchPath path = ReadSearchPath(OptionsValue(options));
  std::string list(schema);
  bool hasJet = schema == "jet";
  for (size_t i = 1; i < path.schemas.size(); ++i) {
    if (path.schemas[i] == schema) continue;
    hasJet = hasJet || path.schemas[i] == "jet";
    list += "," + path.schemas[i];
  }
  if (!hasJet) list += ",jet";
  std::string newOptions;
  for (const std::string& w : path.otherWords) newOptions += EscapeWord(w) + " ";
  newOptions += "-c search_path=" + EscapeWord(list);

  std::string out;
  for (PQconninfoOption* o = options.get(); o->keyword; ++o) {
    const std::string_view key = o->keyword;
    if (key == "options" || !o->val) continue;
    out += std::string(key) + "=" + QuoteValue(o->val) + " ";
  }
  return out + "options=" + QuoteValue(newOptions);
}

std::string ServerDatabaseLocation(std::string_view folder, std::string_view relativeName,
                                   std::string_view mainName) {
  std::string schema = ServerFolderSchema(folder);
  if (relativeName != mainName) {
    std::string_view stem = relativeName;
    if (stem.size() > 4) {
      std::string ext(stem.substr(stem.size() - 4));
      for (char& c : ext) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
      if (ext == ".mdb") stem.remove_suffix(4);
    }
    schema += '_';
    for (char c : stem) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
      schema += ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) ? c : '_';
    }
    if (schema.size() > 63)
      throw Error(jeterr::kInvalidPath,
                  "The database '" + std::string(relativeName) + "' of the server folder '" +
                      ShownLocation(folder) + "' would be the schema '" + schema +
                      "', longer than the server's 63 bytes.",
                  std::string(kSourceDatabase));
  }
  return ServerLocationInSchema(folder, schema);
}

}  // namespace qv::jet
