#include "storage/blob_block_header.h"

#include "storage/byte_image.h"
#include "storage/scrambler.h"

namespace telvora::storage {

TBlobBlockHeader TBlobBlockHeader::Unpack(std::span<const std::uint8_t> image) {
  TBlobBlockHeader header;
  header.previous = LoadLittle<std::int32_t>(image, kPreviousOffset);
  header.next = LoadLittle<std::int32_t>(image, kNextOffset);
  header.used_bytes = LoadLittle<std::uint16_t>(image, kUsedBytesOffset);
  header.blob_key = LoadLittle<std::int32_t>(image, kBlobKeyOffset);
  header.total_length = LoadLittle<std::int32_t>(image, kTotalLengthOffset);
  return header;
}

void TBlobBlockHeader::Pack(std::span<std::uint8_t> image) const {
  StoreLittle<std::int32_t>(image, kPreviousOffset, previous);
  StoreLittle<std::int32_t>(image, kNextOffset, next);
  StoreLittle<std::uint16_t>(image, kUsedBytesOffset, used_bytes);
  StoreLittle<std::int32_t>(image, kBlobKeyOffset, blob_key);
  StoreLittle<std::int32_t>(image, kTotalLengthOffset, total_length);
}

void ScrambleBlobBlockImage(std::span<std::uint8_t> image) {
  Scramble(image.first(kBlobBlockHeaderSize), kDataKey);
  Scramble(image.subspan(kBlobBlockHeaderSize), kDataKey);
}

}  // namespace telvora::storage
