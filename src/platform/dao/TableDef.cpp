#include "platform/dao/TableDef.h"

#include "platform/dao/DaoCollections.h"
#include "platform/dao/DaoError.h"
#include "platform/dao/Database.h"
#include "platform/dao/DatabaseServer.h"
#include "platform/dao/Field.h"
#include "platform/dao/Index.h"
#include "platform/dao/Property.h"
#include "platform/dao/Recordset.h"
#include "platform/jet/JetConnection.h"
#include "platform/jet/JetEngine.h"

namespace qv::dao {

QV_DEFINE_CLASS(TableDef, "DAO.TableDef", QV_CREATABLE(TableDef),
                qv::Property("Name", &TableDef::Name, &TableDef::SetName),
                CollectionMember("Fields", &TableDef::FieldsCollection),
                CollectionMember("Indexes", &TableDef::IndexesCollection),
                Method("CreateField(name, type, size)", &TableDef::CreateField,
                       {Variant(), Variant(), Variant()}),
                Method("CreateIndex(name)", &TableDef::CreateIndex, {Variant()}),
                CollectionMember("Properties", &TableDef::PropertiesCollection),
                Method("CreateProperty(name, type, value)", &TableDef::CreateProperty,
                       {Variant(""), Variant(int32_t{0}), Variant()}),
                Method("RecordCount", &TableDef::RecordCount),
                Method("Attributes", &TableDef::Attributes), Method("Connect", &TableDef::Connect),
                Method("SourceTableName", &TableDef::SourceTableName),
                Method("Updatable", &TableDef::Updatable),
                Method("OpenRecordset(type, options)", &TableDef::OpenRecordset,
                       {Variant(), Variant()}))

[[maybe_unused]] static const bool kTableDef36 =
    (ProgIdRegistry::Register("DAO.TableDef.36", &TableDef::StaticClass), true);

std::shared_ptr<TableDef> TableDef::OfTable(const jet::TableSpec& spec,
                                            const std::shared_ptr<Database>& db) {
  auto tdf = std::make_shared<TableDef>(spec.name);
  for (size_t i = 0; i < spec.fields.size(); ++i)
    tdf->FieldsCollection()->Add(
        Field::OfTable(spec.fields[i], static_cast<int32_t>(i), db, spec.name));
  for (const jet::IndexSpec& x : spec.indexes) {
    auto index = Index::OfTable(x);
    tdf->IndexesCollection()->Add(index);
  }
  tdf->Attach(db);
  return tdf;
}

std::shared_ptr<Database> TableDef::LiveDatabase() const {
  auto db = db_.lock();
  if (!db || !db->IsOpen()) ThrowDao(daoerr::kObjectInvalid, kSourceTableDef);
  return db;
}

void TableDef::SetName(const std::string& name) {
  if (appended_) ThrowDao(daoerr::kInvalidOperation, kSourceTableDef);
  name_ = name;
}

std::shared_ptr<Fields> TableDef::FieldsCollection() {
  if (!fields_) fields_ = std::make_shared<Fields>();
  return fields_;
}

std::shared_ptr<Indexes> TableDef::IndexesCollection() {
  if (!indexes_) indexes_ = std::make_shared<Indexes>();
  return indexes_;
}

std::shared_ptr<Field> TableDef::CreateField(const Variant& name, const Variant& type,
                                             const Variant& size) {
  auto t = type.IsEmpty() ? jet::JetType::kText : static_cast<jet::JetType>(CLng(type));
  return std::make_shared<Field>(name.IsEmpty() ? std::string() : CStr(name), t,
                                 size.IsEmpty() ? 0 : CLng(size));
}

std::shared_ptr<Index> TableDef::CreateIndex(const Variant& name) {
  return std::make_shared<Index>(name.IsEmpty() ? std::string() : CStr(name));
}

std::shared_ptr<Properties> TableDef::PropertiesCollection() {
  if (properties_) return properties_;
  properties_ = std::make_shared<Properties>();
  std::weak_ptr<TableDef> weak = std::static_pointer_cast<TableDef>(shared_from_this());
  auto self = [weak] {
    auto t = weak.lock();
    if (!t) ThrowDao(daoerr::kObjectInvalid, kSourceTableDef);
    return t;
  };
  using J = jet::JetType;
  properties_->Add(Property::BuiltIn(
      "Name", static_cast<int32_t>(J::kText), [self] { return Variant(self()->Name()); },
      [self](const Variant& v) { self()->SetName(CStr(v)); }));
  properties_->Add(Property::BuiltIn("RecordCount", static_cast<int32_t>(J::kLong),
                                     [self] { return Variant(self()->RecordCount()); }));
  properties_->Add(Property::BuiltIn("Attributes", static_cast<int32_t>(J::kLong),
                                     [self] { return Variant(self()->Attributes()); }));
  properties_->Add(Property::BuiltIn("Updatable", static_cast<int32_t>(J::kBoolean),
                                     [self] { return Variant(self()->Updatable()); }));
  properties_->SetHooks(nullptr, [](const std::shared_ptr<Property>& p) {
    if (p->IsBuiltIn()) ThrowDao(daoerr::kBuiltInProperty, kSourceProperties);
  });
  return properties_;
}

std::shared_ptr<Property> TableDef::CreateProperty(const std::string& name, int32_t type,
                                                   const Variant& value) {
  return std::make_shared<Property>(name, type, value);
}

int32_t TableDef::RecordCount() {
  if (!appended_) return 0;
  return LiveDatabase()->OpenTable(name_)->RecordCount();
}

std::shared_ptr<Recordset> TableDef::OpenRecordset(const Variant& type, const Variant& options) {
  if (!appended_) ThrowDao(daoerr::kInvalidOperation, kSourceTableDef);
  return LiveDatabase()->OpenRecordset(name_, type, options, Variant());
}

jet::TableSpec TableDef::BuildSpec() const {
  jet::TableSpec spec;
  spec.name = name_;
  if (fields_)
    for (const auto& f : fields_->Items()) spec.fields.push_back(f->Spec());
  if (indexes_)
    for (const auto& x : indexes_->Items()) spec.indexes.push_back(x->Spec());
  return spec;
}

void TableDef::Attach(const std::shared_ptr<Database>& db) {
  appended_ = true;
  db_ = db;
  int32_t ordinal = 0;
  for (const auto& f : FieldsCollection()->Items()) f->Attach(db, name_, ordinal++);
  for (const auto& x : IndexesCollection()->Items()) x->Freeze();
  std::weak_ptr<TableDef> weak = std::static_pointer_cast<TableDef>(shared_from_this());
  auto self = [weak] {
    auto t = weak.lock();
    if (!t) ThrowDao(daoerr::kObjectInvalid, kSourceTableDef);
    return t;
  };
  fields_->SetHooks(
      [self](const std::shared_ptr<Field>& f) {
        auto t = self();
        auto live = t->LiveDatabase();
        if (live->IsServer())
          live->ServerEngine().AddField(t->name_, f->Spec());
        else
          live->Connection("Fields.Append").Schema().AddField(t->name_, f->Spec());
        f->Attach(live, t->name_, t->fields_->Count());
      },
      [](const std::shared_ptr<Field>&) { ThrowDao(daoerr::kInvalidOperation, kSourceFields); });
  indexes_->SetHooks(
      [self](const std::shared_ptr<Index>& x) {
        auto t = self();
        auto live = t->LiveDatabase();
        if (live->IsServer())
          live->ServerEngine().Execute(CreateIndexJetSql(t->name_, x->Spec()));
        else
          live->Connection("Indexes.Append").Schema().CreateIndex(t->name_, x->Spec());
        x->Freeze();
      },
      [self](const std::shared_ptr<Index>& x) {
        auto t = self();
        auto live = t->LiveDatabase();
        if (live->IsServer())
          live->ServerEngine().Execute(DropIndexJetSql(t->name_, x->Name()));
        else
          live->Connection("Indexes.Delete").Schema().DropIndex(t->name_, x->Name());
      });
}

}  // namespace qv::dao
