#include "storage/scrambler.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "storage/field_descriptor.h"

namespace telvora::storage {
namespace {

std::vector<std::uint8_t> Pattern(std::size_t size) {
  std::vector<std::uint8_t> bytes(size);
  std::uint32_t state = 12345;
  for (auto& b : bytes) {
    state = state * 1103515245u + 12345u;
    b = static_cast<std::uint8_t>(state >> 16);
  }
  return bytes;
}

TEST(ScramblerTest, EachByteIsXoredWithBothKeyBytesWhichThenMoveApart) {
  std::vector<std::uint8_t> image = {0x00, 0x00, 0xFF, 0x41};
  const ScrambleKey key{0x10, 0x01};
  Scramble(image, key);
  // a, b = 10,01 -> 11,00 -> 12,FF -> 13,FE
  const std::vector<std::uint8_t> expected = {0x00 ^ 0x10 ^ 0x01, 0x00 ^ 0x11 ^ 0x00, 0xFF ^ 0x12 ^ 0xFF,
                                              0x41 ^ 0x13 ^ 0xFE};
  EXPECT_EQ(image, expected);
}

TEST(ScramblerTest, KeyBytesWrapModulo256) {
  std::vector<std::uint8_t> image(3, 0);
  Scramble(image, ScrambleKey{0xFF, 0x00});
  // a: FF, 00, 01; b: 00, FF, FE
  EXPECT_EQ(image, (std::vector<std::uint8_t>{0xFF, 0xFF, 0xFF}));
}

TEST(ScramblerTest, UndoesItselfForBothKeys) {
  for (const ScrambleKey key : {kDataKey, kTextKey}) {
    for (const std::size_t size : {1u, 127u, 4096u, 70000u}) {
      const auto original = Pattern(size);
      auto image = original;
      Scramble(image, key);
      EXPECT_NE(image, original) << size;
      Scramble(image, key);
      EXPECT_EQ(image, original) << size;
    }
  }
}

TEST(ScramblerTest, LengthsWithZeroLow16BitsStayPlain) {
  for (const std::size_t size : {0u, 65536u, 131072u}) {
    const auto original = Pattern(size);
    auto image = original;
    Scramble(image, kDataKey);
    EXPECT_EQ(image, original) << size;
  }
}

TEST(ScramblerTest, DescriptorBlocksOf256FieldsArePlainAndOf255Or257Scrambled) {
  const struct {
    std::size_t fields;
    bool scrambled;
  } cases[] = {{255, true}, {256, false}, {257, true}, {512, false}, {1024, false}, {1023, true}};
  for (const auto& c : cases) {
    const auto original = Pattern(c.fields * kFieldDescriptorSize);
    auto image = original;
    Scramble(image, kDataKey);
    EXPECT_EQ(image != original, c.scrambled) << c.fields;
    Scramble(image, kDataKey);
    EXPECT_EQ(image, original) << c.fields;
  }
}

}  // namespace
}  // namespace telvora::storage
