#include "storage/blob_buffer.h"

#include <algorithm>
#include <cstring>

#include "storage/blob_chain.h"
#include "storage/storage_errors.h"

namespace telvora::storage {

TBlobBuffer::TBlobBuffer(std::uint16_t field_number, std::int32_t record_number, std::int32_t first_block,
                         std::int32_t blob_key)
    : field_number_(field_number), record_number_(record_number), first_block_(first_block), blob_key_(blob_key) {}

int TBlobBuffer::ReleaseOpen() {
  if (open_count_ > 0) --open_count_;
  return open_count_;
}

void TBlobBuffer::Load(TBlobBlocks& blocks) {
  value_ = ReadBlobChain(blocks, first_block_, blob_key_);
  as_read_ = value_;
  modified_ = false;
}

std::size_t TBlobBuffer::Read(std::size_t offset, std::size_t count, std::span<std::uint8_t> destination) const {
  if (offset >= value_.size()) return 0;
  const std::size_t copied = std::min({count, value_.size() - offset, destination.size()});
  if (copied == 0) return 0;
  std::memcpy(destination.data(), value_.data() + offset, copied);
  return copied;
}

void TBlobBuffer::Write(std::size_t offset, std::span<const std::uint8_t> source) {
  if (offset + source.size() > value_.size()) value_.resize(offset + source.size(), 0);
  std::copy(source.begin(), source.end(), value_.begin() + static_cast<std::ptrdiff_t>(offset));
  modified_ = true;
}

void TBlobBuffer::Truncate(std::size_t length) {
  if (length == value_.size()) return;
  value_.resize(length, 0);
  if (length == 0) value_.shrink_to_fit();
  modified_ = true;
}

void TBlobBuffer::Post(TBlobBlocks& blocks, std::int32_t record_number) {
  if (!modified_) return;
  if (record_number != record_number_) RaiseTableError(VORA_MEMOCORRUPT, blocks.File().TableName());
  const std::int32_t key = blocks.File().NextBlobKey();
  WriteBlobChain(blocks, first_block_, key, value_);
  blob_key_ = key;
  as_read_ = value_;
  modified_ = false;
}

}  // namespace telvora::storage
