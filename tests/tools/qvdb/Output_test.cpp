#include "Output.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "QvdbTestSupport.h"
#include "platform/ado/AdoConstants.h"
#include "platform/ado/Recordset.h"
#include "platform/automation/Collection.h"
#include "platform/automation/Error.h"
#include "platform/automation/VbaDate.h"
#include "siblings/records/QvRecord.h"

namespace qvdb {
namespace {

using qv::records::QvRecord;

TEST(Output, JsonFormsOfValues) {
  auto c = std::make_shared<qv::Collection>();
  c->Add(Variant(1.5), "a");
  c->Add(Variant("x\"y"));
  const struct {
    Variant value;
    const char* json;
  } cases[] = {
      {Variant::Null(), "null"},
      {Variant(), "{\"empty\":true}"},
      {Variant::Nothing(), "null"},
      {Variant(qv::DateSerial(2007, 3, 5)), "{\"date\":\"2007-03-05T00:00:00\"}"},
      {Variant(qv::OleDate{qv::DateSerial(1899, 12, 30).serial + 0.75}),
       "{\"date\":\"1899-12-30T18:00:00\"}"},
      {Variant(true), "true"},
      {Variant(int32_t{7}), "7"},
      {Variant(int16_t{-3}), "-3"},
      {Variant(0.1), "0.1"},
      {Variant(120.0), "120"},  // whole numbers never in exponent form
      {Variant(-0.0), "0"},
      {Variant(123456789012.0), "123456789012"},
      {Variant(1e300), "1e+300"},
      {Variant(qv::Currency{12345}), "1.2345"},
      {Variant(1.5f), "1.5"},
      {Variant("текст\n\t\x01"), "\"текст\\n\\t\\u0001\""},
      {Variant("quote \" and \\ backslash\r"), "\"quote \\\" and \\\\ backslash\\r\""},
      {Variant(std::string("nul\0end\x1f\x7f", 9)), "\"nul\\u0000end\\u001f\x7f\""},
      {Variant(qv::ByteArray{0, {0, 171}}), "{\"hex\":\"00ab\"}"},
      {Variant(qv::VariantArray::Of({Variant(1.0), Variant("b")})), "[1,\"b\"]"},
      {Variant::ErrorValue(2042), "{\"error\":2042}"},
      {Variant(c), "{\"items\":[1.5,\"x\\\"y\"],\"keys\":[\"a\",null]}"},
  };
  for (const auto& k : cases) EXPECT_EQ(ToJson(k.value), k.json) << k.value.Describe();
}

// Numbers are written at full precision: they read back as the same double.
TEST(Output, JsonNumbersRoundTrip) {
  for (double d : {1.0 / 3, 2.5e-12, 9007199254740993.0, -1e308, 123.456})
    EXPECT_EQ(std::stod(ToJson(Variant(d))), d) << ToJson(Variant(d));
}

// Stored bytes that are not UTF-8 print as U+FFFD, one per maximal
// ill-formed subpart, so that the JSON is well-formed UTF-8; good text
// around them is kept.
TEST(Output, JsonRepairsIllFormedUtf8) {
  const std::string r = "\xEF\xBF\xBD";  // U+FFFD
  const struct {
    std::string stored, shown;
  } cases[] = {
      {"\xff\xfe", r + r},
      {"a\x80"
       "b",
       "a" + r + "b"},
      {"\xd0", r},                                  // cut before its second byte
      {"\xd0\xd1\x8f", r + "я"},                    // a lead byte without its tail
      {"\xf0\x9f\x98", r},                          // a 4-byte form cut short
      {"\xf0\x9f\x98\"x", r + "\\\"x"},             // ... before a quote
      {"\xc0\xaf", r + r},                          // overlong "/"
      {"\xe0\x80\x80", r + r + r},                  // overlong NUL
      {"\xed\xa0\x80", r + r + r},                  // a UTF-16 surrogate
      {"\xf4\x90\x80\x80", r + r + r + r},          // past U+10FFFF
      {"\xf8\x88\x80\x80\x80", r + r + r + r + r},  // a 5-byte form
      {"ё\xf0\x9f\x98\x80", "ё\xf0\x9f\x98\x80"},   // well-formed: kept
  };
  for (const auto& k : cases) EXPECT_EQ(ToJson(Variant(k.stored)), "\"" + k.shown + "\"");
}

TEST(Output, RecordJsonReadsNothingFromTheStore) {
  // No mapper is registered in this program: a read would raise 429.
  auto office = QvRecord::Create("Qv_Records.QvTaxOffice");
  office->SetID(Variant(5.0));
  EXPECT_EQ(ToJson(Variant(office)),
            "{\"record\":\"Qv_Records.QvTaxOffice\",\"RState\":1,\"props\":{\"ID\":5}}");
  EXPECT_EQ(office->State(), qv::records::kReference);

  auto stream = QvRecord::Create("Qv_Records.QvAccStream");
  stream->BeginLoad(Variant(9.0));
  stream->SetValue(stream->PropertyIndex("DisplayName"), Variant("ООО \"Ромашка\""));
  stream->SubRecord(stream->PropertyIndex("Person"))->SetID(Variant(3.0));
  stream->EndLoad();
  ASSERT_EQ(stream->State(), qv::records::kLoaded);
  const std::string json = ToJson(Variant(stream));
  EXPECT_TRUE(
      json.starts_with("{\"record\":\"Qv_Records.QvAccStream\",\"RState\":3,"
                       "\"props\":{\"ID\":9,"))
      << json;
  for (const char* part : {"\"DisplayName\":\"ООО \\\"Ромашка\\\"\"",
                           "\"Person\":{\"record\":\"Qv_Records.QvPerson\",\"RState\":1,"
                           "\"props\":{\"ID\":3}}"})
    EXPECT_THAT(json, HasSubstr(part));
  // The lazy part was not read: its properties are left out.
  EXPECT_THAT(json, Not(HasSubstr("\"OCTMO\"")));
  EXPECT_THAT(json, Not(HasSubstr("\"Profiles\"")));
  EXPECT_EQ(stream->State(), qv::records::kLoaded);
}

TEST(Output, RecordInsideItselfPrintsAsItsId) {
  auto stream = QvRecord::Create("Qv_Records.QvAccStream");
  stream->SetValue(stream->PropertyIndex("DisplayName"), Variant("x"));
  stream->CollectionAt(stream->PropertyIndex("Profiles"))->Add(Variant(stream), "_self");
  const std::string json = ToJson(Variant(stream));
  EXPECT_THAT(json, HasSubstr("\"Profiles\":{\"items\":[{\"record\":\"Qv_Records.QvAccStream\","
                              "\"RState\":2,\"props\":{\"ID\":0}}],\"keys\":[\"_self\"]}"));
  // The text form stops the same way.
  std::ostringstream out;
  PrintValue(out, Variant(stream), Format::kTsv);
  EXPECT_THAT(out.str(), HasSubstr("Profiles(\"_self\")\tQv_Records.QvAccStream ID=0 (RState 2)"));
  stream->CollectionAt(stream->PropertyIndex("Profiles"))->Remove(Variant(1.0));  // no leak
}

// A collection of records prints as one table, a row per record; a
// collection with anything else in it prints an item a line.
TEST(Output, RecordCollectionsPrintAsATable) {
  auto records = std::make_shared<qv::Collection>();
  for (const char* name : {"Первый", "Second"}) {
    auto stream = QvRecord::Create("Qv_Records.QvAccStream");
    stream->SetValue(stream->PropertyIndex("DisplayName"), Variant(name));
    records->Add(Variant(stream));
  }
  std::ostringstream tsv;
  PrintValue(tsv, Variant(qv::ObjectPtr(records)), Format::kTsv);
  std::istringstream lines(tsv.str());
  std::string header, first, second, rest;
  std::getline(lines, header);
  std::getline(lines, first);
  std::getline(lines, second);
  EXPECT_FALSE(std::getline(lines, rest)) << tsv.str();
  EXPECT_EQ(header.rfind("record\tRState\tID\t", 0), 0u) << header;
  const size_t col = std::count(header.begin(), header.begin() + header.find("DisplayName"), '\t');
  auto field = [](const std::string& line, size_t n) {
    std::istringstream in(line);
    std::string f;
    for (size_t i = 0; i <= n; ++i) std::getline(in, f, '\t');
    return f;
  };
  EXPECT_EQ(field(first, col), "Первый");
  EXPECT_EQ(field(second, col), "Second");
  EXPECT_EQ(field(first, 0), "Qv_Records.QvAccStream");

  std::ostringstream table;
  PrintValue(table, Variant(qv::ObjectPtr(records)), Format::kTable);
  EXPECT_THAT(table.str(), HasSubstr("(2 rows)"));
  std::ostringstream none;
  PrintValue(none, Variant(qv::ObjectPtr(std::make_shared<qv::Collection>())), Format::kTable);
  EXPECT_EQ(none.str(), "(0 rows)\n");
  records->Add(Variant("text"));
  std::ostringstream mixed;
  PrintValue(mixed, Variant(qv::ObjectPtr(records)), Format::kTable);
  EXPECT_THAT(mixed.str(), HasSubstr("Qv_Records.QvAccStream ID=0 (RState 2)\n"));
}

TEST(Output, RecordLinesNameNestedProperties) {
  auto person = QvRecord::Create("Qv_Records.QvPerson");
  person->SetValue(person->PropertyIndex("Surname"), Variant("Иванов"));
  auto address = person->SubRecord(person->PropertyIndex("HomeAddress"));
  address->SetValue(address->PropertyIndex("City"), Variant("Казань"));
  person->SubRecord(person->PropertyIndex("Citizenship"))->SetID(Variant(643.0));
  std::map<std::string, std::string> lines;
  for (const auto& [name, text] : RecordLines(Variant(person))) lines[name] = text;
  EXPECT_EQ(lines["record"], "Qv_Records.QvPerson");
  EXPECT_EQ(lines["RState"], "2");
  EXPECT_EQ(lines["Surname"], "Иванов");
  EXPECT_EQ(lines["HomeAddress.City"], "Казань");
  EXPECT_EQ(lines["Citizenship"], "Qv_Records.QvAdrCountry ID=643 (RState 1)");
  EXPECT_EQ(lines["AbroadAddress"], "Qv_Records.QvAddress ID=0 (RState 0)");
}

qv::ado::RecordsetPtr SampleRecordset() {
  auto rs = std::make_shared<qv::ado::Recordset>();
  rs->AppendField("ID", qv::ado::adInteger, 0, qv::ado::adFldIsNullable);
  rs->AppendField("Name", qv::ado::adLongVarWChar, 255, qv::ado::adFldIsNullable);
  rs->AppendField("When", qv::ado::adDate, 0, qv::ado::adFldIsNullable);
  rs->AppendField("Ok", qv::ado::adBoolean, 0, qv::ado::adFldIsNullable);
  rs->Open();
  rs->AppendRow({Variant(int32_t{1}), Variant("Ёлка\tи\nпалка"),
                 Variant(qv::DateSerial(2025, 3, 31)), Variant(true)});
  rs->AppendRow({Variant(int32_t{22}), Variant::Null(), Variant::Null(), Variant(false)});
  return rs;
}

TEST(Output, RecordsetInEachFormat) {
  const auto rs = SampleRecordset();
  const struct {
    Format format;
    const char* text;
  } cases[] = {
      {Format::kJson,
       "{\"fields\":[{\"name\":\"ID\",\"type\":3},{\"name\":\"Name\",\"type\":203},{\"name\":"
       "\"When\",\"type\":7},{\"name\":\"Ok\",\"type\":11}],\"rows\":[[1,\"Ёлка\\tи\\nпалка\","
       "{\"date\":\"2025-03-31T00:00:00\"},true],[22,null,null,false]]}\n"},
      {Format::kTsv,
       "ID\tName\tWhen\tOk\n1\tЁлка\\tи\\nпалка\t31.03.2025\tTrue\n22\tNull\tNull\tFalse\n"},
      {Format::kTable,
       "ID  Name            When        Ok\n"
       "--  --------------  ----------  -----\n"
       "1   Ёлка\\tи\\nпалка  31.03.2025  True\n"
       "22  Null            Null        False\n"
       "(2 rows)\n"},
  };
  for (const auto& c : cases) {
    std::ostringstream out;
    PrintValue(out, Variant(rs), c.format);
    EXPECT_EQ(out.str(), c.text) << static_cast<int>(c.format);
  }
  EXPECT_EQ(RecordsetJson(*rs) + "\n", cases[0].text);
}

TEST(Output, TableCutsLongValues) {
  auto rs = std::make_shared<qv::ado::Recordset>();
  rs->AppendField("T", qv::ado::adLongVarWChar, 0, qv::ado::adFldIsNullable);
  rs->Open();
  rs->AppendRow({Variant(std::string(70, 'x'))});
  std::ostringstream table, tsv;
  PrintValue(table, Variant(rs), Format::kTable);
  PrintValue(tsv, Variant(rs), Format::kTsv);
  // 60 characters wide with the ellipsis.
  EXPECT_THAT(table.str(), HasSubstr("\n" + std::string(59, 'x') + "…\n"));
  EXPECT_THAT(tsv.str(), HasSubstr(std::string(70, 'x') + "\n"));
}

// The error's own message on the "Error NUMBER:" line, the procedures it
// passed after it.
TEST(Output, ErrorReportPutsTheMessageFirst) {
  qv::Error chained(3078,
                    "[Qv_DBProvider::DictQueries.GetCountry]\r\n"
                    "[Qv_DBProvider::mQvDaoDataBase.QvQuerySql] {Запрос, вызвавший ошибку: \r\n"
                    "select * from [No Such]}\r\n"
                    "[DAO.Database]\r\n"
                    "The table 'No Such' does not exist.\r\nSecond line.");
  chained.SetMessage("The table 'No Such' does not exist.\r\nSecond line.");
  qv::Error leading(5, "[Qv_DBProvider::M.P]\r\nbad");
  leading.SetMessage("\r\nbad");
  const struct {
    qv::Error error;
    const char* report;
  } cases[] = {
      {chained,
       "Error 3078: The table 'No Such' does not exist.\nSecond line.\n"
       "[Qv_DBProvider::DictQueries.GetCountry]\n"
       "[Qv_DBProvider::mQvDaoDataBase.QvQuerySql] {Запрос, вызвавший ошибку: \n"
       "select * from [No Such]}\n"
       "[DAO.Database]"},
      {leading, "Error 5: bad\n[Qv_DBProvider::M.P]"},
      {qv::Error(3024, "Could not find file 'x'."), "Error 3024: Could not find file 'x'."},
  };
  for (const auto& c : cases) EXPECT_EQ(ErrorReport(c.error), c.report);
}

}  // namespace
}  // namespace qvdb
