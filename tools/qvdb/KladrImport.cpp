#include "KladrImport.h"

#include <shapefil.h>

#include <map>
#include <memory>
#include <unordered_map>
#include <vector>

#include "FolderCopy.h"
#include "JetValues.h"
#include "TableWriter.h"
#include "platform/automation/Error.h"
#include "platform/automation/VbaText.h"
#include "platform/dao/DBEngine.h"
#include "platform/dao/Transaction.h"
#include "platform/dao/Workspace.h"
#include "platform/jet/JetError.h"

namespace qvdb {

namespace fs = std::filesystem;
using qv::Variant;

namespace {

constexpr const char* kKladrImportSource = "qvdb kladr import";
constexpr int32_t kFirstObjectId = 100;  // region IDs are their codes, 1..99
constexpr int32_t kStreetLevel = 5;

[[noreturn]] void Fail(int32_t number, const std::string& text) {
  throw qv::Error(number, text, kKladrImportSource);
}

// `name` in `dir`, letter case ignored.
fs::path FindFile(const fs::path& dir, const std::string& name) {
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) Fail(qv::vberr::kPathNotFound, "Path not found: " + dir.string());
  for (const auto& entry : fs::directory_iterator(dir, ec))
    if (qv::UCase(entry.path().filename().string()) == name) return entry.path();
  Fail(qv::vberr::kFileNotFound, "File not found: " + (dir / name).string());
}

// One dBase file, read by field name, its texts decoded from code page 866.
class DbfFile {
 public:
  DbfFile(const fs::path& path, std::initializer_list<const char*> fields)
      : path_(path), decoder_(false, "ibm-866") {
    h_ = DBFOpen(path.c_str(), "rb");
    if (!h_) Fail(qv::jet::jeterr::kBadDatabaseFormat, "Not a dBase file: " + path.string());
    for (const char* f : fields) {
      const int i = DBFGetFieldIndex(h_, f);
      if (i < 0) {
        DBFClose(h_);  // the destructor does not run for a constructor that throws
        Fail(qv::jet::jeterr::kBadDatabaseFormat,
             "dBase file " + path.string() + " has no field " + f);
      }
      fields_[f] = i;
    }
  }
  ~DbfFile() { DBFClose(h_); }
  DbfFile(const DbfFile&) = delete;
  DbfFile& operator=(const DbfFile&) = delete;

  int Rows() const { return DBFGetRecordCount(h_); }
  bool Deleted(int row) const { return DBFIsRecordDeleted(h_, row); }
  std::string Text(int row, const char* field) const {
    const char* raw = DBFReadStringAttribute(h_, row, fields_.at(field));
    if (!raw) return {};
    const std::string_view bytes(raw);
    bool lossy = false;
    return qv::Trim(
        decoder_.Decode({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()}, lossy));
  }
  std::string Name() const { return path_.filename().string(); }

 private:
  fs::path path_;
  DBFHandle h_ = nullptr;
  std::map<std::string, int> fields_;
  JetTextDecoder decoder_;
};

bool AllDigits(const std::string& s) {
  return !s.empty() && s.find_first_not_of("0123456789") == std::string::npos;
}

class Loader {
 public:
  Loader(qv::dao::Database& db, const KladrProgressFn& progress)
      : objects_(db, "KladrObjects"), abbrevs_(db, "KladrAbbrevs"), progress_(progress) {}

  void Abbrevs(const DbfFile& f) {
    for (int row = 0; row < f.Rows(); ++row) {
      Report(f, row);
      if (f.Deleted(row)) continue;
      const std::string level = f.Text(row, "LEVEL"), code = f.Text(row, "KOD_T_ST");
      if (!AllDigits(level) || !AllDigits(code) || code.size() > 9)
        Fail(qv::vberr::kInvalidProcedureCall, f.Name() + " row " + std::to_string(row + 1) +
                                                   ": LEVEL \"" + level + "\" and KOD_T_ST \"" +
                                                   code + "\" must be numbers");
      const int32_t id = std::stoi(code);
      const std::string name = f.Text(row, "SCNAME");
      abbrevByLevel_[std::stoi(level)][qv::LCase(name)] = id;
      if (!abbrevs_.Exists(Variant(id))) {
        abbrevs_.Begin();
        abbrevs_.Set("ID", Variant(id));
        abbrevs_.Set("ShortName", Variant(name));
        abbrevs_.End();
      }
    }
    Report(f, f.Rows());
  }

