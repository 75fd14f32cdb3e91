// Record images of the every-type table: the 9-byte record header, the flag
// byte of each field and the value encodings.

#include "storage/record_image.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "sample_tables.h"
#include "storage/data_file_header.h"
#include "storage/date_time_values.h"

namespace telvora::storage {
namespace {

class RecordImageTest : public ::testing::Test {
 protected:
  RecordImageTest() {
    descriptors_ = testing::MakeDescriptors(testing::EveryTypeFields());
    const TDataFileHeader header = TDataFileHeader::Create(TDataFileCreation{}, descriptors_, "T");
    bytes_.assign(header.RecordSize(), 0);
  }

  TFieldLayout Field(int number) const { return TFieldLayout::Of(descriptors_[number - 1]); }
  TRecordImage Image() { return TRecordImage(bytes_); }
  // The flag byte and value bytes of a field, as they lie in the image.
  std::vector<std::uint8_t> Slot(int number) const {
    const TFieldLayout f = Field(number);
    return std::vector<std::uint8_t>(bytes_.begin() + f.offset, bytes_.begin() + f.offset + 1 + f.stored_length);
  }
  static std::vector<std::uint8_t> Expect(std::uint8_t flag, std::vector<std::uint8_t> value, std::size_t length) {
    value.resize(length, 0);
    value.insert(value.begin(), flag);
    return value;
  }

