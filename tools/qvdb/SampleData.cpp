#include "SampleData.h"

#include <array>
#include <cstdio>

namespace qvdb::sample {

uint64_t Random::Next() {
  uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

uint32_t Random::Below(uint32_t n) {
  return static_cast<uint32_t>(((Next() >> 32) * n) >> 32);
}

int32_t Random::Between(int32_t lo, int32_t hi) {
  return lo + static_cast<int32_t>(Below(static_cast<uint32_t>(hi - lo + 1)));
}

double Random::Unit() {
  return static_cast<double>(Next() >> 11) * 0x1.0p-53;
}

std::string Random::Digits(int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += static_cast<char>('0' + Below(10));
  return s;
}

namespace {

int WeightedMod11(std::string_view digits, std::span<const int> weights) {
  int sum = 0;
  for (size_t i = 0; i < weights.size(); ++i) sum += (digits[i] - '0') * weights[i];
  return sum % 11 % 10;
}

constexpr int kInn10[] = {2, 4, 10, 3, 5, 9, 4, 6, 8};
constexpr int kInn11[] = {7, 2, 4, 10, 3, 5, 9, 4, 6, 8};
constexpr int kInn12[] = {3, 7, 2, 4, 10, 3, 5, 9, 4, 6, 8};

bool AllDigits(std::string_view s) {
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return !s.empty();
}

// The remainder of a long decimal number by m.
int Mod(std::string_view digits, int m) {
  int r = 0;
  for (char c : digits) r = (r * 10 + (c - '0')) % m;
  return r;
}

constexpr Region kRegions[] = {
    {77, "Москва", "г", "Москва", "101", "45", "45", "по г. Москве"},
    {78, "Санкт-Петербург", "г", "Санкт-Петербург", "190", "40", "40", "по г. Санкт-Петербургу"},
    {50, "Московская", "обл", "Подольск", "142", "46", "46", "по Московской области"},
    {16, "Татарстан", "Респ", "Казань", "420", "92", "92", "по Республике Татарстан"},
    {66, "Свердловская", "обл", "Екатеринбург", "620", "65", "65", "по Свердловской области"},
    {54, "Новосибирская", "обл", "Новосибирск", "630", "50", "50", "по Новосибирской области"},
    {52, "Нижегородская", "обл", "Нижний Новгород", "603", "22", "22", "по Нижегородской области"},
    {23, "Краснодарский", "край", "Краснодар", "350", "03", "03", "по Краснодарскому краю"},
    {2, "Башкортостан", "Респ", "Уфа", "450", "80", "80", "по Республике Башкортостан"},
    {74, "Челябинская", "обл", "Челябинск", "454", "75", "75", "по Челябинской области"},
};

// Surnames in the masculine form; the feminine adds "а" (-ов, -ев, -ин) or
// turns -ий into -ая.
constexpr std::string_view kSurnames[] = {
    "Иванов",      "Смирнов",    "Кузнецов",   "Попов",      "Васильев", "Петров",     "Соколов",
    "Михайлов",    "Новиков",    "Фёдоров",    "Морозов",    "Волков",   "Алексеев",   "Лебедев",
    "Семёнов",     "Егоров",     "Павлов",     "Козлов",     "Степанов", "Николаев",   "Орлов",
    "Андреев",     "Макаров",    "Никитин",    "Захаров",    "Зайцев",   "Соловьёв",   "Борисов",
    "Яковлев",     "Григорьев",  "Романов",    "Воробьёв",   "Сергеев",  "Кузьмин",    "Фролов",
    "Александров", "Дмитриев",   "Королёв",    "Гусев",      "Киселёв",  "Ильин",      "Максимов",
    "Поляков",     "Сорокин",    "Виноградов", "Ковалёв",    "Белов",    "Медведев",   "Антонов",
    "Тарасов",     "Жуков",      "Баранов",    "Филиппов",   "Комаров",  "Давыдов",    "Беляев",
    "Герасимов",   "Богданов",   "Осипов",     "Сидоров",    "Матвеев",  "Титов",      "Марков",
    "Миронов",     "Крылов",     "Куликов",    "Карпов",     "Власов",   "Мельников",  "Денисов",
    "Гаврилов",    "Тихонов",    "Казаков",    "Афанасьев",  "Данилов",  "Савельев",   "Тимофеев",
    "Фомин",       "Чернов",     "Абрамов",    "Мартынов",   "Ефимов",   "Федотов",    "Щербаков",
    "Назаров",     "Калинин",    "Исаев",      "Чернышёв",   "Быков",    "Маслов",     "Родионов",
    "Коновалов",   "Лазарев",    "Воронин",    "Климов",     "Филатов",  "Пономарёв",  "Голубев",
    "Кудрявцев",   "Прохоров",   "Наумов",     "Потапов",    "Журавлёв", "Овчинников", "Трофимов",
    "Леонов",      "Соболев",    "Ермаков",    "Колесников", "Гончаров", "Емельянов",  "Никифоров",
    "Грачёв",      "Котов",      "Гришин",     "Ефремов",    "Архипов",  "Громов",     "Кириллов",
    "Малышев",     "Панов",      "Моисеев",    "Румянцев",   "Акимов",   "Кондратьев", "Бирюков",
    "Горбунов",    "Анисимов",   "Ерёмин",     "Тихомиров",  "Галкин",   "Лукьянов",   "Михеев",
    "Скворцов",    "Юдин",       "Белоусов",   "Нестеров",   "Симонов",  "Прокофьев",  "Харитонов",
    "Князев",      "Цветков",    "Левин",      "Митрофанов", "Воронов",  "Аксёнов",    "Софронов",
    "Мальцев",     "Логинов",    "Горшков",    "Савин",      "Краснов",  "Майоров",    "Демидов",
    "Елисеев",     "Рыбаков",    "Сафонов",    "Плотников",  "Демин",    "Хохлов",     "Жданов",
    "Носков",      "Островский", "Вишневский", "Ковальский", "Рожков",   "Шубин",      "Кравцов",
};

struct FirstName {
  std::string_view name;
  std::string_view male;    // the patronymic of a son
  std::string_view female;  // of a daughter
};
constexpr FirstName kMaleNames[] = {
    {"Александр", "Александрович", "Александровна"},
    {"Сергей", "Сергеевич", "Сергеевна"},
    {"Дмитрий", "Дмитриевич", "Дмитриевна"},
    {"Андрей", "Андреевич", "Андреевна"},
    {"Алексей", "Алексеевич", "Алексеевна"},
    {"Максим", "Максимович", "Максимовна"},
    {"Евгений", "Евгеньевич", "Евгеньевна"},
    {"Иван", "Иванович", "Ивановна"},
    {"Михаил", "Михайлович", "Михайловна"},
    {"Артём", "Артёмович", "Артёмовна"},
    {"Николай", "Николаевич", "Николаевна"},
    {"Владимир", "Владимирович", "Владимировна"},
    {"Павел", "Павлович", "Павловна"},
    {"Олег", "Олегович", "Олеговна"},
    {"Виктор", "Викторович", "Викторовна"},
    {"Юрий", "Юрьевич", "Юрьевна"},
    {"Игорь", "Игоревич", "Игоревна"},
    {"Константин", "Константинович", "Константиновна"},
    {"Роман", "Романович", "Романовна"},
    {"Антон", "Антонович", "Антоновна"},
    {"Пётр", "Петрович", "Петровна"},
    {"Григорий", "Григорьевич", "Григорьевна"},
    {"Василий", "Васильевич", "Васильевна"},
    {"Илья", "Ильич", "Ильинична"},
    {"Кирилл", "Кириллович", "Кирилловна"},
    {"Борис", "Борисович", "Борисовна"},
};
constexpr std::string_view kFemaleNames[] = {
    "Елена",     "Ольга",     "Татьяна", "Наталья", "Ирина",  "Светлана", "Анна",
    "Мария",     "Екатерина", "Юлия",    "Марина",  "Галина", "Людмила",  "Надежда",
    "Анастасия", "Валентина", "Вера",    "Любовь",  "Оксана", "Дарья",    "Ксения",
    "Евгения",   "Алла",      "Лариса",  "Нина",    "Полина", "Виктория", "Тамара",
};

constexpr std::string_view kCompanyWords[] = {
    "Ромашка",        "Вектор",      "Альфа",       "Сибирь",       "Гранит",  "Меридиан",
    "Восток",         "Техносервис", "Стройинвест", "Агрокомплекс", "Энергия", "Полимер",
    "Северный ветер", "Континент",   "Фортуна",     "Горизонт",     "Спектр",  "Атлант",
    "Волга",          "Урал",        "Байкал",      "Прогресс",     "Союз",    "Профит",
    "Интеграл",       "Надежда",     "Радуга",      "Элекс",        "Статус",  "Модуль",
    "Технопарк",      "Логистик",    "Транзит",     "Кристалл",     "Орион",   "Вега",
    "Пеликан",        "Альянс",      "Стандарт",    "Мастер",       "Партнёр", "Квант",
};

struct LegalForm {
  std::string_view shortName, fullName, code;
};
constexpr LegalForm kLegalForms[] = {
    {"ООО", "Общество с ограниченной ответственностью", "12300"},
    {"ООО", "Общество с ограниченной ответственностью", "12300"},
    {"ООО", "Общество с ограниченной ответственностью", "12300"},
    {"АО", "Акционерное общество", "12267"},
    {"ПАО", "Публичное акционерное общество", "12247"},
};

constexpr Activity kActivities[] = {
    {"62.01", "Разработка компьютерного программного обеспечения"},
    {"47.11", "Торговля розничная преимущественно пищевыми продуктами"},
    {"41.20", "Строительство жилых и нежилых зданий"},
    {"49.41", "Деятельность автомобильного грузового транспорта"},
    {"69.20", "Деятельность по оказанию услуг в области бухгалтерского учета"},
    {"46.90", "Торговля оптовая неспециализированная"},
    {"01.11", "Выращивание зерновых культур"},
    {"25.62", "Обработка металлических изделий механическая"},
    {"56.10", "Деятельность ресторанов и услуги по доставке продуктов питания"},
    {"68.20", "Аренда и управление собственным или арендованным недвижимым имуществом"},
};

constexpr std::string_view kStreets[] = {
    "ул. Ленина",      "ул. Мира",       "ул. Советская",   "ул. Гагарина",   "ул. Садовая",
    "ул. Лесная",      "ул. Пушкина",    "ул. Школьная",    "пр-т Победы",    "ул. Молодёжная",
    "ул. Центральная", "ул. Набережная", "ул. Заводская",   "пер. Почтовый",  "ул. Строителей",
    "ул. Кирова",      "ул. Чехова",     "ул. Октябрьская", "ш. Энтузиастов", "ул. Полевая",
};

}  // namespace

int InnCheck10(std::string_view first9) {
  return WeightedMod11(first9, kInn10);
}

std::string InnCheck12(std::string_view first10) {
  std::string s(first10);
  s += static_cast<char>('0' + WeightedMod11(s, kInn11));
  s += static_cast<char>('0' + WeightedMod11(s, kInn12));
  return s.substr(10);
}

bool IsValidInn(std::string_view inn) {
  if (!AllDigits(inn)) return false;
  if (inn.size() == 10) return inn[9] - '0' == InnCheck10(inn.substr(0, 9));
  if (inn.size() == 12) return inn.substr(10) == InnCheck12(inn.substr(0, 10));
  return false;
}

bool IsValidOgrn(std::string_view s) {
  return s.size() == 13 && AllDigits(s) && Mod(s.substr(0, 12), 11) % 10 == s[12] - '0';
}

bool IsValidOgrnip(std::string_view s) {
  return s.size() == 15 && AllDigits(s) && Mod(s.substr(0, 14), 13) % 10 == s[14] - '0';
}

std::string SnilsWithCheck(std::string_view nine) {
  int sum = 0;
  for (int i = 0; i < 9; ++i) sum += (nine[i] - '0') * (9 - i);
  int check = sum < 100 ? sum : (sum == 100 || sum == 101) ? 0 : sum % 101;
  if (check == 100) check = 0;
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.3s-%.3s-%.3s %02d", nine.data(), nine.data() + 3,
                nine.data() + 6, check);
  return buf;
}

bool IsValidSnils(std::string_view s) {
  if (s.size() != 14 || s[3] != '-' || s[7] != '-' || s[11] != ' ') return false;
  const std::string nine =
      std::string(s.substr(0, 3)) + std::string(s.substr(4, 3)) + std::string(s.substr(8, 3));
  return AllDigits(nine) && AllDigits(s.substr(12)) && SnilsWithCheck(nine) == s;
}

std::span<const Region> Regions() {
  return kRegions;
}

PersonName RandomPersonName(Random& r) {
  PersonName p;
  p.sex = r.Chance(0.5) ? 1 : 2;
  std::string surname(r.Pick(std::span<const std::string_view>(kSurnames)));
  const FirstName& father = r.Pick(std::span<const FirstName>(kMaleNames));
  if (p.sex == 1) {
    p.name = r.Pick(std::span<const FirstName>(kMaleNames)).name;
    p.patronymic = father.male;
  } else {
    p.name = r.Pick(std::span<const std::string_view>(kFemaleNames));
    p.patronymic = father.female;
    if (surname.ends_with("ий"))
      surname = surname.substr(0, surname.size() - 4) + "ая";
    else
      surname += "а";
  }
  p.surname = surname;
  return p;
}

std::string LegalInn(Random& r, std::string_view taxOffice) {
  std::string s = std::string(taxOffice) + r.Digits(5);
  return s + static_cast<char>('0' + InnCheck10(s));
}

std::string NaturalInn(Random& r, std::string_view taxOffice) {
  std::string s = std::string(taxOffice) + r.Digits(6);
  return s + InnCheck12(s);
}

std::string Kpp(std::string_view taxOffice, std::string_view reason, int serial) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%03d", serial % 1000);
  return std::string(taxOffice) + std::string(reason) + buf;
}

