#include "ChainCheck.h"

#include "platform/automation/Variant.h"
#include "platform/dao/Database.h"
#include "platform/dao/Recordset.h"

namespace qvdb {

namespace {

// The links of the adjustment chains and the owners of the cells. Each
// probe counts the documents (cells) that break one rule and names the
// lowest identifier among them.
struct ChainProbe {
  const char* what;
  const char* sql;  // count(*), min(identifier)
};
// A document's instance: its stream, period, doc type (the template's; a
// document of a missing template is an instance of that template alone)
// and instance number.
#define QV_INSTANCE(r, t)                                                                \
  r ".taxpayer_id & '/' & " r ".time_id & '/' & iif(IsNull(" t ".doc_type_id), '-' & " r \
    ".template_id, " t ".doc_type_id) & '/' & iif(IsNull(" r ".instance_number), 0, " r  \
    ".instance_number)"
constexpr ChainProbe kChainProbes[] = {
    {"documents whose Top_Doc_ID names no document",
     "select count(*), min(a.document_id) from doc_registry as a "
     "left join doc_registry as b on b.document_id = a.top_doc_id "
     "where a.top_doc_id <> 0 and IsNull(b.document_id)"},
    {"documents whose Bottom_Next_ID names no document",
     "select count(*), min(a.document_id) from doc_registry as a "
     "left join doc_registry as b on b.document_id = a.bottom_next_id "
     "where a.bottom_next_id <> 0 and IsNull(b.document_id)"},
    {"documents whose newer version (Top_Doc_ID) does not name them as its Bottom_Next_ID",
     "select count(*), min(a.document_id) from doc_registry as a "
     "inner join doc_registry as b on b.document_id = a.top_doc_id "
     "where IsNull(b.bottom_next_id) or b.bottom_next_id <> a.document_id"},
    {"documents whose older version (Bottom_Next_ID) does not name them as its Top_Doc_ID",
     "select count(*), min(a.document_id) from doc_registry as a "
     "inner join doc_registry as b on b.document_id = a.bottom_next_id "
     "where IsNull(b.top_doc_id) or b.top_doc_id <> a.document_id"},
    {"documents whose newer version (Top_Doc_ID) is no later adjustment of their instance",
     "select count(*), min(a.document_id) "
     "from ((doc_registry as a inner join doc_registry as b on b.document_id = a.top_doc_id) "
     "left join doc_templates as ta on ta.template_id = a.template_id) "
     "left join doc_templates as tb on tb.template_id = b.template_id "
     "where b.doc_type <= a.doc_type or " QV_INSTANCE("a", "ta") " <> " QV_INSTANCE("b", "tb")},
    {"instances (stream, period, doc type, instance) with more than one current version",
     "select count(*), min(first_id) "
     "from (select min(r.document_id) as first_id from doc_registry as r "
     "left join doc_templates as t on t.template_id = r.template_id "
     "where IsNull(r.top_doc_id) or r.top_doc_id = 0 "
     "group by " QV_INSTANCE("r",

                             "t") " having count(*) > 1)"},
    {"cell keys stored twice in one document (a read shows one of the values)",
     "select count(*), min(document_id) "
     "from (select document_id from doc_cell_values "
     "group by document_id, cell_key having count(*) > 1)"},
    {"cells of missing documents",
     "select count(*), min(c.document_id) from doc_cell_values as c left join doc_registry as d "
     "on d.document_id = c.document_id where IsNull(d.document_id)"},
};
#undef QV_INSTANCE

}  // namespace

std::vector<std::string> ChainProblems(qv::dao::Database& db) {
  std::vector<std::string> problems;
  for (const ChainProbe& probe : kChainProbes) {
    auto rs = db.OpenStatement(probe.sql, qv::dao::dbOpenSnapshot);
    const int64_t count = qv::CLng(rs->FieldValue(0));
    if (count > 0)
      problems.push_back(std::to_string(count) + " " + probe.what + " (the first: document " +
                         qv::CStr(rs->FieldValue(1)) + ")");
    rs->Close();
  }
  return problems;
}

}  // namespace qvdb
