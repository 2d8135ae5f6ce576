#include "Output.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ostream>
#include <unordered_set>

#include "AdoCopy.h"
#include "platform/automation/Collection.h"
#include "platform/automation/Error.h"
#include "platform/automation/Object.h"
#include "platform/automation/VbaDate.h"
#include "platform/automation/VbaText.h"
#include "siblings/records/QvRecord.h"

namespace qvdb {

using qv::Variant;
using qv::VarType;
using qv::records::QvRecord;

Format ParseFormat(const std::string& name) {
  if (name == "table") return Format::kTable;
  if (name == "tsv") return Format::kTsv;
  if (name == "csv") return Format::kCsv;
  if (name == "json") return Format::kJson;
  qv::ThrowVb(qv::vberr::kInvalidProcedureCall,
              "unknown format \"" + name + "\" (table, tsv, csv or json)");
}

bool IsSecretName(std::string_view name) {
  return qv::EqualsAsciiNoCase(name, "Password");
}

Variant Shown(std::string_view name, const Variant& value) {
  if (!IsSecretName(name) || !value.IsString() || value.AsString().empty()) return value;
  return Variant(std::string(kMasked));
}

namespace {

std::string IsoDate(double serial) {
  const qv::DateParts p = qv::SplitDate(qv::OleDate{serial});
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", p.year, p.month, p.day, p.hour,
                p.minute, p.second);
  return buf;
}

// Whole numbers as integers, others as the shortest text that reads back
// as the same double.
std::string JsonNumber(double d) {
  if (!std::isfinite(d)) return "null";
  if (d == std::trunc(d) && std::fabs(d) < 1e15) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.0f", d);
    return std::string(buf) == "-0" ? "0" : buf;
  }
  for (int precision = 1; precision <= 17; ++precision) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.*g", precision, d);
    if (std::strtod(buf, nullptr) == d) return buf;
  }
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.17g", d);
  return buf;
}

std::string HexOf(const qv::ByteArray& bytes) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(bytes.bytes.size() * 2);
  for (uint8_t b : bytes.bytes) hex += kHex[b >> 4], hex += kHex[b & 15];
  return hex;
}

// Writes nested objects, remembering the objects on the current path so that
// a record reached again inside itself prints as its identifier.
class JsonWriter {
 public:
  std::string Value(const Variant& v) {
    switch (v.Type()) {
      case VarType::kEmpty:
        return "{\"empty\":true}";
      case VarType::kNull:
        return "null";
      case VarType::kBoolean:
        return qv::CBool(v) ? "true" : "false";
      case VarType::kByte:
      case VarType::kInteger:
      case VarType::kLong:
        return std::to_string(qv::CLng(v));
      case VarType::kSingle:
      case VarType::kDouble:
      case VarType::kCurrency:
        return JsonNumber(qv::CDbl(v));
      case VarType::kDate:
        return "{\"date\":\"" + IsoDate(v.AsDateSerial()) + "\"}";
      case VarType::kString:
        return JsonString(v.AsString());
      case VarType::kError:
        return "{\"error\":" + std::to_string(v.AsErrorCode()) + "}";
      case VarType::kObject:
        return Object(v, false);
      default:
        break;
    }
    if (v.IsByteArray()) return "{\"hex\":\"" + HexOf(v.AsBytes()) + "\"}";
    std::string out = "[";
    const auto& items = v.AsArray().items;
    for (size_t i = 0; i < items.size(); ++i) out += (i ? "," : "") + Value(items[i]);
    return out + "]";
  }

 private:
  std::string Object(const Variant& v, bool nested) {
    if (v.IsNothing()) return "null";
    if (auto rec = v.ObjectAs<QvRecord>()) return Record(*rec, nested);
    if (auto c = v.ObjectAs<qv::Collection>()) return Guarded(*c, [&] { return Collection(*c); });
    if (auto rs = v.ObjectAs<qv::ado::Recordset>()) return RecordsetJson(*rs);
    if (auto rs = v.ObjectAs<qv::dao::Recordset>()) return RecordsetJson(*DaoToAdo(*rs));
    return "{\"object\":" + JsonString(v.AsObject()->Class().ProgId()) + "}";
  }

