#pragma once
// Pieces of realistic sample data: a seeded random sequence, Russian names,
// and taxpayer codes with correct check digits (INN, OGRN, OGRNIP, SNILS)
// and the codes that go with them (KPP, OKTMO, postal codes). Everything is a
// pure function of the random sequence, so one seed gives one data set.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace qvdb::sample {

// splitmix64: small, fast and the same on every platform and compiler
// (std::mt19937 is too, but its distributions are not).
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}
  uint64_t Next();
  // Uniform in [0, n); 0 for n 0.
  uint32_t Below(uint32_t n);
  // Uniform in [lo, hi].
  int32_t Between(int32_t lo, int32_t hi);
  double Unit();  // [0, 1)
  bool Chance(double p) { return Unit() < p; }
  template <class T>
  const T& Pick(std::span<const T> items) {
    return items[Below(static_cast<uint32_t>(items.size()))];
  }
  // A text of `n` random decimal digits.
  std::string Digits(int n);

 private:
  uint64_t state_;
};

// ---- check digits of the Russian tax and registration numbers

// The tenth digit of a legal person's INN from its first nine digits.
int InnCheck10(std::string_view first9);
// The 11th and 12th digits of a natural person's INN from its first ten.
std::string InnCheck12(std::string_view first10);
bool IsValidInn(std::string_view inn);  // 10 or 12 digits with correct check digits
// OGRN: 13 digits, the last (first 12 mod 11) mod 10; OGRNIP: 15 digits,
// the last (first 14 mod 13) mod 10.
bool IsValidOgrn(std::string_view ogrn);
bool IsValidOgrnip(std::string_view ogrnip);
// SNILS "NNN-NNN-NNN CC".
std::string SnilsWithCheck(std::string_view nine);
bool IsValidSnils(std::string_view snils);

// ---- a region with its codes

struct Region {
  int32_t code;                // 77
  std::string_view name;       // "Москва"
  std::string_view abbrev;     // "г"
  std::string_view city;       // the main city
  std::string_view postIndex;  // the first three digits of its postal codes
  std::string_view oktmo;      // the first two digits of its OKTMO codes
  std::string_view okato;      // the first two digits of its OKATO codes
  std::string_view inWhere;    // "по г. Москве" (names of tax offices)
};
std::span<const Region> Regions();

// ---- generators

struct PersonName {
  std::string surname, name, patronymic;
  int32_t sex;  // 1 male, 2 female
};
PersonName RandomPersonName(Random& r);

// A legal person's INN for a tax office code (4 digits); a natural
// person's INN likewise.
std::string LegalInn(Random& r, std::string_view taxOffice);
std::string NaturalInn(Random& r, std::string_view taxOffice);
// KPP: the tax office, the reason ("01" main office, "43" branch), "001".
std::string Kpp(std::string_view taxOffice, std::string_view reason, int serial);
std::string Ogrn(Random& r, int year, int32_t region);
std::string Ogrnip(Random& r, int year, int32_t region);
std::string Snils(Random& r);

struct CompanyName {
  std::string shortName, fullName, legalFormName, legalFormCode;
};
CompanyName RandomCompanyName(Random& r);

struct Activity {
  std::string_view code, name;
};
const Activity& RandomActivity(Random& r);

std::string_view RandomStreet(Random& r);

}  // namespace qvdb::sample
