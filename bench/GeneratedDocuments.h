#pragma once
// Data folders of documents made by `qvdb generate`, kept in the build
// folder's bench/data between runs and shared by every benchmark program
// that links qvdb's pieces: the first program that needs a size makes it.

#include <string>

#include "BenchSupport.h"
#include "Generator.h"

namespace qvbench {

class GeneratedDocuments : public DataFolder {
 public:
  // `documents` documents of 5 cells each, about 100 a stream, from seed 1.
  explicit GeneratedDocuments(int documents)
      : DataFolder(ProgramFolder() / "data" / ("generated-" + std::to_string(documents)),
                   [documents](DataFolder& f) {
                     qvdb::GenerateOptions o;
                     o.seed = 1;
                     o.streams = documents / 100;
                     o.documents = documents;
                     o.cells = 5;
                     o.batch = 5000;
                     qvdb::Generate(f.UserDatabase(), o);
                   }) {}
};

}  // namespace qvbench
