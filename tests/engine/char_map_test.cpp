#include "engine/char_map.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <thread>
#include <vector>

#include "cp1256_text.h"
#include "engine/language_char_maps_list.h"
#include "engine/locale_collation.h"

namespace telvora::engine {
namespace {

using testing::Cp1256Byte;

constexpr Locale kAnsi{0, 0};
constexpr Locale kFarsi{0x0429, 0};
constexpr Locale kGermanPhoneBook{0x0407, 1};

CharMap Identity() {
  CharMap identity;
  std::iota(identity.begin(), identity.end(), std::uint8_t{0});
  return identity;
}

TEST(CharMapTest, ByteOrderIsTheIdentity) {
  EXPECT_EQ(BuildCharMap(kAnsi), Identity());
  EXPECT_EQ(BuildCharMap(Locale{0, 5}), Identity());
}

TEST(CharMapTest, LocaleMapsArePermutationsInTheLocalesOrder) {
  for (const Locale& locale : {kFarsi, kGermanPhoneBook, Locale{0x0409, 0}}) {
    SCOPED_TRACE(locale.language_id);
    const CharMap map = BuildCharMap(locale);
    CharMap sorted = map;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted, Identity());
    // Each neighbour collates after the one before it; bytes that collate
    // alike follow each other in byte order.
    for (int p = 0; p + 1 < kCharMapSize; ++p) {
      const int order =
          CompareCharacters(locale, static_cast<char>(map[p]), static_cast<char>(map[p + 1]));
      EXPECT_LE(order, 0) << "position " << p;
      if (order == 0) {
        EXPECT_LT(map[p], map[p + 1]) << "position " << p;
      }
    }
  }
}

TEST(CharMapTest, FarsiMapOrdersThePersianAlphabet) {
  const char* const alphabet[] = {"ا", "ب", "پ", "ت", "ث", "ج", "چ", "ح", "خ", "د", "ذ",
                                  "ر", "ز", "ژ", "س", "ش", "ص", "ض", "ط", "ظ", "ع", "غ",
                                  "ف", "ق", "ک", "گ", "ل", "م", "ن", "و", "ه", "ی"};
  const CharMapPositions positions = PositionsOf(BuildCharMap(kFarsi));
  for (std::size_t i = 0; i + 1 < std::size(alphabet); ++i) {
    EXPECT_LT(positions[Cp1256Byte(alphabet[i])], positions[Cp1256Byte(alphabet[i + 1])])
        << alphabet[i] << " before " << alphabet[i + 1];
  }
  // Letters collate after digits, digits after the ignorable bytes.
  EXPECT_LT(positions['9'], positions[Cp1256Byte("ا")]);
  EXPECT_LT(positions[Cp1256Byte("\u0640")], positions['0']);
}

TEST(CharMapTest, PositionsInvertTheMap) {
  const CharMap map = BuildCharMap(kFarsi);
  const CharMapPositions positions = PositionsOf(map);
  for (int p = 0; p < kCharMapSize; ++p) EXPECT_EQ(positions[map[p]], p);
}

TEST(LanguageCharMapsListTest, BuildsEachMapOnceAndCopiesItOut) {
  TLanguageCharMapsList list;
  const CharMap farsi = list.Get(kFarsi);
  EXPECT_EQ(farsi, BuildCharMap(kFarsi));
  EXPECT_EQ(list.Count(), 1u);
  EXPECT_EQ(list.Get(kFarsi), farsi);
  EXPECT_EQ(list.Count(), 1u);
  EXPECT_EQ(list.Get(kAnsi), Identity());
  EXPECT_EQ(list.Get(kGermanPhoneBook), BuildCharMap(kGermanPhoneBook));
  EXPECT_EQ(list.Count(), 3u);
  // A sort id makes a locale of its own.
  EXPECT_EQ(list.Get(Locale{0x0407, 0}), BuildCharMap(Locale{0x0407, 0}));
  EXPECT_EQ(list.Count(), 4u);
}

TEST(LanguageCharMapsListTest, ThreadsAskingTogetherGetEqualMapsBuiltOnce) {
  TLanguageCharMapsList list;
  constexpr int kThreads = 6;
  std::vector<CharMap> farsi(kThreads);
  std::vector<CharMap> german(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      farsi[t] = list.Get(kFarsi);
      german[t] = list.Get(kGermanPhoneBook);
    });
  }
  for (std::thread& thread : threads) thread.join();
  const CharMap expected_farsi = BuildCharMap(kFarsi);
  const CharMap expected_german = BuildCharMap(kGermanPhoneBook);
  for (int t = 0; t < kThreads; ++t) {
    EXPECT_EQ(farsi[t], expected_farsi);
    EXPECT_EQ(german[t], expected_german);
  }
  EXPECT_EQ(list.Count(), 2u);
}

TEST(LanguageCharMapsListTest, AFullListStillAnswersWithoutKeeping) {
  TLanguageCharMapsList list;
  // Byte-order locales are cheap to build and each sort id is a key.
  for (std::size_t sort = 0; sort < TLanguageCharMapsList::kCapacity; ++sort) {
    list.Get(Locale{0, static_cast<std::uint16_t>(sort)});
  }
  EXPECT_EQ(list.Count(), TLanguageCharMapsList::kCapacity);
  EXPECT_EQ(list.Get(kFarsi), BuildCharMap(kFarsi));
  EXPECT_EQ(list.Count(), TLanguageCharMapsList::kCapacity);
  EXPECT_EQ(list.Get(Locale{0, 7}), Identity());
}

TEST(LanguageCharMapsListTest, TheProcessHasOneList) {
  EXPECT_EQ(&TLanguageCharMapsList::Instance(), &TLanguageCharMapsList::Instance());
  EXPECT_EQ(TLanguageCharMapsList::Instance().Get(kFarsi), BuildCharMap(kFarsi));
}

}  // namespace
}  // namespace telvora::engine
