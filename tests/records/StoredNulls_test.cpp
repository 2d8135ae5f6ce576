// Stored Nulls: a row of every registered mapper's tables with Null in every
// column that may hold one reads, through its mapper and through the list
// operations that load such records, as a row of empty values: no error 94
// (Invalid use of Null), nor any other.

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "platform/automation/VbaText.h"
#include "platform/jet/JetCatalog.h"
#include "records/EntityFixture.h"
#include "records/PlainMapper.h"
#include "support/RecordWalk.h"

namespace qv::records::testing {
namespace {

class StoredNulls : public EntityTest {
 protected:
  // A row `key` = id of `table`: Null in every column that is not Required,
  // its default in a Required one with a default, 1 (or "1") in the others.
  void NullRow(std::string_view table, std::string_view key, double id) {
    const auto spec = Db().FindTableSpec(table);
    ASSERT_TRUE(spec) << table;
    std::string columns = "[" + std::string(key) + "]", values = CStr(Variant(id));
    for (const jet::FieldSpec& f : spec->fields) {
      if (NamesEqual(f.name, key) || (f.required && !f.defaultValue.empty())) continue;
      const bool text = f.type == jet::JetType::kText || f.type == jet::JetType::kMemo;
      columns += ", [" + f.name + "]";
      values += !f.required ? ", Null" : text ? ", '1'" : ", 1";
    }
    const std::string where = " where [" + std::string(key) + "] = " + CStr(Variant(id));
    Sql("delete from [" + std::string(table) + "]" + where);
    Sql("insert into [" + std::string(table) + "] (" + columns + ") values (" + values + ")");
  }

  // Runs `call` and touches what it answers; a failure is noted under `what`.
  void Check(const std::string& what, const std::function<Variant()>& call) {
    const Error e = testsupport::RaisedError([&] { testsupport::TouchEveryProperty(call(), 2); });
    if (e.Number() != 0)
      failures_ += what + ": " + std::to_string(e.Number()) + " " + e.Description() + "\n";
  }

