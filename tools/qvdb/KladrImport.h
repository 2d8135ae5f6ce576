#pragma once
// `qvdb kladr import DIR`: loads the address classifier as it is published,
// three dBase files with texts in code page 866, into Kladr.mdb:
//
//   SOCRBASE.DBF  LEVEL, SCNAME, KOD_T_ST: the abbreviations of each level
//                 -> KladrAbbrevs (ID = KOD_T_ST, ShortName = SCNAME)
//   KLADR.DBF     NAME, SOCR, CODE (SS RRR GGG PPP AA), INDEX: regions,
//                 districts, cities and settlements (levels 1 to 4)
//   STREET.DBF    NAME, SOCR, CODE (SS RRR GGG PPP UUUU AA), INDEX: streets
//                 (level 5)
//                 -> KladrObjects
//
// Only current objects (AA "00") are loaded. A region's ID is its
// two-digit code (77 for Moscow), so lists of regions order and search by
// code; every other object gets the next ID from 100 in file order. An
// object's parent is its nearest loaded ancestor by code (a street of a
// settlement, else of its city, district or region); objects whose
// ancestors are all missing are skipped and counted. AbbrevID is the
// abbreviation of the object's own level with the object's SOCR text
// (0 when SOCRBASE has none).
//
// File names are found without regard to letter case. Everything is
// written in one transaction, after the old rows are deleted: a failure
// leaves the classifier as it was.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

namespace qvdb {

struct KladrImportStats {
  int64_t abbrevs = 0;
  int64_t objects = 0;  // levels 1 to 4
  int64_t streets = 0;
  int64_t notCurrent = 0;  // rows of older names, not loaded
  int64_t orphans = 0;     // rows without a loaded ancestor, not loaded
};

// Called while a file is read: the file's name, rows done, rows in all.
using KladrProgressFn = std::function<void(const std::string& file, int64_t done, int64_t total)>;

// Loads the files of `dir` into the classifier file `kladrDb` (made by
// `qvdb init`; on a server folder the classifier's location). Errors: 53 a file missing (naming
// it), 3343 a file that is no dBase file or lacks a field the import reads (naming both), 5 a code
// that is not 13 (KLADR) or 17 (STREET) digits (naming the file and row),
// 3024 no classifier file; any of them leaves `kladrDb` unchanged.
KladrImportStats ImportKladr(const std::filesystem::path& dir, const std::filesystem::path& kladrDb,
                             const KladrProgressFn& progress = {});

}  // namespace qvdb
