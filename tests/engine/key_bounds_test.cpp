#include "engine/key_bounds.h"

#include <gtest/gtest.h>

#include <vector>

#include "cp1256_text.h"
#include "engine/locale_collation.h"

namespace telvora::engine {
namespace {

using testing::Cp1256Byte;
using Key = std::vector<std::uint8_t>;

constexpr Locale kAnsi{0, 0};
constexpr Locale kFarsi{0x0429, 0};

class KeyBoundsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ansi_map_ = BuildCharMap(kAnsi);
    farsi_map_ = BuildCharMap(kFarsi);
  }
  static std::uint8_t Lowest() { return farsi_map_[0]; }
  static std::uint8_t Highest() { return farsi_map_[kCharMapSize - 1]; }

  static CharMap ansi_map_;
  static CharMap farsi_map_;
};

CharMap KeyBoundsTest::ansi_map_;
CharMap KeyBoundsTest::farsi_map_;

TEST_F(KeyBoundsTest, LowestAndHighestValueOfAPosition) {
  struct Case {
    const char* what;
    Locale locale;
    bool string_field;
    std::uint8_t lowest;
    std::uint8_t highest;
  };
  const Case cases[] = {
      {"string under Farsi", kFarsi, true, farsi_map_[0], farsi_map_[255]},
      {"number under Farsi", kFarsi, false, 0x00, 0xFF},
      {"string under ANSI", kAnsi, true, 0x00, 0xFF},
      {"number under ANSI", kAnsi, false, 0x00, 0xFF},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const CharMap& map = c.locale.byte_order() ? ansi_map_ : farsi_map_;
    EXPECT_EQ(LowestKeyByte(c.locale, map, c.string_field), c.lowest);
    EXPECT_EQ(HighestKeyByte(c.locale, map, c.string_field), c.highest);
  }
  // The Farsi ends are not the byte ends: letters sort above 0xFF's
  // character, and the lowest is an ignorable byte.
  EXPECT_EQ(CompareCharacters(kFarsi, static_cast<char>(Lowest()), '\0'), 0);
  EXPECT_GT(CompareCharacters(kFarsi, static_cast<char>(Highest()), Cp1256Byte("ی")), 0);
}

struct StepCase {
  const char* what;
  Key key;
  Key expected;
  bool found;
};

TEST_F(KeyBoundsTest, ByteKeysStepWithCarryAndBorrow) {
  const StepCase successors[] = {
      {"last byte moves", {0x01, 0x02}, {0x01, 0x03}, true},
      {"carry", {0x01, 0xFF}, {0x02, 0x00}, true},
      {"carry over two", {0x01, 0xFF, 0xFF}, {0x02, 0x00, 0x00}, true},
      {"runs out", {0xFF, 0xFF}, {0xFF, 0xFF}, false},
      {"empty key runs out", {}, {}, false},
  };
  for (const StepCase& c : successors) {
    SCOPED_TRACE(c.what);
    Key key = c.key;
    EXPECT_EQ(ByteKeySuccessor(key), c.found);
    EXPECT_EQ(key, c.expected);
    // The ANSI string form is the same arithmetic.
    key = c.key;
    EXPECT_EQ(StringKeySuccessor(kAnsi, ansi_map_, key), c.found);
    EXPECT_EQ(key, c.expected);
  }
  const StepCase predecessors[] = {
      {"last byte moves", {0x01, 0x02}, {0x01, 0x01}, true},
      {"borrow", {0x01, 0x00}, {0x00, 0xFF}, true},
      {"borrow over two", {0x01, 0x00, 0x00}, {0x00, 0xFF, 0xFF}, true},
      {"runs out", {0x00, 0x00}, {0x00, 0x00}, false},
  };
  for (const StepCase& c : predecessors) {
    SCOPED_TRACE(c.what);
    Key key = c.key;
    EXPECT_EQ(ByteKeyPredecessor(key), c.found);
    EXPECT_EQ(key, c.expected);
    key = c.key;
    EXPECT_EQ(StringKeyPredecessor(kAnsi, ansi_map_, key), c.found);
    EXPECT_EQ(key, c.expected);
  }
}