  std::string failures_;
};

// An operation that lists records of a table whose row (key 1) holds Nulls,
// once `sql` has set the columns the operation selects by.
struct ListCase {
  const char* sql;  // run before the call; "" for none
  std::string op;   // CLASS.OPERATION of Qv_DBProvider
  std::vector<Variant> args;
};

TEST_F(StoredNulls, EveryMapperAndListReadsARowOfNulls) {
  // Every map a registered mapper reads (its own, or those its identifiers
  // choose, and the detail table of each type of a header), one row each,
  // with the rows of its value lists, read through the mapper.
  std::set<std::string> mappers;
  for (const RegisteredMapper& m : RegisteredMappers()) {
    if (!mappers.insert(m.classInfo().ProgId()).second) continue;
    const MapperDef& def = m.def();
    const auto read = [&](double id) {
      Check(m.classInfo().ProgId() + " " + CStr(Variant(id)), [&] {
        QvRecordPtr rec = QvRecord::Create(def.recordProgId);
        ObjectPtr mapper = CreateObject(m.classInfo().ProgId());
        mapper->CallV("ReadRecord", Variant(id), Variant(ObjectPtr(rec)));
        if (m.classInfo().Find("ReadLazyFields"))
          mapper->CallV("ReadLazyFields", Variant(ObjectPtr(rec)));
        return Variant(ObjectPtr(rec));
      });
    };
    std::set<const ColumnMap*> maps;
    for (double id : {1.0, 1000000001.0}) {
      const ColumnMap* map = def.hooks.mapFor ? def.hooks.mapFor(id) : &def.map;
      if (!maps.insert(map).second) continue;
      NullRow(map->table, map->key, id);
      for (const ValueListDef& list : def.valueLists)
        Sql("insert into [" +
            std::string(list.readTableFor ? list.readTableFor(id) : list.map.table) + "] ([" +
            std::string(list.ownerColumn) + "]) values (" + CStr(Variant(id)) + ")");
      read(id);
    }
    double header = 100;
    for (const DetailMap& d : def.detail ? def.detail->maps : std::span<const DetailMap>()) {
      NullRow(d.map->table, d.map->key, ++header);
      NullRow(def.map.table, def.map.key, header);
      Sql("update [" + std::string(def.map.table) + "] set [" +
          std::string(def.detail->typeColumn) + "] = " + std::to_string(d.type) + ", [" +
          std::string(def.detail->linkColumn) + "] = [" + std::string(def.map.key) + "] where [" +
          std::string(def.map.key) + "] = " + CStr(Variant(header)));
      read(header);
    }
  }
  for (const char* listed : {"Qv_DBProvider.DBPerson", "Qv_DBProvider.DBPfrSubDoc"})
    ASSERT_TRUE(mappers.count(listed)) << listed;  // the mappers of two layers list themselves

  // The child lists a mapper reads with its lazy group: the child's row
  // names the owner 1, its other columns Null.
  for (const RegisteredMapper& owner : RegisteredMappers())
    for (const ChildListDef& list : owner.def().lists) {
      Sql("update [" + std::string(list.table) + "] set [" + std::string(list.ownerColumn) +
          "] = 1");
      Check(owner.classInfo().ProgId() + "." + std::string(list.property), [&] {
        QvRecordPtr rec = QvRecord::Create(owner.def().recordProgId);
        CreateObject(owner.classInfo().ProgId())->CallV("ReadRecord", 1.0, Variant(ObjectPtr(rec)));
        return rec->Get(list.property);
      });
    }

  // ReadCells and ReadErrors fill the collections of the record they are given.
  // (The lists of a person's sub-documents, of a taxpayer's persons and of a
  // person's streams load rows with Nulls in the sweep on generated data.)
  QvRecordPtr subDoc = QvRecord::Create("Qv_PfrRecords.QvPfrSubDoc");
  subDoc->SetID(Variant(1.0));
  const Variant none, doc(500.0), one(1.0), record{ObjectPtr(subDoc)};
  const ListCase lists[] = {
      {"update PfrSubDocs set DocumentID = 500",
       "DBQPfr.GetSubDocsByDocumentID",
       {doc, Variant(1), none}},
      {"", "DBQPfr.GetSubDocsByDocumentID", {doc, Variant(513), none}},
      {"update PfrSubDocs set PfrPersonID = 1",
       "DBQPfr.GetSubDocsByDocumentID",
       {doc, Variant(513), none}},
      {"insert into PfrCellValues (ID, SubDocID) values (1, 1)", "DBPfrSubDoc.ReadCells", {record}},
      {"update PfrCellValues set Key = 200005, LineNum = 0, TableNum = 0",
       "DBQPfr.GetSubDocValues",
       {one, Variant(VariantArray::Of({Variant(200005)}))}},
      {"insert into PfrErrors (ID, SubDocID) values (1, 1)", "DBPfrSubDoc.ReadErrors", {record}},
      {"update Warrants set WorkerID = 7, ContoraType = 1",
       "DBQWarrant.GetWarrantsOfWorker",
       {Variant(7.0)}},
      {"", "DBQWarrant.GetActiveWarrant", {Variant(7.0), Variant(true)}},
      {"", "DBQWarrant.SetActiveWarrantIfAlone", {Variant(7.0)}},
      {"update Doc_Registry set PfrMasterDocID = 500, Taxpayer_ID = 50",
       "DBQPfr.GetPfrEndDocsByMasterDocID",
       {doc, Variant(0), Variant(0)}},
      {"", "DBQPfr.GetPfrMasterStatus", {doc}},
      {"update Doc_Attachments set DocumentID = 500",
       "DocumentQueries.GetDocumentAttachments",
       {doc}},
      {"update PfrManualSheafs set DocumentID = 500", "DBDocument.ReadManualSheafs", {doc}},
      {"update Personnel set JobPlaceID = 5", "PersonQueries.GetWorkers", {Variant(5.0)}},
      {"update WjEvents set PfrPersonID = 1", "DBQWJournal.GetEventsOfPerson", {one, none}},
      {"", "DBQConsStream.GetAllConsStreams", {}},
      {"", "DBQProfiles.GetAllUserProfiles", {}},
      {"update Doc_Templates set doc_type_id = 9",
       "BlankQueries.GetAllTemplatesOfClass",
       {Variant(9.0)}},
  };
  for (const ListCase& c : lists) {
    if (*c.sql) Sql(c.sql);
    Check(c.op, [&] {
      std::vector<Variant> args = c.args;
      const size_t dot = c.op.find('.');
      const Variant answer =
          CreateObject("Qv_DBProvider." + c.op.substr(0, dot))->Call(c.op.substr(dot + 1), args);
      for (const Variant& a : args) testsupport::TouchEveryProperty(a, 2);
      return answer;
    });
  }
  EXPECT_EQ(failures_, "");
}

}  // namespace
}  // namespace qv::records::testing
