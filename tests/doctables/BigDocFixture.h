#pragma once
// Big documents on a data folder of their own: the tables handed out by
// DBBigDocs, and the rows of a shard file rendered as one text.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "core/CoreTestSupport.h"
#include "core/miDataBase.h"
#include "doctables/DBBigDocTable.h"
#include "doctables/DBBigDocs.h"
#include "doctables/miBigDocument.h"
#include "platform/dao/DBEngine.h"
#include "platform/dao/Database.h"
#include "platform/dao/Recordset.h"
#include "platform/jet/ServerSchemas.h"
#include "support/TestSupport.h"

namespace qv::doctables::testing {

namespace fs = std::filesystem;
using qv::testsupport::ExpectError;
using qv::testsupport::kAnyError;
using qv::testsupport::RaisedError;

class BigDocTest : public coretest::DataFolderTest {
 protected:
  // The document's table, the document made first when it has no shard 0
  // (as the creation of its registry row would).
  static std::shared_ptr<DBBigDocTable> Open(double doc) {
    std::error_code ec;
    // A server folder's shard is a schema of the server, its location no path.
    const std::string shard = miBigDocument::GetBigDocFileName(doc, 0);
    const bool exists =
        miDataBase::IsServerDataFolder() ? jet::ServerSchemaExists(shard) : fs::exists(shard, ec);
    if (!exists) miBigDocument::CreateBigDocDataBase(doc, 0);
    return DBBigDocs().GetBigDocTable(doc);
  }
  static fs::path ShardFile(double doc, int32_t shard) {
    return miBigDocument::GetBigDocFileName(doc, shard);
  }
  // The rows of `sql` on a shard file, read on a connection of their own:
  // columns joined by "|", rows by "; ", texts over 20 characters as "#"
  // and their length.
  static std::string Rows(const fs::path& file, const std::string& sql) {
    auto ws = dao::DBEngine::ForThread()->CreateWorkspace("look", "admin", "", Variant(2));
    auto db = ws->Open(file.string(), {});
    auto rs = db->OpenStatement(sql, dao::dbOpenSnapshot);
    std::string text;
    for (; !rs->IsEOF(); rs->MoveNext()) {
      if (!text.empty()) text += "; ";
      for (int32_t i = 0; i < rs->FieldCount(); ++i) {
        std::string v = CStr(rs->FieldValue(i));
        if (v.size() > 20) v = "#" + std::to_string(v.size());
        text += (i ? "|" : "") + v;
      }
    }
    rs->Close();
    db->Close();
    return text;
  }
  // Every cell row of a shard: StatCells, then DynCells, then WideCells.
  static std::string Cells(const fs::path& file) {
    return "stat " +
           Rows(file,
                "select SubDocID, Key, Value0, Value1 from StatCells order by SubDocID, Key") +
           " / dyn " +
           Rows(file,
                "select SubDocID, Key, TableNum, LineNum, Value from DynCells order by SubDocID, "
                "Key, TableNum, LineNum") +
           " / wide " +
           Rows(file,
                "select SubDocID, Key, TableNum, LineNum, Value from WideCells order by "
                "SubDocID, Key, TableNum, LineNum");
  }
};

}  // namespace qv::doctables::testing
