#pragma once
// Fields ("ADODB.Fields"): the columns of a Recordset, by name (ignoring
// case) or 0-based ordinal; Item is the default member. Not creatable by
// ProgID: it comes from Recordset.Fields and keeps its recordset alive.

#include <cstdint>
#include <memory>
#include <string>

#include "platform/ado/Field.h"
#include "platform/ado/Recordset.h"
#include "platform/automation/Object.h"

namespace qv::ado {

class Fields : public Object {
  QV_DECLARE_CLASS(Fields)

 public:
  explicit Fields(RecordsetPtr recordset) : rs_(std::move(recordset)) {}

  int32_t Count() const { return static_cast<int32_t>(rs_->FieldCount()); }
  // Error 3265 for an unknown name or an ordinal out of range.
  std::shared_ptr<Field> Item(const Variant& index) const;
  // Fields(index) = value: sets the value in the current row.
  void LetItem(const Variant& index, const Variant& value);
  // Append(Name, Type, DefinedSize, Attrib, FieldValue): while the recordset
  // is closed (error 3705 when open). FieldValue belongs to other objects
  // than recordsets: giving it is error 3001.
  void Append(const std::string& name, int32_t type, int32_t definedSize, int32_t attributes,
              const Variant& fieldValue);
  // While the recordset is closed.
  void Delete(const Variant& index);

 private:
  RecordsetPtr rs_;
};

}  // namespace qv::ado
