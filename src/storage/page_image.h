#pragma once
// The 4,096-byte image of an index page in the index file, and how many
// entries a page holds.
//
//   Offset Width      Content
//   0      1          page kind: 0 root branch, 1 branch, 2 leaf, 3 root
//                     leaf, 4 data page
//   1      2 unsigned entry count; 0 for a freed page
//   3      4 signed   left sibling, 0 = none
//   7      4 signed   right sibling, 0 = none; a freed page: next free page
//   11     2 unsigned packed size of a compressed leaf's entries; else 0
//   13     4,083      entries (a data page: raw bytes), the rest zero
//
// Entries (K = key length; integers little-endian):
//   branch            K key bytes, child page, subtree count (the count is
//                     left out for the text index and for indexes whose
//                     attribute byte is set)
//   leaf, none        K key bytes, record number
//   leaf, leading     d, K - d key bytes, record number
//   leaf, trailing    t, K - t key bytes, record number
//   leaf, both        d, t, K - d - t key bytes, record number
// d counts leading bytes equal to the previous entry's key (0 for the first
// entry), t trailing zero bytes; both at most 254. When the keys end with the
// record-id suffix (non-unique indexes), t counts the zeros before the suffix
// and the suffix is always stored; so with both compressions t is 0 once the
// leading bytes reach into the suffix (K - d < 5).
//
// The image is plain here; scrambling for encrypted tables is the page
// file's affair. Pure functions; any thread.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace telvora::storage {

class TPage;

inline constexpr std::size_t kIndexPageSize = 4096;
inline constexpr std::size_t kPageHeaderSize = 13;
inline constexpr std::size_t kPageDataSize = kIndexPageSize - kPageHeaderSize;  // 4,083

inline constexpr std::size_t kPageKindOffset = 0;
inline constexpr std::size_t kPageCountOffset = 1;
inline constexpr std::size_t kPageLeftOffset = 3;
inline constexpr std::size_t kPageRightOffset = 7;
inline constexpr std::size_t kPagePackedSizeOffset = 11;

inline constexpr std::size_t kEntryPointerLength = 4;
inline constexpr std::size_t kEntryCountLength = 4;
inline constexpr int kMaxCompressedRun = 254;  // the largest d or t

enum class PageKind : std::uint8_t { RootBranch = 0, Branch = 1, Leaf = 2, RootLeaf = 3, Data = 4 };

// Entries of an uncompressed leaf: 4,083 / (K + 4).
int LeafCapacity(std::size_t key_length);
// Entries of a branch page: 4,083 / (K + 8), or / (K + 4) without counts.
int BranchCapacity(std::size_t key_length, bool subtree_counts);

// Packs the page into image (4,096 bytes, zero-filled after the entries).
// Raises 8965 (with the table name) when the entries do not fit.
void PackPage(const TPage& page, std::span<std::uint8_t, kIndexPageSize> image,
              const std::string& table_name);
// Unpacks an image into the page, whose number, slot and index properties are
// set already. Raises 8965 for an image whose entries are inconsistent (an
// unknown kind, a count or d/t that leaves the data area).
void UnpackPage(std::span<const std::uint8_t, kIndexPageSize> image, TPage& page,
                const std::string& table_name);

}  // namespace telvora::storage
