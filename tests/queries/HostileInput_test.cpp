// Every operation that puts a caller's identifier list, code or order into
// a statement, called by name with texts an attacker or a careless caller
// would send, and the writes that select their rows by a caller's date or
// warrant. A list or an order is either the operation's normal result
// (the empty text) or error 5 before any statement runs; a code is only
// ever compared as a text, so it finds what an unknown code finds. No input
// widens a result, reads another table or changes a row. Operations that
// write a caller's number into a statement get numbers no literal stands for.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "core/miDataBase.h"
#include "platform/automation/Object.h"
#include "queries/DictPeriodFixture.h"

namespace qv::queries::testing {
namespace {

enum class Kind {
  kList,   // identifiers separated by ";": error 5 unless empty
  kOrder,  // an order of columns: error 5 unless empty
  kCode,   // a text compared with a column: the result of an unknown code
};

struct Operation {
  const char* progId;
  const char* method;
  std::vector<Variant> args;  // the hostile text replaces args[at]
  size_t at;
  Kind kind;
};

Variant S(const char* text) {
  return Variant(std::string(text));
}

const std::vector<Operation>& Operations() {
  using V = Variant;
  constexpr Kind kList = Kind::kList, kOrder = Kind::kOrder, kCode = Kind::kCode;
  static const std::vector<Operation> ops = {
      {"DictQueries", "GetCountry", {S(""), V(0)}, 0, kList},
      {"DictQueries", "GetRegion", {S("")}, 0, kList},
      {"DictQueries", "GetCertificateType", {S(""), V(0.0)}, 0, kList},
      {"DictQueries", "GetTaxOffice", {S(""), V(0)}, 0, kList},
      {"DictQueries", "GetTaxOfficeIDByCode", {S("")}, 0, kCode},
      {"DictQueries", "GetPersonnelPost", {S("")}, 0, kList},
      {"DictQueries", "GetNsiListClass", {S("")}, 0, kList},
      {"DictQueries", "GetPersonnelOfTaxpayer", {V(-1.0), S(""), S(""), V(true)}, 1, kList},
      {"DictQueries", "GetPersonnelOfTaxpayer", {V(-1.0), S(""), S(""), V(true)}, 2, kList},
      {"DictQueries", "GetPersonsAllowedForSigners", {V(-1.0), S(""), V(true)}, 1, kList},
      {"DictQueries", "GetNsiOKOPF", {S("")}, 0, kList},
      {"DictQueries", "GetNsiOKFS", {S("")}, 0, kList},
      {"DictQueries", "GetNsiOKVED", {S("")}, 0, kList},
      {"DictQueries", "GetNsiOKATO", {S(""), S("")}, 0, kList},
      {"DictQueries", "GetNsiOKATO", {S(""), S("")}, 1, kOrder},
      {"DictQueries", "FindOkatoID", {S("")}, 0, kCode},
      {"DictQueries", "GetAllPotentialSenders", {V(0.0), S("")}, 1, kList},
      {"DictQueries", "GetStdProfiles", {S("")}, 0, kList},
      {"DictQueries", "GetIdentityTypeByPfrCode", {S("")}, 0, kCode},
      {"DictQueries", "GetIdentityTypeByIdentityCode", {S("")}, 0, kCode},
      {"DictQueries", "GetIdentityTypeByTndflCode", {S("")}, 0, kCode},
      {"DictQueries", "GetOfrDeclarantType", {S("")}, 0, kList},
      {"DictQueries", "GetOfrLicType", {S("")}, 0, kList},
      {"DBQProfiles", "GetDocClassesForSelecting", {S("")}, 0, kList},
      {"DBPermissions", "GetDocClassesForSelecting", {S("")}, 0, kList},
      {"DBPermissions", "IsThereUserWithLogin", {S(""), V(0.0), S("")}, 0, kCode},
      {"DBPermissions", "IsThereUserWithLogin", {S("a"), V(0.0), S("")}, 2, kList},
      {"PersonQueries", "FindBranchDuplicates", {V(1.0), S(""), V(0.0)}, 1, kCode},
      {"PersonQueries", "GetPersonsByGiin", {S(""), V(-1)}, 0, kCode},
      {"DBQAccStream", "FindDuplicates", {V(1.0), V(1), S(""), V(0.0), V(0.0), V(0.0)}, 2, kCode},
      {"DBQAccStream", "GetAccStreamsByGiin", {S(""), V(-1)}, 0, kCode},
      {"DocumentQueries", "GetDocCountForSolverInPeriod2", {V(1.0), V(2513), S("")}, 2, kList},
      {"DBQ2Ndfl", "GetIncomesDictEx", {V(2), V(13.0), V(), S("")}, 3, kList},
      {"DBQ2Ndfl", "GetMonthDeductsDictEx", {V(1), V(), S("")}, 2, kList},
      {"DBQ2Ndfl", "GetYearDeductsDict2", {V(), S("")}, 1, kList},
      {"DBQ2Ndfl", "GetNdflKbkName", {S(""), V()}, 0, kCode},
      {"DBQPfr", "FindPfrPersonsByInn", {V(1.0), S("")}, 1, kCode},
      {"DBQPfr", "FindPfrPersonsByPfrNumber", {V(1.0), S("")}, 1, kCode},
      {"DBQPfr", "IsDictCodeAllowedAtDate", {S(""), V(1), V()}, 0, kCode},
      {"DBQSolver", "GetDocCountInPeriod", {V(1.0), V(2513), S("")}, 2, kList},
      {"DBQSolver", "GetTaxmonDocCountInPeriod", {V(1.0), V(2513), S("")}, 2, kList},
      {"DBQKladr", "RecognizeCountry", {S("")}, 0, kCode},
      {"DBQKladr", "RecognizeRegion", {S("")}, 0, kCode},
      {"DBQKladr", "FindKladrObjectByName", {V(0), V(1), S(""), V(true)}, 2, kCode},
      {"DBQKladr", "FindKladrObjectsByNameStart", {V(0), V(1), S(""), V(0)}, 2, kCode},
      {"DBQKladr", "FindKladrObjectByName15", {V(0), V(1), S(""), S("")}, 2, kCode},
      {"DBQKladr", "FindKladrObjectByName15", {V(0), V(1), S("x"), S("")}, 3, kCode},
      {"DBQKladr", "GetKladrObjectByIDList", {S("")}, 0, kList},
      {"BlankQueries", "GetBlanksByPeriod3", {V(1.0), V(2513.0), V(false), S("")}, 3, kList},
      {"BlankQueries", "GetDocumentsWithBadVisibility", {V(1.0), V(2513.0), S("")}, 2, kList},
      {"DBQKontur", "GetDocumentIDByGuid", {S("")}, 0, kCode},
  };
  return ops;
}

std::string ManyIds(int n) {
  std::string ids;
  for (int i = 1; i <= n; ++i) ids += (i > 1 ? ";" : "") + std::to_string(i);
  return ids;
}

class HostileInputTest : public DictPeriodTest {
 protected:
  void SetUp() override {
    DictPeriodTest::SetUp();
    // The OKATO operations then read the main database's rows below.
    std::filesystem::remove(folder_ / "Okato.mdb");
    miDataBase::ResetSessionForThread();
    // Rows in every table the operations read, so that a widened result or
    // a foreign select would show; the natural person's INN and SNILS are
    // what an injected union would be after.
    InsertRows("insert into Country (ID, Alfa2, ShortName, OrderNum)",
               {"(1, 'RU', 'Россия', 0)", "(2, 'DE', 'Германия', 0)"});
    Sql("insert into Region (ID, Code, Name, OrderNum) values (1, '77', 'Москва', 0)");
    InsertRows("insert into CertificateType (ID, GroupID, Code, PfrCode, TndflCode, OrderNum)",
               {"(1, 1, '21', 'ПАСПОРТ', '21', 0)"});
    InsertRows("insert into TaxOffice (ID, Code, ShortName, ContoraType, showorder)",
               {"(1, '7701', 'ИФНС 1', 1, 0)"});
    Sql("insert into Post (ID, ShortName, FullName) values (1, 'Дир', 'Директор')");
    Sql("insert into NSI_LIST_CLASS (SYSTEM_ID, class_name) values (1, 'ОКВЭД')");
    Sql("insert into NSI_OKOPF (ID, code, sole_name) values (1, '1', 'x')");
    Sql("insert into NSI_OKFS (ID, code, name) values (1, '1', 'x')");
    Sql("insert into NSI_OKVED (OKVED_ID, code, name) values (1, '01.1', 'x')");
    Sql("insert into NSI_OKATO (ID, Code, Name) values (1, '45', 'Москва')");
    Sql("insert into DictProfiles (ID, Name) values (100000001, 'Бюджет')");
    Sql("insert into UserProfiles (ID, Name) values (1, 'Банк')");
    Sql("insert into OfrDeclarantTypes (ID, code, thename) values (1, '1', 'x')");
    Sql("insert into DictOfrLicType (ID, Code, ShortName) values (1, '1', 'А')");
    InsertRows("insert into doc_type_class (doc_type_id, name_short, instance_permission)",
               {"(1, 'A', 0)", "(2, 'B', 0)"});
    InsertRows("insert into Person (ID, Type, PersonRealID)",
               {"(1, 2, 1)", "(2, 2, 2)", "(3, 1, 1)"});
    InsertRows("insert into LegalPerson (ID, ShortName, FullName, INN, KPP, LPCategory)",
               {"(1, 'Альфа', 'ООО Альфа', '7701000001', '770101001', 1)",
                "(2, 'Филиал', 'Филиал', '7701000001', '770102001', 1)"});
    InsertRows("insert into NaturalPerson (ID, Surname, Name, Patronymic, INN, SNILS)",
               {"(1, 'Иванов', 'Иван', 'Иванович', '770100000001', '11223344595')"});
    Sql("insert into Branches (ID, ParentPersonID, ChildPersonID) values (1, 1, 2)");
    InsertRows("insert into PfrPersons (ID, Person_ID, Surname, Inn, PfrNumber)",
               {"(1, 1, 'Иванов', '770100000001', '11223344595')"});
    Sql("insert into PfrDict_MainRates (Code, Name, OrderNum) values ('ПНЭ', 'x', 1)");
    InsertRows("insert into Personnel (ID, JobPlaceID, WorkerID, PostName, ShowInBranches)",
               {"(1, 1, 3, 'Бухгалтер', 0)", "(2, 2, 3, 'Кассир', 0)"});
    InsertRows("insert into AccStream (ID, PersonID, AccStreamType, KPP, OfrForeignTaxCode)",
               {"(1, 1, 1, '770101001', '')", "(2, 2, 9, '770102001', 'ABC.00000.LE.643')"});
    // Classifier objects under the root, which a wildcard let through would find.
    std::vector<std::string> seed{"insert into KladrAbbrevs (ID, ShortName) values (1, 'г')"};
    for (const char* row : {"(77, 0, 1, 'Москва', 1, '')", "(78, 0, 1, '3-я Ямская', 1, '')"})
      seed.push_back(std::string("insert into KladrObjects (ID, ParentID, Level, ObjName, "
                                 "AbbrevID, PostIndex) values ") +
                     row);
    KladrSql(seed);
  }

