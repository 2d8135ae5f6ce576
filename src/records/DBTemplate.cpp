#include "records/ReferenceMappers.h"

namespace qv::records {
namespace {
using namespace col;
constexpr ColumnDef kTemplateColumns[] = {
    Text("Full_Name"),       Text("Name"),        Date("Begin_Date"),      Date("End_Date"),
    Ref("Doc_Type_ID"),      Long("Enable"),      Long("Month_Payments"),  Long("Payments_List"),
    Long("No_Utoch"),        Bool("Sign_Exec"),   Bool("TarvoImportable"), Long("SignatureRule"),
    Long("Scatter_ClassID"), Long("EditorType"),  Bool("Creatable"),       Flag("PfrMaster"),
    Bool("PfrEndDoc"),       Long("ContoraType"), Long("Varnel_SendType"), Long("FssSendType"),
    Bool("CheckXMLable"),    Bool("CheckUFAble"), Long("AttachmentsSet"),  Long("FolderID")};
constexpr ColumnMap kTemplateMap{"Doc_Templates", kTemplateColumns, "template_id"};
}  // namespace

const MapperDef& DBTemplate::Def() {
  static const MapperDef def{"Qv_Records.QvTemplate", kTemplateMap};
  return def;
}

QV_DEFINE_CLASS(DBTemplate, "Qv_DBProvider.DBTemplate", QV_CREATABLE(DBTemplate),
                QV_MAPPER_MEMBERS(DBTemplate))

}  // namespace qv::records
