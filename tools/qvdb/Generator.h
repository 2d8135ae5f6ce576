#pragma once
// `qvdb generate`: realistic sample data in a user database, written through
// table-type DAO recordsets in transactions: organisations (with branches)
// and individual entrepreneurs with their INN, KPP, OGRN, addresses, leaders
// and accountants; one accounting stream each; the report forms with their
// templates and publication dates; documents with instances, adjustment
// chains and cells; the taxpayers' insured persons and the personal
// sections of their insurance-contribution reports (GeneratePfr.h); the
// shard files of the big documents (GenerateBigDocs.h), through the library
// pointed at the folder. The reference rows it needs (Russia, regions, tax
// offices, passports, the forms) are added when missing.
//
// One seed gives the same rows in an empty database: every value comes from
// the seeded sequence, dates from the periods (never from the clock).
// Identifiers continue after the rows already there. Persons, streams and the
// reference rows are one transaction; documents are committed about every
// `batch` documents, each with all its cells and every version of its
// adjustment chain, so a failure keeps whole documents and whole chains only.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "GenerateBigDocs.h"
#include "GeneratePfr.h"

namespace qvdb {

struct GenerateOptions {
  uint64_t seed = 1;
  int32_t streams = 0;    // >= 1
  int32_t documents = 0;  // >= 0
  int32_t cells = 50;     // per document, 1 .. 1000
  // Years of the periods, within 2003 .. 2030; firstYear 0: chosen so that
  // every stream has enough periods for its documents, ending at lastYear.
  int32_t firstYear = 0;
  int32_t lastYear = 2025;
  int32_t batch = 1000;  // documents per transaction
};

struct GenerateStats {
  int64_t legalPersons = 0, branches = 0, entrepreneurs = 0, workers = 0;
  int64_t streams = 0, templates = 0, templateDates = 0, templateCategories = 0;
  int64_t documents = 0, adjustments = 0, cells = 0;
  PfrCounts pfr;         // insured persons, personal sections and their cells
  BigDocCounts bigDocs;  // documents of editor 6 given shards, their sub-documents and cells
  int32_t firstYear = 0, lastYear = 0;
  double seconds = 0;  // every phase, the files opened and closed included
};

// Called now and then with the documents written so far and their total.
using ProgressFn = std::function<void(int64_t done, int64_t total)>;

// What is wrong with the options, named as `qvdb generate` takes them ("--cells
// must be between 1 and 1000"); "" when nothing is.
std::string GenerateOptionsProblem(const GenerateOptions& options);

// Errors: 5 for options out of range (GenerateOptionsProblem), the errors of opening the file, 3078
// when a table of the schema is missing.
GenerateStats Generate(const std::filesystem::path& userDb, const GenerateOptions& options,
                       const ProgressFn& progress = {});

}  // namespace qvdb
