#pragma once
// Connection ("ADODB.Connection", also ".2.6"): a connection to a database
// file through the Jet OLE DB provider, opened from a connection string
// such as "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/data/Quivane.mdb".
// Execute runs one Jet statement: a SELECT gives an open disconnected
// Recordset holding every row, any other statement a closed Recordset and
// the number of rows it changed. The connection owns its file handle; the
// caller closes it (or drops the last reference).
//
// Connection strings: "key=value" pairs separated by ";", keys ignoring
// case and spaces around them, values optionally in double or single
// quotes. Provider must be Microsoft.Jet.OLEDB.4.0 (another provider, or
// none, is error 3706); "Data Source" names the file, or a server database
// by its connection string (the engine's location: a postgresql:// URI or
// libpq's "host=... dbname=..."); "Mode=Read" opens it read-only; other
// keys are accepted and ignored.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/ado/Recordset.h"
#include "platform/automation/Object.h"

namespace qv::jet {
class Engine;
}

namespace qv::ado {

inline constexpr std::string_view kJetProvider = "Microsoft.Jet.OLEDB.4.0";

// The pieces of a connection string the provider uses.
struct JetConnectionString {
  std::string provider;    // as written; "" when absent
  std::string dataSource;  // "" when absent
  bool readOnly = false;   // Mode=Read
};
// Error 3001 for a pair without "=" or an unterminated quote.
JetConnectionString ParseConnectionString(std::string_view text);

class Connection : public Object {
  QV_DECLARE_CLASS(Connection)

 public:
  Connection() = default;
  ~Connection() override;

  const std::string& ConnectionString() const { return connectionString_; }
  // Error 3705 while open.
  void SetConnectionString(const std::string& text);
  // Open(ConnectionString, UserID, Password, Options): a non-empty
  // `connectionString` replaces the stored one. User and password are not
  // checked (the files have no user-level security). Errors: 3705 already
  // open, 3706 the provider, 3001 a malformed string, and the engine's
  // errors for the file (3024 not found, 3044 no such folder, 3343 not a
  // database), with the provider's source.
  void Open(const std::string& connectionString, const std::string& user,
            const std::string& password, int32_t options);
  // Error 3704 when closed. Closing rolls back an open transaction.
  void Close();
  int32_t State() const { return conn_ ? adStateOpen : adStateClosed; }
  std::string Provider() const { return std::string(kJetProvider); }
  std::string Version() const { return "2.6"; }

  // Execute(CommandText, RecordsAffected, Options). Errors: 3704 closed,
  // the engine's errors for the statement.
  RecordsetPtr Execute(const std::string& commandText, Variant& recordsAffected, int32_t options);
  // Transactions nest; BeginTrans returns the new level. Errors: 3704
  // closed, the engine's 3034 without a transaction.
  int32_t BeginTrans();
  void CommitTrans();
  void RollbackTrans();

  // ---- C++ callers
  // Execute with the count of changed rows (0 for a SELECT) into `affected`.
  RecordsetPtr Run(std::string_view sql, int64_t* affected = nullptr);
  // The open file's path or server location ("" when closed).
  std::string DataSource() const;

 private:
  jet::Engine& Engine() const;

  std::string connectionString_;
  std::shared_ptr<jet::Engine> conn_;
};

using ConnectionPtr = std::shared_ptr<Connection>;

// An open, disconnected recordset of every row of a Jet SELECT run on
// `conn`. Errors: the engine's, with the provider's source.
RecordsetPtr RecordsetFromStatement(jet::Engine& conn, std::string_view sql);

}  // namespace qv::ado
