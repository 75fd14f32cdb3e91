#pragma once
// TFieldDescriptor: the 768-byte description of one field of a table, as it
// lies in the data file after the header (field n at 127 + 768 × (n − 1)).
//
//   Offset Width Content
//   0      2     field number, 1-based, equal to the descriptor's position
//   2      31    field name, short string of up to 30 characters
//   33     51    reserved, zero
//   84     1     type code (field_types.h)
//   85     1     subtype code
//   86     1     declared size (types 1, 9, 15; else 0)
//   87     1     decimals (type 8; else 0)
//   88     1     stored length in the record (derived from type and size)
//   89     1     copy of the decimals byte
//   90     2     offset of the field in the record image
//   92     1     required flag
//   93     1     character case of String values on write: 0, 1 lower, 2 upper
//   94     51    minimum value text, short string of up to 50 characters
//   145    51    maximum value text
//   196    51    default value text
//   247    1     computed-field flag (query-engine result columns only)
//   248    520   reserved, zero
//
// A value type over the image: it holds the 768 bytes and reads and writes
// them in place, so what is written to the file is exactly the image.
// Not thread-safe; owned by one data file object.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace telvora::storage {

inline constexpr std::size_t kFieldDescriptorSize = 768;
inline constexpr std::size_t kFieldNameWidth = 31;        // 30 characters
inline constexpr std::size_t kValueTextWidth = 51;        // 50 characters

enum class CharacterCase : std::uint8_t { Unchanged = 0, Lower = 1, Upper = 2 };

class TFieldDescriptor {
 public:
  static constexpr std::size_t kNumberOffset = 0;
  static constexpr std::size_t kNameOffset = 2;
  static constexpr std::size_t kTypeOffset = 84;
  static constexpr std::size_t kSubtypeOffset = 85;
  static constexpr std::size_t kSizeOffset = 86;
  static constexpr std::size_t kDecimalsOffset = 87;
  static constexpr std::size_t kStoredLengthOffset = 88;
  static constexpr std::size_t kDecimalsCopyOffset = 89;
  static constexpr std::size_t kFieldOffsetOffset = 90;
  static constexpr std::size_t kRequiredOffset = 92;
  static constexpr std::size_t kCaseOffset = 93;
  static constexpr std::size_t kMinimumOffset = 94;
  static constexpr std::size_t kMaximumOffset = 145;
  static constexpr std::size_t kDefaultOffset = 196;
  static constexpr std::size_t kComputedOffset = 247;

  TFieldDescriptor() { image_.fill(0); }
  // Copies an image of exactly 768 bytes (shorter input is zero-filled).
  explicit TFieldDescriptor(std::span<const std::uint8_t> image);

  std::uint16_t FieldNumber() const;
  void SetFieldNumber(std::uint16_t number);
  std::string Name() const;
  void SetName(std::string_view name);  // at most 30 characters kept
  std::uint8_t Type() const { return image_[kTypeOffset]; }
  void SetType(std::uint8_t type) { image_[kTypeOffset] = type; }
  std::uint8_t Subtype() const { return image_[kSubtypeOffset]; }
  void SetSubtype(std::uint8_t subtype) { image_[kSubtypeOffset] = subtype; }
  std::uint8_t DeclaredSize() const { return image_[kSizeOffset]; }
  void SetDeclaredSize(std::uint8_t size) { image_[kSizeOffset] = size; }
  std::uint8_t Decimals() const { return image_[kDecimalsOffset]; }
  void SetDecimals(std::uint8_t decimals) { image_[kDecimalsOffset] = decimals; }
  std::uint8_t StoredLength() const { return image_[kStoredLengthOffset]; }
  std::uint8_t DecimalsCopy() const { return image_[kDecimalsCopyOffset]; }
  std::uint16_t FieldOffset() const;
  void SetFieldOffset(std::uint16_t offset);
  bool Required() const { return image_[kRequiredOffset] != 0; }
  void SetRequired(bool required) { image_[kRequiredOffset] = required ? 1 : 0; }
  CharacterCase Case() const { return static_cast<CharacterCase>(image_[kCaseOffset]); }
  std::uint8_t CaseByte() const { return image_[kCaseOffset]; }
  void SetCase(CharacterCase value) { image_[kCaseOffset] = static_cast<std::uint8_t>(value); }
  std::string MinimumText() const;
  void SetMinimumText(std::string_view text);  // at most 50 characters kept
  std::string MaximumText() const;
  void SetMaximumText(std::string_view text);
  std::string DefaultText() const;
  void SetDefaultText(std::string_view text);
  bool Computed() const { return image_[kComputedOffset] != 0; }
  void SetComputed(bool computed) { image_[kComputedOffset] = computed ? 1 : 0; }

  bool IsAutoInc() const;

  // Stores the stored length derived from type and declared size and copies
  // the decimals to offset 89. Returns false, changing nothing, for a type
  // code without a stored length.
  bool RecomputeStoredLength();

  std::span<const std::uint8_t> Image() const { return image_; }
  std::span<std::uint8_t> MutableImage() { return image_; }

  friend bool operator==(const TFieldDescriptor&, const TFieldDescriptor&) = default;

 private:
  std::array<std::uint8_t, kFieldDescriptorSize> image_;
};

// The descriptor block of the data file (offset 127, field count × 768
// bytes), scrambled as one image with the data key when the table is
// encrypted (so a block of 256, 512, 768 or 1,024 descriptors stays plain).
std::vector<std::uint8_t> EncodeFieldDescriptorBlock(std::span<const TFieldDescriptor> descriptors,
                                                     bool encrypted);
// REQUIRES: block.size() is a multiple of 768 (the caller read field count
// × 768 bytes).
std::vector<TFieldDescriptor> DecodeFieldDescriptorBlock(std::span<const std::uint8_t> block, bool encrypted);

}  // namespace telvora::storage
