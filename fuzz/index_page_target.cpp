// An index page image as the index file would hand it over. The first three
// bytes choose the page's index format (key length, uniqueness, compression,
// subtree counts); the rest is the 4,096-byte image, zero-filled when short.
// A page that unpacks must pack again and unpack to the same entries.

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

#include "fuzz_targets.h"
#include "storage/engine_error.h"
#include "storage/index_file_header.h"
#include "storage/index_key.h"
#include "storage/page.h"
#include "storage/page_image.h"

namespace telvora::fuzz {
namespace {

constexpr std::size_t kFormatBytes = 3;
constexpr char kTable[] = "Fuzz";

bool SameEntries(const storage::TPage& a, const storage::TPage& b) {
  if (a.kind() != b.kind() || a.count() != b.count() || a.left() != b.left() || a.right() != b.right()) return false;
  if (a.kind() == storage::PageKind::Data) return std::ranges::equal(a.Data(), b.Data());
  for (int i = 0; i < a.count(); ++i) {
    if (std::memcmp(a.Key(i), b.Key(i), a.key_length()) != 0 || a.Pointer(i) != b.Pointer(i)) return false;
    if (a.IsBranch() && a.format().HasSubtreeCounts() && a.SubtreeCount(i) != b.SubtreeCount(i)) return false;
  }
  return true;
}

}  // namespace

int FuzzIndexPage(const std::uint8_t* data, std::size_t size) {
  if (size < kFormatBytes) return 0;
  storage::TPageFormat format;
  // Key lengths 1 .. the longest an index may have.
  format.key_length = 1 + ((data[0] | (data[1] & 0x03) << 8) % storage::kMaxKeyFieldsLength);
  format.unique = (data[1] & 0x04) == 0;
  format.compression = static_cast<std::uint8_t>((data[1] >> 3) & 0x03);
  format.attribute = static_cast<std::uint8_t>((data[1] >> 5) & 0x01);
  format.slot = (data[2] & 0x80) != 0 ? storage::kTextIndexSlot : data[2] % storage::kTextIndexSlot;
  // A non-unique key ends in the record-id suffix, so it is longer than it.
  if (!format.unique && format.key_length < 5) format.key_length = 5;

  std::array<std::uint8_t, storage::kIndexPageSize> image{};
  std::copy_n(data + kFormatBytes, std::min(size - kFormatBytes, image.size()), image.begin());

  storage::TPage page;
  page.Reset(1, format);
  try {
    storage::UnpackPage(image, page, kTable);
  } catch (const storage::EVoraEngineError&) {
    return 0;
  }
  std::array<std::uint8_t, storage::kIndexPageSize> packed{};
  try {
    storage::PackPage(page, packed, kTable);
  } catch (const storage::EVoraEngineError&) {
    // Entries read from a hand-made image need not fit the packer's own
    // layout (an uncompressed leaf of keys that compress differently).
    return 0;
  }
  storage::TPage again;
  again.Reset(1, format);
  try {
    storage::UnpackPage(packed, again, kTable);
  } catch (const storage::EVoraEngineError&) {
    FuzzCheckFailed("index_page", "a packed page does not unpack");
  }
  if (!SameEntries(page, again)) FuzzCheckFailed("index_page", "a page changed on packing and unpacking");
  return 0;
}

}  // namespace telvora::fuzz
