#include "storage/index_descriptor.h"

#include <algorithm>
#include <cassert>

#include "storage/byte_image.h"

namespace telvora::storage {

TIndexDescriptor::TIndexDescriptor(std::span<const std::uint8_t> image) {
  image_.fill(0);
  std::copy_n(image.begin(), std::min(image.size(), image_.size()), image_.begin());
}

std::string TIndexDescriptor::Name() const { return LoadShortString(image_, kNameOffset, kIndexNameWidth); }

void TIndexDescriptor::SetName(std::string_view name) {
  StoreShortString(image_, kNameOffset, kIndexNameWidth, name);
}

std::int16_t TIndexDescriptor::KeyLength() const { return LoadLittle<std::int16_t>(image_, kKeyLengthOffset); }

void TIndexDescriptor::SetKeyLength(std::int16_t length) {
  StoreLittle<std::int16_t>(image_, kKeyLengthOffset, length);
}

bool TIndexDescriptor::KeyFieldDescending(int i) const {
  assert(i >= 0 && i < kMaxKeyFields);
  return image_[kFieldDescendingOffset + static_cast<std::size_t>(i)] != 0;
}

void TIndexDescriptor::SetKeyFieldDescending(int i, bool value) {
  assert(i >= 0 && i < kMaxKeyFields);
  image_[kFieldDescendingOffset + static_cast<std::size_t>(i)] = value ? 1 : 0;
}

std::uint16_t TIndexDescriptor::KeyFieldNumber(int i) const {
  assert(i >= 0 && i < kMaxKeyFields);
  return LoadLittle<std::uint16_t>(image_, kFieldNumbersOffset + 2 * static_cast<std::size_t>(i));
}

void TIndexDescriptor::SetKeyFieldNumber(int i, std::uint16_t field_number) {
  assert(i >= 0 && i < kMaxKeyFields);
  StoreLittle<std::uint16_t>(image_, kFieldNumbersOffset + 2 * static_cast<std::size_t>(i), field_number);
}

std::int32_t TIndexDescriptor::RootPage() const { return LoadLittle<std::int32_t>(image_, kRootPageOffset); }

void TIndexDescriptor::SetRootPage(std::int32_t page) { StoreLittle<std::int32_t>(image_, kRootPageOffset, page); }

std::int32_t TIndexDescriptor::FreeChainHead() const {
  return LoadLittle<std::int32_t>(image_, kFreeHeadOffset);
}

void TIndexDescriptor::SetFreeChainHead(std::int32_t page) {
  StoreLittle<std::int32_t>(image_, kFreeHeadOffset, page);
}

std::int32_t TIndexDescriptor::DataPage() const { return LoadLittle<std::int32_t>(image_, kDataPageOffset); }

void TIndexDescriptor::SetDataPage(std::int32_t page) { StoreLittle<std::int32_t>(image_, kDataPageOffset, page); }

void TIndexDescriptor::ClearForPrimaryUnavailable() {
  const std::int32_t free_head = FreeChainHead();
  const std::int32_t data_page = DataPage();
  image_.fill(0);
  SetFreeChainHead(free_head);
  SetDataPage(data_page);
}

}  // namespace telvora::storage
