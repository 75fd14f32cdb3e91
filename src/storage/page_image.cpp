#include "storage/page_image.h"

#include <algorithm>
#include <cstring>

#include "storage/byte_image.h"
#include "storage/page.h"
#include "storage/storage_errors.h"

namespace telvora::storage {
namespace {

constexpr std::uint8_t kHighestPageKind = static_cast<std::uint8_t>(PageKind::Data);

// The key bytes an entry stores: [d, zone_start) and [zone_start + t, K),
// where the left-out zeros start at K - t, or before the suffix.
std::size_t TrailingZoneStart(const TPageFormat& format, std::size_t t) {
  const std::size_t k = format.key_length;
  const std::size_t zone_end = format.HasRecordIdSuffix() && k >= kEntryPointerLength ? k - kEntryPointerLength : k;
  return zone_end - t;
}

}  // namespace

int LeafCapacity(std::size_t key_length) {
  return static_cast<int>(kPageDataSize / (key_length + kEntryPointerLength));
}

int BranchCapacity(std::size_t key_length, bool subtree_counts) {
  return static_cast<int>(kPageDataSize /
                          (key_length + kEntryPointerLength + (subtree_counts ? kEntryCountLength : 0)));
}

void PackPage(const TPage& page, std::span<std::uint8_t, kIndexPageSize> image, const std::string& table_name) {
  std::fill(image.begin(), image.end(), 0);
  const std::span<std::uint8_t> view(image);
  image[kPageKindOffset] = static_cast<std::uint8_t>(page.kind());
  const int count = page.freed() ? 0 : page.count();
  StoreLittle<std::uint16_t>(view, kPageCountOffset, static_cast<std::uint16_t>(count));
  StoreLittle<std::int32_t>(view, kPageLeftOffset, page.left());
  StoreLittle<std::int32_t>(view, kPageRightOffset, page.right());
  if (page.freed()) return;
  if (page.kind() == PageKind::Data) {
    const auto data = page.Data();
    std::copy(data.begin(), data.end(), image.begin() + kPageHeaderSize);
    return;
  }
  const TPageFormat& format = page.format();
  const std::size_t k = format.key_length;
  std::size_t at = kPageHeaderSize;
  auto put = [&](const std::uint8_t* bytes, std::size_t length) {
    if (at + length > kIndexPageSize) RaiseTableError(VORA_INDEXCORRUPT, table_name);
    std::memcpy(image.data() + at, bytes, length);
    at += length;
  };
  auto put_int = [&](std::int32_t value) {
    std::uint8_t bytes[4];
    StoreLittle<std::int32_t>(bytes, 0, value);
    put(bytes, 4);
  };
  for (int i = 0; i < count; ++i) {
    const std::uint8_t* key = page.Key(i);
    if (page.IsBranch()) {
      put(key, k);
      put_int(page.Pointer(i));
      if (format.HasSubtreeCounts()) put_int(page.SubtreeCount(i));
      continue;
    }
    const std::size_t d = static_cast<std::size_t>(page.Leading(i));
    const std::size_t t = static_cast<std::size_t>(page.Trailing(i));
    const std::uint8_t dd = static_cast<std::uint8_t>(d);
    const std::uint8_t tt = static_cast<std::uint8_t>(t);
    switch (format.compression) {
      case 0:
        put(key, k);
        break;
      case 1:
        put(&dd, 1);
        put(key + d, k - d);
        break;
      default: {
        if (format.compression == 3) put(&dd, 1);
        put(&tt, 1);
        const std::size_t first = format.compression == 3 ? d : 0;
        const std::size_t zone = TrailingZoneStart(format, t);
        if (t > 0) {
          put(key + first, zone - first);
          put(key + zone + t, k - zone - t);
        } else {
          put(key + first, k - first);
        }
        break;
      }
    }
    put_int(page.Pointer(i));
  }
  if (page.IsCompressedLeaf()) {
    StoreLittle<std::uint16_t>(view, kPagePackedSizeOffset, static_cast<std::uint16_t>(at - kPageHeaderSize));
  }
}

void UnpackPage(std::span<const std::uint8_t, kIndexPageSize> image, TPage& page, const std::string& table_name) {
  const std::span<const std::uint8_t> view(image);
  const std::uint8_t kind = image[kPageKindOffset];
  if (kind > kHighestPageKind) RaiseTableError(VORA_INDEXCORRUPT, table_name);
  page.RemoveAll();
  page.set_kind(static_cast<PageKind>(kind));
  page.set_left(LoadLittle<std::int32_t>(view, kPageLeftOffset));
  page.set_right(LoadLittle<std::int32_t>(view, kPageRightOffset));
  const int count = LoadLittle<std::uint16_t>(view, kPageCountOffset);
  if (page.kind() == PageKind::Data) {
    const auto data = page.Data();
    std::copy_n(image.begin() + kPageHeaderSize, kPageDataSize, data.begin());
    return;
  }
  const TPageFormat& format = page.format();
  const std::size_t k = format.key_length;
  std::size_t at = kPageHeaderSize;
  auto take = [&](std::uint8_t* out, std::size_t length) {
    if (at + length > kIndexPageSize) RaiseTableError(VORA_INDEXCORRUPT, table_name);
    std::memcpy(out, image.data() + at, length);
    at += length;
  };
  auto take_int = [&]() {
    std::uint8_t bytes[4];
    take(bytes, 4);
    return LoadLittle<std::int32_t>(bytes, 0);
  };
  std::vector<std::uint8_t> key(k, 0);
  std::vector<std::uint8_t> previous(k, 0);
  const bool branch = page.IsBranch();
  for (int i = 0; i < count; ++i) {
    std::int32_t subtree = 1;
    std::uint8_t d = 0;
    std::uint8_t t = 0;
    if (branch || format.compression == 0) {
      take(key.data(), k);
    } else {
      if (format.compression == 1 || format.compression == 3) take(&d, 1);
      if (format.compression == 2 || format.compression == 3) take(&t, 1);
      const std::size_t zone_end = TrailingZoneStart(format, 0);
      if (d > kMaxCompressedRun || t > kMaxCompressedRun || d > k || t > zone_end || (i == 0 && d != 0) ||
          (t > 0 && d + t > zone_end)) {
        RaiseTableError(VORA_INDEXCORRUPT, table_name);
      }
      std::copy_n(previous.begin(), d, key.begin());
      const std::size_t zone = TrailingZoneStart(format, t);
      const std::size_t first = d;
      if (t > 0) {
        take(key.data() + first, zone - first);
        std::fill_n(key.begin() + static_cast<std::ptrdiff_t>(zone), t, 0);
        take(key.data() + zone + t, k - zone - t);
      } else {
        take(key.data() + first, k - first);
      }
    }
    const std::int32_t pointer = take_int();
    if (branch) subtree = format.HasSubtreeCounts() ? take_int() : 0;
    page.InsertEntry(i, key.data(), pointer, subtree);
    // A compressed leaf keeps the counts it was stored with: working them
    // out again from the keys cost a third of an index search's time.
    if (page.IsCompressedLeaf()) page.SetCompressionCounts(i, d, t);
    previous.swap(key);
  }
  if (page.IsCompressedLeaf()) {
    page.RecomputePackedSize();
  } else {
    page.RecomputeCompression();
  }
}

}  // namespace telvora::storage
