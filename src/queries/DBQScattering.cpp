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
  while (i < mask.size()) {
    const bool hashes = mask[i] == '#';
    size_t j = i;
    while (j < mask.size() && (mask[j] == '#') == hashes) ++j;
    if (!expr.empty()) expr += "+";
    // Positions count characters (UTF-16 units, as Mid does), not bytes.
    expr += hashes ? "mid (a.cell_key, " + std::to_string(Len(mask.substr(0, i)) + 1) + ", " +
                         std::to_string(j - i) + ")"
                   : DaoQString(mask.substr(i, j - i));
    i = j;
  }
  return expr.empty() ? DaoQString("") : expr;
}

// The template with each "#" replaced by the page key's next character.
std::string FillTemplate(const std::string& templ, const std::string& pageKey) {
  std::string out;
  int32_t next = 1;
  const int32_t length = Len(pageKey);
  for (int32_t k = 1; k <= Len(templ); ++k) {
    const std::string c = Mid(templ, k, 1);
    if (c != "#")
      out += c;
    else if (next <= length)
      out += Mid(pageKey, next++, 1);
  }
  return out;
}

}  // namespace

ado::RecordsetPtr DBQScattering::GetAccStreamsFromDocument(double aDocumentID,
                                                           const std::string& aMainFieldMask,
                                                           const std::string& aMainFieldName,
                                                           const std::string& aFieldsMasks,
                                                           const std::string& aFieldsNames) {
  return Guard(QV_HERE, [&] {
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
    std::string sql =
        "select document_id, cell_key, first_value, first_type "
        "from doc_cell_values "
        "where document_id=" +
        Number2DaoSql(aDocumentID) + " and ";
    if (aCellKeysTemplates.find(',') == std::string::npos) {
      sql += "cell_key like " + DaoQString(FillTemplate(aCellKeysTemplates, aPageKey));
    } else {
      std::string keys;
      for (const std::string& t : SplitAt(aCellKeysTemplates, ','))
        keys += (keys.empty() ? "" : ",") + DaoQString(FillTemplate(t, aPageKey));
      sql += "cell_key in (" + keys + ")";
    }
    return QvQuerySqlA(sql);
  });
}

}  // namespace qv::queries
