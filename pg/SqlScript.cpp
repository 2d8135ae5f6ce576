// Writes the SQL that creates the Jet functions on a PostgreSQL server
// (ServerFunctionsSql): qv_jet_pg_sql FILE [MODULE]. Without MODULE, the
// extension's install script (MODULE_PATHNAME); with it, a script for a
// server that loads the module from that path (the tests' servers).

#include <fstream>
#include <iostream>

#include "platform/jet/sql/JetServerFunctions.h"

int main(int argc, char** argv) {
  if (argc != 2 && argc != 3) {
    std::cerr << "usage: qv_jet_pg_sql FILE [MODULE]\n";
    return 2;
  }
  std::ofstream out(argv[1], std::ios::binary);
  out << qv::jet::sql::ServerFunctionsSql(argc == 3 ? argv[2] : "MODULE_PATHNAME", argc == 2);
  return out ? 0 : 1;
}
