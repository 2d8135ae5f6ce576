// DictQueries over a small dataset: identifier lists and flags of the
// dictionaries, the tax-office kinds, the scalar lookups, the OKATO
// database and its fallback, and the composed lists of signers.

#include "queries/DictQueries.h"

#include <gtest/gtest.h>

#include <optional>

#include "core/miDataBase.h"
#include "platform/automation/VbaText.h"
#include "platform/dao/DBEngine.h"
#include "platform/dao/Database.h"
#include "platform/dao/Workspace.h"
#include "queries/DictPeriodFixture.h"

namespace qv::queries::testing {
namespace {

using DictQueriesTest = DictPeriodTest;

// Countries (OrderNum desc, then name; flag bit 1 leaves 179 out),
// certificate types (a negative group selects by code kind; the group,
// passed by reference, stays) and tax offices (showorder desc, then code)
// by identifiers and kind: a list wins over the flag or kind.
TEST_F(DictQueriesTest, ListsHonourIdentifiersFlagsAndKinds) {
  InsertRows("insert into Country (ID, Alfa2, ShortName, OrderNum)",
             {"(5, 'RU', 'Россия', 10)", "(7, 'DE', 'Германия', 0)", "(179, 'ZZ', 'Без', 0)",
              "(200, 'AT', 'Австрия', 0)"});
  InsertRows("insert into CertificateType (ID, GroupID, Code, PfrCode, TndflCode, OrderNum)",
             {"(1, 1, '21', 'ПАСПОРТ РОССИИ', '21', 5)", "(2, 1, '03', '', '03', 0)",
              "(3, 2, '10', 'ПАСПОРТ ИНОСТР', Null, 0)", "(4, 2, '05', '', '', 0)"});
  InsertRows("insert into TaxOffice (ID, Code, ShortName, ContoraType, RegType, showorder)",
             {"(1, '7701', 'ИФНС 1', 1, Null, 0)", "(2, '7702', 'ФСС 501', 7, '501', 0)",
              "(3, '7703', 'ФСС 599', 7, '599', 1)", "(4, '7704', 'ФСС 600', 7, '600', 0)",
              "(5, '7705', 'ФСС 500', 7, '500', 0)", "(6, '7705', 'Двойник', 1, Null, -1)"});
  DictQueries q;
  const auto cert = [&](const char* ids, double group) {
    const double asked = group;
    auto rs = q.GetCertificateType(ids, group);
    EXPECT_EQ(group, asked);
    return rs;
  };
  const struct {
    const char* what;
    ado::RecordsetPtr rs;
    const char* ids;
  } cases[] = {
      {"countries", q.GetCountry("", 0), "5; 200; 179; 7"},
      {"countries, flag 1", q.GetCountry("", 1), "5; 200; 7"},
      {"countries, flag 2", q.GetCountry("", 2), "5; 200; 179; 7"},
      {"countries 7;5, flag 1", q.GetCountry("7;5", 1), "5; 7"},
      {"countries 5;179, flag 1", q.GetCountry("5;179", 1), "5; 179"},
      {"country 200", q.GetCountry("200", 0), "200"},
      {"certificates -1", cert("", -1), "1; 3"},
      {"certificates -2", cert("", -2), "1; 2"},
      {"certificates -3", cert("", -3), "1; 2; 3"},
      {"certificates -4", cert("", -4), "1; 2; 3; 4"},
      {"certificates 0", cert("", 0), ""},
      {"certificates 2", cert("", 2), "3; 4"},
      {"certificates 4;2 of group 1", cert("4;2", 1), "2; 4"},
      {"tax offices", q.GetTaxOffice("", 0), "3; 1; 2; 4; 5; 6"},
      {"tax offices of kind 7", q.GetTaxOffice("", 7), "3; 2"},
      {"tax offices of kind 1", q.GetTaxOffice("", 1), "1; 6"},
      {"tax offices 2;4 of kind 7", q.GetTaxOffice("2;4", 7), "2"},
      {"tax office 4", q.GetTaxOffice("4", 0), "4"},
  };
  for (const auto& c : cases) EXPECT_EQ(Rows(c.rs, {"ID"}), c.ids) << c.what;
  EXPECT_EQ(Rows(q.GetCountry("5", 0), {"ID", "Alfa2", "Alfa3", "ShortName", "OrderNum"}),
            "5|RU|Null|Россия|10");
  EXPECT_EQ(q.GetIdentityTypeByIdentityCode("21"), 1);
  EXPECT_EQ(q.GetIdentityTypeByIdentityCode("5"), 4);    // padded to "05"
  EXPECT_EQ(q.GetIdentityTypeByIdentityCode("91"), 91);  // no row needed
  EXPECT_EQ(q.GetIdentityTypeByIdentityCode(""), 0);
  EXPECT_EQ(q.GetIdentityTypeByIdentityCode("77"), 0);
  EXPECT_EQ(q.GetIdentityTypeByTndflCode("3"), 2);
  EXPECT_EQ(q.GetIdentityTypeByTndflCode(""), 0);
  EXPECT_EQ(q.GetIdentityTypeByPfrCode("паспорт России"), 1);
  EXPECT_EQ(q.GetIdentityTypeByPfrCode("нет такого"), 0);
  EXPECT_EQ(Rows(q.GetTaxOffice("3", 0), {"SeekName"}), "7703|ФСС 599|7");
  EXPECT_EQ(q.GetTaxOfficeIDByCode("7702"), 2);
  const double shared = q.GetTaxOfficeIDByCode("7705");  // "top 1": one of the two
  EXPECT_TRUE(shared == 5 || shared == 6) << shared;
  EXPECT_EQ(q.GetTaxOfficeIDByCode("0000"), 0);
}

TEST_F(DictQueriesTest, DictionariesWithSearchNamesAndFilters) {
  InsertRows("insert into Region (ID, Code, Name, OrderNum)",
             {"(1, '77', 'Москва', 0)", "(2, '50', Null, 0)", "(3, '78', 'Петербург', 1)"});
  InsertRows("insert into NSI_LIST_CLASS (SYSTEM_ID, class_name)", {"(0, 'нет')", "(4, 'ОКВЭД')"});
  InsertRows("insert into NSI_OKVED (OKVED_ID, code, name)",
             {"(1, '01.1', 'Растениеводство')", "(2, '', 'Пусто')", "(3, '01.2', Null)"});
  InsertRows("insert into DictOfrLicType (ID, Code, ShortName)",
             {"(1, '2', 'Б')", "(2, '1', 'А')"});
  InsertRows("insert into DictProfiles (ID, Name)",
             {"(100000001, 'Бюджет')", "(100000002, 'Банк')"});
  Sql("insert into UserProfiles (ID, Name) values (1, 'Банк')");
  DictQueries q;
  EXPECT_EQ(Rows(q.GetRegion(""), {"ID", "SeekName"}), "3|78|Петербург; 2|50|; 1|77|Москва");
  EXPECT_EQ(Rows(q.GetRegion("1;3"), {"ID"}), "3; 1");
  EXPECT_EQ(Rows(q.GetNsiListClass(""), {"SYSTEM_ID", "SeekName"}), "4|ОКВЭД");
  EXPECT_EQ(Rows(q.GetNsiOKVED(""), {"OKVED_ID", "SeekName"}), "1|01.1|Растениеводство; 3|Null");
  EXPECT_EQ(Rows(q.GetOfrLicType(""), {"ID", "DisplayName"}), "2|1 - А; 1|2 - Б");
  EXPECT_EQ(Rows(q.GetStdProfiles(""), {"ID", "StorageName", "StorageType"}),
            "100000002|Встр.|1; 1|Польз.|2; 100000001|Встр.|1");
  EXPECT_EQ(Rows(q.GetStdProfiles("1;100000001"), {"ID"}), "1; 100000001");
}

// The OKATO rows live in their own database; without its file the copy in
// the main database answers.
TEST_F(DictQueriesTest, OkatoFromItsDatabaseOrTheMainOne) {
  InsertRows("insert into NSI_OKATO (ID, Code, Name)",
             {"(1, '45000000', 'Москва (основная)')", "(0, '11', 'нулевой')"});
  {
    auto okato =
        dao::DBEngine::ForThread()->DefaultWorkspace()->Open(miDataBase::GetOkatoDBFileName(), {});
    okato->ExecuteSql("insert into NSI_OKATO (ID, Code, Name) values (7, '45000000', 'Москва')");
    okato->ExecuteSql("insert into NSI_OKATO (ID, Code, Name) values (8, '40000000', 'СПб')");
    okato->Close();
  }
  DictQueries q;
  EXPECT_EQ(q.FindOkatoID("45000000"), 7);
  EXPECT_EQ(q.FindOkatoID("99"), -1);
  EXPECT_EQ(Rows(q.GetNsiOKATO("", "Code"), {"ID", "Name"}), "8|СПб; 7|Москва");
  EXPECT_EQ(Rows(q.GetNsiOKATO("7", ""), {"ID"}), "7");
  EXPECT_EQ(Rows(q.GetNsiOKATO("7, 8", "name  DESC"), {"ID"}), "8; 7");  // "," as callers write
  EXPECT_EQ(Rows(q.FindOkatoByID(8), {"code"}), "40000000");

  RemoveFolderDatabase(miDataBase::GetOkatoDBFileName());
  EXPECT_EQ(q.FindOkatoID("45000000"), 1);
  EXPECT_EQ(q.FindOkatoID("11"), -1);  // identifier 0 is none
  EXPECT_EQ(q.FindOkatoID("99"), -1);
  EXPECT_EQ(Rows(q.GetNsiOKATO("", "Code desc"), {"ID"}), "1; 0");
  EXPECT_EQ(Rows(q.FindOkatoByID(1), {"code"}), "45000000");
}

// Two organisations: 100 and its branch 101. Natural persons 200 Иванов
// (at both), 201 Петров (branch), 202 Сидоров (parent, not shown in
// branches); legal person 300 represents at both places.
class SignersTest : public DictPeriodTest {
 protected:
  void SetUp() override {
    DictPeriodTest::SetUp();
    InsertRows(
        "insert into Person (ID, Type, PersonRealID)",
        {"(100, 2, 1)", "(101, 2, 2)", "(200, 1, 1)", "(201, 1, 2)", "(202, 1, 3)", "(300, 2, 3)"});
    InsertRows("insert into LegalPerson (ID, ShortName, FullName, INN, KPP)",
               {"(1, 'Альфа', 'ООО Альфа', '7701', '01')", "(2, 'Альфа-Ф', 'Филиал', '7701', '02')",
                "(3, 'Пред', 'АО Представитель', '7799', '09')"});
    InsertRows("insert into NaturalPerson (ID, Surname, Name, Patronymic, INN)",
               {"(1, 'Иванов', 'Иван', 'Иванович', '1')", "(2, 'Петров', 'Пётр', 'Петрович', '2')",
                "(3, 'Сидоров', 'Сидор', 'Сидорович', '3')"});
    Sql("insert into Branches (ID, ParentPersonID, ChildPersonID) values (1, 100, 101)");
    InsertRows("insert into Personnel (ID, JobPlaceID, WorkerID, PostName, ShowInBranches)",
               {"(1, 101, 201, 'Бухгалтер', 0)", "(2, 100, 200, 'Директор', 1)",
                "(3, 100, 202, 'Кассир', 0)", "(4, 101, 300, 'x', 0)", "(5, 101, 200, 'Зам', 0)",
                "(6, 100, 300, 'y', 1)"});
    // Titles come from each personnel row's active warrant of kind 1, or
    // from its latest one when none is active: 2 has an active one and a
    // later inactive one, 5 only inactive ones, 1 only one of kind 2.
    Warrant(1, 2, "Доверенность №1", 1, 45000);
    Warrant(2, 2, "Старая", 0, 45500);
    Warrant(3, 5, "Черновик", 0, 44000);
    Warrant(4, 5, "ДОВЕРЕННОСТЬ №2", 0, 45000);
    Warrant(5, 4, "доверенность АО", 1, 0);
    Warrant(6, 3, StringOf(255, "Ж"), 0, 0);
    Warrant(7, 6, "Генеральная", 1, 0);
    Warrant(8, 1, "Налоговая", 1, 0, 2);
  }
  static void Warrant(double id, double personnel, const std::string& caption, int active,
                      double begins, int kind = 1) {
    using mQvDaoDataBase::Number2DaoSql;
    Sql("insert into Warrants (ID, WorkerID, Caption, IsActive, DateBeg, ContoraType) values (" +
        Number2DaoSql(id) + ", " + Number2DaoSql(personnel) + ", " +
        mQvDaoDataBase::DaoQString(caption) + ", " + std::to_string(active) + ", " +
        Number2DaoSql(begins) + ", " + std::to_string(kind) + ")");
  }
  // The rows sorted by the given order plus identifier (names repeat, so the
  // engine may give equal ones in either order), after checking that the
  // recordset itself keeps that order.
  // `typeDesc` is the order of person_type; `ordered` false for a result
  // selected by identifiers, which keeps no order.
  static std::string SortedRows(const ado::RecordsetPtr& rs, const char* idField, bool typeDesc,
                                bool ordered = true) {
    struct Row {
      int32_t type;
      std::string fio;
      double id;
      std::string text;
    };
    std::vector<Row> rows;
    const size_t type = rs->FieldIndex("person_type"), fio = rs->FieldIndex("Fio"),
                 id = rs->FieldIndex(idField), warrant = rs->FieldIndex("WarrantName");
    const std::optional<size_t> post = rs->FindField("PostName");
    for (size_t r = 0; r < rs->RowCount(); ++r) {
      Row row{CLng(rs->Value(r, type)), CStr(rs->Value(r, fio)), CDbl(rs->Value(r, id)), ""};
      row.text = CStr(rs->Value(r, id)) + "|" + row.fio + "|" +
                 (post ? CStr(rs->Value(r, *post)) + "|" : "") + CStr(rs->Value(r, warrant));
      rows.push_back(row);
    }
    auto key = [typeDesc](const Row& r) {
      return std::make_pair(typeDesc ? -r.type : r.type, r.fio);
    };
    if (ordered) {
      EXPECT_TRUE(std::is_sorted(rows.begin(), rows.end(),
                                 [&](const Row& a, const Row& b) { return key(a) < key(b); }));
    }
    std::stable_sort(rows.begin(), rows.end(), [&](const Row& a, const Row& b) {
      return std::make_pair(key(a), a.id) < std::make_pair(key(b), b.id);
    });
    std::string text;
    for (const Row& r : rows) text += (text.empty() ? "" : "; ") + r.text;
    return text;
  }
};

TEST_F(SignersTest, PersonnelOfABranchJobPlace) {
  const std::string ivanov = "Иванов Иван Иванович", petrov = "Петров Пётр Петрович";
  // Иванов's warrants at the branch and at the parent (shown in branches).
  const std::string ivanovWarrants = "№2; №1";
  const std::string rep = "(организация - представитель)";
  const struct {
    double jobPlace;
    const char* exclude;
    const char* ids;
    bool legal;
    std::string expected;
  } cases[] = {
      {101, "", "", false,
       "2|" + ivanov + "|Директор|" + ivanovWarrants + "; 5|" + ivanov + "|Зам|" + ivanovWarrants +
           "; 1|" + petrov + "|Бухгалтер|"},
      {101, "", "", true,
       "2|" + ivanov + "|Директор|" + ivanovWarrants + "; 5|" + ivanov + "|Зам|" + ivanovWarrants +
           "; 1|" + petrov + "|Бухгалтер|; 4|АО Представитель|" + rep +
           "|АО; Генеральная; 6|АО Представитель|" + rep + "|АО; Генеральная"},
      {101, "5;6", "", true,
       "2|" + ivanov + "|Директор|" + ivanovWarrants + "; 1|" + petrov + "|Бухгалтер|; " +
           "4|АО Представитель|" + rep + "|АО; Генеральная"},
      // The parent is no branch: its own rows only, with its own warrants.
      {100, "", "", false,
       "2|" + ivanov + "|Директор|№1; 3|Сидоров Сидор Сидорович|Кассир|" + StringOf(250, "Ж")},
      // Identifiers replace every filter, legal agents included.
      {101, "", "3;4", false,
       "3|Сидоров Сидор Сидорович|Кассир|; 4|АО Представитель|" + rep + "|АО"},
  };
  DictQueries q;
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.jobPlace) + " " + c.exclude + " " + c.ids);
    auto rs = q.GetPersonnelOfTaxpayer(c.jobPlace, c.exclude, c.ids, c.legal);
    EXPECT_EQ(SortedRows(rs, "PersonnelID", false, *c.ids == 0), c.expected);
  }
  // No job place: everyone's rows, each with the warrants of all the
  // person's jobs.
  auto all = q.GetPersonnelOfTaxpayer(-1, "", "", false);
  EXPECT_EQ(all->RowCount(), 4u);
  EXPECT_NE(SortedRows(all, "PersonnelID", false).find("Директор|№1; №2"), std::string::npos);
}

