#pragma once
// The data folder of DictPeriodTest with helpers that write persons, branches,
// workers and streams as plain rows.

#include <gtest/gtest.h>

#include <string>

#include "platform/ado/Recordset.h"
#include "queries/DictPeriodFixture.h"

namespace qv::queries::testing {

class PersonQueriesTest : public DictPeriodTest {
 protected:
  static std::string Q(const std::string& text) { return mQvDaoDataBase::DaoQString(text); }
  static std::string N(double v) { return mQvDaoDataBase::Number2DaoSql(v); }

  // A legal person: Person row `id` (type 2) with LegalPerson row id + 1000.
  static void Legal(double id, const std::string& inn, const std::string& kpp,
                    const std::string& shortName, const std::string& fullName = {}) {
    Sql("insert into LegalPerson (ID, INN, KPP, ShortName, FullName) values (" + N(id + 1000) +
        ", " + Q(inn) + ", " + Q(kpp) + ", " + Q(shortName) + ", " + Q(fullName) + ")");
    Sql("insert into Person (ID, Type, PersonRealID) values (" + N(id) + ", 2, " + N(id + 1000) +
        ")");
  }
  // A natural person: Person row `id` (type 1) with NaturalPerson row id + 2000.
  static void Natural(double id, const std::string& inn, const std::string& surname,
                      const std::string& name = "N", const std::string& patronymic = "P") {
    Sql("insert into NaturalPerson (ID, INN, Surname, Name, Patronymic) values (" + N(id + 2000) +
        ", " + Q(inn) + ", " + Q(surname) + ", " + Q(name) + ", " + Q(patronymic) + ")");
    Sql("insert into Person (ID, Type, PersonRealID) values (" + N(id) + ", 1, " + N(id + 2000) +
        ")");
  }
  static void Branch(double id, double parent, double child) {
    Sql("insert into Branches (ID, ParentPersonID, ChildPersonID) values (" + N(id) + ", " +
        N(parent) + ", " + N(child) + ")");
  }
  static void AccPerson(double id) {
    Sql("insert into AccPerson (PersonID) values (" + N(id) + ")");
  }
  struct StreamRow {
    double id;
    double person;
    int type = 1;
    std::string kpp = {};
    std::string name = {};
    int taxOffice = 0;
    int taxOffice2 = 0;
    int lastYear = 0;
    std::string giin = {};
  };
  static void Stream(const StreamRow& s) {
    Sql("insert into AccStream (ID, PersonID, AccStreamType, KPP, DisplayName, TaxOfficeID, "
        "TaxOffice2ID, LastYear, OfrForeignTaxCode) values (" +
        N(s.id) + ", " + N(s.person) + ", " + std::to_string(s.type) + ", " + Q(s.kpp) + ", " +
        Q(s.name) + ", " + std::to_string(s.taxOffice) + ", " + std::to_string(s.taxOffice2) +
        ", " + std::to_string(s.lastYear) + ", " + Q(s.giin) + ")");
  }
  static void Worker(double id, double jobPlace, double worker, bool boss = false,
                     bool showInBranches = false) {
    Sql("insert into Personnel (ID, JobPlaceID, WorkerID, IsFormalBoss, ShowInBranches) values (" +
        N(id) + ", " + N(jobPlace) + ", " + N(worker) + ", " + (boss ? "1" : "0") + ", " +
        (showInBranches ? "1" : "0") + ")");
  }

  static int32_t CountOf(const std::string& sql) { return CLng(mQvDaoDataBase::QvQueryValue(sql)); }
};

}  // namespace qv::queries::testing
