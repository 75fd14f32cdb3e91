#include "storage/field_descriptor.h"

#include <algorithm>

#include "storage/byte_image.h"
#include "storage/field_types.h"
#include "storage/scrambler.h"

namespace telvora::storage {

TFieldDescriptor::TFieldDescriptor(std::span<const std::uint8_t> image) {
  image_.fill(0);
  std::copy_n(image.begin(), std::min(image.size(), image_.size()), image_.begin());
}

std::uint16_t TFieldDescriptor::FieldNumber() const {
  return LoadLittle<std::uint16_t>(image_, kNumberOffset);
}

void TFieldDescriptor::SetFieldNumber(std::uint16_t number) {
  StoreLittle<std::uint16_t>(image_, kNumberOffset, number);
}

std::string TFieldDescriptor::Name() const { return LoadShortString(image_, kNameOffset, kFieldNameWidth); }

void TFieldDescriptor::SetName(std::string_view name) {
  StoreShortString(image_, kNameOffset, kFieldNameWidth, name);
}

std::uint16_t TFieldDescriptor::FieldOffset() const {
  return LoadLittle<std::uint16_t>(image_, kFieldOffsetOffset);
}

void TFieldDescriptor::SetFieldOffset(std::uint16_t offset) {
  StoreLittle<std::uint16_t>(image_, kFieldOffsetOffset, offset);
}

std::string TFieldDescriptor::MinimumText() const {
  return LoadShortString(image_, kMinimumOffset, kValueTextWidth);
}

void TFieldDescriptor::SetMinimumText(std::string_view text) {
  StoreShortString(image_, kMinimumOffset, kValueTextWidth, text);
}

std::string TFieldDescriptor::MaximumText() const {
  return LoadShortString(image_, kMaximumOffset, kValueTextWidth);
}

void TFieldDescriptor::SetMaximumText(std::string_view text) {
  StoreShortString(image_, kMaximumOffset, kValueTextWidth, text);
}

std::string TFieldDescriptor::DefaultText() const {
  return LoadShortString(image_, kDefaultOffset, kValueTextWidth);
}

void TFieldDescriptor::SetDefaultText(std::string_view text) {
  StoreShortString(image_, kDefaultOffset, kValueTextWidth, text);
}

bool TFieldDescriptor::IsAutoInc() const { return storage::IsAutoInc(Type(), Subtype()); }

bool TFieldDescriptor::RecomputeStoredLength() {
  const auto length = StoredLengthOf(Type(), DeclaredSize());
  if (!length) return false;
  image_[kStoredLengthOffset] = *length;
  image_[kDecimalsCopyOffset] = image_[kDecimalsOffset];
  return true;
}

std::vector<std::uint8_t> EncodeFieldDescriptorBlock(std::span<const TFieldDescriptor> descriptors,
                                                     bool encrypted) {
  std::vector<std::uint8_t> block;
  block.reserve(descriptors.size() * kFieldDescriptorSize);
  for (const TFieldDescriptor& descriptor : descriptors) {
    block.insert(block.end(), descriptor.Image().begin(), descriptor.Image().end());
  }
  if (encrypted) Scramble(block, kDataKey);
  return block;
}

std::vector<TFieldDescriptor> DecodeFieldDescriptorBlock(std::span<const std::uint8_t> block, bool encrypted) {
  std::vector<std::uint8_t> plain(block.begin(), block.end());
  if (encrypted) Scramble(plain, kDataKey);
  std::vector<TFieldDescriptor> descriptors;
  descriptors.reserve(plain.size() / kFieldDescriptorSize);
  for (std::size_t start = 0; start + kFieldDescriptorSize <= plain.size(); start += kFieldDescriptorSize) {
    descriptors.emplace_back(std::span<const std::uint8_t>(plain).subspan(start, kFieldDescriptorSize));
  }
  return descriptors;
}

}  // namespace telvora::storage
