#include "platform/ado/Command.h"

#include "platform/ado/AdoError.h"

namespace qv::ado {

QV_DEFINE_CLASS(
    Command, "ADODB.Command", QV_CREATABLE(Command),
    Property("CommandText", &Command::CommandText, &Command::SetCommandText),
    Property("CommandType", &Command::CommandType, &Command::SetCommandType),
    Property("ActiveConnection", &Command::ActiveConnection, &Command::SetActiveConnection),
    Method("Parameters", &Command::ParametersV, {Variant::Missing()}),
    Method("CreateParameter", &Command::CreateParameter,
           {Variant(""), Variant(adEmpty), Variant(adParamInput), Variant(0), Variant::Missing()}),
    Method("Execute", &Command::Execute,
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

Variant Command::Execute(Variant&, const Variant&, int32_t) {
  ThrowAdo(adoerr::kConnectionUnusable, kCommandSource,
           connection_.IsNothing() ? "no connection is set" : "no connection can run commands");
}

}  // namespace qv::ado
