// The cells of a document: DBDocument.ReadCells and SaveCells.

#include <algorithm>
#include <bit>
#include <climits>
#include <cstdint>
#include <deque>
#include <functional>
#include <initializer_list>
#include <memory>
#include <numeric>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/mQvDaoDataBase.h"
#include "core/miLocks.h"
#include "platform/automation/TextSortKey.h"
#include "platform/automation/VbaText.h"
#include "platform/dao/Database.h"
#include "platform/dao/FieldValues.h"
#include "platform/dao/Recordset.h"
#include "platform/dao/Transaction.h"
#include "platform/jet/JetConnection.h"
#include "platform/jet/JetEngine.h"
#include "platform/jet/JetError.h"
#include "records/DBDocument.h"
#include "records/miDocument.h"
#include "siblings/records/RecordFactory.h"

namespace qv::records {

namespace {

struct CellRow {
  Variant key;
  Variant value;  // Null: the cell is deleted
  Variant type;
};

// The rows of a cells recordset, checked before anything is written.
std::vector<CellRow> CellRows(const Variant& aCellsRs) {
  auto rs = aCellsRs.IsObject() ? std::dynamic_pointer_cast<ado::Recordset>(aCellsRs.AsObject())
                                : nullptr;
  if (!rs) ThrowVb(vberr::kTypeMismatch, "a recordset of cells was expected");
  size_t col[3];
  const char* names[3] = {"cell_key", "first_value", "first_type"};
  for (int i = 0; i < 3; ++i) {
    auto c = rs->FindField(names[i]);
    if (!c)
      ThrowVb(vberr::kInvalidProcedureCall,
              std::string("the cells recordset has no field ") + names[i]);
    col[i] = *c;
  }
  std::vector<CellRow> rows;
  rows.reserve(rs->RowCount());
  for (size_t r = 0; r < rs->RowCount(); ++r) {
    const Variant& key = rs->Value(r, col[0]);
    if (key.IsNull() || key.IsEmpty())
      ThrowVb(vberr::kInvalidUseOfNull,
              "the cell key of row " + std::to_string(r + 1) + " is Null");
    const Variant& value = rs->Value(r, col[1]);
    std::string text = value.IsNull() || value.IsEmpty() ? std::string() : CStr(value);
    // A text of no more bytes than the length has no more UTF-16 units:
    // kept as it is, not scanned and copied.
    if (text.size() > static_cast<size_t>(miDocument::kCellValueLength))
      text = Truncate16(text, miDocument::kCellValueLength);
    rows.push_back({Variant(CStr(key)), text.empty() ? Variant::Null() : Variant(std::move(text)),
                    rs->Value(r, col[2])});
  }
  return rows;
}

}  // namespace

CollectionPtr DBDocument::ReadCells(double aDocumentID) {
  return Guard(QV_HERE, [&] {
    if (aDocumentID == 0) return std::make_shared<Collection>();
    // The cell record's properties are the table's columns: the rows are
    // read into one buffer in property order, of the properties' kinds
    // (Null as the property's default, 0 or ""), and each record shares its
    // row until it is read or changed. A key seen before keeps its first cell.
    const RecordClass& cellClass = QvRecord::ClassOf("Qv_Records.QvDocCell");
    const size_t width = static_cast<size_t>(cellClass.PropertyCount());
    // One native statement, its text made once and the document bound: a
    // Jet text with the document's number in it was built, scanned for its
    // literals and looked up in the statement cache on every call.
    static const std::string sql = [&] {
      std::string columns;
      for (size_t i = 0; i < width; ++i)
        columns += (i ? ", " : "") + std::string(cellClass.Property(static_cast<int>(i)).name);
      return "SELECT " + columns + " FROM doc_cell_values WHERE document_id = ?";
    }();
    auto db = MapperUserDatabase();
    const Variant doc(mQvDaoDataBase::Number2DaoValue(aDocumentID));
    // On a server the same select in Jet SQL: its literal is the document's
    // parameter, the statement prepared once per connection. The file's rows
    // come in its index's order (the document, then the key, then the
    // rowid); a server's in its plan's order, and are put in key order here:
    // the server's sort by the text collation took several times the rest of
    // the read for a large document (an ICU comparison per step, which no
    // index of the table serves). Copies of a key keep the order they were
    // stored in (the hidden row key), which only the server's sort by that
    // key gives: it was most of the server's work for the read (5000 rows:
    // 2.0 ms with it, 0.7 without, as the select of the three columns alone),
    // and the row keys sent with the rows were a quarter more bytes and
    // about a fifth more of the client's instructions. So the rows come
    // unsorted, and only a read that meets a key twice (two rows the
    // collection tells equal, which a save never writes) is made again, in
    // the stored order.
    static const std::string unsorted = [&] {
      std::string columns;
      for (size_t i = 0; i < width; ++i)
        columns +=
            (i ? ", [" : "[") + std::string(cellClass.Property(static_cast<int>(i)).name) + "]";
      return "SELECT " + columns + " FROM [doc_cell_values] WHERE [document_id] = 0.5";
    }();
    static const std::string stored = unsorted + " ORDER BY [_jet_row]";
    // The cells; nullptr when the rows came unsorted and a key came twice.
    const auto read = [&](bool inStoredOrder) -> CollectionPtr {
      auto cells = std::make_shared<Collection>();
      std::optional<jet::Statement> file;
      std::unique_ptr<jet::EngineStatement> server;
      if (db->IsServer()) {
        server = db->ServerEngine().Prepare(inStoredOrder ? stored : unsorted);
        server->ReadsEveryRow();
        server->Bind(1, doc);
      } else {
        file.emplace(db->Connection().PrepareNative(sql));
        file->Bind(1, doc);
      }
      // The rows go into blocks of a fixed number of rows, each shared by
      // its records: one buffer grown row by row moved every value each time
      // it doubled, and a large one is fresh pages every call.
      constexpr size_t kBlockRows = 128;
      std::vector<std::shared_ptr<std::vector<Variant>>> blocks;
      size_t count = 0;
      // The Long properties, looked up once: a cell of another number type
      // (the Integer column First_Type) is made a Long.
      std::vector<uint8_t> isLong(width);
      for (size_t i = 0; i < width; ++i)
        isLong[i] = cellClass.Property(static_cast<int>(i)).kind == Kind::kLong;
      const Variant* defaults = cellClass.Defaults().data();
      while (file ? file->Step() : server->Step()) {
        if (blocks.empty() || blocks.back()->size() == kBlockRows * width) {
          blocks.push_back(std::make_shared<std::vector<Variant>>());
          blocks.back()->reserve(kBlockRows * width);
        }
        std::vector<Variant>& block = *blocks.back();
        block.resize(block.size() + width);
        Variant* row = block.data() + block.size() - width;
        if (file)
          file->Values(std::span<Variant>(row, width));
        else
          server->Values(std::span<Variant>(row, width));
        for (size_t i = 0; i < width; ++i) {
          if (row[i].IsNull())
            row[i] = defaults[i];
          else if (isLong[i] && row[i].Type() != VarType::kLong)
            row[i] = Variant(CLng(row[i]));
        }
        ++count;
      }
      const size_t key = static_cast<size_t>(cellClass.PropertyIndex("Cell_Key"));
      cells->Reserve(count);
      if (!server) {
        for (const auto& block : blocks) {
          std::vector<QvRecordPtr> records = QvRecord::OfSharedRows(cellClass, block);
          for (size_t r = 0; r < records.size(); ++r) {
            const Variant& k = (*block)[r * width + key];
            std::string text;  // a key stored as something else than a text
            cells->TryAdd(Variant(ObjectPtr(std::move(records[r]))),
                          k.IsString() ? std::string_view(k.AsString()) : (text = CStr(k)));
          }
        }
        return cells;
      }
      // The server's rows in the file's order: by key as the text collation
      // compares, equal keys as they came (the first one met is kept, when
      // they came in the stored order).
      struct Keyed {
        std::string_view key;
        QvRecordPtr record;
      };
      std::vector<Keyed> rows;
      rows.reserve(count);
      std::vector<std::string> texts;  // keys stored as something else than a text
      texts.reserve(count);
      for (const auto& block : blocks) {
        std::vector<QvRecordPtr> records = QvRecord::OfSharedRows(cellClass, block);
        for (size_t r = 0; r < records.size(); ++r) {
          const Variant& k = (*block)[r * width + key];
          const std::string_view text =
              k.IsString() ? std::string_view(k.AsString()) : texts.emplace_back(CStr(k));
          rows.push_back({text, std::move(records[r])});
        }
      }
      // Keys of digits alone compare as their bytes do (the digits' places
      // in the collator's order are theirs, a text before the longer ones it
      // starts). Such a key is a number of 4 bits a digit from the top (the
      // digit + 1; 0 past the key's end, below any digit) that compares as its
      // bytes do, and the row's number in the bits below keeps equal keys in
      // the order they came: one integer per row, sorted, where a sort key per
      // row was made and compared as a text. They fit 64 bits for keys of 12
      // digits (a declaration's) and up to 65,535 rows.
      size_t longest = 0;
      bool digits = true;
      for (size_t i = 0; i < rows.size() && digits; ++i) {
        const std::string_view k = rows[i].key;
        longest = std::max(longest, k.size());
        digits = std::all_of(k.begin(), k.end(),
                             [](char c) { return static_cast<unsigned char>(c - '0') < 10; });
      }
      const int rowBits = std::bit_width(rows.size());
      if (digits && 4 * longest + static_cast<size_t>(rowBits) <= 64) {
        std::vector<uint64_t> order(rows.size());
        for (size_t i = 0; i < rows.size(); ++i) {
          uint64_t code = 0;
          for (char c : rows[i].key) code = code << 4 | static_cast<uint64_t>(c - '0' + 1);
          order[i] = (code << 4 * (longest - rows[i].key.size()) << rowBits) | i;
        }
        if (!std::is_sorted(order.begin(), order.end())) std::sort(order.begin(), order.end());
        const uint64_t mask = (uint64_t{1} << rowBits) - 1;
        for (uint64_t o : order) {
          Keyed& r = rows[o & mask];
          if (!cells->TryAdd(Variant(ObjectPtr(std::move(r.record))), r.key) && !inStoredOrder)
            return nullptr;
        }
        return cells;
      }
      std::vector<uint32_t> at(rows.size());
      std::iota(at.begin(), at.end(), 0u);
      const auto textBefore = [&](uint32_t a, uint32_t b) {
        return CompareTextRu(rows[a].key, rows[b].key) < 0;
      };
      const bool inOrder =
          digits ? std::is_sorted(rows.begin(), rows.end(),
                                  [](const Keyed& a, const Keyed& b) { return a.key < b.key; })
                 : std::is_sorted(at.begin(), at.end(), textBefore);
      if (!inOrder) {
        // Keys of ASCII characters and Russian letters compare by their sort
        // keys, made once per row, and the rows' numbers are sorted: a
        // comparison of texts per step was most of the read.
        std::vector<std::string> orders(rows.size());
        bool keyed = true;
        for (size_t i = 0; i < rows.size() && keyed; ++i)
          keyed = CompareTextRuKey(rows[i].key, orders[i]);
        if (keyed)
          std::stable_sort(at.begin(), at.end(),
                           [&](uint32_t a, uint32_t b) { return orders[a] < orders[b]; });
        else
          std::stable_sort(at.begin(), at.end(), textBefore);
      }
      for (uint32_t i : at)
        if (!cells->TryAdd(Variant(ObjectPtr(std::move(rows[i].record))), rows[i].key) &&
            !inStoredOrder)
          return nullptr;
      return cells;
    };
    if (CollectionPtr cells = read(false)) return cells;
    return read(true);
  });
}

// One statement per cell. The update writes the first row of the key in
// the index's order (the lowest rowid among equal keys), the row a seek on
// the table's index finds: a key stored twice gets the value in its first
// copy only. A key without a row gets an insert.
constexpr std::string_view kUpdateCell =
    "UPDATE doc_cell_values SET first_value = ?1, first_type = ?2 WHERE rowid = (SELECT rowid "
    "FROM doc_cell_values WHERE document_id = ?3 AND cell_key = ?4 ORDER BY document_id, "
    "cell_key, rowid LIMIT 1)";
constexpr std::string_view kInsertCell =
    "INSERT INTO doc_cell_values (document_id, cell_key, first_value, first_type) VALUES (?3, "
    "?4, ?1, ?2)";
constexpr std::string_view kDeleteCell =
    "DELETE FROM doc_cell_values WHERE document_id = ?1 AND cell_key = ?2";
constexpr std::string_view kCellStored =
    "SELECT 1 FROM doc_cell_values WHERE document_id = ?1 AND cell_key = ?2 LIMIT 1";

// The same statements on a server, in Jet SQL whose literals are the
// parameters in text order. The table has no primary key (a key may be
// stored twice); its hidden row key numbers the rows in insertion order, so
// the update writes the copy with the lowest one, the copy a read meets
// first, as the file's update writes the lowest rowid.
constexpr std::string_view kServerUpdateCell =
    "UPDATE [doc_cell_values] SET [first_value] = '', [first_type] = 0 "
    "WHERE [_jet_row] = (SELECT Min([_jet_row]) FROM [doc_cell_values] "
    "WHERE [document_id] = 0.5 AND [cell_key] = '')";
// The update by the key alone: every copy of the key. For a key stored
// once (every key but those of documents brought over from old files) it
// writes the row the first-copy form writes, at one index scan less.
constexpr std::string_view kServerUpdateCellByKey =
    "UPDATE [doc_cell_values] SET [first_value] = '', [first_type] = 0 "
    "WHERE [document_id] = 0.5 AND [cell_key] = ''";
constexpr std::string_view kServerInsertCell =
    "INSERT INTO [doc_cell_values] ([document_id], [cell_key], [first_value], [first_type]) "
    "VALUES (0.5, '', '', 0)";
constexpr std::string_view kServerDeleteCell =
    "DELETE FROM [doc_cell_values] WHERE [document_id] = 0.5 AND [cell_key] = ''";
constexpr std::string_view kServerCellStored =
    "SELECT Count(*) FROM [doc_cell_values] WHERE [document_id] = 0.5 AND [cell_key] = ''";

namespace {

// The file's native statements.
class FileCellStatements {
 public:
  explicit FileCellStatements(jet::Connection& conn)
      : update_(conn.PrepareNative(kUpdateCell)),
        insert_(conn.PrepareNative(kInsertCell)),
        remove_(conn.PrepareNative(kDeleteCell)),
        stored_(conn.PrepareNative(kCellStored)) {}
  bool Stored(const Variant& doc, const Variant& key) {
    stored_.BindView(1, doc);
    stored_.BindView(2, key);
    const bool found = stored_.Step();
    stored_.Reset();
    return found;
  }
  int64_t Update(const Variant& value, const Variant& type, const Variant& doc,
                 const Variant& key) {
    return Run(update_, {&value, &type, &doc, &key});
  }
  void Insert(const Variant& value, const Variant& type, const Variant& doc, const Variant& key) {
    Run(insert_, {&value, &type, &doc, &key});
  }
  void Remove(const Variant& doc, const Variant& key) { Run(remove_, {&doc, &key}); }
  // A cell's value into the first row of its key, or a new row when it has
  // none (`sizedKey` gives the key as a new row stores it).
  template <class SizedKey>
  void Write(const Variant& value, const Variant& type, const Variant& doc, const Variant& key,
             const SizedKey& sizedKey) {
    if (Update(value, type, doc, key) != 0) return;
    Insert(value, type, doc, sizedKey());
  }
  void Flush() {}

