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

namespace qv::records::testing {
namespace {

class StoredNulls : public EntityTest {
 protected:
  // A row `key` = id of `table`: Null in every column that is not Required,
  // its default in a Required one with a default, 1 (or "1") in the others.
  void NullRow(std::string_view table, std::string_view key, double id) {
    const auto spec = Db().Connection().Schema().FindTable(table);
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

  // The record's properties read one by one (which loads a reference and its
  // lazy groups), the sub-records and collection items one level down.
  static void Touch(const Variant& value, int depth) {
    if (!value.IsObject() || depth < 0) return;
    if (auto list = value.ObjectAs<Collection>()) {
      for (int32_t i = 1; i <= list->Count(); ++i) Touch(list->At(i), depth);
      return;
    }
    auto rec = value.ObjectAs<QvRecord>();
    if (!rec) return;
    for (int i = 0; i < rec->RecordClassOf().PropertyCount(); ++i)
      Touch(rec->Get(rec->RecordClassOf().Property(i).name), depth - 1);
  }

  // Runs `call` and touches what it answers; a failure is noted under `what`.
  void Check(const std::string& what, const std::function<Variant()>& call) {
    try {
      Touch(call(), 2);
    } catch (const Error& e) {
      failures_ += what + ": " + std::to_string(e.Number()) + " " + e.Description() + "\n";
    }
  }

  std::string failures_;
};

Variant Call(std::string_view progId, std::string_view method, std::vector<Variant> args) {
  return CreateObject("Qv_DBProvider." + std::string(progId))->Call(method, args);
}

// An operation that lists records of a table whose row (key 1) holds Nulls,
// once `sql` has set the columns the operation selects by.
struct ListCase {
  const char* table;
  const char* sql;  // run before the call; "" for none
  const char* what;
  std::function<Variant()> call;
};

TEST_F(StoredNulls, EveryMapperAndListReadsARowOfNulls) {
  // Every map a registered mapper reads: its own (or those its identifiers
  // choose), the detail tables of a header, and the tables of its value
  // lists; one row each, and a header row per detail table.
  const double kIds[] = {1, 1000000001};
  std::vector<std::pair<const RegisteredMapper*, double>> reads;
  std::set<std::string> mappers;
  for (const RegisteredMapper& m : RegisteredMappers()) {
    if (!mappers.insert(m.classInfo().ProgId()).second) continue;
    const MapperDef& def = m.def();
    std::set<const ColumnMap*> maps;
    for (double id : kIds) {
      const ColumnMap* map = def.hooks.mapFor ? def.hooks.mapFor(id) : &def.map;
      if (!maps.insert(map).second) continue;
      NullRow(map->table, map->key, id);
      reads.emplace_back(&m, id);
      for (const ValueListDef& list : def.valueLists) {
        const std::string_view table = list.readTableFor ? list.readTableFor(id) : list.map.table;
        Sql("insert into [" + std::string(table) + "] ([" + std::string(list.ownerColumn) +
            "]) values (" + CStr(Variant(id)) + ")");
      }
    }
    if (!def.detail) continue;
    double header = 100;
    for (const DetailMap& d : def.detail->maps) {
      NullRow(d.map->table, d.map->key, ++header);
      NullRow(def.map.table, def.map.key, header);
      Sql("update [" + std::string(def.map.table) + "] set [" +
          std::string(def.detail->typeColumn) + "] = " + std::to_string(d.type) + ", [" +
          std::string(def.detail->linkColumn) + "] = " + CStr(Variant(header)) + " where [" +
          std::string(def.map.key) + "] = " + CStr(Variant(header)));
      reads.emplace_back(&m, header);
    }
  }
  for (const char* listed : {"Qv_DBProvider.DBPerson", "Qv_DBProvider.DBPfrSubDoc"})
    ASSERT_TRUE(mappers.count(listed)) << listed;  // the mappers of two layers list themselves

  for (const auto& [m, id] : reads) {
    const std::string progId = m->classInfo().ProgId();
    Check(progId + " " + CStr(Variant(id)), [&, id = id, m = m] {
      QvRecordPtr rec = QvRecord::Create(m->def().recordProgId);
      ObjectPtr mapper = CreateObject(progId);
      mapper->CallV("ReadRecord", Variant(id), Variant(ObjectPtr(rec)));
      if (m->classInfo().Find("ReadLazyFields"))
        mapper->CallV("ReadLazyFields", Variant(ObjectPtr(rec)));
      return Variant(ObjectPtr(rec));
    });
  }

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

  Variant none;
  const Variant keys(VariantArray::Of({Variant(200005)}));
  const auto subDocs = [none](int32_t flags) {
    return Call("DBQPfr", "GetSubDocsByDocumentID", {Variant(500.0), Variant(flags), none});
  };
  const ListCase lists[] = {
      {"PfrSubDocs", "update PfrSubDocs set DocumentID = 500", "by document",
       [&] { return subDocs(0); }},
      {"PfrSubDocs", "", "by name", [&] { return subDocs(1); }},
      {"PfrSubDocs", "", "preloaded, no person", [&] { return subDocs(513); }},
      {"PfrSubDocs", "", "references", [&] { return subDocs(1536); }},
      {"PfrSubDocs", "update PfrSubDocs set PfrPersonID = 1", "preloaded with a person of Nulls",
       [&] { return subDocs(513); }},
      {"PfrSubDocs", "", "of the person",
       [] {
         return Call("DBQPfr", "GetSubDocsOfPersonInDocument",
                     {Variant(500.0), Variant(1.0), Variant("*")});
       }},
      {"PfrCellValues", "insert into PfrCellValues (ID, SubDocID) values (1, 1)", "cells",
       [] {
         QvRecordPtr rec = QvRecord::Create("Qv_PfrRecords.QvPfrSubDoc");
         rec->SetID(Variant(1.0));
         Call("DBPfrSubDoc", "ReadCells", {Variant(ObjectPtr(rec))});
         return rec->Get("Cells");
       }},
      {"PfrCellValues", "update PfrCellValues set Key = 200005, LineNum = 0, TableNum = 0",
       "values",
       [&] {
         return Call("DBQPfr", "GetSubDocValues", {Variant(1.0), keys});
       }},
      {"PfrErrors", "insert into PfrErrors (ID, SubDocID) values (1, 1)", "errors",
       [] {
         QvRecordPtr rec = QvRecord::Create("Qv_PfrRecords.QvPfrSubDoc");
         rec->SetID(Variant(1.0));
         Call("DBPfrSubDoc", "ReadErrors", {Variant(ObjectPtr(rec))});
         return rec->Get("Errors");
       }},
      {"PfrPersons", "update PfrPersons set Person_ID = 5", "by taxpayer",
       [] { return Call("DBQPfr", "GetPfrPersonsByTaxpayer", {Variant(5.0)}); }},
      {"PfrPersons", "", "sorted, preloaded",
       [] {
         return Call("DBQPfr", "GetPfrPersonsByTaxpayerEx",
                     {Variant(5.0), Variant(true), Variant("fio"), Variant(1)});
       }},
      {"Warrants", "update Warrants set WorkerID = 7, ContoraType = 1", "of the worker",
       [] { return Call("DBQWarrant", "GetWarrantsOfWorker", {Variant(7.0)}); }},
      {"Warrants", "", "active or latest",
       [] {
         return Call("DBQWarrant", "GetActiveWarrant", {Variant(7.0), Variant(true)});
       }},
      {"Warrants", "", "made active when alone",
       [] { return Call("DBQWarrant", "SetActiveWarrantIfAlone", {Variant(7.0)}); }},
      {"Doc_Registry", "update Doc_Registry set PfrMasterDocID = 500, Taxpayer_ID = 50",
       "end documents",
       [] {
         return Call("DBQPfr", "GetPfrEndDocsByMasterDocID",
                     {Variant(500.0), Variant(0), Variant(0)});
       }},
      {"Doc_Registry", "", "master status",
       [] { return Call("DBQPfr", "GetPfrMasterStatus", {Variant(500.0)}); }},
      {"Doc_Attachments", "update Doc_Attachments set DocumentID = 500", "of the document",
       [] { return Call("DocumentQueries", "GetDocumentAttachments", {Variant(500.0)}); }},
      {"PfrManualSheafs", "update PfrManualSheafs set DocumentID = 500", "of the document",
       [] { return Call("DBDocument", "ReadManualSheafs", {Variant(500.0)}); }},
      {"Personnel", "update Personnel set JobPlaceID = 5", "workers",
       [] { return Call("PersonQueries", "GetWorkers", {Variant(5.0)}); }},
      {"AccStream", "update AccStream set PersonID = 5", "of the person",
       [] {
         return Call("DBQAccStream", "GetAccStreamsByPerson",
                     {Variant(5.0), Variant(""), Variant(0)});
       }},
      {"WjEvents", "update WjEvents set PfrPersonID = 1", "of the person",
       [&] {
         return Call("DBQWJournal", "GetEventsOfPerson", {Variant(1.0), none});
       }},
      {"ConsStream", "", "all", [] { return Call("DBQConsStream", "GetAllConsStreams", {}); }},
      {"UserProfiles", "", "user profiles",
       [] { return Call("DBQProfiles", "GetAllUserProfiles", {}); }},
      {"Doc_Templates", "update Doc_Templates set doc_type_id = 9", "of the class",
       [] { return Call("BlankQueries", "GetAllTemplatesOfClass", {Variant(9.0)}); }},
  };
  for (const ListCase& c : lists) {
    if (*c.sql) Sql(c.sql);
    Check(std::string(c.table) + " " + c.what, c.call);
  }
  EXPECT_EQ(failures_, "");
}

}  // namespace
}  // namespace qv::records::testing
