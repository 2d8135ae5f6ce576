// Prints the countries whose codes are given ("643;112" by default): creates
// the dictionary class by name, calls GetCountry and reads the recordset it
// returns. The data folder is the registry's DataBasePath (qvdb init DIR,
// then qvdb generate for the dictionaries' rows).
#include <QvDBProvider.h>

#include <iostream>

int main(int argc, char** argv) {
  try {
    qv::ObjectPtr dict = qv::CreateObject("Qv_DBProvider.DictQueries");
    const std::string codes = argc > 1 ? argv[1] : "643;112";
    auto countries = dict->CallV("GetCountry", codes, int32_t{0}).ObjectAs<qv::ado::Recordset>();
    const size_t alfa3 = countries->FieldIndex("Alfa3");
    const size_t name = countries->FieldIndex("ShortName");
    for (size_t row = 0; row < countries->RowCount(); ++row)
      std::cout << qv::CStr(countries->Value(row, alfa3)) << " "
                << qv::CStr(countries->Value(row, name)) << "\n";
  } catch (const qv::Error& e) {
    std::cerr << "Error " << e.Number() << ": " << e.Description() << "\n";
    return 1;
  }
}