std::string Ogrn(Random& r, int year, int32_t region) {
  char head[8];
  std::snprintf(head, sizeof head, "1%02d%02d", year % 100, region % 100);
  std::string s = head + r.Digits(7);
  return s + static_cast<char>('0' + Mod(s, 11) % 10);
}

std::string Ogrnip(Random& r, int year, int32_t region) {
  char head[8];
  std::snprintf(head, sizeof head, "3%02d%02d", year % 100, region % 100);
  std::string s = head + r.Digits(9);
  return s + static_cast<char>('0' + Mod(s, 13) % 10);
}

std::string Snils(Random& r) {
  // Numbers up to 001-001-998 carry no check number; start above them.
  return SnilsWithCheck(std::to_string(r.Between(100, 999)) + r.Digits(6));
}

CompanyName RandomCompanyName(Random& r) {
  const LegalForm& form = r.Pick(std::span<const LegalForm>(kLegalForms));
  std::string word(r.Pick(std::span<const std::string_view>(kCompanyWords)));
  if (r.Chance(0.4)) word += "-" + std::to_string(r.Between(1, 99));
  CompanyName c;
  c.shortName = std::string(form.shortName) + " \"" + word + "\"";
  c.fullName = std::string(form.fullName) + " \"" + word + "\"";
  c.legalFormName = form.fullName;
  c.legalFormCode = form.code;
  return c;
}

const Activity& RandomActivity(Random& r) {
  return r.Pick(std::span<const Activity>(kActivities));
}

std::string_view RandomStreet(Random& r) {
  return r.Pick(std::span<const std::string_view>(kStreets));
}

}  // namespace qvdb::sample
