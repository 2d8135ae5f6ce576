#include "core/STQvDBProvider.h"

#include <functional>
#include <string_view>

#include "core/mErrorHandling.h"
#include "platform/ado/Command.h"
#include "platform/ado/Connection.h"
#include "platform/ado/Parameter.h"
#include "platform/ado/Recordset.h"
#include "platform/dao/QueryDef.h"
#include "platform/dao/TableDef.h"

namespace qv {

QV_DEFINE_CLASS(STQvDBProvider, "Qv_DBProvider.STQvDBProvider", QV_CREATABLE(STQvDBProvider),
                Method("TestClassesRegistration(aTester)",
                       &STQvDBProvider::TestClassesRegistration),
                Method("TestControlsRegistartion(aTester)",
                       &STQvDBProvider::TestControlsRegistartion),
                Method("TestExecute(aTester, aParams)", &STQvDBProvider::TestExecute))

namespace {

// A creation test: what the tester is told, and the ProgID created.
struct Test {
  std::string_view label;
  std::string_view progId;
};

// The label of an interface test names, in brackets, the interface the
// object must support, then the ProgID it is created from.
constexpr Test kTests[] = {
    {"Qv_Storages.ArrayOfDouble", "Qv_Storages.ArrayOfDouble"},
    {"Qv_Storages.ArrayOfStrings", "Qv_Storages.ArrayOfStrings"},
    {"Qv_Storages.QvPropertyStorage", "Qv_Storages.QvPropertyStorage"},
    {"Qv_Storages.DictOfStrings", "Qv_Storages.DictOfStrings"},
    {"Qv_Storages.MatrixOfStrings", "Qv_Storages.MatrixOfStrings"},
    {"Qv_Records.QvAccStream", "Qv_Records.QvAccStream"},
    {"Qv_Records.QvAddress", "Qv_Records.QvAddress"},
    {"Qv_Records.QvAdrCountry", "Qv_Records.QvAdrCountry"},
    {"Qv_Records.QvAdrRegion", "Qv_Records.QvAdrRegion"},
    {"Qv_Records.QvConsDocument", "Qv_Records.QvConsDocument"},
    {"Qv_Records.QvConsStream", "Qv_Records.QvConsStream"},
    {"Qv_Records.QvDocument", "Qv_Records.QvDocument"},
    {"Qv_Records.QvPerson", "Qv_Records.QvPerson"},
    {"Qv_Records.QvTaxOffice", "Qv_Records.QvTaxOffice"},
    {"Qv_Records.QvTemplType", "Qv_Records.QvTemplType"},
    {"Qv_Records.QvTimePeriod", "Qv_Records.QvTimePeriod"},
    {"Qv_Records.QvWorker", "Qv_Records.QvWorker"},
    {"(ADODB.Connection) ADODB.Connection.2.6", "ADODB.Connection.2.6"},
    {"(ADODB.Recordset) ADODB.Recordset.2.6", "ADODB.Recordset.2.6"},
    {"(ADODB.Command) ADODB.Command.2.6", "ADODB.Command.2.6"},
    {"(ADODB.Parameter) ADODB.Parameter.2.6", "ADODB.Parameter.2.6"},
    {"(ADODB.Connection) ADODB.Connection", "ADODB.Connection"},
    {"(ADODB.Recordset) ADODB.Recordset", "ADODB.Recordset"},
    {"(ADODB.Command) ADODB.Command", "ADODB.Command"},
    {"(ADODB.Parameter) ADODB.Parameter", "ADODB.Parameter"},
    {"(DAO.TableDef) DAO.TableDef.36", "DAO.TableDef.36"},
    {"(DAO.QueryDef) DAO.QueryDef.36", "DAO.QueryDef.36"},
};

// The interface a label names: the C++ class its objects must be.
struct Interface {
  std::string_view name;
  bool (*supports)(const ObjectPtr&);
};

template <class T>
bool Is(const ObjectPtr& o) {
  return std::dynamic_pointer_cast<T>(o) != nullptr;
}

constexpr Interface kInterfaces[] = {
    {"ADODB.Connection", &Is<ado::Connection>}, {"ADODB.Recordset", &Is<ado::Recordset>},
    {"ADODB.Command", &Is<ado::Command>},       {"ADODB.Parameter", &Is<ado::Parameter>},
    {"DAO.TableDef", &Is<dao::TableDef>},       {"DAO.QueryDef", &Is<dao::QueryDef>},
};

// Creates the test's object and checks the interface its label names.
void RunCreation(const Test& test) {
  ObjectPtr object = CreateObject(test.progId);
  if (test.label.empty() || test.label.front() != '(') return;
  const std::string_view name = test.label.substr(1, test.label.find(')') - 1);
  for (const Interface& i : kInterfaces)
    if (i.name == name && i.supports(object)) return;
  ThrowVb(vberr::kTypeMismatch, "the object does not support " + std::string(name));
}

}  // namespace

void STQvDBProvider::TestClassesRegistration(const ObjectPtr& aTester) {
  Guard(QV_HERE, [&] {
    if (!aTester) ThrowVb(vberr::kObjectNotSet, "no tester");
    for (const Test& test : kTests) {
      aTester->CallV("TryBegin", test.label);
      std::string failure;
      bool failed = false;
      try {
        RunCreation(test);
      } catch (...) {
        failed = true;
        failure = CurrentError().Description();
      }
      if (failed)
        aTester->CallV("TryFailed", failure);
      else
        aTester->CallV("TrySuccess");
    }
  });
}

void STQvDBProvider::TestControlsRegistartion(const ObjectPtr&) {}

Variant STQvDBProvider::TestExecute(const ObjectPtr&, Variant&) {
  // Group 1, the only one, holds no tests; any other group runs nothing.
  return Variant();
}

}  // namespace qv
