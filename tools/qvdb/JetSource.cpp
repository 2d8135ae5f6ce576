#include "JetSource.h"

#include <mdbtools.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "platform/automation/Error.h"
#include "platform/jet/JetError.h"

namespace qvdb {

namespace fs = std::filesystem;
using qv::jet::FieldSpec;
using qv::jet::IndexSpec;
using qv::jet::JetType;

static_assert(static_cast<int>(MdbType::kBool) == MDB_BOOL);
static_assert(static_cast<int>(MdbType::kMemo) == MDB_MEMO);
static_assert(static_cast<int>(MdbType::kRepId) == MDB_REPID);
static_assert(static_cast<int>(MdbType::kNumeric) == MDB_NUMERIC);
static_assert(static_cast<int>(MdbType::kComplex) == MDB_COMPLEX);

namespace {

constexpr const char* kDefaultJet3Charset = "windows-1251";
constexpr int kOffsetMask = 0x1fff;    // a row's offset on its page, without the flags
constexpr int kRelationshipIndex = 2;  // libmdb's index_type of a relationship's index
constexpr int kPrimaryKeyIndex = 1;

// What libmdb writes on the standard error stream while it reads (it has
// no other way to tell), caught in a file of its own instead of reaching
// the user's screen unexplained: the reader turns it into its errors and
// warnings. Capture() sends descriptor 2 to the file until Release().
class LibraryMessages {
 public:
  LibraryMessages() : file_(std::tmpfile()) {}
  ~LibraryMessages() {
    Release();
    if (file_) std::fclose(file_);
  }
  LibraryMessages(const LibraryMessages&) = delete;
  LibraryMessages& operator=(const LibraryMessages&) = delete;

  void Capture() {
    if (!file_ || saved_ >= 0) return;
    std::fflush(stderr);
    saved_ = ::dup(STDERR_FILENO);
    if (saved_ >= 0) ::dup2(::fileno(file_), STDERR_FILENO);
  }
  // Gives descriptor 2 back; the messages written since the last Release,
  // one per line, are added to Lines().
  void Release() {
    if (saved_ < 0) return;
    std::fflush(stderr);
    ::dup2(saved_, STDERR_FILENO);
    ::close(saved_);
    saved_ = -1;
    const int fd = ::fileno(file_);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || st.st_size == 0) return;
    std::string text(static_cast<size_t>(st.st_size), '\0');
    const ssize_t n = ::pread(fd, text.data(), text.size(), 0);
    text.resize(n > 0 ? static_cast<size_t>(n) : 0);
    if (::ftruncate(fd, 0) == 0) ::lseek(fd, 0, SEEK_SET);
    size_t start = 0;
    while (start < text.size()) {
      size_t end = text.find('\n', start);
      if (end == std::string::npos) end = text.size();
      std::string line = text.substr(start, end - start);
      while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
      if (!line.empty() && lines_.size() < kMaxLines) lines_.push_back(line);
      start = end + 1;
    }
  }
  const std::vector<std::string>& Lines() const { return lines_; }
  // The lines as one text ("" for none), "; " between them.
  std::string Text() const {
    std::string out;
    for (const std::string& l : lines_) out += (out.empty() ? "" : "; ") + l;
    return out;
  }

 private:
  static constexpr size_t kMaxLines = 100;
  std::FILE* file_;
  int saved_ = -1;
  std::vector<std::string> lines_;
};

// Holds the capture for a scope.
class Captured {
 public:
  explicit Captured(LibraryMessages& m) : m_(m) { m_.Capture(); }
  ~Captured() { m_.Release(); }
  Captured(const Captured&) = delete;
  Captured& operator=(const Captured&) = delete;

