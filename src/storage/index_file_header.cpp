#include "storage/index_file_header.h"

#include <algorithm>
#include <cassert>

#include "storage/byte_image.h"
#include "storage/scrambler.h"
#include "storage/table_format.h"

namespace telvora::storage {

TIndexFileHeader::TIndexFileHeader(std::span<const std::uint8_t> image) {
  image_.fill(0);
  std::copy_n(image.begin(), std::min(image.size(), image_.size()), image_.begin());
}

TIndexFileHeader TIndexFileHeader::New() {
  TIndexFileHeader header;
  header.image_[kVersionOffset] = kFormatVersion;
  StoreLittle<std::int32_t>(header.image_, kNextPageOffset, 1);

  TIndexDescriptor record_ids;
  record_ids.SetName(kRecordIdIndexName);
  record_ids.SetKeyLength(kRecordIdKeyLength);
  record_ids.SetCompression(KeyCompression::None);
  header.SetDescriptor(kRecordIdIndexSlot, record_ids);

  TIndexDescriptor text;
  text.SetName(kTextIndexName);
  text.SetKeyLength(kTextKeyLength);
  text.SetCompression(KeyCompression::Both);
  header.SetDescriptor(kTextIndexSlot, text);

  header.SetModifiedMarker();
  return header;
}

TIndexFileHeader TIndexFileHeader::FromFileImage(std::span<const std::uint8_t> file_image, bool encrypted) {
  TIndexFileHeader header(file_image);
  if (encrypted) Scramble(header.image_, kDataKey);
  return header;
}

std::array<std::uint8_t, kIndexFileHeaderSize> TIndexFileHeader::ImageForFile(bool encrypted) const {
  std::array<std::uint8_t, kIndexFileHeaderSize> out = image_;
  if (encrypted) Scramble(out, kDataKey);
  return out;
}

std::int32_t TIndexFileHeader::ChangeCounter() const {
  return LoadLittle<std::int32_t>(image_, kChangeCounterOffset);
}

std::int32_t TIndexFileHeader::NextPageNumber() const {
  return LoadLittle<std::int32_t>(image_, kNextPageOffset);
}

void TIndexFileHeader::SetNextPageNumber(std::int32_t page) {
  if (page == NextPageNumber()) return;
  StoreLittle<std::int32_t>(image_, kNextPageOffset, page);
  SetModifiedMarker();
}

void TIndexFileHeader::SetSecondaryIndexCount(std::uint8_t count) {
  if (count == SecondaryIndexCount()) return;
  image_[kSecondaryCountOffset] = count;
  SetModifiedMarker();
}

std::size_t TIndexFileHeader::DescriptorOffset(int slot) {
  assert(slot >= 0 && slot < kIndexSlotCount);
  return kDescriptorsOffset + kIndexDescriptorSize * static_cast<std::size_t>(slot);
}

TIndexDescriptor TIndexFileHeader::Descriptor(int slot) const {
  return TIndexDescriptor(std::span(image_).subspan(DescriptorOffset(slot), kIndexDescriptorSize));
}

void TIndexFileHeader::SetDescriptor(int slot, const TIndexDescriptor& descriptor) {
  const auto target = std::span(image_).subspan(DescriptorOffset(slot), kIndexDescriptorSize);
  if (std::equal(target.begin(), target.end(), descriptor.Image().begin())) return;
  std::copy(descriptor.Image().begin(), descriptor.Image().end(), target.begin());
  SetModifiedMarker();
}

std::int32_t TIndexFileHeader::ActiveRecordCount() const {
  return LoadLittle<std::int32_t>(image_, kActiveRecordsOffset);
}

void TIndexFileHeader::SetActiveRecordCount(std::int32_t count) {
  if (count == ActiveRecordCount()) return;
  StoreLittle<std::int32_t>(image_, kActiveRecordsOffset, count);
  SetModifiedMarker();
}

// Unsigned steps: a damaged count at either end of the range wraps instead
// of overflowing.
void TIndexFileHeader::IncrementActiveRecordCount() {
  SetActiveRecordCount(static_cast<std::int32_t>(static_cast<std::uint32_t>(ActiveRecordCount()) + 1u));
}

void TIndexFileHeader::DecrementActiveRecordCount() {
  SetActiveRecordCount(static_cast<std::int32_t>(static_cast<std::uint32_t>(ActiveRecordCount()) - 1u));
}

void TIndexFileHeader::SetPrimaryIndexUnavailable(bool unavailable) {
  if (unavailable) {
    TIndexDescriptor primary = Descriptor(kPrimaryIndexSlot);
    primary.ClearForPrimaryUnavailable();
    SetDescriptor(kPrimaryIndexSlot, primary);
  }
  const std::uint8_t flag = unavailable ? 1 : 0;
  if (image_[kPrimaryUnavailableOffset] == flag) return;
  image_[kPrimaryUnavailableOffset] = flag;
  SetModifiedMarker();
}

void TIndexFileHeader::MarkModified() {
  StoreLittle<std::uint32_t>(image_, kChangeCounterOffset,
                             LoadLittle<std::uint32_t>(image_, kChangeCounterOffset) + 1);
  SetModifiedMarker();
}

void TIndexFileHeader::PrepareWrite() {
  StoreLittle<std::uint32_t>(image_, kChangeCounterOffset,
                             LoadLittle<std::uint32_t>(image_, kChangeCounterOffset) + 1);
}

}  // namespace telvora::storage
