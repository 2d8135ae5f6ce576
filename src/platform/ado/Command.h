#pragma once
// Command ("ADODB.Command"): a statement text, its type and its parameters,
// to be run through a connection. No connection can run it in this layer:
// Execute raises 3709 until a Connection supplies the engine.

#include <cstdint>
#include <string>

#include "platform/ado/AdoConstants.h"
#include "platform/ado/Parameters.h"
#include "platform/automation/Object.h"

namespace qv::ado {

class Command : public Object {
  QV_DECLARE_CLASS(Command)

 public:
  const std::string& CommandText() const { return text_; }
  void SetCommandText(const std::string& text) { text_ = text; }
  int32_t CommandType() const { return type_; }
  // adCmdText, adCmdTable, adCmdStoredProc or adCmdUnknown; else error 3001.
  void SetCommandType(int32_t type);
  // The connection object or connection text set by the caller; Nothing
  // when none was set.
  const Variant& ActiveConnection() const { return connection_; }
  void SetActiveConnection(const Variant& connection);
  const ParametersPtr& Params() const { return parameters_; }
  // Parameters, or Parameters(index) when an index is given.
  Variant ParametersV(const Variant& index) const;
  // A new Parameter, not yet appended.
  ParameterPtr CreateParameter(const std::string& name, int32_t type, int32_t direction,
                               int32_t size, const Variant& value);
  // Always error 3709: running a command needs an open connection.
  Variant Execute(Variant& recordsAffected, const Variant& parameters, int32_t options);

 private:
  std::string text_;
  int32_t type_ = adCmdUnknown;
  Variant connection_ = Variant::Nothing();
  ParametersPtr parameters_ = std::make_shared<Parameters>();
};

}  // namespace qv::ado