TEST_F(SignersTest, TextsAreCutTo250Characters) {
  Sql("update Personnel set PostName = '" + StringOf(255, "П") + "' where ID = 1");
  Sql("update NaturalPerson set Surname = '" + StringOf(255, "Ф") + "' where ID = 2");
  Warrant(9, 1, StringOf(200, "Д"), 1, 0);
  Sql("update Warrants set Caption = '" + StringOf(240, "Е") + "' where ID = 4");
  Sql("update Warrants set Caption = 'Доверенность " + StringOf(20, "Ж") + "' where ID = 1");
  DictQueries q;
  auto rs = q.GetPersonnelOfTaxpayer(101, "", "", false);
  ASSERT_EQ(rs->RowCount(), 3u);
  for (size_t r = 0; r < rs->RowCount(); ++r) {
    const std::string post = CStr(rs->Value(r, rs->FieldIndex("PostName")));
    const std::string warrant = CStr(rs->Value(r, rs->FieldIndex("WarrantName")));
    EXPECT_LE(Len(post), 250);
    EXPECT_LE(Len(warrant), 250);
    if (CDbl(rs->Value(r, 0)) == 1) {
      EXPECT_EQ(post, StringOf(250, "П"));
      EXPECT_EQ(CStr(rs->Value(r, rs->FieldIndex("Fio"))), StringOf(250, "Ф"));
      EXPECT_EQ(warrant, StringOf(200, "Д"));
    } else {
      // Cut after joining: the branch's title, then the parent's.
      EXPECT_EQ(warrant, StringOf(240, "Е") + "; " + StringOf(8, "Ж"));
    }
  }
  // The result's fields as callers bind them.
  EXPECT_EQ(rs->FieldAt(rs->FieldIndex("Fio")).definedSize, 250);
}

