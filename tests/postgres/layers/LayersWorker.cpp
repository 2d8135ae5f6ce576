// One workstation of the layer tests, run as a process of its own on the
// data folder its registry file (QV_REGISTRY) names:
//
//   qv_pg_layers_worker N
//     N times: the next counter of type 9 for 2030 (DBCommon.GetNextCounter)
//     and a new WjSoftDicts row numbered by NextId (QvAddRecord). Writes
//     "counters C1 C2 ..." and "ids I1 I2 ...", one line each.
//
// Exit status 0 when done, 1 with the error on standard error otherwise.

#include <iostream>
#include <string>

#include "core/DBCommon.h"
#include "core/mQvDaoDataBase.h"
#include "platform/automation/Error.h"
#include "platform/automation/Variant.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: qv_pg_layers_worker N\n";
    return 1;
  }
  try {
    const int times = std::stoi(argv[1]);
    std::string counters = "counters", ids = "ids";
    qv::DBCommon common;
    const qv::Variant pairs[] = {qv::Variant("Name"), qv::Variant("drawn")};
    for (int i = 0; i < times; ++i) {
      counters += " " + std::to_string(common.GetNextCounter(9, 2030));
      ids += " " + std::to_string(static_cast<int64_t>(
                       qv::mQvDaoDataBase::QvAddRecord("WjSoftDicts", "Id", "ID", 0, pairs)));
    }
    std::cout << counters << '\n' << ids << std::endl;
    return 0;
  } catch (const qv::Error& e) {
    std::cerr << "error " << e.Number() << ": " << e.Description() << '\n';
  } catch (const std::exception& e) {
    std::cerr << e.what() << '\n';
  }
  return 1;
}