TEST_F(KeyBoundsTest, FarsiNeighboursOfEveryCharacterAreTheNextDistinctOnes) {
  for (int c = 0; c < kCharMapSize; ++c) {
    const auto byte = static_cast<std::uint8_t>(c);
    Key next = {byte};
    const bool has_next = StringKeySuccessor(kFarsi, farsi_map_, next);
    Key previous = {byte};
    const bool has_previous = StringKeyPredecessor(kFarsi, farsi_map_, previous);
    int above = 0;
    int below = 0;
    for (int other = 0; other < kCharMapSize; ++other) {
      const int order = CompareCharacters(kFarsi, static_cast<char>(other), static_cast<char>(c));
      if (order > 0) ++above;
      if (order < 0) ++below;
      // No character lies strictly between a character and its neighbours.
      if (has_next && order > 0) {
        EXPECT_GE(CompareCharacters(kFarsi, static_cast<char>(other), static_cast<char>(next[0])),
                  0);
      }
      if (has_previous && order < 0) {
        EXPECT_LE(
            CompareCharacters(kFarsi, static_cast<char>(other), static_cast<char>(previous[0])),
            0);
      }
    }
    SCOPED_TRACE(c);
    EXPECT_EQ(has_next, above > 0);
    EXPECT_EQ(has_previous, below > 0);
    if (has_next) {
      EXPECT_GT(CompareCharacters(kFarsi, static_cast<char>(next[0]), static_cast<char>(c)), 0);
    } else {
      EXPECT_EQ(next[0], Highest());
    }
    if (has_previous) {
      EXPECT_LT(CompareCharacters(kFarsi, static_cast<char>(previous[0]), static_cast<char>(c)),
                0);
    } else {
      EXPECT_EQ(previous[0], Lowest());
    }
  }
}

TEST_F(KeyBoundsTest, FarsiKeysStepWithCarryAndBorrow) {
  const std::uint8_t alef = Cp1256Byte("ا");
  const std::uint8_t beh = Cp1256Byte("ب");
  const std::uint8_t peh = Cp1256Byte("پ");
  const std::uint8_t fatha = Cp1256Byte("\u064E");
  const StepCase successors[] = {
      {"beh is followed by peh", {alef, beh}, {alef, peh}, true},
      {"carry", {beh, Highest()}, {peh, Lowest()}, true},
      {"runs out to all-highest", {Highest(), Highest()}, {Highest(), Highest()}, false},
  };
  for (const StepCase& c : successors) {
    SCOPED_TRACE(c.what);
    Key key = c.key;
    EXPECT_EQ(StringKeySuccessor(kFarsi, farsi_map_, key), c.found);
    EXPECT_EQ(key, c.expected);
  }
  // A vowel mark is as low as the zero byte: both step to the same letter.
  Key after_mark = {alef, fatha};
  Key after_zero = {alef, 0x00};
  EXPECT_TRUE(StringKeySuccessor(kFarsi, farsi_map_, after_mark));
  EXPECT_TRUE(StringKeySuccessor(kFarsi, farsi_map_, after_zero));
  EXPECT_EQ(after_mark, after_zero);
  EXPECT_GT(CompareCharacters(kFarsi, static_cast<char>(after_mark[1]), static_cast<char>(fatha)),
            0);

  Key previous = {peh, Lowest()};
  EXPECT_TRUE(StringKeyPredecessor(kFarsi, farsi_map_, previous));
  EXPECT_EQ(previous, (Key{beh, Highest()}));
  Key lowest = {Lowest(), Lowest()};
  EXPECT_FALSE(StringKeyPredecessor(kFarsi, farsi_map_, lowest));
  EXPECT_EQ(lowest, (Key{Lowest(), Lowest()}));
  Key runs_out = {Lowest(), Cp1256Byte("\u0640")};  // tatweel is as low as the zero byte
  EXPECT_FALSE(StringKeyPredecessor(kFarsi, farsi_map_, runs_out));
  EXPECT_EQ(runs_out, (Key{Lowest(), Lowest()}));
}

}  // namespace
}  // namespace telvora::engine
