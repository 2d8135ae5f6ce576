#include "platform/automation/VbaFormat.h"

#include <gtest/gtest.h>

#include "platform/automation/VbaDate.h"

namespace qv {
namespace {

struct Case {
  Variant value;
  const char* format;  // nullptr: Format without a format
  const char* expected;
};

// The named formats and the patterns tests/sql/format.test runs through
// statements are not repeated here.
TEST(VbaFormat, NumbersDatesNullAndNoFormat) {
  const Variant d(MakeDate({2007, 3, 5, 14, 7, 9}));
  const Case cases[] = {
      {Variant(1.5), "0.00", "1.50"},
      {Variant(1.005), "0.0", "1.0"},
      {Variant(2.5), "0", "3"},  // half away from zero, unlike Round
      {Variant(-2.5), "0", "-3"},
      {Variant(0.125), "0.00", "0.13"},
      {Variant(1.005), "0.00", "1.01"},  // read at 15 digits before rounding
      {Variant(99.96), "0.0", "100.0"},
      {Variant(0.0004), "0.00", "0.00"},
      {Variant(1e20), "0", "100000000000000000000"},
      {Variant(0.5), "#.##", ".5"},
      {Variant(5), "#.##", "5."},
      {Variant(1234), "00-00", "12-34"},
      {Variant(123456), "00-00", "1234-56"},
      {Variant(-3.14159), "0.00", "-3.14"},
      {Variant(-3), "0;(0)", "(3)"},
      {Variant(0), "0;(0);\"zero\"", "zero"},
      {Variant(12345.678), "0.00E+00", "1.23E+04"},
      {Variant(0.000123), "0.0E-0", "1.2E-4"},
      {Variant(9.99), "0.0E+0", "1.0E+1"},
      {Variant(7), "\"N\"\\:0", "N:7"},
      {d, "dd.mm.yyyy", "05.03.2007"},
      {d, "DD|MM|YYYY", "05|03|2007"},  // letters are case-insensitive
      {d, "d/m/yy", "5.3.07"},          // "/" is the date separator
      {d, "hh:mm:ss", "14:07:09"},      // "mm" after an hour is minutes
      {d, "h:n", "14:7"},
      {d, "mm:ss", "07:09"},  // "mm" before seconds is minutes
      {d, "hh AM/PM", "02 PM"},
      {d, "dddd, d mmmm", "понедельник, 5 Март"},
      {d, "ddd mmm", "Пн мар"},
      {d, "q y w ww", "1 64 2 10"},
      {d, "\\d\\a\\y d", "day 5"},
      {Variant(39083.0), "dd.mm.yyyy", "01.01.2007"},  // a number is read as a date
      {Variant("31.12.2006"), "yyyy", "2006"},
      {Variant(OleDate{39083.75}), "General Date", "01.01.2007 18:00:00"},
      {Variant(OleDate{39083.5}), "0.00", "39083.50"},  // a date under a number pattern
      {Variant::Null(), "0.00", ""},
      {Variant(), "0.00", ""},
      {Variant(2.5), nullptr, "2.5"},
      {Variant(OleDate{39083.0}), nullptr, "01.01.2007"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(c.format ? Format(c.value, c.format) : Format(c.value), c.expected)
        << c.value.Describe() << " " << (c.format ? c.format : "(no format)");
}

}  // namespace
}  // namespace qv
