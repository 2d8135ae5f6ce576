#include "QvdbTestSupport.h"

#include <unicode/ustring.h>

#include <stdexcept>

namespace qvdb::test {

namespace {

class Reader {
 public:
  explicit Reader(const std::string& s) : s_(s) {}

  Json Document() {
    // As strict readers do: the whole text must be well-formed UTF-8.
    UErrorCode status = U_ZERO_ERROR;
    int32_t units = 0;
    u_strFromUTF8(nullptr, 0, &units, s_.data(), static_cast<int32_t>(s_.size()), &status);
    if (status == U_INVALID_CHAR_FOUND) Fail("ill-formed UTF-8");
    Json v = Value();
    Space();
    if (i_ != s_.size()) Fail("text after the value");
    return v;
  }

 private:
  [[noreturn]] void Fail(const std::string& why) {
    throw std::runtime_error("JSON: " + why + " at " + std::to_string(i_));
  }
  void Space() {
    while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\n' || s_[i_] == '\t' || s_[i_] == '\r'))
      ++i_;
  }
  bool Eat(char c) {
    Space();
    if (i_ < s_.size() && s_[i_] == c) return ++i_, true;
    return false;
  }
  void Expect(char c) {
    if (!Eat(c)) Fail(std::string("expected '") + c + "'");
  }
  bool Word(const char* w) {
    const std::string word(w);
    if (s_.compare(i_, word.size(), word) != 0) return false;
    i_ += word.size();
    return true;
  }

  Json Value() {
    Space();
    if (i_ >= s_.size()) Fail("unexpected end");
    Json v;
    const char c = s_[i_];
    if (c == '{') {
      ++i_;
      v.kind = Json::kObject;
      if (Eat('}')) return v;
      do {
        Space();
        if (i_ >= s_.size() || s_[i_] != '"') Fail("expected a key");
        std::string key = String();
        Expect(':');
        v.members.emplace_back(std::move(key), Value());
      } while (Eat(','));
      Expect('}');
    } else if (c == '[') {
      ++i_;
      v.kind = Json::kArray;
      if (Eat(']')) return v;
      do v.items.push_back(Value());
      while (Eat(','));
      Expect(']');
    } else if (c == '"') {
      v.kind = Json::kString;
      v.text = String();
    } else if (Word("true")) {
      v.kind = Json::kBool;
      v.boolean = true;
    } else if (Word("false")) {
      v.kind = Json::kBool;
    } else if (Word("null")) {
      v.kind = Json::kNull;
    } else {
      size_t used = 0;
      const std::string rest = s_.substr(i_, 40);
      if (rest.empty() || !(rest[0] == '-' || (rest[0] >= '0' && rest[0] <= '9')))
        Fail("unexpected character");
      v.kind = Json::kNumber;
      v.number = std::stod(rest, &used);
      i_ += used;
    }
    return v;
  }

  std::string String() {
    ++i_;  // the opening quote
    std::string out;
    while (i_ < s_.size() && s_[i_] != '"') {
      const unsigned char c = s_[i_];
      if (c < 0x20) Fail("a control character in a string");
      if (c != '\\') {
        out += static_cast<char>(c);
        ++i_;
        continue;
      }
      if (++i_ >= s_.size()) Fail("unexpected end");
      static const std::string kEscaped = "\"\\/nrtbf", kMeant = "\"\\/\n\r\t\b\f";
      const char e = s_[i_++];
      if (const size_t k = kEscaped.find(e); k != std::string::npos) {
        out += kMeant[k];
      } else if (e == 'u') {
        const unsigned code = std::stoul(s_.substr(i_, 4), nullptr, 16);
        if (code >= 0x80) Fail("only ASCII escapes are expected");
        out += static_cast<char>(code);
        i_ += 4;
      } else {
        Fail("bad escape");
      }
    }
    if (i_ >= s_.size()) Fail("unterminated string");
    ++i_;
    return out;
  }

  const std::string& s_;
  size_t i_ = 0;
};

}  // namespace

const Json& Json::operator[](const std::string& key) const {
  for (const auto& [k, v] : members)
    if (k == key) return v;
  throw std::runtime_error("JSON: no member \"" + key + "\"");
}

bool Json::Has(const std::string& key) const {
  for (const auto& m : members)
    if (m.first == key) return true;
  return false;
}

Json ParseJson(const std::string& text) {
  return Reader(text).Document();
}

}  // namespace qvdb::test
