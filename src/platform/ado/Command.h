#pragma once
// Command ("ADODB.Command"): a statement text, its type and its parameters,
// run through its ActiveConnection (a Connection object, or a connection
// string from which Execute opens one and keeps it as the ActiveConnection).

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
  // Runs CommandText (adCmdText or adCmdUnknown: a Jet statement;
  // adCmdTable: every row of that table) as Connection::Execute does.
  // Errors: 3709 without an open connection; 3001 for a stored procedure
  // or parameters (the engine takes statements without parameters); the
  // connection's errors.
  Variant Execute(Variant& recordsAffected, const Variant& parameters, int32_t options);

 private:
  std::string text_;
  int32_t type_ = adCmdUnknown;
  Variant connection_ = Variant::Nothing();
  ParametersPtr parameters_ = std::make_shared<Parameters>();
};

}  // namespace qv::ado