TEST_F(SignersTest, PersonsAllowedToSignAndSend) {
  const std::string ivanov = "Иванов Иван Иванович", petrov = "Петров Пётр Петрович";
  const struct {
    double jobPlace;
    const char* ids;
    bool legal;
    std::string expected;
  } cases[] = {
      {101, "", false, "200|" + ivanov + "|№2; №1; 201|" + petrov + "|"},
      {101, "", true,
       "300|АО Представитель|АО; Генеральная; 200|" + ivanov + "|№2; №1; 201|" + petrov + "|"},
      {100, "", false, "200|" + ivanov + "|№1; 202|Сидоров Сидор Сидорович|" + StringOf(250, "Ж")},
      {-1, "", false,
       "200|" + ivanov + "|№1; №2; 201|" + petrov + "|; 202|Сидоров Сидор Сидорович|" +
           StringOf(250, "Ж")},
      {101, "202;300", false, "300|АО Представитель|АО; 202|Сидоров Сидор Сидорович|"},
  };
  DictQueries q;
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.jobPlace) + " " + c.ids);
    auto rs = q.GetPersonsAllowedForSigners(c.jobPlace, c.ids, c.legal);
    EXPECT_EQ(SortedRows(rs, "PersonID", true, *c.ids == 0), c.expected);
  }
  // Who may send for a job place: its legal agents and workers.
  EXPECT_EQ(Rows(q.GetAllPotentialSenders(101, ""), {"PersonID", "Name", "INN", "KPP"}),
            "300|Пред|7799|09; 200|Иванов Иван Иванович|1|; 201|Петров Пётр Петрович|2|");
  EXPECT_EQ(Rows(q.GetAllPotentialSenders(0, "202;201"), {"PersonID"}), "201; 202");
}

}  // namespace
}  // namespace qv::queries::testing