  std::vector<TFieldDescriptor> descriptors_;
  std::vector<std::uint8_t> bytes_;
};

constexpr int kName = 1, kBorn = 2, kPhoto = 3, kActive = 4, kSmall = 5, kCount = 6, kRatio = 7, kAmount = 8,
              kRaw = 9, kAt = 10, kStamp = 11, kFlags = 12, kBig = 14, kId = 15, kNotes = 17;

const CaseMapping kNoMapping = [](std::string_view, CharacterCase) -> std::string {
  ADD_FAILURE() << "case mapping called for a field without a character case";
  return {};
};

TEST_F(RecordImageTest, HeaderHoldsDeletedFlagRecordNumberAndRecordId) {
  TRecordImage image = Image();
  image.SetDeleted(true);
  image.SetRecordNumber(0x01020304);
  image.SetRecordId(-2);
  const std::vector<std::uint8_t> expected = {1, 0x04, 0x03, 0x02, 0x01, 0xFE, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(std::vector<std::uint8_t>(bytes_.begin(), bytes_.begin() + 9), expected);
  EXPECT_TRUE(image.Deleted());
  EXPECT_EQ(image.RecordNumber(), 0x01020304);
  EXPECT_EQ(image.RecordId(), -2);
}

TEST_F(RecordImageTest, StringsLoseTrailingBlanksAndEmptyOnesAreNull) {
  TRecordImage image = Image();
  const struct {
    const char* value;
    const char* stored;  // nullptr: null
  } cases[] = {
      {"abc", "abc"},
      {"abc   ", "abc"},
      {"  abc", "  abc"},
      {"", nullptr},
      {"     ", nullptr},
      {"abcdefghijklmnopqrstuvwxy", "abcdefghijklmnopqrst"},  // 20 characters kept
      {"abcdefghijklmnopqrs   x", "abcdefghijklmnopqrs"},   // cut to 21, then trimmed
  };
  for (const auto& c : cases) {
    image.SetString(Field(kName), "previous value", kNoMapping);
    image.SetString(Field(kName), c.value, kNoMapping);
    if (c.stored == nullptr) {
      EXPECT_TRUE(image.IsNull(Field(kName))) << c.value;
      EXPECT_EQ(Slot(kName), Expect(0, {}, 21)) << c.value;
      EXPECT_EQ(image.GetString(Field(kName)), "") << c.value;
    } else {
      const std::string stored = c.stored;
      EXPECT_EQ(Slot(kName), Expect(1, std::vector<std::uint8_t>(stored.begin(), stored.end()), 21)) << c.value;
      EXPECT_EQ(image.GetString(Field(kName)), stored) << c.value;
    }
  }
}

TEST_F(RecordImageTest, StringsTakeTheFieldsCharacterCase) {
  descriptors_[kName - 1].SetCase(CharacterCase::Upper);
  std::vector<CharacterCase> calls;
  const CaseMapping upper = [&calls](std::string_view text, CharacterCase target) {
    calls.push_back(target);
    std::string out(text);
    for (char& c : out) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
    return out;
  };
  TRecordImage image = Image();
  image.SetString(Field(kName), "Tehran  ", upper);
  EXPECT_EQ(image.GetString(Field(kName)), "TEHRAN");
  image.SetString(Field(kName), "   ", upper);
  EXPECT_TRUE(image.IsNull(Field(kName)));
  EXPECT_EQ(calls, std::vector<CharacterCase>{CharacterCase::Upper});
}

TEST_F(RecordImageTest, BooleanStoresAnyNonZeroValueAsOne) {
  TRecordImage image = Image();
  const struct {
    std::uint16_t written;
    std::uint8_t stored;
  } cases[] = {{0, 0}, {1, 1}, {5, 1}, {0xFFFF, 1}};
  for (const auto& c : cases) {
    image.SetBoolean(Field(kActive), c.written);
    EXPECT_EQ(Slot(kActive), Expect(1, {c.stored, 0}, 2)) << c.written;
    EXPECT_EQ(image.GetBoolean(Field(kActive)), c.stored == 1);
  }
}

TEST_F(RecordImageTest, NumbersAndDatesAreLittleEndianAfterTheFlag) {
  TRecordImage image = Image();
  image.SetDate(Field(kBorn), DayNumberFromDate(1899, 12, 30));
  EXPECT_EQ(Slot(kBorn), Expect(1, {0x5A, 0x95, 0x0A, 0x00}, 4));  // 693,594
  image.SetTime(Field(kAt), 37800000);
  EXPECT_EQ(Slot(kAt), Expect(1, {0x40, 0xC8, 0x40, 0x02}, 4));
  image.SetSmallInt(Field(kSmall), -2);
  EXPECT_EQ(Slot(kSmall), Expect(1, {0xFE, 0xFF}, 2));
  image.SetInteger(Field(kCount), 0x12345678);
  EXPECT_EQ(Slot(kCount), Expect(1, {0x78, 0x56, 0x34, 0x12}, 4));
  image.SetWord(Field(kFlags), 0xBEEF);
  EXPECT_EQ(Slot(kFlags), Expect(1, {0xEF, 0xBE}, 2));
  image.SetLargeInt(Field(kBig), -3);
  EXPECT_EQ(Slot(kBig), Expect(1, {0xFD, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, 8));
  image.SetFloat(Field(kRatio), 1.5);
  EXPECT_EQ(Slot(kRatio), Expect(1, {0, 0, 0, 0, 0, 0, 0xF8, 0x3F}, 8));

  EXPECT_EQ(image.GetDate(Field(kBorn)), 693594);
  EXPECT_EQ(image.GetTime(Field(kAt)), 37800000);
  EXPECT_EQ(image.GetSmallInt(Field(kSmall)), -2);
  EXPECT_EQ(image.GetInteger(Field(kCount)), 0x12345678);
  EXPECT_EQ(image.GetWord(Field(kFlags)), 0xBEEF);
  EXPECT_EQ(image.GetLargeInt(Field(kBig)), -3);
  EXPECT_EQ(image.GetFloat(Field(kRatio)), 1.5);
}

TEST_F(RecordImageTest, TimeStampsAreDayNumberTimesADayPlusMilliseconds) {
  TRecordImage image = Image();
  const double value = TimeStampFromDayAndMilliseconds(DayNumberFromDate(2024, 1, 1), 37800000);
  EXPECT_EQ(value, 738886.0 * 86400000.0 + 37800000.0);
  image.SetTimeStamp(Field(kStamp), value);
  double stored = 0;
  std::memcpy(&stored, bytes_.data() + Field(kStamp).offset + 1, 8);
  EXPECT_EQ(stored, value);
  EXPECT_EQ(image.GetTimeStamp(Field(kStamp)), value);
}

TEST_F(RecordImageTest, BcdValuesKeepTheirRecord) {
  TRecordImage image = Image();
  const BcdRecord amount = *BcdFromText("-1234.5", 2);
  image.SetBcd(Field(kAmount), amount);
  EXPECT_EQ(Slot(kAmount), Expect(1, std::vector<std::uint8_t>(amount.begin(), amount.end()), 34));
  EXPECT_EQ(TextFromBcd(image.GetBcd(Field(kAmount))), "-1234.50");
  EXPECT_EQ(ScaledFromBcd(image.GetBcd(Field(kAmount))), -12345000);
}

TEST_F(RecordImageTest, AutoIncrementFieldIsTheRecordIdAndNeverNull) {
  TRecordImage image = Image();
  image.SetInteger(Field(kId), 77);
  EXPECT_EQ(image.RecordId(), 77);
  EXPECT_EQ(bytes_[5], 77);
  EXPECT_FALSE(image.IsNull(Field(kId)));
  image.SetNull(Field(kId));
  EXPECT_EQ(image.GetInteger(Field(kId)), 77);
}

TEST_F(RecordImageTest, BlobFlagFollowsTheFirstBlockAndNullKeepsTheKey) {
  TRecordImage image = Image();
  image.SetBlobReference(Field(kNotes), 0, 9);
  EXPECT_EQ(Slot(kNotes), Expect(0, {0, 0, 0, 0, 9, 0, 0, 0}, 8));
  image.SetBlobReference(Field(kNotes), 12, 9);
  EXPECT_EQ(Slot(kNotes), Expect(1, {12, 0, 0, 0, 9, 0, 0, 0}, 8));
  EXPECT_EQ(image.GetBlobFirstBlock(Field(kNotes)), 12);
  EXPECT_EQ(image.GetBlobKey(Field(kNotes)), 9);
  image.SetNull(Field(kNotes));
  EXPECT_EQ(Slot(kNotes), Expect(0, {0, 0, 0, 0, 9, 0, 0, 0}, 8));
  EXPECT_EQ(Slot(kPhoto), Expect(0, {}, 8)) << "the neighbouring BLOB field is untouched";
}

TEST_F(RecordImageTest, NullClearsFlagAndEveryValueByte) {
  TRecordImage image = Image();
  image.SetFloat(Field(kRatio), -7.25);
  image.SetNull(Field(kRatio));
  EXPECT_TRUE(image.IsNull(Field(kRatio)));
  EXPECT_EQ(Slot(kRatio), Expect(0, {}, 8));
}

TEST_F(RecordImageTest, RawBytesAreZeroFilledOrCutToTheStoredLength) {
  TRecordImage image = Image();
  image.SetValueBytes(Field(kRaw), std::vector<std::uint8_t>(12, 0xAB));
  image.SetValueBytes(Field(kRaw), std::vector<std::uint8_t>{1, 2, 3});
  EXPECT_EQ(Slot(kRaw), Expect(1, {1, 2, 3}, 10));
  image.SetValueBytes(Field(kRaw), std::vector<std::uint8_t>(12, 0xAB));
  EXPECT_EQ(Slot(kRaw), Expect(1, std::vector<std::uint8_t>(10, 0xAB), 10));
  EXPECT_EQ(bytes_[Field(kRaw).offset + 11], 0) << "the next field's flag is untouched";
}

}  // namespace
}  // namespace telvora::storage
