#include "storage/block.h"

#include <algorithm>

namespace telvora::storage {

void TBlock::SetPrevious(std::int32_t block) {
  header_.previous = block;
  modified_ = true;
}

void TBlock::SetNext(std::int32_t block) {
  header_.next = block;
  modified_ = true;
}

void TBlock::SetUsedBytes(std::uint16_t count) {
  header_.used_bytes = count;
  modified_ = true;
}

void TBlock::SetBlobKey(std::int32_t key) {
  header_.blob_key = key;
  modified_ = true;
}

void TBlock::SetTotalLength(std::int32_t length) {
  header_.total_length = length;
  modified_ = true;
}

std::span<std::uint8_t> TBlock::MutableData() {
  modified_ = true;
  return data_;
}

void TBlock::Clear() {
  header_ = TBlobBlockHeader{};
  std::fill(data_.begin(), data_.end(), 0);
  modified_ = true;
}

void TBlock::PackImage(std::span<std::uint8_t> image) const {
  header_.Pack(image);
  std::copy(data_.begin(), data_.end(), image.begin() + kBlobBlockHeaderSize);
}

void TBlock::LoadImage(std::span<const std::uint8_t> image) {
  header_ = TBlobBlockHeader::Unpack(image);
  std::copy_n(image.begin() + kBlobBlockHeaderSize, data_.size(), data_.begin());
  modified_ = false;
}

}  // namespace telvora::storage
