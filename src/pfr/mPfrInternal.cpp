#include "pfr/mPfrInternal.h"

#include "core/mQvDaoDataBase.h"
#include "platform/automation/VbaText.h"

namespace qv::pfr::mPfrInternal {

namespace {

struct IndDataType {
  int32_t code;
  std::string_view text;          // the first: what a code reads as
  std::string_view abbreviation;  // also accepted; empty for none
};

constexpr IndDataType kTypes[] = {
    {1, "исходная", ""},       {2, "назначение пенсии", "н.п."}, {4, "корректирующая", "корр."},
    {5, "отменяющая", "отм."}, {6, "дополняющая", "доп."},       {7, "особая", ""},
};

}  // namespace

int32_t GetIndDataType(std::string_view aText) {
  const std::string text = LCase(aText);
  for (const IndDataType& t : kTypes)
    if (text == t.text || (!t.abbreviation.empty() && text == t.abbreviation)) return t.code;
  return 0;
}

std::string GetIndDataTypeText(int32_t aCode) {
  for (const IndDataType& t : kTypes)
    if (t.code == aCode) return std::string(t.text);
  return {};
}

std::string CommaList2DaoSql(std::string_view aTypes, std::string_view aWhat) {
  return mQvDaoDataBase::IdList2DaoSql(aTypes, aWhat);
}

}  // namespace qv::pfr::mPfrInternal
