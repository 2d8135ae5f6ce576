#include <gtest/gtest.h>

#include <functional>

#include "DaoTestSupport.h"

namespace qv::dao::testing {
namespace {

using jet::JetType;

class EditBufferTest : public DaoTest {
 protected:
  void SetUp() override {
    MakeTable(*db_, "Notes",
              {{"ID", JetType::kLong, 0, true},
               {"Title", JetType::kText, 5},
               {"Amount", JetType::kDouble},
               {"Kind", JetType::kText, 10, false, "\"plain\""}},
              {{"ID", "ID", true}});
  }
};

// A Text field's size counts UTF-16 units, not bytes: a Cyrillic text of
// twice as many bytes as the size fits, one unit more does not. A write
// that fails leaves the field as it was and the caller's value whole.
TEST_F(EditBufferTest, FieldSizeCountsUnitsAndAFailedWriteChangesNothing) {
  auto rs = db_->OpenTable("Notes");
  const struct {
    const char* field;
    Variant value;
    int32_t error;     // 0: taken
    const char* seen;  // the field afterwards
  } cases[] = {
      {"Title", Variant("абвгд"), 0, "абвгд"},     // 10 bytes, 5 units
      {"Title", Variant("абвгде"), 3163, "Null"},  // 6 units
      {"Title", Variant("😀😀😀"), 3163, "Null"},     // 12 bytes, 6 units
      {"Title", Variant(12345), 0, "12345"},       // converted
      {"Amount", Variant("2.5"), 0, "2.5"},        // converted
      {"Amount", Variant("много"), 3421, "Null"},  // no number
      {"Amount", Variant(int32_t{7}), 0, "7"},     // a Long into a Double
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.field << " " << c.value.Describe());
    rs->AddNew();
    Variant value = c.value;
    if (c.error)
      ExpectError(c.error, "", [&] { rs->SetField(c.field, std::move(value)); });
    else
      rs->SetField(c.field, std::move(value));
    EXPECT_EQ(Text(rs->FieldValue(c.field)), c.seen);
    if (c.error) {
      EXPECT_EQ(value.Describe(), c.value.Describe());
    }
    rs->CancelUpdate();
  }
}

// Rows added one after another through one recordset: a field set for one
// row shows its default again in the next AddNew and is stored as the
// default when left unset; an edited row reads back as written, and the
// cursor moves on from it.
TEST_F(EditBufferTest, EachAddNewStartsFromTheDefaults) {
  auto rs = db_->OpenTable("Notes");
  rs->SetIndex("ID");
  WriteRow(*rs, true,
           {{"ID", Variant(1)}, {"Title", Variant("one")}, {"Kind", Variant("special")}});
  rs->AddNew();
  EXPECT_EQ(RowText(*rs, {"Title", "Kind"}), "Null,plain");
  rs->SetField("ID", Variant(2));
  rs->Update();
  WriteRow(*rs, true, {{"ID", Variant(3)}});
  const Variant key[1] = {Variant(2)};
  rs->Seek("=", key);
  WriteRow(*rs, false, {{"Title", Variant("two")}});
  EXPECT_EQ(RowText(*rs, {"ID", "Title", "Kind"}), "2,two,plain");
  rs->MoveNext();
  EXPECT_EQ(RowText(*rs, {"ID"}), "3");
  EXPECT_EQ(TableText(*db_, "Notes", "", {"ID", "Title", "Kind"}),
            "1,one,special | 2,two,plain | 3,Null,plain");
}

}  // namespace
}  // namespace qv::dao::testing
