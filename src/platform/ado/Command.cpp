#include "platform/ado/Command.h"

#include "platform/ado/AdoError.h"
#include "platform/ado/Connection.h"

namespace qv::ado {

QV_DEFINE_CLASS(
    Command, "ADODB.Command", QV_CREATABLE(Command),
    Property("CommandText", &Command::CommandText, &Command::SetCommandText),
    Property("CommandType", &Command::CommandType, &Command::SetCommandType),
    Property("ActiveConnection", &Command::ActiveConnection, &Command::SetActiveConnection),
    Method("Parameters(index)", &Command::ParametersV, {Variant::Missing()}),
    Method("CreateParameter(name, type, direction, size, value)", &Command::CreateParameter,
           {Variant(""), Variant(adEmpty), Variant(adParamInput), Variant(0), Variant::Missing()}),
    Method("Execute(recordsAffected, parameters, options)", &Command::Execute,
           {Variant::Missing(), Variant::Missing(), Variant(int32_t{-1})}))

[[maybe_unused]] static const bool qv_registered_Command26 =
    (ProgIdRegistry::Register("ADODB.Command.2.6", &Command::StaticClass), true);

void Command::SetCommandType(int32_t type) {
  if (type != adCmdText && type != adCmdTable && type != adCmdStoredProc && type != adCmdUnknown)
    ThrowAdo(adoerr::kBadArguments, kCommandSource, "command type " + std::to_string(type));
  type_ = type;
}

void Command::SetActiveConnection(const Variant& connection) {
  if (connection.IsEmpty() || connection.IsMissing()) {
    connection_ = Variant::Nothing();
  } else if (connection.IsObject() || connection.IsString()) {
    connection_ = connection;
  } else {
    ThrowAdo(adoerr::kBadArguments, kCommandSource, "connection " + connection.Describe());
  }
}

Variant Command::ParametersV(const Variant& index) const {
  if (index.IsMissing()) return Variant(parameters_);
  return Variant(parameters_->Item(index));
}

ParameterPtr Command::CreateParameter(const std::string& name, int32_t type, int32_t direction,
                                      int32_t size, const Variant& value) {
  auto p = std::make_shared<Parameter>();
  p->SetName(name);
  p->SetType(type);
  p->SetDirection(direction);
  p->SetSize(size);
  if (!value.IsMissing()) p->SetValue(value);
  return p;
}

Variant Command::Execute(Variant& recordsAffected, const Variant& parameters, int32_t options) {
  if (connection_.IsString()) {
    auto opened = std::make_shared<Connection>();
    opened->Open(connection_.AsString(), "", "", -1);
    connection_ = Variant(ObjectPtr(opened));
  }
  auto conn = connection_.ObjectAs<Connection>();
  if (!conn || conn->State() != adStateOpen)
    ThrowAdo(adoerr::kConnectionUnusable, kCommandSource,
             connection_.IsNothing() ? "no connection is set" : "the connection is not open");
  if (type_ == adCmdStoredProc)
    ThrowAdo(adoerr::kBadArguments, kCommandSource, "stored procedures are not supported");
  if (parameters_->Count() > 0 || (!parameters.IsMissing() && !parameters.IsEmpty()))
    ThrowAdo(adoerr::kBadArguments, kCommandSource, "statement parameters are not supported");
  std::string text = type_ == adCmdTable ? "SELECT * FROM [" + text_ + "]" : text_;
  return Variant(ObjectPtr(conn->Execute(text, recordsAffected, options)));
}

}  // namespace qv::ado
