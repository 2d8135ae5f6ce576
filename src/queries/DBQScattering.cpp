#include "queries/DBQScattering.h"

#include <algorithm>
#include <vector>

#include "core/mErrorHandling.h"
#include "core/mQvDaoDataBase.h"
#include "platform/automation/VbaText.h"

namespace qv::queries {
using namespace mQvDaoDataBase;

QV_DEFINE_CLASS(
    DBQScattering, "Qv_DBProvider.DBQScattering", QV_CREATABLE(DBQScattering),
    Method("GetAccStreamsFromDocument(aDocumentID, aMainFieldMask, aMainFieldName, "
           "aFieldsMasks, aFieldsNames)",
           &DBQScattering::GetAccStreamsFromDocument),
    Method("GetScatteringPage(aDocumentID, aPageKey, aCellKeysTemplates, aResetSystemID)",
           &DBQScattering::GetScatteringPage))

namespace {

// Field aliases run from "B" to "Z".
constexpr size_t kMaxFields = 25;

std::vector<std::string> SplitAt(const std::string& text, char separator) {
  std::vector<std::string> parts;
  size_t from = 0;
  for (;;) {
    const size_t at = text.find(separator, from);
    parts.push_back(text.substr(from, at == std::string::npos ? std::string::npos : at - from));
    if (at == std::string::npos) return parts;
    from = at + 1;
  }
}

// A column name the caller gives becomes an alias of the statement: only a
// plain identifier may.
const std::string& RequireName(const std::string& name) {
  bool ok = !name.empty() && name.size() <= 64 && !(name[0] >= '0' && name[0] <= '9');
  for (char c : name)
    ok = ok &&
         ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_');
  if (!ok)
    ThrowVb(vberr::kInvalidProcedureCall,
            "A field name must be letters, digits and \"_\": \"" + Left(name, 64) + "\"");
  return name;
}

// The key of the cell a mask names beside the main cell a.cell_key: literal
// runs quoted, each run of "#" the main key's characters at its place.
std::string KeyExpression(const std::string& mask) {
  std::string expr;
  size_t i = 0;
  int32_t position = 1;  // of mask[i], in characters (UTF-16 units, as Mid counts)
  while (i < mask.size()) {
    const bool hashes = mask[i] == '#';
    size_t j = i;
    while (j < mask.size() && (mask[j] == '#') == hashes) ++j;
    if (!expr.empty()) expr += "+";
    if (hashes)
      expr += "mid (a.cell_key, " + std::to_string(position) + ", " + std::to_string(j - i) + ")";
    else
      expr += DaoQString(std::string_view(mask).substr(i, j - i));
    position += Len(std::string_view(mask).substr(i, j - i));
    i = j;
  }
  return expr.empty() ? DaoQString("") : expr;
}

// The template with each "#" replaced by the page key's next character
// (UTF-16 unit, as Mid takes it). One pass over the template: "#" is one
// byte and no other character's UTF-8 bytes contain it.
std::string FillTemplate(std::string_view templ, const std::u16string& pageKey) {
  std::string out;
  out.reserve(templ.size());
  size_t next = 0;
  for (char c : templ) {
    if (c != '#')
      out += c;
    else if (next < pageKey.size())
      out += ToUtf8(std::u16string_view(pageKey).substr(next++, 1));
  }
  return out;
}

// The texts a caller gives to be built into one statement, refused before
// any work when together they are longer than one literal may be.
void RequireStatementSize(std::string_view what, size_t bytes) {
  if (bytes > kMaxQStringBytes)
    ThrowVb(vberr::kInvalidProcedureCall, std::string(what) + " of " + std::to_string(bytes) +
                                              " bytes are too long for a statement (" +
                                              std::to_string(kMaxQStringBytes) + " at most)");
}

}  // namespace

ado::RecordsetPtr DBQScattering::GetAccStreamsFromDocument(double aDocumentID,
                                                           const std::string& aMainFieldMask,
                                                           const std::string& aMainFieldName,
                                                           const std::string& aFieldsMasks,
                                                           const std::string& aFieldsNames) {
  return Guard(QV_HERE, [&] {
    RequireStatementSize("The masks", aMainFieldMask.size() + aFieldsMasks.size());
    const std::vector<std::string> masks =
        aFieldsMasks.empty() ? std::vector<std::string>() : SplitAt(aFieldsMasks, ',');
    const std::vector<std::string> names =
        aFieldsNames.empty() ? std::vector<std::string>() : SplitAt(aFieldsNames, ',');
    if (masks.size() != names.size() || masks.size() > kMaxFields)
      ThrowVb(vberr::kInvalidProcedureCall,
              "GetAccStreamsFromDocument takes as many field names as masks, at most " +
                  std::to_string(kMaxFields) + ": " + std::to_string(masks.size()) + " masks, " +
                  std::to_string(names.size()) + " names");
    const std::string& main = RequireName(aMainFieldName);
    std::string select = "select a.first_value AS " + main + ", a.cell_key AS " + main + "_key";
    std::string joins;
    for (size_t i = 0; i < masks.size(); ++i) {
      const std::string alias(1, static_cast<char>(66 + i));
      const std::string& name = RequireName(names[i]);
      select +=
          ", " + alias + ".first_value AS " + name + ", " + alias + ".cell_key AS " + name + "_key";
      joins += " left join doc_cell_values AS " + alias + " ON " + alias +
               ".document_id=a.document_id and " + alias + ".cell_key=" + KeyExpression(masks[i]) +
               ")";
    }
    std::string like = aMainFieldMask;
    std::replace(like.begin(), like.end(), '#', '?');
    return QvQuerySqlA(select + " from " + std::string(masks.size(), '(') + "doc_cell_values AS a" +
                       joins + " where a.document_id=" + Number2DaoSql(aDocumentID) +
                       " and a.cell_key like " + DaoQString(like) + " and a.first_value <> ''");
  });
}

ado::RecordsetPtr DBQScattering::GetScatteringPage(double aDocumentID, const std::string& aPageKey,
                                                   const std::string& aCellKeysTemplates,
                                                   bool /*aResetSystemID*/) {
  return Guard(QV_HERE, [&] {
    RequireStatementSize("The templates", aCellKeysTemplates.size());
    const std::u16string pageKey = ToUtf16(aPageKey);
    std::string sql =
        "select document_id, cell_key, first_value, first_type "
        "from doc_cell_values "
        "where document_id=" +
        Number2DaoSql(aDocumentID) + " and ";
    if (aCellKeysTemplates.find(',') == std::string::npos) {
      sql += "cell_key like " + DaoQString(FillTemplate(aCellKeysTemplates, pageKey));
    } else {
      std::string keys;
      for (const std::string& t : SplitAt(aCellKeysTemplates, ',')) {
        if (!keys.empty()) keys += ',';
        keys += DaoQString(FillTemplate(t, pageKey));
      }
      sql += "cell_key in (" + keys + ")";
    }
    return QvQuerySqlA(sql);
  });
}

}  // namespace qv::queries
