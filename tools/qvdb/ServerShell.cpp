// `qvdb sql --server`: the shell's statements on a server database, through
// the engine seam. The rows print as the file shell prints them, as they are
// read: the same column types (AdoTypeForJet) and the same formats.

#include <ostream>
#include <vector>

#include "AdoCopy.h"
#include "ResultWriter.h"
#include "SqlShell.h"
#include "platform/jet/JetEngine.h"

namespace qvdb {

SqlSession::SqlSession(std::shared_ptr<qv::jet::Engine> server, Format format, std::ostream& out,
                       std::ostream& err)
    : server_(std::move(server)), format_(format), out_(out), err_(err) {}

void SqlSession::ExecuteOnServer(const std::string& sql) {
  auto st = server_->Prepare(sql);
  if (st->Kind() == qv::jet::StatementKind::kSelect) {
    std::vector<ResultColumn> columns;
    for (int i = 0; i < st->ColumnCount(); ++i) {
      const auto& c = st->Column(i);
      columns.push_back({c.name, AdoTypeForJet(c.type, c.size).type});
    }
    ResultWriter writer(out_, format_);
    writer.Begin(std::move(columns));
    std::vector<qv::Variant> row(st->ColumnCount());
    try {
      while (st->Step()) {
        st->Values(row);
        writer.Row(row);
      }
    } catch (...) {
      writer.End();  // the rows read before the error are shown
      throw;
    }
    writer.End();
    return;
  }
  const int64_t n = st->Run();
  if (format_ == Format::kJson)
    out_ << "{\"rowsAffected\":" << n << "}\n";
  else
    out_ << n << (n == 1 ? " row affected\n" : " rows affected\n");
}

}  // namespace qvdb
