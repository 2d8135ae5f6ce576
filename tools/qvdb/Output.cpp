#include "Output.h"

#include <cmath>
#include <cstdio>
#include <ostream>

#include "platform/automation/Collection.h"
#include "platform/automation/Error.h"
#include "platform/automation/VbaDate.h"

namespace qvdb {

using qv::Variant;
using qv::VarType;

Format ParseFormat(const std::string& name) {
  if (name == "table") return Format::kTable;
  if (name == "tsv") return Format::kTsv;
  if (name == "json") return Format::kJson;
  qv::ThrowVb(qv::vberr::kInvalidProcedureCall, "unknown format \"" + name + "\"");
}

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

namespace {

std::string IsoDate(double serial) {
  const qv::DateParts p = qv::SplitDate(qv::OleDate{serial});
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", p.year, p.month, p.day, p.hour,
                p.minute, p.second);
  return buf;
}

std::string JsonNumber(double d) {
  if (!std::isfinite(d)) return "null";
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.17g", d);
  // The shortest text that reads back the same.
  for (int precision = 1; precision <= 17; ++precision) {
    char shortBuf[32];
    std::snprintf(shortBuf, sizeof shortBuf, "%.*g", precision, d);
    if (std::strtod(shortBuf, nullptr) == d) return shortBuf;
  }
  return buf;
}

std::string CollectionJson(const qv::Collection& c) {
  std::string items = "[", keys = "[";
  for (int32_t i = 1; i <= c.Count(); ++i) {
    if (i > 1) items += ",", keys += ",";
    items += ToJson(c.At(i));
    keys += c.KeyAt(i).empty() ? "null" : JsonString(c.KeyAt(i));
  }
  return "{\"items\":" + items + "],\"keys\":" + keys + "]}";
}

}  // namespace

std::string ToJson(const Variant& v) {
  switch (v.Type()) {
    case VarType::kEmpty: return "{\"empty\":true}";
    case VarType::kNull: return "null";
    case VarType::kBoolean: return qv::CBool(v) ? "true" : "false";
    case VarType::kByte: case VarType::kInteger: case VarType::kLong:
      return std::to_string(qv::CLng(v));
    case VarType::kSingle: case VarType::kDouble: case VarType::kCurrency:
      return JsonNumber(qv::CDbl(v));
    case VarType::kDate: return "{\"date\":\"" + IsoDate(v.AsDateSerial()) + "\"}";
    case VarType::kString: return JsonString(v.AsString());
    case VarType::kError: return "{\"error\":" + std::to_string(v.AsErrorCode()) + "}";
    case VarType::kObject: {
      if (v.IsNothing()) return "null";
      if (auto c = v.ObjectAs<qv::Collection>()) return CollectionJson(*c);
      return "{\"object\":" + JsonString(v.AsObject()->Class().ProgId()) + "}";
    }
    default:
      break;
  }
  if (v.IsByteArray()) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    for (uint8_t b : v.AsBytes().bytes) hex += kHex[b >> 4], hex += kHex[b & 15];
    return "{\"hex\":\"" + hex + "\"}";
  }
  std::string out = "[";
  const auto& items = v.AsArray().items;
  for (size_t i = 0; i < items.size(); ++i) out += (i ? "," : "") + ToJson(items[i]);
  return out + "]";
}

void PrintValue(std::ostream& out, const Variant& v, Format format) {
  if (format == Format::kJson) {
    out << ToJson(v) << "\n";
    return;
  }
  if (v.IsNull()) {
    out << "Null\n";
  } else if (auto c = v.ObjectAs<qv::Collection>()) {
    for (int32_t i = 1; i <= c->Count(); ++i) {
      if (format == Format::kTable && !c->KeyAt(i).empty()) out << c->KeyAt(i) << "\t";
      PrintValue(out, c->At(i), format);
    }
  } else if (v.IsObject()) {
    out << (v.IsNothing() ? std::string("Nothing") : v.AsObject()->Class().ProgId()) << "\n";
  } else if (v.IsArray()) {
    out << ToJson(v) << "\n";
  } else {
    out << qv::CStr(v) << "\n";
  }
}

}  // namespace qvdb
