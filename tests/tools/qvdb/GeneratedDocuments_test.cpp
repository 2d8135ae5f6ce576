// The document operations on a generated data folder, with arguments taken
// from its rows: every creation and move keeps the chains and cells whole
// (the rules of `qvdb check`), and the neighbouring-period searches agree
// with each other on every document.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <sstream>

#include "ChainCheck.h"
#include "Check.h"
#include "DataFolder.h"
#include "Generator.h"
#include "QvdbTestSupport.h"
#include "core/mQvDaoDataBase.h"
#include "core/miDataBase.h"
#include "platform/automation/Object.h"
#include "platform/dao/Database.h"
#include "platform/dao/Recordset.h"

namespace qvdb {
namespace {

using qv::CDbl;
using qv::ObjectPtr;

// A document as the operations' arguments need it.
struct Doc {
  double id, stream, period, tmpl, docClass, instance, adjustment, top, bottom;
  bool accepted;
  double editor, cells;
};

class GeneratedDocuments : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    tmp_ = new TempFolder();
    folder_ = new fs::path(test::CopyOfPristine(*tmp_));
    Generate(UserDatabasePath(*folder_),
             {.seed = 1, .streams = 20, .documents = 500, .cells = 7, .batch = 1000});
  }
  static void TearDownTestSuite() {
    qv::miDataBase::ResetSessionForThread();
    delete folder_;
    delete tmp_;
  }
  void SetUp() override {
    PointLibraryAt(*folder_);
    q_ = qv::CreateObject("Qv_DBProvider.DocumentQueries");
  }

  static std::shared_ptr<qv::dao::Database> Db() { return qv::miDataBase::GetUserDataBase(); }

  static std::vector<Doc> Docs() {
    auto rs = Db()->OpenStatement(
        "select r.document_id, r.taxpayer_id, r.time_id, r.template_id, t.doc_type_id, "
        "iif(IsNull(r.instance_number), 0, r.instance_number), r.doc_type, r.top_doc_id, "
        "r.bottom_next_id, iif(r.accept_date > 1, 1, 0), t.EditorType, "
        "(select count(*) from doc_cell_values AS c where c.document_id = r.document_id) "
        "from doc_registry AS r left join doc_templates AS t on t.template_id = r.template_id "
        "order by r.document_id",
        qv::dao::dbOpenSnapshot);
    std::vector<Doc> docs;
    for (; !rs->IsEOF(); rs->MoveNext()) {
      double v[12];
      for (int i = 0; i < 12; ++i) v[i] = qv::CDblOr(rs->FieldValue(i), 0);
      docs.push_back(
          {v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8], v[9] != 0, v[10], v[11]});
    }
    rs->Close();
    return docs;
  }
  // The first document for which `pick` holds; the test stops without one.
  static Doc First(const std::function<bool(const Doc&)>& pick) { return First(Docs(), pick); }
  static Doc First(const std::vector<Doc>& docs, const std::function<bool(const Doc&)>& pick) {
    auto it = std::find_if(docs.begin(), docs.end(), pick);
    if (it == docs.end()) throw std::runtime_error("the folder has no such document");
    return *it;
  }
  static bool Has(const std::vector<Doc>& docs, double stream, double period, double docClass) {
    return std::any_of(docs.begin(), docs.end(), [&](const Doc& d) {
      return d.stream == stream && d.period == period && d.docClass == docClass;
    });
  }
  // A document of another stream whose stream has (`with`) or has not a
  // document of the class of `d` in its period: the destination of a move.
  static Doc OtherStream(const Doc& d, bool with) {
    const std::vector<Doc> docs = Docs();
    return First(docs, [&](const Doc& o) {
      return o.stream != d.stream && Has(docs, o.stream, o.period, d.docClass) == with;
    });
  }
  static bool IsCurrent(const Doc& d) { return d.top == 0; }

  double Move(const Doc& src, int32_t type, double stream, double period, double destDoc = 0) {
    std::vector<qv::Variant> args{Variant(src.id), Variant(type),    Variant(stream),
                                  Variant(period), Variant(destDoc), Variant(0.0)};
    q_->Call("MoveDocument", args);
    return CDbl(args[5]);
  }

  static TempFolder* tmp_;
  static fs::path* folder_;
  ObjectPtr q_;
};