  template <class F>
  std::string Guarded(const qv::Object& o, F body) {
    if (!path_.insert(&o).second) return "null";
    std::string out = body();
    path_.erase(&o);
    return out;
  }

  std::string Collection(const qv::Collection& c) {
    std::string items = "[", keys = "[";
    for (int32_t i = 1; i <= c.Count(); ++i) {
      if (i > 1) items += ",", keys += ",";
      items += Nested(c.At(i));
      keys += c.KeyAt(i).empty() ? "null" : JsonString(c.KeyAt(i));
    }
    return "{\"items\":" + items + "],\"keys\":" + keys + "]}";
  }

  std::string Nested(const Variant& v) { return v.IsObject() ? Object(v, true) : Value(v); }

  std::string Record(QvRecord& rec, bool nested) {
    const std::string head = "{\"record\":" + JsonString(rec.Type().progId) +
                             ",\"RState\":" + std::to_string(rec.State()) +
                             ",\"props\":{\"ID\":" + Value(rec.IdValue());
    const bool idOnly = rec.State() == qv::records::kReference ||
                        (nested && rec.State() == qv::records::kNew) || path_.contains(&rec);
    if (idOnly) return head + "}}";
    path_.insert(&rec);
    std::string out = head;
    const auto& cls = rec.RecordClassOf();
    for (int i = 0; i < cls.PropertyCount(); ++i) {
      const auto& p = cls.Property(i);
      if (p.group != qv::records::kBase && !rec.GroupLoaded(p.group)) continue;
      out += "," + JsonString(p.name) + ":" + Nested(Shown(p.name, rec.Value(i)));
    }
    path_.erase(&rec);
    return out + "}}";
  }

  std::unordered_set<const qv::Object*> path_;
};

}  // namespace

std::string ToJson(const Variant& v) {
  return JsonWriter().Value(v);
}

std::string RecordsetJson(const qv::ado::Recordset& rs) {
  std::string out = "{\"fields\":[";
  for (size_t c = 0; c < rs.FieldCount(); ++c) {
    const auto& f = rs.FieldAt(c);
    out += (c ? ",{\"name\":" : "{\"name\":") + JsonString(f.name) +
           ",\"type\":" + std::to_string(f.type) + "}";
  }
  out += "],\"rows\":[";
  JsonWriter writer;
  for (size_t r = 0; r < rs.RowCount(); ++r) {
    out += r ? ",[" : "[";
    for (size_t c = 0; c < rs.FieldCount(); ++c)
      out += (c ? "," : "") + writer.Value(Shown(rs.FieldAt(c).name, rs.Value(r, c)));
    out += "]";
  }
  return out + "]}";
}

std::string ValueText(const Variant& v) {
  if (v.IsNull()) return "Null";
  if (v.IsByteArray()) return HexOf(v.AsBytes());
  if (v.IsArray()) return ToJson(v);
  if (v.IsObject()) return v.IsNothing() ? "Nothing" : v.AsObject()->Class().ProgId();
  if (v.IsError()) return "Error " + std::to_string(v.AsErrorCode());
  return qv::CStr(v);
}

namespace {

std::string WithNewlines(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i)
    if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) out += text[i];
  return out;
}

std::string_view TrimLineBreaks(std::string_view text) {
  while (!text.empty() && (text.front() == '\r' || text.front() == '\n')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.remove_suffix(1);
  return text;
}

}  // namespace

std::string ErrorReport(const qv::Error& e) {
  const std::string_view description = e.Description();
  const std::string_view message = e.Message();
  std::string report =
      "Error " + std::to_string(e.Number()) + ": " + WithNewlines(TrimLineBreaks(message));
  if (message.size() < description.size() && description.ends_with(message))
    report +=
        "\n" +
        WithNewlines(TrimLineBreaks(description.substr(0, description.size() - message.size())));
  return report;
}

}  // namespace qvdb
