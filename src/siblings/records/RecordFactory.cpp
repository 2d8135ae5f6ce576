#include "siblings/records/RecordFactory.h"

#include "platform/automation/ErrorGuard.h"
#include "platform/automation/VbaText.h"

namespace qv::records {

std::shared_ptr<RecordFactory> RecordFactory::ForThisThread() {
  thread_local std::shared_ptr<RecordFactory> factory = std::make_shared<RecordFactory>();
  return factory;
}

QvRecordPtr RecordFactory::NewRecord(const std::string& progId) const {
  return GuardIn(Class().Library(), kModule, __func__, [&] { return QvRecord::Create(progId); });
}

QvRecordPtr RecordFactory::GetRecord(const std::string& progId, const Variant& id) const {
  return GuardIn(Class().Library(), kModule, __func__,
                 [&] { return GetRecordOf(QvRecord::ClassOf(progId), id); });
}

QvRecordPtr RecordFactory::GetLoadedRecord(const std::string& progId, const Variant& id) const {
  return GuardIn(Class().Library(), kModule, __func__,
                 [&] { return GetLoadedRecordOf(QvRecord::ClassOf(progId), id); });
}

QvRecordPtr RecordFactory::GetRecordOf(const RecordClass& cls, const Variant& id) const {
  auto r = std::make_shared<QvRecord>(cls);
  r->SetID(id);
  return r;
}

QvRecordPtr RecordFactory::GetLoadedRecordOf(const RecordClass& cls, const Variant& id) const {
  return GuardIn(Class().Library(), kModule, "GetLoadedRecord", [&] {
    QvRecordPtr r = GetRecordOf(cls, id);
    if (r->State() == kReference) r->Refresh();
    return r;
  });
}

#define QV_RECORD_FACTORY_MEMBERS                                             \
  Method("GetRecord(progId, id)", &RecordFactory::GetRecord),                 \
      Method("GetLoadedRecord(progId, id)", &RecordFactory::GetLoadedRecord), \
      Method("NewRecord(progId)", &RecordFactory::NewRecord)

QV_DEFINE_CLASS(RecordFactory, "Qv_Records.RecordFactory", QV_CREATABLE(RecordFactory),
                QV_RECORD_FACTORY_MEMBERS)
QV_DEFINE_CLASS(PfrRecordFactory, "Qv_PfrRecords.RecordFactory", QV_CREATABLE(PfrRecordFactory),
                QV_RECORD_FACTORY_MEMBERS)

ObjectPtr CreateWithProperties(std::string_view progId,
                               const std::vector<std::pair<std::string, Variant>>& props) {
  ObjectPtr object = CreateObject(progId);
  const bool hasSetId = object->Class().Find("SetID") != nullptr;
  for (const auto& [name, value] : props) {
    if (hasSetId && EqualsAsciiNoCase(name, "ID"))
      object->CallV("SetID", value);
    else
      object->Let(name, value);
  }
  return object;
}

}  // namespace qv::records
