#include "SampleKladr.h"

#include "TableWriter.h"
#include "platform/dao/Transaction.h"

namespace qvdb::sample {

using qv::Variant;

namespace {

struct Abbrev {
  int32_t id;
  const char* name;
};
// By level: 1xx regions, 3xx cities, 5xx streets.
constexpr Abbrev kAbbrevs[] = {
    {102, "Респ"}, {103, "г"},  {105, "обл"},   {301, "г"},  {502, "б-р"}, {512, "наб"},
    {522, "пер"},  {523, "пл"}, {524, "пр-кт"}, {529, "ул"}, {531, "ш"},
};

struct Place {
  int32_t id, parent, level;
  const char* name;
  int32_t abbrev;
  const char* postIndex;
};
constexpr Place kPlaces[] = {
    // Regions: their codes.
    {16, 0, 1, "Татарстан", 102, "420000"},
    {50, 0, 1, "Московская", 105, ""},
    {54, 0, 1, "Новосибирская", 105, ""},
    {66, 0, 1, "Свердловская", 105, ""},
    {77, 0, 1, "Москва", 103, ""},
    {78, 0, 1, "Санкт-Петербург", 103, ""},
    // Cities.
    {100, 16, 3, "Казань", 301, "420000"},
    {101, 50, 3, "Подольск", 301, "142100"},
    {102, 50, 3, "Химки", 301, "141400"},
    {103, 54, 3, "Новосибирск", 301, "630000"},
    {104, 66, 3, "Екатеринбург", 301, "620000"},
    {105, 66, 3, "Нижний Тагил", 301, "622000"},
    // Streets of the two federal cities (under the region itself).
    {200, 77, 5, "Арбат", 529, "119002"},
    {201, 77, 5, "Ленина", 529, "119000"},
    {202, 77, 5, "Ленинградский", 524, "125040"},
    {203, 77, 5, "Ленинский", 524, "119049"},
    {204, 77, 5, "Лесная", 529, "127055"},
    {205, 77, 5, "Мясницкая", 529, "101000"},
    {206, 77, 5, "Тверская", 529, "125009"},
    {207, 77, 5, "Сретенский", 502, "101000"},
    {208, 77, 5, "Звёздный", 502, "129515"},
    {209, 77, 5, "Красная", 523, "109012"},
    {210, 78, 5, "Невский", 524, "191025"},
    {211, 78, 5, "Литейный", 524, "191028"},
    {212, 78, 5, "Садовая", 529, "190031"},
    {213, 78, 5, "Фонтанки реки", 512, "191011"},
    {214, 78, 5, "Ленина", 529, "197198"},
    // Streets of the cities.
    {220, 100, 5, "Баумана", 529, "420111"},
    {221, 100, 5, "Кремлёвская", 529, "420008"},
    {222, 101, 5, "Ленинградская", 529, "142100"},
    {223, 101, 5, "Революционный", 524, "142100"},
    {224, 102, 5, "Ленинградское", 531, "141400"},
    {225, 102, 5, "Юбилейный", 524, "141407"},
    {226, 103, 5, "Красный", 524, "630099"},
    {227, 103, 5, "Ленина", 529, "630004"},
    {228, 103, 5, "Кирова", 529, "630102"},
    {229, 104, 5, "Ленина", 524, "620014"},
    {230, 104, 5, "Малышева", 529, "620014"},
    {231, 104, 5, "8 Марта", 529, "620014"},
    {232, 105, 5, "Ленина", 524, "622001"},
    {233, 105, 5, "Вагоностроителей", 529, "622051"},
};

}  // namespace

int64_t WriteSampleKladr(qv::dao::Database& kladr) {
  qv::dao::Transaction tx(kladr, qv::dao::kWriteLock);
  TableWriter abbrevs(kladr, "KladrAbbrevs"), objects(kladr, "KladrObjects");
  for (const Abbrev& a : kAbbrevs) {
    abbrevs.Begin();
    abbrevs.Set("ID", Variant(a.id));
    abbrevs.Set("ShortName", Variant(a.name));
    abbrevs.End();
  }
  for (const Place& p : kPlaces) {
    objects.Begin();
    objects.Set("ID", Variant(p.id));
    objects.Set("ParentID", Variant(p.parent));
    objects.Set("Level", Variant(p.level));
    objects.Set("ObjName", Variant(p.name));
    objects.Set("AbbrevID", Variant(p.abbrev));
    objects.Set("PostIndex", Variant(p.postIndex));
    objects.End();
  }
  tx.Commit();
  return objects.RowsWritten();
}

}  // namespace qvdb::sample
