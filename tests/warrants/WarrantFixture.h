#pragma once
// A data folder per test with a worker to hold warrants, the dictionary of
// warrant permissions, and helpers that build warrant records and render the
// warrant tables as one text.

#include <string>

#include "core/mQvDaoDataBase.h"
#include "platform/automation/Collection.h"
#include "records/EntityFixture.h"

namespace qv::warrants::testing {

using records::QvRecordPtr;
using testsupport::ExpectError;

class WarrantTest : public records::testing::EntityTest {
 protected:
  static constexpr double kWorker = 7;

  void SetUp() override {
    EntityTest::SetUp();
    Sql("insert into Personnel (ID, JobPlaceID, WorkerID) values (7, 1, 2)");
    InsertRows("insert into WarDict_Permissions (ID, Code, Name)",
               {"(1, '01', 'Подписывать')", "(2, '02', 'Представлять')", "(3, '03', 'Получать')",
                "(4, '04', 'Отзывать')"});
  }

  // A permission record for a dictionary identifier.
  static Variant Permission(double id) {
    QvRecordPtr p = New("QvWarPermission");
    p->SetID(Variant(id));
    return Obj(p);
  }
  // A new power of the territory with the permissions.
  static QvRecordPtr Power(const std::string& okato, std::initializer_list<double> permissions) {
    QvRecordPtr p = New("QvWarPower");
    p->Let("Okato", Variant(okato));
    for (double id : permissions) List(p, "Permissions")->Add(Permission(id));
    return p;
  }
  // A new warrant of the worker with its caption and validity.
  static QvRecordPtr Warrant(const std::string& caption, double worker = kWorker,
                             double begins = 45292, double ends = 45657) {
    QvRecordPtr w = New("QvWarrant");
    w->Let("WorkerID", Variant(worker));
    w->Let("Caption", Variant(caption));
    w->Let("DateBeg", Variant(OleDate{begins}));
    w->Let("DateEnd", Variant(OleDate{ends}));
    w->Let("ContoraType", Variant(int32_t{1}));
    return w;
  }

  // Every warrant table and the rows warrants own elsewhere, as counts.
  std::string Counts() {
    return EntityTest::Counts(
        {"Warrants", "WarSubjects", "WarPowers", "WarPermissions", "Address", "Certificate"});
  }
};

}  // namespace qv::warrants::testing