 private:
  LibraryMessages& m_;
};

bool PropIs(const MdbColumn* col, const char* name, const char* value) {
  const char* v = mdb_col_get_prop(col, name);
  return v && g_ascii_strcasecmp(v, value) == 0;
}

class MdbFile final : public JetSource {
 public:
  explicit MdbFile(const fs::path& path) : path_(path.string()) {
    std::error_code ec;
    if (!fs::is_regular_file(path, ec))
      qv::jet::ThrowJet(qv::jet::jeterr::kFileNotFound, {path_}, kImportSource);
    // Names and texts come out of libmdb as UTF-8; a Jet 3 file's code page
    // is the one its users wrote in, Russian unless told otherwise.
    ::setenv("MDB_ICONV", "UTF-8", 1);
    ::setenv("MDB_JET3_CHARSET", kDefaultJet3Charset, 0);
    Captured captured(messages_);
    mdb_.reset(mdb_open(path_.c_str(), MDB_NOFLAGS));
    if (!mdb_) NotJet();
    jet4_ = mdb_->f->jet_version != MDB_VER_JET3;
    text_ = std::make_unique<JetTextDecoder>(jet4_, std::getenv("MDB_JET3_CHARSET"));
    if (!mdb_read_catalog(mdb_.get(), MDB_TABLE)) NotJet();
    for (unsigned i = 0; i < mdb_->num_catalog; ++i) {
      auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb_->catalog, i));
      if (entry->object_type != MDB_TABLE || !mdb_is_user_table(entry)) continue;
      MdbTableDef* t = mdb_read_table(entry);
      if (!t) NotJet();
      defs_.emplace_back(t, mdb_free_tabledef);
      mdb_read_columns(t);
      mdb_read_indices(t);
      tables_.push_back(Describe(t));
    }
  }

  std::string Format() const override {
    switch (mdb_->f->jet_version) {
      case MDB_VER_JET3:
        return "Jet 3";
      case MDB_VER_JET4:
        return "Jet 4";
      default:
        return "ACE";
    }
  }
  const std::vector<SourceTable>& Tables() const override { return tables_; }
  std::vector<std::string> Messages() const override { return messages_.Lines(); }

  void ReadRows(const SourceTable& table,
                const std::function<void(std::span<const SourceValue>)>& onRow) override {
    MdbTableDef* t = defs_.at(static_cast<size_t>(&table - tables_.data())).get();
    std::vector<MdbField> fields(t->num_cols);
    std::vector<SourceValue> row(t->num_cols);
    std::vector<uint8_t> longValue;
    // Rows are read in batches while libmdb's messages are caught, and
    // handed on between batches (the caller may write to standard error).
    constexpr size_t kBatch = 256;
    std::vector<std::vector<SourceValue>> batch;
    bool more = true;
    {
      Captured captured(messages_);
      mdb_rewind_table(t);
    }
    while (more) {
      batch.clear();
      {
        Captured captured(messages_);
        while (batch.size() < kBatch && (more = mdb_fetch_row(t) != 0)) {
          ReadRow(t, fields, row, longValue);
          batch.push_back(row);
        }
      }
      for (const auto& r : batch) onRow(r);
    }
  }

 private:
  void ReadRow(MdbTableDef* t, std::vector<MdbField>& fields, std::vector<SourceValue>& row,
               std::vector<uint8_t>& longValue) {
    // mdb_fetch_row leaves the row's page in pg_buf and its number one
    // back; cracking it again gives each field's null flag, which the
    // bound values alone do not tell for an empty text.
    int start = 0;
    size_t size = 0;
    if (mdb_find_row(mdb_.get(), static_cast<int>(t->cur_row) - 1, &start, &size) != 0) NotJet();
    start &= kOffsetMask;
    if (mdb_crack_row(t, start, size, fields.data()) < 0) NotJet();
    for (unsigned c = 0; c < t->num_cols; ++c) {
      auto* col = static_cast<MdbColumn*>(g_ptr_array_index(t->columns, c));
      const MdbField& f = fields[c];
      RawField raw{
          f.is_null != 0,
          {static_cast<const uint8_t*>(f.value), f.value ? static_cast<size_t>(f.siz) : 0}};
      std::string numeric;
      if (!raw.isNull && (col->col_type == MDB_MEMO || col->col_type == MDB_OLE)) {
        ReadLongValue(col, raw.bytes, longValue);
        raw.bytes = longValue;
      } else if (!raw.isNull && col->col_type == MDB_NUMERIC) {
        gchar* text = mdb_numeric_to_string(mdb_.get(), f.start, col->col_scale, col->col_prec);
        numeric = text;
        g_free(text);
        raw.bytes = {reinterpret_cast<const uint8_t*>(numeric.data()), numeric.size()};
      }
      row[c].lossy = false;
      row[c].value = DecodeField(static_cast<MdbType>(col->col_type), raw, *text_, row[c].lossy);
    }
  }

  // Error 3343, with what libmdb said about it.
  [[noreturn]] void NotJet() {
    messages_.Release();
    const std::string said = messages_.Text();
    // A file of this library's own (an SQLite file), given by a user who
    // thought import-mdb brings a folder of ours over: where it goes instead.
    char head[16] = {};
    std::ifstream(path_, std::ios::binary).read(head, sizeof head);
    const bool ours = std::memcmp(head, "SQLite format 3", sizeof head) == 0;
    try {
      qv::jet::ThrowJet(qv::jet::jeterr::kBadDatabaseFormat, {path_}, kImportSource);
    } catch (const qv::Error& e) {
      if (said.empty() && !ours) throw;
      throw qv::Error(e.Number(),
                      e.Description() +
                          (ours ? " It is a database file of this library already, not a Jet "
                                  "file: open it with `qvdb sql --db FILE`, its folder with "
                                  "--data DIR; `qvdb copy` copies a folder."
                                : "") +
                          (said.empty() ? "" : " The reader (libmdb) said: " + said),
                      kImportSource);
    }
  }

  SourceTable Describe(MdbTableDef* t) const {
    SourceTable out;
    out.name = t->name;
    out.rows = t->num_rows;
    for (unsigned c = 0; c < t->num_cols; ++c) {
      auto* col = static_cast<MdbColumn*>(g_ptr_array_index(t->columns, c));
      FieldSpec f;
      f.name = col->name;
      f.type = JetTypeOf(static_cast<MdbType>(col->col_type));
      if (f.type == JetType::kNone)
        throw qv::Error(qv::jet::jeterr::kInvalidFieldType,
                        "Column " + f.name + " of table " + out.name + " has libmdb type " +
                            std::to_string(col->col_type) + ", which has no Jet type",
                        kImportSource);
      // Jet 4 counts a Text column's size in bytes of UTF-16.
      if (f.type == JetType::kText) f.size = jet4_ ? col->col_size / 2 : col->col_size;
      f.required = PropIs(col, "Required", "yes");
      f.allowZeroLength = !PropIs(col, "AllowZeroLength", "no");
      f.unicodeCompression = PropIs(col, "UnicodeCompression", "yes");
      out.columns.push_back(std::move(f));
    }
    for (unsigned i = 0; i < t->num_idxs; ++i) {
      auto* idx = static_cast<MdbIndex*>(g_ptr_array_index(t->indices, i));
      if (idx->index_type == kRelationshipIndex) continue;
      IndexSpec x;
      x.name = idx->name;
      x.primary = idx->index_type == kPrimaryKeyIndex;
      x.unique = x.primary || (idx->flags & MDB_IDX_UNIQUE) != 0;
      for (unsigned k = 0; k < idx->num_keys; ++k) {
        const int colNum = idx->key_col_num[k] - 1;
        if (colNum < 0 || colNum >= static_cast<int>(t->num_cols)) continue;
        auto* col = static_cast<MdbColumn*>(g_ptr_array_index(t->columns, colNum));
        x.fields.push_back({col->name, idx->key_col_order[k] == MDB_DESC});
      }
      if (!x.fields.empty()) out.indexes.push_back(std::move(x));
    }
    return out;
  }

  // The whole value of a Memo or OLE field from its 12-byte header in the
  // row: kept in the row, on one other page, or on a chain of pages.
  void ReadLongValue(MdbColumn* col, std::span<const uint8_t> header, std::vector<uint8_t>& out) {
    out.clear();
    if (header.size() < MDB_MEMO_OVERHEAD) return;
    unsigned char head[MDB_MEMO_OVERHEAD];
    std::memcpy(head, header.data(), sizeof head);
    std::vector<unsigned char> chunk(static_cast<size_t>(mdb_->fmt->pg_size));
    col->bind_ptr = chunk.data();
    size_t n = mdb_ole_read(mdb_.get(), col, head, chunk.size());
    out.insert(out.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(n));
    while ((n = mdb_ole_read_next(mdb_.get(), col, head)) > 0)
      out.insert(out.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(n));
    col->bind_ptr = nullptr;  // fetching must not format into it
  }

  std::string path_;
  // Declared first, so that descriptor 2 is given back after everything else.
  LibraryMessages messages_;
  std::unique_ptr<MdbHandle, void (*)(MdbHandle*)> mdb_{nullptr, mdb_close};
  bool jet4_ = true;
  std::unique_ptr<JetTextDecoder> text_;
  // Declared after mdb_, so freed before the file is closed.
  std::vector<std::unique_ptr<MdbTableDef, void (*)(MdbTableDef*)>> defs_;
  std::vector<SourceTable> tables_;
};

}  // namespace

std::unique_ptr<JetSource> OpenJetFile(const fs::path& path) {
  return std::make_unique<MdbFile>(path);
}

}  // namespace qvdb
