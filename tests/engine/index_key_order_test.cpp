// Index trees ordered by the engine's key comparison: keys built from
// records by the storage layer, compared under the table's locale.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "cp1256_text.h"
#include "engine/index_key_order.h"
#include "storage/data_file_header.h"
#include "storage/field_types.h"
#include "storage/index_file_header.h"
#include "storage/index_page_cache.h"
#include "storage/index_tree.h"
#include "storage/storage_errors.h"

namespace telvora::engine {
namespace {

using testing::Cp1256;

constexpr Locale kFarsi{0x0429, 0};
constexpr Locale kByteOrder{};

// Chains in a header, pages in a map.
class MemoryPages : public storage::TIndexPageFile {
 public:
  bool ReadPageImage(std::int32_t n, std::span<std::uint8_t, storage::kIndexPageSize> image) override {
    auto it = pages_.find(n);
    if (it == pages_.end()) {
      std::fill(image.begin(), image.end(), 0);
    } else {
      std::copy(it->second.begin(), it->second.end(), image.begin());
    }
    return true;
  }
  void WritePageImages(std::int32_t first, std::span<const std::uint8_t> images) override {
    for (std::size_t at = 0; at < images.size(); at += storage::kIndexPageSize) {
      auto& page = pages_[first + static_cast<std::int32_t>(at / storage::kIndexPageSize)];
      std::copy_n(images.begin() + static_cast<std::ptrdiff_t>(at), storage::kIndexPageSize, page.begin());
    }
  }
  std::int32_t AllocatePageAtEnd() override { return next_++; }
  std::int32_t RootPage(int) const override { return root_; }
  void SetRootPage(int, std::int32_t page) override { root_ = page; }
  std::int32_t FreeChainHead(int) const override { return free_; }
  void SetFreeChainHead(int, std::int32_t page) override { free_ = page; }
  std::int32_t TextDataPage() const override { return 0; }
  void SetTextDataPage(std::int32_t) override {}
  void PagesChanged() override {}
  bool MayWriteToMakeRoom() const override { return true; }
  std::string TableName() const override { return "Names"; }

 private:
  std::map<std::int32_t, std::array<std::uint8_t, storage::kIndexPageSize>> pages_;
  std::int32_t next_ = 1;
  std::int32_t root_ = 0;
  std::int32_t free_ = 0;
};

struct NameIndex {
  NameIndex(const Locale& locale, bool unique, bool case_insensitive, bool field_descending = false)
      : descriptors(1) {
    descriptors[0].SetFieldNumber(1);
    descriptors[0].SetName("Name");
    descriptors[0].SetType(storage::kTypeString);
    descriptors[0].SetDeclaredSize(20);
    record.resize(storage::AssignRecordLayout(descriptors));
    storage::TIndexDescriptor index;
    index.SetName("ByName");
    index.SetUnique(unique);
    index.SetCaseInsensitive(case_insensitive);
    index.SetKeyFieldCount(1);
    index.SetKeyFieldNumber(0, 1);
    index.SetKeyFieldDescending(0, field_descending);
    definition = storage::DefineIndexKey(index, 1, descriptors, locale.byte_order(), false, "Names");
    storage::TPageFormat format;
    format.slot = 1;
    format.key_length = definition.key_length;
    format.unique = unique;
    format.compression = 3;
    cache = std::make_unique<storage::TIndexPageCache>(pages, spares, 1, format, 16384);
    compare = MakeKeyComparator(DescribeIndexKey(definition, locale));
    tree = std::make_unique<storage::TIndexTree>(*cache, compare, "ByName");
    upper = MakeKeyUpperCase(locale);
  }

  std::vector<std::uint8_t> Key(const std::string& name, std::int32_t id) {
    storage::TRecordImage image(record);
    image.SetRecordId(id);
    image.SetString(storage::TFieldLayout::Of(descriptors[0]), name, {});
    return storage::BuildKey(definition, image, upper);
  }

  void Add(const std::string& name, std::int32_t id) { tree->AddKey(Key(name, id).data(), id); }

  // Record numbers in index order.
  std::vector<std::int32_t> Order() {
    std::vector<std::int32_t> order;
    std::vector<std::uint8_t> lowest(definition.key_length, 0);
    auto first = tree->Find(lowest.data(), 0, true);
    if (!first) return order;
    std::int32_t n = first->leaf;
    while (n != 0) {
      storage::TPage* page = cache->GetPage(n);
      for (int i = 0; i < page->count(); ++i) order.push_back(page->Pointer(i));
      n = page->right();
      cache->ReleasePage(page);
    }
    return order;
  }

  std::vector<storage::TFieldDescriptor> descriptors;
  std::vector<std::uint8_t> record;
  storage::TIndexKeyDefinition definition;
  MemoryPages pages;
  storage::TPageStack spares;
  std::unique_ptr<storage::TIndexPageCache> cache;
  storage::KeyComparator compare;
  std::unique_ptr<storage::TIndexTree> tree;
  storage::KeyUpperCase upper;
};

TEST(IndexKeyOrderTest, FarsiIndexSortsPersianNamesAndIgnoresVowelMarks) {
  NameIndex index(kFarsi, false, false);
  index.Add(Cp1256("پری"), 1);
  index.Add(Cp1256("مُحَمَّد"), 2);
  index.Add(Cp1256("بهرام"), 3);
  index.Add(Cp1256("محمد"), 4);
  index.Add("Ali", 5);
  // Under Farsi the marked and plain names are one value, kept in record-id
  // order; the Persian letters sort پ after ب.
  const std::vector<std::int32_t> order = index.Order();
  ASSERT_EQ(order.size(), 5u);
  const auto position = [&](std::int32_t id) { return std::find(order.begin(), order.end(), id) - order.begin(); };
  EXPECT_LT(position(3), position(1));
  EXPECT_LT(position(1), position(2));
  EXPECT_EQ(position(4), position(2) + 1);
}

TEST(IndexKeyOrderTest, UniqueFarsiIndexRefusesAVowelMarkedTwin) {
  NameIndex index(kFarsi, true, false);
  index.Add(Cp1256("محمد"), 1);
  try {
    index.Add(Cp1256("مُحَمَّد"), 2);
    FAIL() << "accepted";
  } catch (const storage::EVoraEngineError& error) {
    EXPECT_EQ(error.EngineCode, storage::VORA_KEYVIOL);
  }
}

TEST(IndexKeyOrderTest, CaseInsensitiveIndexUpperCasesThroughTheLocale) {
  NameIndex index(kByteOrder, true, true);
  index.Add("ali", 1);
  EXPECT_EQ(index.Key("ali", 1)[1], 'A');
  EXPECT_THROW(index.Add("ALI", 2), storage::EVoraEngineError);
  index.Add("bob", 3);
  EXPECT_EQ(index.Order(), (std::vector<std::int32_t>{1, 3}));
}

TEST(IndexKeyOrderTest, DescendingFieldOrdersTheSameUnderBothKindsOfLocale) {
  for (const Locale& locale : {kByteOrder, kFarsi}) {
    NameIndex index(locale, false, false, true);
    index.Add("b", 1);
    index.Add("a", 2);
    index.Add("c", 3);
    EXPECT_EQ(index.Order(), (std::vector<std::int32_t>{3, 1, 2})) << locale.language_id;
  }
}

}  // namespace
}  // namespace telvora::engine
