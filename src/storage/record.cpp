#include "storage/record.h"

#include <algorithm>
#include <cstring>

#include "storage/byte_image.h"
#include "storage/record_image.h"

namespace telvora::storage {

void TRecord::Reset(TDataFile* owner, std::int32_t record_number, std::size_t size) {
  owner_ = owner;
  record_number_ = record_number;
  if (buffer_.size() < size) {
    buffer_.resize((size + kRecordBufferStep - 1) / kRecordBufferStep * kRecordBufferStep);
  }
  size_ = size;
  std::fill(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(size), std::uint8_t{0});
  modified_ = false;
  pin_count_ = 0;
  detached_ = false;
  newer_ = older_ = nullptr;
}

void TRecord::ReplaceFields(std::span<const std::uint8_t> fields) {
  if (size_ <= TRecordImage::kHeaderSize) return;
  const std::size_t count = std::min(fields.size(), size_ - TRecordImage::kHeaderSize);
  std::memcpy(buffer_.data() + TRecordImage::kHeaderSize, fields.data(), count);
  modified_ = true;
}

bool TRecord::Deleted() const { return buffer_[TRecordImage::kDeletedFlagOffset] != 0; }

void TRecord::SetDeleted(bool deleted) {
  buffer_[TRecordImage::kDeletedFlagOffset] = deleted ? 1 : 0;
  modified_ = true;
}

std::int32_t TRecord::AutoIncWord() const {
  return LoadLittle<std::int32_t>(Image(), TRecordImage::kRecordIdOffset);
}

void TRecord::SetAutoIncWord(std::int32_t value) {
  StoreLittle<std::int32_t>(MutableImage(), TRecordImage::kRecordIdOffset, value);
  modified_ = true;
}

std::int32_t TRecord::Link() const {
  return LoadLittle<std::int32_t>(Image(), TRecordImage::kRecordNumberOffset);
}

void TRecord::SetLink(std::int32_t value) {
  StoreLittle<std::int32_t>(MutableImage(), TRecordImage::kRecordNumberOffset, value);
}

bool TRecord::SameImage(std::span<const std::uint8_t> other) const {
  return other.size() == size_ && std::memcmp(other.data(), buffer_.data(), size_) == 0;
}

}  // namespace telvora::storage
