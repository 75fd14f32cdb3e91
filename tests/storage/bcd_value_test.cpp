// The 34-byte BCD record and its fixed-point (ten-thousandths) form, which
// index keys and value checks use.

#include "storage/bcd_value.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

namespace telvora::storage {
namespace {

BcdRecord Record(std::uint8_t precision, std::uint8_t sign_places, std::vector<std::uint8_t> digits) {
  BcdRecord bcd{};
  bcd[0] = precision;
  bcd[1] = sign_places;
  for (std::size_t i = 0; i < digits.size(); ++i) bcd[2 + i] = digits[i];
  return bcd;
}

TEST(BcdValueTest, TextBecomesPackedDigitsWithTheFieldsPlaces) {
  const struct {
    const char* text;
    int places;
    BcdRecord expected;
    const char* back;
  } cases[] = {
      {"-12.345", 2, Record(4, 0x82, {0x12, 0x35}), "-12.35"},
      {"12.344", 2, Record(4, 0x02, {0x12, 0x34}), "12.34"},
      {"0", 0, Record(1, 0x00, {0x00}), "0"},
      {"-0.001", 2, Record(3, 0x02, {0x00, 0x00}), "0.00"},
      {"0.5", 0, Record(1, 0x00, {0x10}), "1"},
      {"-0.5", 0, Record(1, 0x80, {0x10}), "-1"},
      {"99.95", 1, Record(4, 0x01, {0x10, 0x00}), "100.0"},
      {"007.1", 3, Record(4, 0x03, {0x71, 0x00}), "7.100"},
      {" +1e3 ", 0, Record(4, 0x00, {0x10, 0x00}), "1000"},
      {".25", 2, Record(3, 0x02, {0x02, 0x50}), "0.25"},
  };
  for (const auto& c : cases) {
    const auto bcd = BcdFromText(c.text, c.places);
    ASSERT_TRUE(bcd) << c.text;
    EXPECT_EQ(*bcd, c.expected) << c.text;
    EXPECT_EQ(TextFromBcd(*bcd), c.back) << c.text;
  }
}

TEST(BcdValueTest, ScaledValuesRoundTripThroughTheRecord) {
  const std::int64_t values[] = {0, 1, -1, 123456789, -50000, std::numeric_limits<std::int64_t>::max(),
                                 std::numeric_limits<std::int64_t>::min()};
  for (const std::int64_t v : values) {
    const auto bcd = BcdFromScaled(v, 4);
    ASSERT_TRUE(bcd) << v;
    EXPECT_EQ(ScaledFromBcd(*bcd), v) << v;
  }
  EXPECT_EQ(*BcdFromScaled(123456789, 4), Record(9, 0x04, {0x12, 0x34, 0x56, 0x78, 0x90}));
  EXPECT_EQ(TextFromBcd(*BcdFromScaled(123456789, 4)), "12345.6789");
}

TEST(BcdValueTest, FewerPlacesRoundHalfAwayFromZero) {
  EXPECT_EQ(TextFromBcd(*BcdFromScaled(123450000, 2)), "12345.00");
  EXPECT_EQ(TextFromBcd(*BcdFromScaled(125, 2)), "0.01");     // 0.0125
  EXPECT_EQ(TextFromBcd(*BcdFromScaled(-125, 2)), "-0.01");
  EXPECT_EQ(TextFromBcd(*BcdFromScaled(150, 2)), "0.02");     // 0.0150
  EXPECT_EQ(TextFromBcd(*BcdFromScaled(-5000, 0)), "-1");     // -0.5
  EXPECT_EQ(TextFromBcd(*BcdFromScaled(12, 6)), "0.001200");
}

TEST(BcdValueTest, TextsConvertToTenThousandths) {
  const struct {
    const char* text;
    std::optional<std::int64_t> scaled;
  } cases[] = {
      {"1", 10000},
      {"+5", 50000},
      {"5.", 50000},
      {".5", 5000},
      {"0.00005", 1},
      {"-0.00005", -1},
      {"0.00004", 0},
      {"1e3", 10000000},
      {"1.5E-2", 150},
      {"922337203685477.5807", std::numeric_limits<std::int64_t>::max()},
      {"922337203685477.5808", std::nullopt},
      {"-922337203685477.5808", std::numeric_limits<std::int64_t>::min()},
      {"-922337203685477.5809", std::nullopt},
      {"abc", std::nullopt},
      {"1.2.3", std::nullopt},
      {"", std::nullopt},
      {"-", std::nullopt},
      {"1e", std::nullopt},
      {"1 000", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(ScaledFromText(c.text), c.scaled) << c.text;
}

TEST(BcdValueTest, RecordsWithMorePlacesKeyRoundedAndMalformedOnesHaveNoValue) {
  // 1.000050 with six places keys as 1.0001 (half away from zero).
  EXPECT_EQ(ScaledFromBcd(Record(7, 0x06, {0x10, 0x00, 0x05, 0x00})), 10001);
  EXPECT_EQ(ScaledFromBcd(Record(7, 0x86, {0x10, 0x00, 0x05, 0x00})), -10001);
  // Leading zero digits, as other writers may store them.
  EXPECT_EQ(ScaledFromBcd(Record(6, 0x02, {0x00, 0x01, 0x25})), 12500);
  EXPECT_EQ(ScaledFromBcd(Record(0, 0x00, {})), 0);
  EXPECT_EQ(ScaledFromBcd(Record(65, 0x00, {})), std::nullopt);
  EXPECT_EQ(ScaledFromBcd(Record(2, 0x03, {0x12})), std::nullopt);
  EXPECT_EQ(ScaledFromBcd(Record(2, 0x00, {0x1A})), std::nullopt);
  EXPECT_EQ(TextFromBcd(Record(2, 0x00, {0xA1})), std::nullopt);
  // 64 digits are a valid record but no 64-bit key.
  BcdRecord wide{};
  wide[0] = 64;
  for (int i = 0; i < 32; ++i) wide[2 + i] = 0x99;
  EXPECT_EQ(ScaledFromBcd(wide), std::nullopt);
  EXPECT_EQ(TextFromBcd(wide), std::string(64, '9'));
}

TEST(BcdValueTest, ValuesBeyond64DigitsOrPlacesAreRefused) {
  EXPECT_FALSE(BcdFromText(std::string(65, '9'), 0));
  EXPECT_TRUE(BcdFromText(std::string(64, '9'), 0));
  EXPECT_FALSE(BcdFromText("1", 64));
  EXPECT_FALSE(BcdFromScaled(1, -1));
}

}  // namespace
}  // namespace telvora::storage
