// `qvdb sql --server`: the shell's statements on a server database, through
// the engine seam. The rows print as the file shell prints them: the same
// column types (AdoTypeForJet) and the same formats.

#include <ostream>

#include "AdoCopy.h"
#include "SqlShell.h"
#include "platform/ado/AdoConstants.h"
#include "platform/jet/JetEngine.h"

namespace qvdb {

namespace {

// Every row of a prepared select, as DaoToAdo copies a recordset: a name
// already used by an earlier column gets "_2", "_3" ...
qv::ado::RecordsetPtr StatementToAdo(qv::jet::EngineStatement& st) {
  auto out = std::make_shared<qv::ado::Recordset>();
  const int n = st.ColumnCount();
  for (int i = 0; i < n; ++i) {
    const qv::jet::ColumnMeta& c = st.Column(i);
    const AdoColumnType t = AdoTypeForJet(c.type, c.size);
    std::string name = c.name;
    for (int k = 2; out->FindField(name); ++k) name = c.name + "_" + std::to_string(k);
    out->AppendField(name, t.type, t.definedSize, qv::ado::adFldIsNullable);
  }
  out->Open();
  while (st.Step()) {
    std::vector<qv::Variant> row(static_cast<size_t>(n));
    st.Values(row);
    out->AppendRow(std::move(row));
  }
  if (out->RowCount() > 0) out->MoveFirst();
  return out;
}

}  // namespace

SqlSession::SqlSession(std::shared_ptr<qv::jet::Engine> server, Format format, std::ostream& out,
                       std::ostream& err)
    : server_(std::move(server)), format_(format), out_(out), err_(err) {}

void SqlSession::ExecuteOnServer(const std::string& sql) {
  auto st = server_->Prepare(sql);
  if (st->Kind() == qv::jet::StatementKind::kSelect) {
    PrintRecordset(out_, *StatementToAdo(*st), format_);
    return;
  }
  const int64_t n = st->Run();
  if (format_ == Format::kJson)
    out_ << "{\"rowsAffected\":" << n << "}\n";
  else
    out_ << n << (n == 1 ? " row affected\n" : " rows affected\n");
}

}  // namespace qvdb
