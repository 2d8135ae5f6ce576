#include "warrants/WarrantMappers.h"

namespace qv::warrants {
namespace {
using namespace records::col;

// Every column is kept whatever the person type, so that switching the type
// back finds the other slot's data. The subject owns its address and
// identity document; the citizenship is a shared country row.
constexpr records::ColumnDef kWarSubjectColumns[] = {
    Long("PersonType"),
    Text("FullName"),
    Text("Inn"),
    Text("Kpp"),
    Text("Ogrn"),
    Owned(Ref("AddressID")),
    Text("LeaderSurname"),
    Text("LeaderName"),
    Text("LeaderPatronymic"),
    Text("LeaderInn"),
    Text("LeaderPost"),
    Text("Surname"),
    Text("Name"),
    Text("Patronymic"),
    Ref("CitizenshipID"),
    Date("BirthDate"),
    Owned(Ref("PassportID")),
};
constexpr records::ColumnMap kWarSubjectMap{"WarSubjects", kWarSubjectColumns};
}  // namespace

const MapperDef& DBWarSubject::Def() {
  static const MapperDef def{"Qv_Records.QvWarSubject", kWarSubjectMap, true};
  return def;
}

QV_DEFINE_CLASS(DBWarSubject, "Qv_DBProvider.DBWarSubject", QV_CREATABLE(DBWarSubject),
                QV_MAPPER_MEMBERS(DBWarSubject))

}  // namespace qv::warrants
