#include "platform/dao/DaoCollections.h"

#include "platform/dao/Database.h"
#include "platform/dao/Field.h"
#include "platform/dao/Index.h"
#include "platform/dao/Property.h"
#include "platform/dao/Workspace.h"

namespace qv::dao {

ObjectPtr DaoCollection::Item(const Variant& indexOrName) {
  if (indexOrName.IsString()) {
    if (ObjectPtr item = Named(indexOrName.AsString())) return item;
    ThrowDao(daoerr::kItemNotFound, Source());
  }
  int32_t i = CLng(indexOrName);
  if (i < 0 || i >= Count()) ThrowDao(daoerr::kItemNotFound, Source());
  return At(i);
}

std::shared_ptr<Fields> Fields::Fixed(std::vector<std::shared_ptr<Field>> items) {
  auto fields = std::make_shared<Fields>();
  fields->Reset(std::move(items));
  fields->SetEditable(false);
  return fields;
}

QV_DEFINE_CLASS(Fields, "DAO.Fields", nullptr, Method("Count", &Fields::Count),
                Method("Item(index)", &Fields::Item), Method("Append(item)", &Fields::Append),
                Method("Delete(index)", &Fields::Delete), Method("Refresh", &Fields::Refresh))
QV_DEFINE_CLASS(Indexes, "DAO.Indexes", nullptr, Method("Count", &Indexes::Count),
                Method("Item(indexOrName)", &Indexes::Item),
                Method("Append(item)", &Indexes::Append), Method("Delete(name)", &Indexes::Delete),
                Method("Refresh", &Indexes::Refresh))
QV_DEFINE_CLASS(Properties, "DAO.Properties", nullptr, Method("Count", &Properties::Count),
                Method("Item(indexOrName)", &Properties::Item),
                Method("Append(item)", &Properties::Append),
                Method("Delete(name)", &Properties::Delete),
                Method("Refresh", &Properties::Refresh))
QV_DEFINE_CLASS(Workspaces, "DAO.Workspaces", nullptr, Method("Count", &Workspaces::Count),
                Method("Item(indexOrName)", &Workspaces::Item),
                Method("Append(item)", &Workspaces::Append),
                Method("Delete(name)", &Workspaces::Delete),
                Method("Refresh", &Workspaces::Refresh))
QV_DEFINE_CLASS(Databases, "DAO.Databases", nullptr, Method("Count", &Databases::Count),
                Method("Item(indexOrName)", &Databases::Item),
                Method("Refresh", &Databases::Refresh))

}  // namespace qv::dao