 private:
  static int64_t Run(jet::Statement& st, std::initializer_list<const Variant*> values) {
    int i = 0;
    for (const Variant* v : values) st.BindView(++i, *v);
    const int64_t changed = st.Run();
    st.Reset();
    return changed;
  }
  jet::Statement update_, insert_, remove_, stored_;
};

// The server's statements, through its engine. The writes of the cells
// wait in a queue and go together (Flush): their updates in one round trip,
// then the inserts of the keys no update found in another.
class ServerCellStatements {
 public:
  // `check` raises the missing document's error: called before anything
  // is written (a single update runs after it; the updates sent together
  // bring its answer with theirs, and the inserts wait for it).
  ServerCellStatements(dao::Database& db, std::function<void()> check)
      : db_(db),
        engine_(db.ServerEngine()),
        updateByKey_(engine_.Prepare(kServerUpdateCellByKey)),
        insert_(engine_.Prepare(kServerInsertCell)),
        remove_(engine_.Prepare(kServerDeleteCell)),
        stored_(engine_.Prepare(kServerCellStored)),
        check_(std::move(check)) {}
  bool Stored(const Variant& doc, const Variant& key) {
    stored_->Bind(1, doc);
    stored_->Bind(2, key);
    const bool found = stored_->Step() && CLng(stored_->Value(0)) > 0;
    stored_->Reset();
    return found;
  }
  int64_t Update(const Variant& value, const Variant& type, const Variant& doc,
                 const Variant& key) {
    return Run(FirstCopyUpdate(), {&value, &type, &doc, &key});
  }
  void Insert(const Variant& value, const Variant& type, const Variant& doc, const Variant& key) {
    Run(*insert_, {&doc, &key, &value, &type});
  }
  void Remove(const Variant& doc, const Variant& key) { Run(*remove_, {&doc, &key}); }
  // Queued, not copied: the values must stay where they are until Flush
  // (WriteCells keeps what it converts).
  template <class SizedKey>
  void Write(const Variant& value, const Variant& type, const Variant& doc, const Variant& key,
             const SizedKey& sizedKey) {
    queued_.push_back({&value, &type, &doc, &key, sizedKey});
  }
  void Flush() {
    // A key given twice (as the column compares keys) must meet the row
    // its first write inserted: such a save writes one cell at a time.
    if (queued_.size() < 2 || !DistinctKeys()) {
      check_();
      for (const Queued& q : queued_)
        if (Update(*q.value, *q.type, *q.doc, *q.key) == 0)
          Insert(*q.value, *q.type, *q.doc, q.sizedKey());
      queued_.clear();
      return;
    }
    std::vector<const Variant*> values;
    values.reserve(queued_.size() * 4);
    for (const Queued& q : queued_) values.insert(values.end(), {q.value, q.type, q.doc, q.key});
    std::vector<int64_t> changed;
    try {
      changed = UpdateQueued(values);
    } catch (...) {
      check_();  // a missing document's error before a value's
      throw;
    }
    check_();
    values.clear();
    // The keys of the new rows, as a new row stores them (reserved: the
    // runs point into it).
    std::vector<Variant> sized;
    sized.reserve(queued_.size());
    for (size_t i = 0; i < queued_.size(); ++i)
      if (changed[i] == 0) {
        const Queued& q = queued_[i];
        sized.push_back(q.sizedKey());
        values.insert(values.end(), {q.doc, &sized.back(), q.value, q.type});
      }
    queued_.clear();
    if (!sized.empty()) engine_.RunEach(*insert_, sized.size(), values);
  }