  // What the call gives: the error number, or 0 and the result as text.
  static std::pair<int32_t, std::string> Run(const Operation& op, const Variant& input,
                                             std::string* description = nullptr) {
    std::vector<Variant> args = op.args;
    args[op.at] = input;
    Variant result;
    const Error e = testsupport::RaisedError([&] {
      result = CreateObject(std::string("Qv_DBProvider.") + op.progId)->Call(op.method, args);
    });
    if (description) *description = e.Description();
    return {e.Number(), e.Number() ? std::string() : coretest::RenderResult(result)};
  }
};

TEST_F(HostileInputTest, ListsCodesAndOrdersNeverWidenOrReachOtherTables) {
  const struct {
    const char* name;
    std::string text;
    bool oversized = false;  // a code this long may also be refused (5)
  } inputs[] = {
      {"or", "0) or (1=1"},
      {"union",
       "0) union select ID, INN, Surname, Name, Patronymic, SNILS, 1 from NaturalPerson where "
       "(1=1"},
      {"quote or", "x' or '1'='1"},
      {"double quote or", "x\" or \"1\"=\"1"},
      {"quoted union", "x' union select INN from NaturalPerson where '1'='1"},
      {"bad item", "1;x"},
      {"second statement", "1; delete from Country"},
      {"comment", "1 -- x"},
      {"wildcards", "%"},
      {"one-character wildcards", "_"},
      {"bracketed letter", "[М]"},
      {"empty item", "1;;2"},
      {"repeated direction", "Code desc desc"},
      {"bracketed column", "(Code)"},
      {"200,000 identifiers", ManyIds(200000), true},
  };
  const Variant unknownCode = S("zz-no-such-code");
  for (const Operation& op : Operations()) {
    SCOPED_TRACE(std::string(op.progId) + "." + op.method + " argument " +
                 std::to_string(op.at + 1));
    // The operation works on an empty argument and, for a list, on a good
    // one, so a refusal below is about the input.
    const auto empty = Run(op, S(""));
    EXPECT_EQ(empty.first, 0);
    if (op.kind == Kind::kList) {
      EXPECT_EQ(Run(op, S(" 1 ;2")).first, 0);
    }
    if (op.kind == Kind::kOrder) {
      EXPECT_EQ(Run(op, S("Name desc, ID")).first, 0);
    }
    const auto unknown = Run(op, unknownCode);
    for (const auto& in : inputs) {
      SCOPED_TRACE(in.name);
      std::string description;
      const auto [number, result] = Run(op, Variant(in.text), &description);
      if (op.kind == Kind::kCode && !(in.oversized && number == 5)) {
        ASSERT_EQ(number, 0) << description;
        EXPECT_EQ(result, unknown.second);
      } else {
        ASSERT_EQ(number, 5) << result;
        EXPECT_NE(description.find(op.method), std::string::npos) << description;
        EXPECT_LT(description.size(), 1000u);
      }
    }
  }
  EXPECT_EQ(CStr(mQvDaoDataBase::QvQueryValue("select count(*) from Country")), "2");
}

// Writes that select their rows by the caller's values refuse a slip
// rather than widen it: a date bound that is neither empty nor a date (13),
// a warrant that is not the worker's of that kind (5). Nothing changes; the
// same calls with good values do change rows, so the refusals are about the
// values.
TEST_F(HostileInputTest, WritesRefuseASlipAndChangeNothing) {
  for (int n = 1; n <= 3; ++n)
    Sql("insert into VarData (ID, EventTime) values ({guid {00000000-0000-0000-0000-00000000000" +
        std::to_string(n) + "}}, DateSerial(2026, 1, " + std::to_string(n * 10) + "))");
  // Worker 1: warrant 1 of kind 1 (active), 2 of kind 1, 3 of kind 2; worker 2: 4 of kind 1.
  InsertRows("insert into Warrants (ID, WorkerID, ContoraType, IsActive)",
             {"(1, 1, 1, 1)", "(2, 1, 1, 0)", "(3, 1, 2, 0)", "(4, 2, 1, 0)"});
  using V = Variant;
  const auto purge = [](Variant begin, Variant end) {
    return Operation{"DBLogs", "RemoveEventsInRange", {begin, end}, 0, Kind::kCode};
  };
  const auto activate = [](double warrant) {
    return Operation{
        "DBQWarrant", "SetActiveWarrantEx", {V(warrant), V(1.0), V(1)}, 0, Kind::kCode};
  };
  const struct {
    const char* name;
    Operation op;
    int32_t error;
  } cases[] = {
      {"a text that is no date", purge(S("notadate"), V()), 13},
      {"no date as the last day", purge(V(), S("31.02.2026")), 13},
      {"numbers", purge(V(46032.0), V(46033.0)), 13},
      {"a whole number", purge(V(int32_t{46032}), V()), 13},
      {"a Boolean", purge(V(true), V()), 13},
      {"a warrant of another kind", activate(3), 5},
      {"a warrant of another worker", activate(4), 5},
      {"no such warrant", activate(99), 5},
  };
  const auto rows = [] {
    return CStr(mQvDaoDataBase::QvQueryValue("select count(*) from VarData")) + " / " +
           CStr(mQvDaoDataBase::QvQueryValue(
               "select count(*) from Warrants where IsActive = 1 and ID = 1"));
  };
  const std::string before = rows();
  EXPECT_EQ(before, "3 / 1");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string description;
    EXPECT_EQ(Run(c.op, c.op.args[0], &description).first, c.error) << description;
    EXPECT_NE(description.find(c.op.method), std::string::npos) << description;
    EXPECT_EQ(rows(), before);
  }
  EXPECT_EQ(Run(purge(S("15.01.2026"), V(OleDate{46100})), S("15.01.2026")),
            std::make_pair(0, std::string("2")));
  EXPECT_EQ(Run(activate(2), V(2.0)).first, 0);
  EXPECT_EQ(rows(), "1 / 0");
}

// The code lookups that used to paste their code find exactly the row
// whose code is that text, whatever quotes it holds.
TEST_F(HostileInputTest, CodesWithQuotesAreMatchedAsTexts) {
  Sql("insert into TaxOffice (ID, Code, ShortName, ContoraType, showorder) values "
      "(2, 'a''b\"c', 'x', 1, 0)");
  auto dict = CreateObject("Qv_DBProvider.DictQueries");
  EXPECT_EQ(CDbl(dict->CallV("GetTaxOfficeIDByCode", S("a'b\"c"))), 2);
  EXPECT_EQ(CDbl(dict->CallV("GetTaxOfficeIDByCode", S("7701"))), 1);
  EXPECT_EQ(CDbl(dict->CallV("GetTaxOfficeIDByCode", S("a'b"))), 0);
}

// An identifier no literal stands for (a NaN, an infinity) is error 6 in
// every operation that writes one into its statement, as the toolkit's
// number builder raises it: the statement never carries "nan" or "inf". A
// number beyond every identifier finds what an unknown one finds (or, passed
// on as a Long, is error 6 as well), and -0 finds what 0 finds.
TEST_F(HostileInputTest, IdentifiersNoNumberLiteralStandsForAreError6) {
  using V = Variant;
  const struct {
    Operation op;
    bool asLong;  // the operation takes the number on as a Long
  } cases[] = {
      {{"PersonQueries", "GetWorkers", {V(1.0)}, 0, Kind::kCode}, false},
      {{"PersonQueries", "GetWorkerIDByPersonID", {V(3.0), V(1.0)}, 1, Kind::kCode}, false},
      {{"PersonQueries", "GetBranchesByParentOrg", {V(1.0), S(""), V(0)}, 0, Kind::kCode}, false},
      {{"DBQAccStream", "HasDocuments", {V(1.0)}, 0, Kind::kCode}, false},
      {{"DBQAccStream", "GetAccStreamsByPerson", {V(1.0), S(""), V(0)}, 0, Kind::kCode}, false},
      {{"DictQueries", "GetPersonnelOfTaxpayer", {V(1.0), S(""), S(""), V(true)}, 0, Kind::kCode},
       false},
      {{"DocumentQueries", "GetDocumentsInAccStream", {V(1.0)}, 0, Kind::kCode}, false},
      {{"PeriodQueries", "GetAllowedYearsInAccStream", {V(1.0)}, 0, Kind::kCode}, false},
      {{"DBQPfr", "GetPeracManualSums", {V(1.0), V(1.0)}, 1, Kind::kCode}, false},
      {{"BlankQueries", "GetProfileDocTypes", {V(1.0), V(2513.0)}, 1, Kind::kCode}, true},
  };
  const double inf = std::numeric_limits<double>::infinity();
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.op.progId) + "." + c.op.method);
    for (double bad : {std::nan(""), inf, -inf}) {
      std::string description;
      EXPECT_EQ(Run(c.op, V(bad), &description).first, 6) << bad << ": " << description;
    }
    const auto unknown = Run(c.op, V(987654321.0));
    if (c.asLong)
      EXPECT_EQ(Run(c.op, V(1e300)).first, 6);
    else
      EXPECT_EQ(Run(c.op, V(1e300)), unknown);
    EXPECT_EQ(Run(c.op, V(-0.0)), Run(c.op, V(0.0)));
  }
}

}  // namespace
}  // namespace qv::queries::testing
