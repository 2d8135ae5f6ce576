// `qvdb kladr import`: the published dBase files (code page 866) into
// Kladr.mdb, in one transaction.

#include "KladrImport.h"

#include <gtest/gtest.h>
#include <shapefil.h>
#include <unicode/ucnv.h>

#include <fstream>

#include "QvdbTestSupport.h"

namespace qvdb {
namespace {

// UTF-8 text as code page 866 bytes.
std::string Cp866(const std::string& utf8) {
  std::string out(utf8.size() + 1, '\0');
  UErrorCode status = U_ZERO_ERROR;
  const int32_t n = ucnv_convert("ibm-866", "utf-8", out.data(), static_cast<int32_t>(out.size()),
                                 utf8.data(), static_cast<int32_t>(utf8.size()), &status);
  EXPECT_TRUE(U_SUCCESS(status)) << utf8;
  out.resize(static_cast<size_t>(n));
  return out;
}

// A dBase file with text fields of the given widths and rows of UTF-8
// texts, "|" between the fields of a row.
void WriteDbf(const fs::path& path, const std::vector<std::pair<const char*, int>>& fields,
              const std::vector<std::string>& rows) {
  DBFHandle h = DBFCreate(path.c_str());
  ASSERT_NE(h, nullptr);
  for (const auto& [name, width] : fields) DBFAddField(h, name, FTString, width, 0);
  for (size_t r = 0; r < rows.size(); ++r) {
    std::string row = rows[r] + "|";
    for (int f = 0, at = 0; row.find('|', at) != std::string::npos; ++f) {
      const size_t end = row.find('|', at);
      DBFWriteStringAttribute(h, static_cast<int>(r), f, Cp866(row.substr(at, end - at)).c_str());
      at = static_cast<int>(end) + 1;
    }
  }
  DBFClose(h);
}

const std::vector<std::pair<const char*, int>> kSocrFields = {
    {"LEVEL", 5}, {"SCNAME", 10}, {"SOCRNAME", 29}, {"KOD_T_ST", 3}};
const std::vector<std::pair<const char*, int>> kKladrFields = {
    {"NAME", 40}, {"SOCR", 10}, {"CODE", 13}, {"INDEX", 6}};
const std::vector<std::pair<const char*, int>> kStreetFields = {
    {"NAME", 40}, {"SOCR", 10}, {"CODE", 17}, {"INDEX", 6}};

class KladrImportTest : public ::testing::Test {
 protected:
  void SetUp() override { Prepare(); }
  // A copy of a new data folder (with the sample classifier) and the files
  // to import. shapelib writes the extension ".dbf".
  void Prepare() {
    fs::remove_all(tmp_ / "data");
    data_ = test::CopyOfPristine(tmp_);
    dir_ = tmp_ / "dbf";
    fs::remove_all(dir_);
    fs::create_directory(dir_);
    WriteDbf(dir_ / "SOCRBASE.dbf", kSocrFields,
             {"1|г|Город|103", "1|обл|Область|105", "2|р-н|Район|201", "3|г|Город|301",
              "4|п|Поселок|417", "5|ул|Улица|529"});
    WriteDbf(
        dir_ / "kladr.dbf", kKladrFields,
        {"Москва|г|7700000000000|", "Московская|обл|5000000000000|", "Ленинский|р-н|5001100000000|",
         "Видное|г|5001100100000|142700", "Развилка|п|5001100000100|142717",
         "Старое имя|г|5001100100051|", "Без района|п|9900200000100|"});
    WriteDbf(dir_ / "Street.dbf", kStreetFields,
             {"Тверская|ул|77000000000028700|125009", "Школьная|ул|50011001000000100|142703",
              "Садовая|ул|50011000001000200|142717", "Лесная|ул|77000000000028751|"});
  }
  fs::path Kladr() const { return data_ / "Kladr.mdb"; }
  std::string Objects() const {
    return Rows(Kladr(),
                "select ID, ParentID, Level, ObjName, AbbrevID, PostIndex from KladrObjects "
                "order by ID");
  }

  TempFolder tmp_;
  fs::path data_, dir_;
};

TEST_F(KladrImportTest, LoadsCurrentObjectsUnderTheirNearestAncestors) {
  std::vector<std::string> seen;
  const KladrImportStats s =
      ImportKladr(dir_, Kladr(), [&](const std::string& f, int64_t done, int64_t total) {
        if (done == total) seen.push_back(f + " " + std::to_string(total));
      });
  EXPECT_EQ(Objects(),
            "50|0|1|Московская|105|\n"
            "77|0|1|Москва|103|\n"
            "100|50|2|Ленинский|201|\n"
            "101|100|3|Видное|301|142700\n"
            "102|100|4|Развилка|417|142717\n"
            "103|77|5|Тверская|529|125009\n"
            "104|101|5|Школьная|529|142703\n"
            "105|102|5|Садовая|529|142717\n");
  EXPECT_EQ(Rows(Kladr(), "select ID, ShortName from KladrAbbrevs order by ID"),
            "103|г\n105|обл\n201|р-н\n301|г\n417|п\n529|ул\n");
  EXPECT_EQ(s.objects, 5);
  EXPECT_EQ(s.streets, 3);
  EXPECT_EQ(s.notCurrent, 2);
  EXPECT_EQ(s.orphans, 1);
  EXPECT_EQ(seen, (std::vector<std::string>{"SOCRBASE.dbf 6", "kladr.dbf 7", "Street.dbf 4"}));
}

TEST_F(KladrImportTest, AFailureLeavesThePreviousClassifier) {
  const std::string before = Objects();
  ASSERT_THAT(before, HasSubstr("|Москва|"));  // the sample of qvdb init
  const struct {
    const char* name;
    std::function<void()> spoil;
    int32_t error;
    const char* text;
  } kCases[] = {
      {"missing file", [&] { fs::remove(dir_ / "Street.dbf"); }, 53, "STREET.DBF"},
      {"not dBase", [&] { std::ofstream(dir_ / "Street.dbf", std::ios::trunc) << "garbage"; }, 3343,
       "Street.dbf"},
      {"field missing",
       [&] {
         WriteDbf(dir_ / "Street.dbf", {{"NAME", 40}, {"CODE", 17}}, {});
       },
       3343, "SOCR"},
      {"bad code",
       [&] {
         WriteDbf(dir_ / "Street.dbf", kStreetFields,
                  {"Тверская|ул|77000000000028700|", "Х|ул|7700000000002X700|"});
       },
       5, "row 2"},
      {"region twice",
       [&] {
         WriteDbf(dir_ / "kladr.dbf", kKladrFields,
                  {"Москва|г|7700000000000|", "Москва|г|7700000000000|"});
       },
       3022, ""},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    Prepare();
    c.spoil();
    ExpectError(c.error, c.text, [&] { ImportKladr(dir_, Kladr()); });
    EXPECT_EQ(Objects(), before);
  }
  ExpectError(3024, "Kladr.mdb", [&] { ImportKladr(dir_, tmp_ / "none" / "Kladr.mdb"); });
}

}  // namespace
}  // namespace qvdb
