#include "storage/blob_file_header.h"

#include <algorithm>

#include "storage/byte_image.h"
#include "storage/scrambler.h"
#include "storage/table_format.h"

namespace telvora::storage {

TBlobFileHeader::TBlobFileHeader(std::span<const std::uint8_t> image) {
  image_.fill(0);
  std::copy_n(image.begin(), std::min(image.size(), image_.size()), image_.begin());
}

TBlobFileHeader TBlobFileHeader::New() {
  TBlobFileHeader header;
  header.image_[kVersionOffset] = kFormatVersion;
  StoreLittle<std::int32_t>(header.image_, kNextBlockOffset, 1);
  header.SetModifiedMarker();
  return header;
}

TBlobFileHeader TBlobFileHeader::FromFileImage(std::span<const std::uint8_t> file_image, bool encrypted) {
  TBlobFileHeader header(file_image);
  if (encrypted) Scramble(header.image_, kDataKey);
  return header;
}

std::array<std::uint8_t, kBlobFileHeaderSize> TBlobFileHeader::ImageForFile(bool encrypted) const {
  std::array<std::uint8_t, kBlobFileHeaderSize> out = image_;
  if (encrypted) Scramble(out, kDataKey);
  return out;
}

std::int32_t TBlobFileHeader::ChangeCounter() const {
  return LoadLittle<std::int32_t>(image_, kChangeCounterOffset);
}

std::int32_t TBlobFileHeader::FreeChainHead() const { return LoadLittle<std::int32_t>(image_, kFreeHeadOffset); }

void TBlobFileHeader::SetFreeChainHead(std::int32_t block) {
  if (block == FreeChainHead()) return;
  StoreLittle<std::int32_t>(image_, kFreeHeadOffset, block);
  SetModifiedMarker();
}

std::int32_t TBlobFileHeader::NextBlockNumber() const {
  return LoadLittle<std::int32_t>(image_, kNextBlockOffset);
}

void TBlobFileHeader::SetNextBlockNumber(std::int32_t block) {
  if (block == NextBlockNumber()) return;
  StoreLittle<std::int32_t>(image_, kNextBlockOffset, block);
  SetModifiedMarker();
}

void TBlobFileHeader::MarkModified() {
  StoreLittle<std::uint32_t>(image_, kChangeCounterOffset,
                             LoadLittle<std::uint32_t>(image_, kChangeCounterOffset) + 1);
  SetModifiedMarker();
}

void TBlobFileHeader::PrepareWrite() {
  StoreLittle<std::uint32_t>(image_, kChangeCounterOffset,
                             LoadLittle<std::uint32_t>(image_, kChangeCounterOffset) + 1);
}

}  // namespace telvora::storage