  // KLADR.DBF (13-digit codes) or STREET.DBF (17).
  void Objects(const DbfFile& f, bool streets, KladrImportStats& stats) {
    const size_t codeLength = streets ? 17 : 13;
    for (int row = 0; row < f.Rows(); ++row) {
      Report(f, row);
      if (f.Deleted(row)) continue;
      const std::string code = f.Text(row, "CODE");
      if (code.size() != codeLength || !AllDigits(code))
        Fail(qv::vberr::kInvalidProcedureCall, f.Name() + " row " + std::to_string(row + 1) +
                                                   ": CODE \"" + qv::Left(code, 40) + "\" is not " +
                                                   std::to_string(codeLength) + " digits");
      if (code.compare(codeLength - 2, 2, "00") != 0) {
        ++stats.notCurrent;
        continue;
      }
      const std::string key = code.substr(0, codeLength - 2);
      const int level = streets ? kStreetLevel : LevelOf(key);
      int32_t parent = 0, id = 0;
      if (level == 1) {
        id = std::stoi(key.substr(0, 2));
      } else {
        parent = ParentOf(key.substr(0, 11), streets);
        if (parent == 0) {
          ++stats.orphans;
          continue;
        }
        id = nextId_++;
      }
      if (!streets) ids_[key] = id;
      const auto& abbrevs = abbrevByLevel_[level];
      const auto abbrev = abbrevs.find(qv::LCase(f.Text(row, "SOCR")));
      objects_.Begin();
      objects_.Set("ID", Variant(id));
      objects_.Set("ParentID", Variant(parent));
      objects_.Set("Level", Variant(int32_t{level}));
      objects_.Set("ObjName", Variant(f.Text(row, "NAME")));
      objects_.Set("AbbrevID", Variant(abbrev == abbrevs.end() ? 0 : abbrev->second));
      objects_.Set("PostIndex", Variant(f.Text(row, "INDEX")));
      objects_.End();
      ++(streets ? stats.streets : stats.objects);
    }
    Report(f, f.Rows());
  }

  int64_t AbbrevsWritten() const { return abbrevs_.RowsWritten(); }

 private:
  // SS RRR GGG PPP: the last non-zero part names the level.
  static int LevelOf(const std::string& key) {
    if (key.compare(8, 3, "000") != 0) return 4;
    if (key.compare(5, 3, "000") != 0) return 3;
    if (key.compare(2, 3, "000") != 0) return 2;
    return 1;
  }
  // The nearest loaded ancestor: for a street the object of its first 11
  // digits; then, for either, the key with its settlement, city and
  // district parts zeroed in turn.
  int32_t ParentOf(std::string key, bool street) {
    if (street)
      if (const auto f = ids_.find(key); f != ids_.end()) return f->second;
    for (size_t at : {size_t{8}, size_t{5}, size_t{2}}) {
      if (key.compare(at, 3, "000") == 0) continue;
      key.replace(at, 3, "000");
      if (const auto f = ids_.find(key); f != ids_.end()) return f->second;
    }
    return 0;
  }
  void Report(const DbfFile& f, int row) {
    if (progress_ && (row % 4096 == 0 || row == f.Rows())) progress_(f.Name(), row, f.Rows());
  }

  TableWriter objects_, abbrevs_;
  KladrProgressFn progress_;
  std::map<int, std::unordered_map<std::string, int32_t>> abbrevByLevel_;
  std::unordered_map<std::string, int32_t> ids_;  // 11-digit key of KLADR.DBF rows
  int32_t nextId_ = kFirstObjectId;
};

}  // namespace

KladrImportStats ImportKladr(const fs::path& dir, const fs::path& kladrDb,
                             const KladrProgressFn& progress) {
  // Every file is found and opened before anything is written.
  const DbfFile socr(FindFile(dir, "SOCRBASE.DBF"), {"LEVEL", "SCNAME", "KOD_T_ST"});
  const DbfFile kladr(FindFile(dir, "KLADR.DBF"), {"NAME", "SOCR", "CODE", "INDEX"});
  const DbfFile street(FindFile(dir, "STREET.DBF"), {"NAME", "SOCR", "CODE", "INDEX"});
  std::error_code ec;
  if (!IsServerFolder(kladrDb.string()) && !fs::exists(kladrDb, ec))
    Fail(qv::jet::jeterr::kFileNotFound,
         "Could not find file '" + kladrDb.string() + "' (run qvdb init first)");

  auto ws = qv::dao::DBEngine::ForThread()->CreateWorkspace("qvdb kladr import", "admin", "",
                                                            Variant(qv::dao::dbUseJet));
  struct CloseWorkspace {
    std::shared_ptr<qv::dao::Workspace> ws;
    ~CloseWorkspace() { ws->Close(); }
  } closer{ws};
  auto db = ws->Open(kladrDb.string(), {});
  KladrImportStats stats;
  qv::dao::Transaction tx(*db, qv::dao::kWriteLock);
  db->ExecuteSql("delete from KladrObjects");
  db->ExecuteSql("delete from KladrAbbrevs");
  Loader loader(*db, progress);
  loader.Abbrevs(socr);
  loader.Objects(kladr, false, stats);
  loader.Objects(street, true, stats);
  tx.Commit();
  stats.abbrevs = loader.AbbrevsWritten();
  return stats;
}

}  // namespace qvdb