 private:
  // The queued updates (`values` four a cell), in one round trip: by the
  // key alone, in a level of their own; when one of them wrote more than
  // one row (a key stored twice), that level is rolled back and the
  // first-copy form runs instead (a round trip more), so that only the
  // first copy takes the value. The rows each changed.
  std::vector<int64_t> UpdateQueued(const std::vector<const Variant*>& values) {
    {
      dao::Transaction level(db_, {.join = dao::TxJoin::kNested});
      std::vector<int64_t> changed = engine_.RunEach(*updateByKey_, queued_.size(), values);
      if (std::all_of(changed.begin(), changed.end(), [](int64_t n) { return n <= 1; })) {
        level.Commit();
        return changed;
      }
    }
    return engine_.RunEach(FirstCopyUpdate(), queued_.size(), values);
  }

  // The first-copy form, prepared when first needed (a save of several
  // keys mostly needs none).
  jet::EngineStatement& FirstCopyUpdate() {
    if (!update_) update_ = engine_.Prepare(kServerUpdateCell);
    return *update_;
  }

  struct TextLess {
    bool operator()(std::string_view a, std::string_view b) const {
      return CompareTextRu(a, b) < 0;
    }
  };
  struct Queued {
    const Variant *value, *type, *doc, *key;
    std::function<Variant()> sizedKey;
  };
  // Whether every queued key is a text and no two compare equal. Keys of
  // digits alone are equal only when their bytes are (as the read's order
  // check takes them); keys of ASCII characters and Russian letters compare
  // by their sort keys, made once each (a comparison of texts per step was
  // a fifth of a save).
  bool DistinctKeys() const {
    bool digits = true;
    for (const Queued& q : queued_) {
      if (!q.key->IsString()) return false;
      const std::string& k = q.key->AsString();
      digits = digits && std::all_of(k.begin(), k.end(), [](char c) {
                 return static_cast<unsigned char>(c - '0') < 10;
               });
    }
    // A recordset read from a document has its cells in key order.
    const auto before = [](const Queued& a, const Queued& b) {
      return a.key->AsString() < b.key->AsString();
    };
    if (digits && std::is_sorted(queued_.begin(), queued_.end(), before))
      return std::adjacent_find(queued_.begin(), queued_.end(),
                                [](const Queued& a, const Queued& b) {
                                  return a.key->AsString() == b.key->AsString();
                                }) == queued_.end();
    std::vector<std::string> orders(queued_.size());
    bool keyed = true;
    for (size_t i = 0; i < queued_.size() && keyed; ++i)
      keyed = CompareTextRuKey(queued_[i].key->AsString(), orders[i]);
    if (keyed) {
      if (!std::is_sorted(orders.begin(), orders.end())) std::sort(orders.begin(), orders.end());
      return std::adjacent_find(orders.begin(), orders.end()) == orders.end();
    }
    std::set<std::string_view, TextLess> keys;
    for (const Queued& q : queued_)
      if (!keys.insert(q.key->AsString()).second) return false;
    return true;
  }
  static int64_t Run(jet::EngineStatement& st, std::initializer_list<const Variant*> values) {
    int i = 0;
    for (const Variant* v : values) st.Bind(++i, *v);
    const int64_t changed = st.Run();
    st.Reset();
    return changed;
  }
  dao::Database& db_;
  jet::Engine& engine_;
  std::unique_ptr<jet::EngineStatement> update_, updateByKey_, insert_, remove_, stored_;
  std::function<void()> check_;
  std::vector<Queued> queued_;
};

// Whether the document's row is there, as RowExists tells; on a server a
// seek of the mapper's table started with the next request that can take
// it (Recordset::StartSeek): the cells' updates, after the write lock.
// Read once.
class ServerDocumentCheck {
 public:
  ServerDocumentCheck(dao::Database& db, const MapperDef& def, double id)
      : db_(db), def_(def), id_(id), key_{Variant(id)} {
    if (def.hooks.existsWithoutTable || def.hooks.mapFor || !db.FindTableSpec(def.map.table))
      return;
    try {
      rs_ = OpenMapTable(db, def.map);
    } catch (const Error&) {
      // RowExists raises it.
    }
  }
  ~ServerDocumentCheck() {
    try {
      if (rs_) rs_->Close();
    } catch (...) {
      // The connection is gone: nothing is left to read.
    }
  }
  ServerDocumentCheck(const ServerDocumentCheck&) = delete;
  ServerDocumentCheck& operator=(const ServerDocumentCheck&) = delete;
  void Start() {
    if (rs_) rs_->StartSeek("=", key_);
  }
  // Called again after a failure (the save's own, then its scope's): a
  // check whose read failed raises nothing more, so the failure that ends
  // the save is the one met first (a lost connection), never a missing
  // document it could not see.
  void Require() {
    if (unread_) return;
    if (!found_) {
      try {
        if (rs_) {
          rs_->Seek("=", key_);
          found_ = !rs_->NoMatch();
        } else {
          found_ = RowExists(db_, def_, id_);
        }
      } catch (...) {
        unread_ = true;
        throw;
      }
    }
    if (!*found_)
      ThrowVb(vberr::kInvalidProcedureCall,
              "the document " + mQvDaoDataBase::Number2DaoSql(id_) + " does not exist");
  }

