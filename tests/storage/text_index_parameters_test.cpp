// The text index's parameters in its chain of data pages: the defaults,
// round trips, units that never straddle two pages, and broken chains.

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "memory_index_page_file.h"
#include "storage/byte_image.h"
#include "storage/index_file_header.h"
#include "storage/index_key.h"
#include "storage/storage_errors.h"
#include "storage/text_index_parameters.h"

namespace telvora::storage {
namespace {

using testing::TMemoryIndexPageFile;

TPageFormat TextFormat() {
  TPageFormat format;
  format.slot = kTextIndexSlot;
  format.key_length = kTextKeyLength;
  format.unique = false;
  format.compression = 3;
  return format;
}

class TextIndexParametersTest : public ::testing::Test {
 protected:
  // Writes everything out and forgets the cache, so that reads come from
  // the page images.
  void Reload() {
    cache_.WriteModifiedPages();
    cache_.Drop();
  }

  TMemoryIndexPageFile file_;
  TPageStack spares_;
  TIndexPageCache cache_{file_, spares_, kTextIndexSlot, TextFormat(), 16384};
};

TEST_F(TextIndexParametersTest, DefaultsHoldTheListedWordsAndCharacters) {
  const TTextIndexParameters defaults = TTextIndexParameters::Defaults();
  ASSERT_EQ(defaults.stop_words.size(), 22u);
  EXPECT_EQ(defaults.stop_words.front(), "A");
  EXPECT_EQ(defaults.stop_words.back(), "WILL");
  for (int c : std::initializer_list<int>{1, 32, '*', '+', ',', '-', '.', '/', ':', ';', '<', '=', '>', '\\', '`'}) {
    EXPECT_TRUE(InCharacterSet(defaults.separators, static_cast<std::uint8_t>(c))) << c;
  }
  for (int c : std::initializer_list<int>{0, 33, 'A', '?'}) {
    EXPECT_FALSE(InCharacterSet(defaults.separators, static_cast<std::uint8_t>(c))) << c;
  }
  for (int c : std::initializer_list<int>{'A', 'Z', 'a', 'z', '0', '9', '_', 128, 254}) {
    EXPECT_TRUE(InCharacterSet(defaults.word_characters, static_cast<std::uint8_t>(c))) << c;
  }
  for (int c : std::initializer_list<int>{255, ' ', '-', 0}) {
    EXPECT_FALSE(InCharacterSet(defaults.word_characters, static_cast<std::uint8_t>(c))) << c;
  }
}

TEST_F(TextIndexParametersTest, NothingStoredReadsAsNone) {
  EXPECT_FALSE(ReadTextIndexParameters(cache_).has_value());
}

TEST_F(TextIndexParametersTest, DefaultsRoundTripInOneDataPage) {
  const TTextIndexParameters defaults = TTextIndexParameters::Defaults();
  WriteTextIndexParameters(cache_, defaults);
  const std::int32_t first = file_.TextDataPage();
  ASSERT_NE(first, 0);
  Reload();
  EXPECT_EQ(ReadTextIndexParameters(cache_), defaults);
  const auto& image = file_.pages[first];
  EXPECT_EQ(image[kPageKindOffset], static_cast<std::uint8_t>(PageKind::Data));
  EXPECT_EQ(LoadLittle<std::int32_t>(image, kPageRightOffset), 0);
  // The stream: count 22, then "A" as length 1 and its byte.
  const std::span<const std::uint8_t> data = std::span(image).subspan(kPageHeaderSize);
  EXPECT_EQ(LoadLittle<std::uint32_t>(data, 0), 22u);
  EXPECT_EQ(LoadLittle<std::uint32_t>(data, 4), 1u);
  EXPECT_EQ(data[8], 'A');
}

TEST_F(TextIndexParametersTest, AUnitThatWouldPassTheDataAreaStartsTheNextPage) {
  TTextIndexParameters parameters = TTextIndexParameters::Defaults();
  // Count (4) + length (4) + 4,075 bytes fill the first data area exactly;
  // the next length word opens page 2, and the 4,083-byte word that
  // follows does not fit after it, so it fills page 3 alone.
  parameters.stop_words = {std::string(4075, 'X'), std::string(4083, 'Y'), "Z"};
  WriteTextIndexParameters(cache_, parameters);
  Reload();
  const std::int32_t first = file_.TextDataPage();
  const auto& page1 = file_.pages[first];
  const std::int32_t second = LoadLittle<std::int32_t>(page1, kPageRightOffset);
  ASSERT_NE(second, 0);
  const auto& page2 = file_.pages[second];
  EXPECT_EQ(page1[kIndexPageSize - 1], 'X');
  EXPECT_EQ(LoadLittle<std::uint32_t>(page2, kPageHeaderSize), 4083u);
  EXPECT_EQ(page2[kPageHeaderSize + 4], 0) << "the word does not start after its length";
  const std::int32_t third = LoadLittle<std::int32_t>(page2, kPageRightOffset);
  ASSERT_NE(third, 0);
  EXPECT_EQ(LoadLittle<std::int32_t>(file_.pages[third], kPageLeftOffset), second);
  EXPECT_EQ(file_.pages[third][kPageHeaderSize], 'Y');
  EXPECT_EQ(ReadTextIndexParameters(cache_), parameters);
  // Storing fewer words again reuses the chain from its first page.
  const std::int32_t end = file_.header().NextPageNumber();
  WriteTextIndexParameters(cache_, TTextIndexParameters::Defaults());
  EXPECT_EQ(file_.header().NextPageNumber(), end);
  Reload();
  EXPECT_EQ(ReadTextIndexParameters(cache_), TTextIndexParameters::Defaults());
}

TEST_F(TextIndexParametersTest, ABrokenChainIsCorrupt) {
  TTextIndexParameters parameters = TTextIndexParameters::Defaults();
  parameters.stop_words = {std::string(4075, 'X'), "AFTER"};
  WriteTextIndexParameters(cache_, parameters);
  Reload();
  // Cut the chain after the first page.
  StoreLittle<std::int32_t>(file_.pages[file_.TextDataPage()], kPageRightOffset, 0);
  try {
    ReadTextIndexParameters(cache_);
    FAIL() << "read past the chain";
  } catch (const EVoraEngineError& error) {
    EXPECT_EQ(error.EngineCode, VORA_INDEXCORRUPT);
  }
}

TEST_F(TextIndexParametersTest, AChainThatRunsInACircleIsCorrupt) {
  TTextIndexParameters parameters = TTextIndexParameters::Defaults();
  parameters.stop_words = {std::string(4075, 'X')};
  WriteTextIndexParameters(cache_, parameters);
  Reload();
  // A count of stop words that the chain cannot hold, and a chain that
  // leads back to its first page.
  const std::int32_t first = file_.TextDataPage();
  StoreLittle<std::uint32_t>(file_.pages[first], kPageHeaderSize, 0xFFFFFFFF);
  const std::int32_t second = LoadLittle<std::int32_t>(file_.pages[first], kPageRightOffset);
  StoreLittle<std::int32_t>(file_.pages[second], kPageRightOffset, first);
  std::fill(file_.pages[first].begin() + kPageHeaderSize + 4, file_.pages[first].end(), 0);
  try {
    ReadTextIndexParameters(cache_);
    FAIL() << "read without end";
  } catch (const EVoraEngineError& error) {
    EXPECT_EQ(error.EngineCode, VORA_INDEXCORRUPT);
  }
}

}  // namespace
}  // namespace telvora::storage
