#pragma once
// TIndexDescriptor: the 120-byte description of one index, kept in the index
// file header (slot k at offset 14 + 120 × k).
//
//   Offset Width      Content
//   0      31         index name, short string; empty for the primary index
//   31     2 signed   key length in bytes
//   33     1          descending flag (the index as a whole)
//   34     1          case-insensitive flag
//   35     1          unique flag (always 1 for the primary index)
//   36     1          key compression: 0 none, 1 leading, 2 trailing, 3 both
//   37     1          number of key fields, 0 to 16
//   38     16         one descending flag per key field
//   54     32         key field numbers, 16 × 2 unsigned; 0 after the last
//   86     4 signed   root page, 0 = empty index
//   90     4 signed   head of the free page chain, 0 = none
//   94     2          reserved, zero
//   96     4 signed   text index: first page of its parameter chain
//   100    1          attribute byte: branch entries carry no subtree counts
//   101    1          temporary flag
//   102    18         reserved, zero
//
// A value type over the image. Not thread-safe.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace telvora::storage {

inline constexpr std::size_t kIndexDescriptorSize = 120;
inline constexpr std::size_t kIndexNameWidth = 31;  // 30 characters
inline constexpr int kMaxKeyFields = 16;

enum class KeyCompression : std::uint8_t { None = 0, Leading = 1, Trailing = 2, Both = 3 };

class TIndexDescriptor {
 public:
  static constexpr std::size_t kNameOffset = 0;
  static constexpr std::size_t kKeyLengthOffset = 31;
  static constexpr std::size_t kDescendingOffset = 33;
  static constexpr std::size_t kCaseInsensitiveOffset = 34;
  static constexpr std::size_t kUniqueOffset = 35;
  static constexpr std::size_t kCompressionOffset = 36;
  static constexpr std::size_t kFieldCountOffset = 37;
  static constexpr std::size_t kFieldDescendingOffset = 38;
  static constexpr std::size_t kFieldNumbersOffset = 54;
  static constexpr std::size_t kRootPageOffset = 86;
  static constexpr std::size_t kFreeHeadOffset = 90;
  static constexpr std::size_t kDataPageOffset = 96;
  static constexpr std::size_t kAttributeOffset = 100;
  static constexpr std::size_t kTemporaryOffset = 101;

  TIndexDescriptor() { image_.fill(0); }
  explicit TIndexDescriptor(std::span<const std::uint8_t> image);

  std::string Name() const;
  void SetName(std::string_view name);
  std::int16_t KeyLength() const;
  void SetKeyLength(std::int16_t length);
  bool Descending() const { return image_[kDescendingOffset] != 0; }
  void SetDescending(bool value) { image_[kDescendingOffset] = value ? 1 : 0; }
  bool CaseInsensitive() const { return image_[kCaseInsensitiveOffset] != 0; }
  void SetCaseInsensitive(bool value) { image_[kCaseInsensitiveOffset] = value ? 1 : 0; }
  bool Unique() const { return image_[kUniqueOffset] != 0; }
  void SetUnique(bool value) { image_[kUniqueOffset] = value ? 1 : 0; }
  std::uint8_t Compression() const { return image_[kCompressionOffset]; }
  void SetCompression(KeyCompression value) { image_[kCompressionOffset] = static_cast<std::uint8_t>(value); }
  std::uint8_t KeyFieldCount() const { return image_[kFieldCountOffset]; }
  void SetKeyFieldCount(std::uint8_t count) { image_[kFieldCountOffset] = count; }
  // REQUIRES: 0 <= i < 16.
  bool KeyFieldDescending(int i) const;
  void SetKeyFieldDescending(int i, bool value);
  std::uint16_t KeyFieldNumber(int i) const;
  void SetKeyFieldNumber(int i, std::uint16_t field_number);
  std::int32_t RootPage() const;
  void SetRootPage(std::int32_t page);
  std::int32_t FreeChainHead() const;
  void SetFreeChainHead(std::int32_t page);
  std::int32_t DataPage() const;
  void SetDataPage(std::int32_t page);
  bool NoSubtreeCounts() const { return image_[kAttributeOffset] != 0; }
  void SetNoSubtreeCounts(bool value) { image_[kAttributeOffset] = value ? 1 : 0; }
  bool Temporary() const { return image_[kTemporaryOffset] != 0; }
  void SetTemporary(bool value) { image_[kTemporaryOffset] = value ? 1 : 0; }

  // The primary index without a usable order: empty name, key length 0,
  // flags and compression 0, no key fields, root 0. The free page chain head
  // and offset 96 survive, so that pages already given to the index are not
  // lost.
  void ClearForPrimaryUnavailable();

  std::span<const std::uint8_t> Image() const { return image_; }
  std::span<std::uint8_t> MutableImage() { return image_; }

  friend bool operator==(const TIndexDescriptor&, const TIndexDescriptor&) = default;

 private:
  std::array<std::uint8_t, kIndexDescriptorSize> image_;
};

}  // namespace telvora::storage
