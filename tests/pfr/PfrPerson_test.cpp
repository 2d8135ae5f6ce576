// Insured persons: the packed insurance number, the parts a person owns
// (passport, addresses) saved first and deleted with it, the taxpayer kept
// by a save without the lazy columns, and the taxpayer's delete reaching
// its insured persons.

#include <gtest/gtest.h>

#include "PfrFixture.h"
#include "records/EntityMappers.h"

namespace qv::pfr::testing {
namespace {

using PfrPerson = PfrTest;

// A person of the taxpayer with an identity document and both addresses.
QvRecordPtr FullPerson(double taxpayer, const std::string& number) {
  auto p = PfrTest::NewPfr("QvPfrPerson");
  p->Let("Surname", Variant("Петрова"));
  p->Let("Name", Variant("Анна"));
  p->Let("PfrNumber", Variant(number));
  p->Let("BirthDate", Variant(OleDate{31000}));
  PfrTest::Sub(p, "Person")->SetID(Variant(taxpayer));
  PfrTest::Sub(p, "Passport")->Let("Number", Variant("123456"));
  PfrTest::Sub(p, "RegAddress")->Let("City", Variant("Тверь"));
  PfrTest::Sub(p, "ActualAddress")->Let("City", Variant("Москва"));
  p->Let("IsActualAddressNonTrivial", Variant(true));
  return p;
}

TEST_F(PfrPerson, SavedWithItsPartsReadInTwoStepsAndSavedWithoutTheLazyPart) {
  auto p = FullPerson(kTaxpayer, " 112-233-445 95 ");
  DBPfrPerson().SaveRecord(Obj(p), true);
  ASSERT_EQ(p->Id(), 1);
  const struct {
    const char* sql;
    const char* expected;
  } rows[] = {
      {"select PfrNumber from PfrPersons", "11223344595"},
      {"select Person_ID from PfrPersons", "5"},
      {"select Number from Certificate where ID = (select PassportID from PfrPersons)", "123456"},
      {"select City from PfrAddress where ID = (select RegAddressID from PfrPersons)", "Тверь"},
      {"select City from PfrAddress where ID = (select ActualAddressID from PfrPersons)", "Москва"},
  };
  for (const auto& r : rows) EXPECT_EQ(Text(r.sql), r.expected) << r.sql;

  auto r = NewPfr("QvPfrPerson");
  DBPfrPerson().ReadRecord(1, Obj(r));
  EXPECT_EQ(CStr(r->Get("PfrNumber")), "11223344595");
  EXPECT_FALSE(CBool(r->Get("LazyLoaded")));
  DBPfrPerson().ReadLazyFields(Obj(r));
  EXPECT_EQ(Sub(r, "Person")->Id(), kTaxpayer);
  EXPECT_EQ(CStr(Sub(r, "RegAddress")->Get("City")), "Тверь");  // read on first use
  EXPECT_EQ(CDate(r->Get("BirthDate")).serial, 31000);

  // Saved without its lazy columns (never read): they keep their values.
  auto base = NewPfr("QvPfrPerson");
  DBPfrPerson().ReadRecord(1, Obj(base));
  base->Let("Surname", Variant("Сидорова"));
  base->Let("PfrNumber", Variant("998-877-665 44"));
  DBPfrPerson().SaveRecord(Obj(base), false);
  EXPECT_EQ(Text("select Surname from PfrPersons"), "Сидорова");
  EXPECT_EQ(Text("select PfrNumber from PfrPersons"), "99887766544");
  EXPECT_EQ(Number("select Person_ID from PfrPersons"), kTaxpayer);
  EXPECT_NE(Number("select PassportID from PfrPersons"), 0);
  EXPECT_NE(Number("select BirthDate from PfrPersons"), 0);
}

TEST_F(PfrPerson, DeleteTakesItsPartsEvenWhenTheyWereNeverRead) {
  DBPfrPerson().SaveRecord(Obj(FullPerson(kTaxpayer, "1")), true);
  DBPfrPerson().SaveRecord(Obj(FullPerson(kTaxpayer, "2")), true);
  Sql("insert into PfrSubDocs (ID, DocumentID, PfrPersonID) values (1, 500, 2)");
  EXPECT_FALSE(DBPfrPerson().HasReferences(1));
  EXPECT_TRUE(DBPfrPerson().HasReferences(2));
  EXPECT_FALSE(DBPfrPerson().HasReferences(0));

  auto r = NewPfr("QvPfrPerson");
  r->SetID(Variant(1.0));  // a reference, never read
  DBPfrPerson().DeleteRecord(Obj(r));
  EXPECT_EQ(r->State(), records::kDeleted);
  EXPECT_EQ(Counts({"PfrPersons", "Certificate", "PfrAddress"}),
            "PfrPersons=1 Certificate=1 PfrAddress=2");
  EXPECT_EQ(Count("PfrAddress where ID in (select RegAddressID from PfrPersons union select "
                  "ActualAddressID from PfrPersons)"),
            2);
}

TEST_F(PfrPerson, DeletingATaxpayerDeletesItsInsuredPersons) {
  auto taxpayer = New("QvPerson");
  taxpayer->Let("Type", Variant(int32_t{2}));
  taxpayer->Let("ShortName", Variant("ООО Ромашка"));
  records::DBPerson().SaveRecord(Obj(taxpayer), false);
  DBPfrPerson().SaveRecord(Obj(FullPerson(taxpayer->Id(), "1")), true);
  DBPfrPerson().SaveRecord(Obj(FullPerson(kOtherTaxpayer, "2")), true);

  records::DBPerson().DeleteRecord(Obj(taxpayer));
  EXPECT_EQ(
      Number("select count(*) from PfrPersons where Person_ID = " + CStr(Variant(taxpayer->Id()))),
      0);
  EXPECT_EQ(Number("select count(*) from PfrPersons where Person_ID = 6"), 1);
  EXPECT_EQ(Count("Certificate"), 1);
  EXPECT_EQ(Count("PfrAddress"), 2);
}

}  // namespace
}  // namespace qv::pfr::testing