TempFolder* GeneratedDocuments::tmp_ = nullptr;
fs::path* GeneratedDocuments::folder_ = nullptr;

// Forwards finds a document wherever backwards found one: the documents not
// yet accepted (the current versions of the latest periods) included.
TEST_F(GeneratedDocuments, NextPeriodFindsWhatPreviousFindsBack) {
  int pairs = 0, unfound = 0;
  for (const Doc& d : Docs()) {
    std::vector<Variant> args{Variant(d.id), Variant(0.0)};
    q_->Call("GetPrevPeriodDocID", args);
    const double prev = CDbl(args[1]);
    if (prev == 0) continue;
    ++pairs;
    args = {Variant(prev), Variant(0.0)};
    q_->Call("GetNextPeriodDocID", args);
    if (CDbl(args[1]) == 0) ++unfound;
  }
  EXPECT_GT(pairs, 50);
  EXPECT_EQ(unfound, 0);
}

TEST_F(GeneratedDocuments, CheckStaysCleanAfterEveryCreationAndMove) {
  const auto create = [&](const char* service, std::vector<Variant> args) {
    q_->Call(service, args);
  };
  const struct {
    const char* operation;
    std::function<void()> run;
  } steps[] = {
      {"CreateNewDocument2 (the next year, without the form)",
       [&] {
         const std::vector<Doc> docs = Docs();
         const Doc d = First(docs, [&](const Doc& d) {
           return !Has(docs, d.stream, d.period + 100, d.docClass) &&
                  qv::mQvDaoDataBase::QvQueryExistence(
                      "select time_id from time_by_month where time_id = " +
                      std::to_string(int(d.period) + 100));
         });
         create("CreateNewDocument2",
                {Variant(d.stream), Variant(d.period + 100), Variant(d.tmpl)});
       }},
      {"CreateNewInstance2",
       [&] {
         const Doc d = First(IsCurrent);
         create("CreateNewInstance2", {Variant(d.stream), Variant(d.period), Variant(d.tmpl)});
       }},
      {"CreateNewAdjustment2 (the current version not accepted yet)",
       [&] {
         const Doc d = First([](const Doc& d) { return IsCurrent(d) && !d.accepted && d.bottom; });
         create("CreateNewAdjustment2", {Variant(d.stream), Variant(d.period), Variant(d.tmpl),
                                         Variant(false), Variant(0.0), Variant(d.instance)});
       }},
      {"CreateNewAdjustment2 (of an older version, with its cells)",
       [&] {
         const Doc d = First([](const Doc& d) { return !IsCurrent(d) && d.cells > 0; });
         create("CreateNewAdjustment2", {Variant(d.stream), Variant(d.period), Variant(d.tmpl),
                                         Variant(true), Variant(d.id)});
       }},
      {"CreateDocument2 (a new instance with another document's cells)",
       [&] {
         const Doc d = First([](const Doc& d) { return d.cells > 0; });
         create("CreateDocument2",
                {Variant(d.stream), Variant(d.period), Variant(d.tmpl), Variant(9), Variant(0.0),
                 Variant(-1), Variant(-1), Variant(1), Variant(d.id)});
       }},
      {"CreatePfrEndDocument (two masters of a stream, one form)",
       [&] {
         const std::vector<Doc> docs = Docs();
         const Doc d = First(docs, IsCurrent);
         const Doc other = First(docs, [&](const Doc& o) {
           return o.stream == d.stream && o.id != d.id && IsCurrent(o);
         });
         create("CreatePfrEndDocument", {Variant(d.id), Variant(d.tmpl)});
         create("CreatePfrEndDocument", {Variant(other.id), Variant(d.tmpl)});
       }},
      {"CreateImportingDocument (after the current version)",
       [&] {
         const Doc d = First([](const Doc& d) { return IsCurrent(d) && d.bottom; });
         create("CreateImportingDocument",
                {Variant(d.stream), Variant(d.period), Variant(d.tmpl), Variant(int(d.instance)),
                 Variant(int(d.adjustment) + 1)});
       }},
      {"MoveDocument 1 (an older version alone)",
       [&] {
         const Doc d = First([](const Doc& d) { return !IsCurrent(d); });
         const Doc to = OtherStream(d, true);
         Move(d, 1, to.stream, to.period);
       }},
      {"MoveDocument 2 (a group where its doc type is not)",
       [&] {
         const Doc d = First([](const Doc& d) { return d.bottom != 0; });
         const Doc to = OtherStream(d, false);
         Move(d, 2, to.stream, to.period);
       }},
      {"MoveDocument 3 (a group after the destination's instances)",
       [&] {
         const Doc d = First([](const Doc& d) { return d.bottom != 0; });
         const Doc to = OtherStream(d, true);
         Move(d, 3, to.stream, to.period);
       }},
      {"MoveDocument 4 (a merge of two documents with cells)",
       [&] {
         const Doc d = First([](const Doc& d) { return d.cells > 0 && d.bottom; });
         const Doc to = First([&](const Doc& o) {
           return o.id != d.id && o.docClass == d.docClass && o.cells > 0 && o.top == 0;
         });
         Move(d, 4, 0, 0, to.id);
       }},
      {"MoveDocument 5 (as an adjustment)",
       [&] {
         const Doc d = First([](const Doc& d) { return d.cells > 0; });
         const Doc to = OtherStream(d, true);
         EXPECT_NE(Move(d, 5, to.stream, to.period), 0);
       }},
      {"MoveDocument 6 (replacing the destination's, big documents)",
       [&] {
         const std::vector<Doc> docs = Docs();
         const Doc d = First(docs, [&](const Doc& d) {
           return d.editor == 6 && std::any_of(docs.begin(), docs.end(), [&](const Doc& o) {
                    return o.stream != d.stream && o.docClass == d.docClass;
                  });
         });
         const Doc to = OtherStream(d, true);
         Move(d, 6, to.stream, to.period);
       }},
      {"MoveDocumentToAnotherAccStream (a version whose instance the destination has)",
       [&] {
         const Doc d = First([](const Doc& d) { return d.top != 0 && d.instance == 0; });
         const Doc to = OtherStream(d, true);
         q_->CallV("MoveDocumentToAnotherAccStream", d.id, to.stream);
       }},
      {"PrepareMovingDociumentToAnotherAccStream and the move",
       [&] {
         const std::vector<Doc> docs = Docs();
         const auto sameForm = [&](const Doc& d, const Doc& o) {
           return o.stream != d.stream && o.tmpl == d.tmpl && o.period == d.period;
         };
         const Doc d = First(docs, [&](const Doc& d) {
           return std::any_of(docs.begin(), docs.end(),
                              [&](const Doc& o) { return sameForm(d, o); });
         });
         const Doc to = First(docs, [&](const Doc& o) { return sameForm(d, o); });
         q_->CallV("PrepareMovingDociumentToAnotherAccStream", d.id, to.stream);
         q_->CallV("MoveDocumentToAnotherAccStream", d.id, to.stream);
       }},
      {"CopyDocumentCells (into a document with cells of those keys)",
       [&] {
         const Doc d = First([](const Doc& d) { return d.cells > 0; });
         const Doc to =
             First([&](const Doc& o) { return o.id != d.id && o.tmpl == d.tmpl && o.cells > 0; });
         q_->CallV("CopyDocumentCells", d.id, to.id);
         q_->CallV("CopyDocumentCells", to.id, to.id);
       }},
  };
  ASSERT_EQ(ChainProblems(*Db()), std::vector<std::string>{});
  for (const auto& s : steps) {
    SCOPED_TRACE(s.operation);
    try {
      s.run();
    } catch (const std::exception& e) {
      ADD_FAILURE() << e.what();
    }
    EXPECT_EQ(ChainProblems(*Db()), std::vector<std::string>{});
  }
  qv::miDataBase::ResetSessionForThread();
  std::ostringstream out;
  const CheckResult check = CheckDataFolder(*folder_, out);
  EXPECT_EQ(check.problems, 0) << out.str();
}

}  // namespace
}  // namespace qvdb