 private:
  dao::Database& db_;
  const MapperDef& def_;
  double id_;
  const Variant key_[1];
  std::shared_ptr<dao::Recordset> rs_;
  std::optional<bool> found_;
  bool unread_ = false;
};

template <class Statements>
void WriteCells(Statements& sql, const jet::TableSpec& table, const Variant& doc,
                const std::vector<CellRow>& rows) {
  const jet::FieldSpec& keyField = *table.FindField("cell_key");
  const jet::FieldSpec& valueField = *table.FindField("first_value");
  const jet::FieldSpec& typeField = *table.FindField("first_type");
  // Values are stored as the table's fields convert them; a key is
  // checked against its column's size only when it makes a new row.
  auto key = [&](const CellRow& c, bool sized) {
    return dao::CoerceToField(c.key, keyField.type, sized ? keyField.size : INT32_MAX);
  };
  // The keys to delete are those stored before this call: a key the
  // recordset gives with a value and empty too is then kept when the
  // value made it.
  std::vector<Variant> doomed;
  for (const CellRow& c : rows) {
    if (!c.value.IsNull()) continue;
    Variant bound = key(c, false);
    if (sql.Stored(doc, bound)) doomed.push_back(std::move(bound));
  }
  // CellRows made the keys and values texts and cut the values to
  // kCellValueLength: a text column of at least that size stores them
  // as they are, and an unsized key is stored as it is. The cells of a
  // recordset mostly share one type code: converted when it changes.
  const bool valuesFit =
      valueField.type == jet::JetType::kText &&
      (valueField.size > 0 ? valueField.size : 255) >= miDocument::kCellValueLength;
  const bool keysAsGiven = keyField.type == jet::JetType::kText;
  // What a write is given stays until the flush: the values and keys
  // converted, and the types, are kept here (a deque keeps their places).
  std::deque<Variant> held;
  const Variant* lastType = nullptr;
  const Variant* type = nullptr;
  for (const CellRow& c : rows) {
    if (c.value.IsNull()) continue;
    if (!lastType || !(*lastType == c.type)) {
      type = &held.emplace_back(dao::CoerceToField(c.type, typeField.type, typeField.size));
      lastType = &c.type;
    }
    const Variant* value = &c.value;
    if (!valuesFit)
      value = &held.emplace_back(dao::CoerceToField(c.value, valueField.type, valueField.size));
    const Variant* bound = keysAsGiven ? &c.key : &held.emplace_back(key(c, false));
    sql.Write(*value, *type, doc, *bound, [&key, &c] { return key(c, true); });
  }
  sql.Flush();
  // A stored cell given without a value is deleted (with any copy of it).
  for (const Variant& bound : doomed) sql.Remove(doc, bound);
}

}  // namespace

void DBDocument::SaveCells(double aDocID, const Variant& aCellsRs) {
  Guard(QV_HERE, [&] {
    const std::vector<CellRow> rows = CellRows(aCellsRs);
    auto db = MapperUserDatabase();
    // Nothing but the statements below needs the lock: on a server it goes
    // with the first of them, and the document's check with the cells'
    // updates (a missing document raises its error before anything else,
    // and the scope undoes what went with the check).
    miLocks::WriteUnderLock(
        *db,
        [&] {
          const Variant doc(mQvDaoDataBase::Number2DaoValue(aDocID));
          if (db->IsServer()) {
            ServerDocumentCheck check(*db, Def(), aDocID);
            const auto table = db->FindTableSpec("doc_cell_values");
            if (!table) {
              check.Require();
              jet::ThrowJet(jet::jeterr::kTableNotFound, {"doc_cell_values"});
            }
            ServerCellStatements sql(*db, [&check] { check.Require(); });
            check.Start();
            try {
              WriteCells(sql, *table, doc, rows);
            } catch (...) {
              check.Require();
              throw;
            }
            check.Require();
            return;
          }
          if (!RowExists(*db, Def(), aDocID))
            ThrowVb(vberr::kInvalidProcedureCall,
                    "the document " + mQvDaoDataBase::Number2DaoSql(aDocID) + " does not exist");
          jet::Connection& conn = db->Connection();
          const auto table = conn.Schema().FindTable("doc_cell_values");
          FileCellStatements sql(conn);
          WriteCells(sql, *table, doc, rows);
        },
        lockaction::kDefault, true);
  });
}

}  // namespace qv::records
