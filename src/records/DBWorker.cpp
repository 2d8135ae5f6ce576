#include "platform/dao/Recordset.h"
#include "records/EntityMappers.h"

namespace qv::records {
namespace {
using namespace col;

// IsFormalBoss is read here but written by WriteFormalBoss: the formal boss
// of a job place is set by PersonQueries.SetFormalBoss, which also clears
// the previous one.
constexpr ColumnDef kWorkerColumns[] = {Ref("JobPlaceID"),
                                        Ref("WorkerID"),
                                        Text("PostName"),
                                        Date("BeginDate"),
                                        Date("EndDate"),
                                        Text("Telephone"),
                                        Text("Fax"),
                                        Flag("ShowInBranches"),
                                        Owned(Ref("AuthorityDocID")),
                                        ReadOnly(Flag("IsFormalBoss")),
                                        Text("Email")};
constexpr ColumnMap kWorkerMap{"Personnel", kWorkerColumns};

// A cleared flag is written (as 0); a set one leaves the column as it is.
void WriteFormalBoss(dao::Recordset& rs, QvRecord& rec, const Variant&) {
  static const int prop = rec.PropertyIndex("IsFormalBoss");
  if (!CBool(rec.Value(prop))) rs.SetField("IsFormalBoss", Variant(int32_t{0}));
}
}  // namespace

const MapperDef& DBWorker::Def() {
  static const MapperDef def{
      "Qv_Records.QvWorker", kWorkerMap, true, {.beforeUpdate = &WriteFormalBoss}};
  return def;
}

QV_DEFINE_CLASS(DBWorker, "Qv_DBProvider.DBWorker", QV_CREATABLE(DBWorker),
                QV_MAPPER_MEMBERS(DBWorker))

}  // namespace qv::records
