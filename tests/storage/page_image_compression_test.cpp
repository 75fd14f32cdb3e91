// Page images: the 13-byte header, entry layouts of branches and of leaves
// under the four compressions with their d/t rules, round trips, capacities
// and the images refused as corrupt.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "storage/byte_image.h"
#include "storage/index_file_header.h"
#include "storage/page.h"
#include "storage/page_image.h"
#include "storage/storage_errors.h"

namespace telvora::storage {
namespace {

using Image = std::array<std::uint8_t, kIndexPageSize>;
using Key = std::vector<std::uint8_t>;

std::string Hex(const std::uint8_t* bytes, std::size_t n) {
  std::string text;
  for (std::size_t i = 0; i < n; ++i) {
    char part[4];
    std::snprintf(part, sizeof part, "%02X ", bytes[i]);
    text += part;
  }
  if (!text.empty()) text.pop_back();
  return text;
}

TPageFormat Format(std::size_t k, bool unique, std::uint8_t compression, int slot = 1, std::uint8_t attribute = 0) {
  TPageFormat format;
  format.slot = slot;
  format.key_length = k;
  format.unique = unique;
  format.compression = compression;
  format.attribute = attribute;
  return format;
}

TPage Leaf(const TPageFormat& format, const std::vector<Key>& keys) {
  TPage page;
  page.Reset(7, format);
  page.set_kind(PageKind::Leaf);
  for (std::size_t i = 0; i < keys.size(); ++i) {
    page.InsertEntry(static_cast<int>(i), keys[i].data(), static_cast<std::int32_t>(0x11 * (i + 1)), 1);
  }
  page.RecomputeCompression();
  return page;
}

// The page as a reader gets it from the file: packed into its image and
// unpacked again.
TPage ReadBack(const TPage& page) {
  Image image{};
  PackPage(page, image, "Pages");
  TPage back;
  back.Reset(7, page.format());
  UnpackPage(image, back, "Pages");
  return back;
}

struct LayoutCase {
  const char* name;
  std::size_t k;
  bool unique;
  std::uint8_t compression;
  std::vector<Key> keys;
  const char* entries;  // bytes after the header
};

const LayoutCase kLayoutCases[] = {
    {"none", 4, true, 0, {{0x41, 0x42, 0, 0}, {0x41, 0x43, 0, 0}},
     "41 42 00 00 11 00 00 00 41 43 00 00 22 00 00 00"},
    {"leading", 4, true, 1, {{0x41, 0x42, 0, 0}, {0x41, 0x43, 0, 0}},
     "00 41 42 00 00 11 00 00 00 01 43 00 00 22 00 00 00"},
    {"trailing", 4, true, 2, {{0x41, 0x42, 0, 0}, {0x41, 0x43, 0, 0}},
     "02 41 42 11 00 00 00 02 41 43 22 00 00 00"},
    {"both", 4, true, 3, {{0x41, 0x42, 0, 0}, {0x41, 0x43, 0, 0}},
     "00 02 41 42 11 00 00 00 01 02 43 22 00 00 00"},
    // Keys ending in a record id: t counts the zeros before it, and the
    // suffix is always stored.
    {"trailing_before_suffix", 8, false, 2, {{0x41, 0, 0, 0, 0x80, 0, 0, 0x01}},
     "03 41 80 00 00 01 11 00 00 00"},
    // Leading bytes reaching into the suffix (K - d < 5) leave no t.
    {"both_d_into_suffix", 8, false, 3,
     {{0x41, 0, 0, 0, 0x80, 0, 0, 0x01}, {0x41, 0, 0, 0, 0x80, 0, 0, 0x02}},
     "00 03 41 80 00 00 01 11 00 00 00 07 00 02 22 00 00 00"},
    {"both_d_exactly_before_suffix", 8, false, 3,
     {{0x41, 0, 0, 0, 0x80, 0, 0, 0x01}, {0x41, 0, 0, 0, 0x81, 0, 0, 0x01}},
     "00 03 41 80 00 00 01 11 00 00 00 04 00 81 00 00 01 22 00 00 00"},
    {"both_d_and_t_meet", 8, false, 3,
     {{0x41, 0x42, 0x01, 0, 0x80, 0, 0, 0x05}, {0x41, 0x42, 0, 0, 0x80, 0, 0, 0x06}},
     "00 01 41 42 01 80 00 00 05 11 00 00 00 02 02 80 00 00 06 22 00 00 00"},
};

class PageLayoutTest : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(PageLayoutTest, EntriesPackAsTheFormatSays) {
  const LayoutCase& c = GetParam();
  TPage page = Leaf(Format(c.k, c.unique, c.compression), c.keys);
  page.set_left(3);
  page.set_right(9);
  Image image{};
  PackPage(page, image, "Pages");
  const std::string expected = c.entries;
  const std::size_t length = (expected.size() + 1) / 3;
  EXPECT_EQ(Hex(image.data() + kPageHeaderSize, length), expected);
  EXPECT_EQ(image[kPageKindOffset], 2);
  EXPECT_EQ(LoadLittle<std::uint16_t>(image, kPageCountOffset), c.keys.size());
  EXPECT_EQ(LoadLittle<std::int32_t>(image, kPageLeftOffset), 3);
  EXPECT_EQ(LoadLittle<std::int32_t>(image, kPageRightOffset), 9);
  EXPECT_EQ(LoadLittle<std::uint16_t>(image, kPagePackedSizeOffset), c.compression == 0 ? 0u : length);
  if (c.compression != 0) {
    EXPECT_EQ(page.packed_size(), length);
  }
  for (std::size_t i = kPageHeaderSize + length; i < kIndexPageSize; ++i) ASSERT_EQ(image[i], 0) << i;
  // And back.
  TPage back;
  back.Reset(7, page.format());
  UnpackPage(image, back, "Pages");
  ASSERT_EQ(back.count(), static_cast<int>(c.keys.size()));
  for (int i = 0; i < back.count(); ++i) {
    EXPECT_EQ(Key(back.Key(i), back.Key(i) + c.k), c.keys[static_cast<std::size_t>(i)]);
    EXPECT_EQ(back.Pointer(i), 0x11 * (i + 1));
  }
}

INSTANTIATE_TEST_SUITE_P(Compressions, PageLayoutTest, ::testing::ValuesIn(kLayoutCases),
                         [](const ::testing::TestParamInfo<LayoutCase>& layout) { return std::string(layout.param.name); });

TEST(PageImageTest, BranchEntriesCarryChildAndCountUnlessLeftOut) {
  for (const bool counts : {true, false}) {
    TPage page;
    page.Reset(4, Format(2, true, 3, 1, counts ? 0 : 1));
    page.set_kind(PageKind::RootBranch);
    const std::uint8_t key[] = {0x01, 0x7F};
    page.InsertEntry(0, key, 12, 345);
    Image image{};
    PackPage(page, image, "Pages");
    EXPECT_EQ(Hex(image.data(), kPageHeaderSize), "00 01 00 00 00 00 00 00 00 00 00 00 00");
    EXPECT_EQ(Hex(image.data() + kPageHeaderSize, counts ? 10 : 6),
              counts ? "01 7F 0C 00 00 00 59 01 00 00" : "01 7F 0C 00 00 00");
    EXPECT_EQ(image[kPageHeaderSize + (counts ? 10 : 6)], 0);
  }
  // The text index never carries counts.
  EXPECT_FALSE(Format(68, false, 3, kTextIndexSlot).HasSubtreeCounts());
}

TEST(PageImageTest, RunsAreCappedAt254) {
  // K = 300: 280 bytes shared with the previous key, and a key of 290 zeros
  // at its end.
  Key first(300, 0x33);
  Key second = first;
  second[290] = 0x34;
  Key third(300, 0);
  third[0] = 0x35;
  for (std::uint8_t compression : {1, 2, 3}) {
    TPage page = Leaf(Format(300, true, compression), {first, second, third});
    if (compression != 2) {
      EXPECT_EQ(page.Leading(1), 254) << int{compression};
    }
    if (compression != 1) {
      EXPECT_EQ(page.Trailing(2), 254) << int{compression};
    }
    Image image{};
    PackPage(page, image, "Pages");
    TPage back;
    back.Reset(7, page.format());
    UnpackPage(image, back, "Pages");
    EXPECT_EQ(Key(back.Key(1), back.Key(1) + 300), second);
    EXPECT_EQ(Key(back.Key(2), back.Key(2) + 300), third);
    std::size_t sizes = 0;
    for (int i = 0; i < page.count(); ++i) sizes += page.DiskEntrySize(i);
    EXPECT_EQ(sizes, page.packed_size());
  }
}

TEST(PageImageTest, RandomLeavesRoundTripUnderEveryCompression) {
  std::mt19937 random(42);
  for (const std::size_t k : {2u, 5u, 9u, 61u, 300u, 526u}) {
    for (const bool unique : {true, false}) {
      if (!unique && k < 6) continue;
      for (std::uint8_t compression = 0; compression <= 3; ++compression) {
        std::vector<Key> keys;
        Key key(k, 0);
        for (int i = 0; i < 6; ++i) {
          // Change a random middle stretch and zero a random tail.
          const std::size_t from = random() % k;
          for (std::size_t j = from; j < std::min(k, from + 3); ++j) key[j] = static_cast<std::uint8_t>(random() % 3);
          const std::size_t zeros = random() % k;
          std::fill(key.end() - static_cast<std::ptrdiff_t>(zeros), key.end(), 0);
          keys.push_back(key);
        }
        std::sort(keys.begin(), keys.end());
        TPage page = Leaf(Format(k, unique, compression), keys);
        const TPage back = ReadBack(page);
        ASSERT_EQ(back.count(), page.count());
        for (int i = 0; i < page.count(); ++i) {
          ASSERT_EQ(Key(back.Key(i), back.Key(i) + k), keys[static_cast<std::size_t>(i)])
              << "K " << k << " compression " << int{compression} << " entry " << i;
          if (compression != 0 && !unique) {
            // The record-id suffix always travels whole.
            ASSERT_LE(page.Trailing(i), static_cast<int>(k) - 4 - page.Leading(i) > 0
                                            ? static_cast<int>(k) - 4 - page.Leading(i) : 0);
          }
        }
      }
    }
  }
}

// Inserting or removing one entry works out only its neighbours' d and t
// again; the page must end up exactly as a full recount leaves it, and a
// page read back from its image must carry the same counts and size.
TEST(PageImageTest, SingleInsertsAndRemovalsKeepTheCountsOfAFullRecount) {
  std::mt19937 random(7);
  for (const std::size_t k : {5u, 9u, 61u}) {
    for (std::uint8_t compression = 0; compression <= 3; ++compression) {
      SCOPED_TRACE("K " + std::to_string(k) + " compression " + std::to_string(compression));
      TPage page = Leaf(Format(k, true, compression), {});
      std::vector<Key> keys;
      for (int step = 0; step < 400; ++step) {
        if (keys.empty() || random() % 3 != 0) {
          Key key(k, 0);
          // Few distinct bytes and zero tails make long shared runs.
          for (std::size_t j = 0; j < k; ++j) key[j] = static_cast<std::uint8_t>(random() % 3);
          std::fill(key.end() - static_cast<std::ptrdiff_t>(random() % k), key.end(), 0);
          const auto at = std::lower_bound(keys.begin(), keys.end(), key);
          if (at != keys.end() && *at == key) continue;
          const int position = static_cast<int>(at - keys.begin());
          keys.insert(at, key);
          page.InsertEntry(position, key.data(), step, 1);
          page.RecomputeCompressionAfterInsert(position);
        } else {
          const int position = static_cast<int>(random() % keys.size());
          keys.erase(keys.begin() + position);
          page.RemoveEntryKeepingCompression(position);
        }
        TPage recounted = Leaf(Format(k, true, compression), keys);
        ASSERT_EQ(page.count(), recounted.count());
        ASSERT_EQ(page.packed_size(), recounted.packed_size()) << "step " << step;
        for (int i = 0; i < page.count(); ++i) {
          ASSERT_EQ(page.Leading(i), recounted.Leading(i)) << "step " << step << " entry " << i;
          ASSERT_EQ(page.Trailing(i), recounted.Trailing(i)) << "step " << step << " entry " << i;
        }
        if (page.Overfull()) break;  // a real tree splits here
      }
      while (page.Overfull()) {
        keys.pop_back();
        page.RemoveEntryKeepingCompression(page.count() - 1);
      }
      const TPage back = ReadBack(page);
      ASSERT_EQ(back.packed_size(), page.packed_size());
      for (int i = 0; i < page.count(); ++i) {
        ASSERT_EQ(back.Leading(i), page.Leading(i));
        ASSERT_EQ(back.Trailing(i), page.Trailing(i));
      }
    }
  }
}

struct CapacityCase {
  std::size_t k;
  int leaf;
  int branch;
  int branch_without_counts;
};

TEST(PageCapacityTest, EntriesPerPage) {
  const CapacityCase cases[] = {
      {60, 63, 60, 63}, {2, 680, 408, 680}, {5, 453, 314, 453}, {526, 7, 7, 7}, {68, 56, 53, 56},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(LeafCapacity(c.k), c.leaf) << c.k;
    EXPECT_EQ(BranchCapacity(c.k, true), c.branch) << c.k;
    EXPECT_EQ(BranchCapacity(c.k, false), c.branch_without_counts) << c.k;
  }
}

TEST(PageImageTest, FreedAndDataPages) {
  TPage page = Leaf(Format(4, true, 0), {{1, 2, 3, 4}});
  page.set_right(21);
  page.set_freed(true);
  Image image{};
  PackPage(page, image, "Pages");
  EXPECT_EQ(Hex(image.data(), kPageHeaderSize), "02 00 00 00 00 00 00 15 00 00 00 00 00");
  EXPECT_EQ(image[kPageHeaderSize], 0);

  TPage data;
  data.Reset(3, Format(68, false, 3, kTextIndexSlot));
  data.set_kind(PageKind::Data);
  data.Data()[0] = 0xAB;
  data.Data()[kPageDataSize - 1] = 0xCD;
  PackPage(data, image, "Pages");
  EXPECT_EQ(image[0], 4);
  EXPECT_EQ(image[kPageHeaderSize], 0xAB);
  EXPECT_EQ(image[kIndexPageSize - 1], 0xCD);
  TPage back;
  back.Reset(3, data.format());
  UnpackPage(image, back, "Pages");
  EXPECT_EQ(back.kind(), PageKind::Data);
  EXPECT_EQ(back.Data()[kPageDataSize - 1], 0xCD);
}

TEST(PageImageTest, InconsistentImagesAreCorrupt) {
  auto corrupt = [](const Image& image, const TPageFormat& format) {
    TPage page;
    page.Reset(5, format);
    try {
      UnpackPage(image, page, "Pages");
    } catch (const EVoraEngineError& error) {
      return error.EngineCode == VORA_INDEXCORRUPT && error.ContextTable == "Pages";
    }
    return false;
  };
  Image unknown_kind{};
  unknown_kind[kPageKindOffset] = 9;
  EXPECT_TRUE(corrupt(unknown_kind, Format(4, true, 0)));
  Image too_many{};
  too_many[kPageKindOffset] = 2;
  StoreLittle<std::uint16_t>(too_many, kPageCountOffset, 600);  // 600 × 8 bytes pass the page
  EXPECT_TRUE(corrupt(too_many, Format(4, true, 0)));
  Image first_with_d{};
  first_with_d[kPageKindOffset] = 2;
  StoreLittle<std::uint16_t>(first_with_d, kPageCountOffset, 1);
  first_with_d[kPageHeaderSize] = 2;  // d of the first entry must be 0
  EXPECT_TRUE(corrupt(first_with_d, Format(4, true, 1)));
  Image t_past_key{};
  t_past_key[kPageKindOffset] = 2;
  StoreLittle<std::uint16_t>(t_past_key, kPageCountOffset, 1);
  t_past_key[kPageHeaderSize] = 5;  // t above K
  EXPECT_TRUE(corrupt(t_past_key, Format(4, true, 2)));
  // An entry set that does not fit a page cannot be packed.
  TPage big = Leaf(Format(60, true, 0), {});
  std::vector<std::uint8_t> key(60, 1);
  for (int i = 0; i < 64; ++i) big.InsertEntry(i, key.data(), i, 1);
  Image image{};
  EXPECT_THROW(PackPage(big, image, "Pages"), EVoraEngineError);
}

}  // namespace
}  // namespace telvora::storage
