#include "engine/open_blob_values.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "storage/blob_chain.h"
#include "storage/engine_error.h"
#include "storage/engine_error_codes.h"
#include "storage/field_types.h"

namespace telvora::engine {
namespace {

using storage::TBlobBuffer;
using storage::TFieldLayout;
using storage::TRecordImage;

// The image view needs mutable bytes; reading through it changes nothing.
TRecordImage ReadView(std::span<const std::uint8_t> record) {
  return TRecordImage(std::span<std::uint8_t>(const_cast<std::uint8_t*>(record.data()), record.size()));
}

}  // namespace

TOpenBlobValues::TOpenBlobValues(storage::TDataTable& table) : table_(table), values_(table.table_name()) {}

void TOpenBlobValues::Raise(std::uint16_t code) const {
  storage::RaiseEngineError(code, {.table = table_.table_name()});
}

std::optional<TFieldLayout> TOpenBlobValues::BlobField(std::uint16_t field_number) const {
  const std::optional<storage::TFieldDescriptor> field = table_.data_file().DescriptorByNumber(field_number);
  if (!field || field->Type() != storage::kTypeBlob) return std::nullopt;
  return TFieldLayout::Of(*field);
}

TBlobBuffer* TOpenBlobValues::OpenValue(const TFieldLayout& layout, std::span<const std::uint8_t> record,
                                        std::int32_t* handle) const {
  const std::int32_t reference = ReadView(record).GetBlobFirstBlock(layout);
  if (handle != nullptr) *handle = reference;
  return reference < 0 ? values_.Find(reference) : nullptr;
}

void TOpenBlobValues::StoreHandle(const TFieldLayout& layout, std::span<std::uint8_t> record, std::int32_t handle,
                                  std::size_t length) {
  TRecordImage image(record);
  image.SetBlobReference(layout, handle, image.GetBlobKey(layout));
  record[layout.offset] = length != 0 ? 1 : 0;
}

std::uint16_t TOpenBlobValues::OpenBlob(std::uint16_t field_number, std::span<std::uint8_t> record, int mode,
                                        bool internal, std::size_t& size) {
  size = 0;
  const std::optional<TFieldLayout> layout = BlobField(field_number);
  if (!layout) return storage::VORA_NOTABLOB;
  const TRecordImage image(record);
  const std::int32_t reference = image.GetBlobFirstBlock(*layout);
  if (reference < 0) {
    TBlobBuffer* open = values_.Find(reference);
    if (open == nullptr) return storage::VORA_INVALIDBLOBOFFSET;
    open->AddOpen();
    if (mode == kBlobModeWrite) states_[reference].internal = internal;
    size = open->Length();
    StoreHandle(*layout, record, reference, size);
    return 0;
  }
  if (values_.Count() >= storage::TBlobBufferList::kMaxOpenBlobs) return storage::VORA_OPENBLOBLIMIT;
  auto value = std::make_unique<TBlobBuffer>(field_number, image.RecordNumber(), reference, image.GetBlobKey(*layout));
  if (reference != 0) {
    storage::TBlobBlocks* blocks = table_.blob_file().blocks();
    if (blocks == nullptr) Raise(storage::VORA_MEMOCORRUPT);
    value->Load(*blocks);
  }
  size = value->Length();
  const std::int32_t handle = values_.Add(std::move(value));
  states_[handle] = State{mode, internal};
  StoreHandle(*layout, record, handle, size);
  return 0;
}

std::uint16_t TOpenBlobValues::CloseBlob(std::uint16_t field_number, std::span<std::uint8_t> record) {
  const std::optional<TFieldLayout> layout = BlobField(field_number);
  if (!layout) return storage::VORA_NOTABLOB;
  std::int32_t handle = 0;
  TBlobBuffer* value = OpenValue(*layout, record, &handle);
  if (value == nullptr) return storage::VORA_INVALIDBLOBHANDLE;
  if (value->ReleaseOpen() > 0) return 0;
  const std::int32_t reference = value->FirstBlock();
  const std::int32_t key = value->BlobKey();
  values_.Remove(handle);
  states_.erase(handle);
  TRecordImage(record).SetBlobReference(*layout, reference, key);
  return 0;
}

std::uint16_t TOpenBlobValues::ReadBlob(std::uint16_t field_number, std::span<const std::uint8_t> record,
                                        std::size_t offset, std::size_t count, std::uint8_t* destination,
                                        std::size_t& read) {
  read = 0;
  const std::optional<TFieldLayout> layout = BlobField(field_number);
  if (!layout) return storage::VORA_NOTABLOB;
  const TBlobBuffer* value = OpenValue(*layout, record);
  if (value == nullptr) return storage::VORA_INVALIDBLOBHANDLE;
  read = value->Read(offset, count, std::span<std::uint8_t>(destination, count));
  const bool whole = offset <= value->Length() && count <= value->Length() - offset;
  return whole ? 0 : storage::VORA_ENDOFBLOB;
}

std::uint16_t TOpenBlobValues::WriteBlob(std::uint16_t field_number, std::span<std::uint8_t> record,
                                         std::size_t offset, std::size_t count, const std::uint8_t* source) {
  const std::optional<TFieldLayout> layout = BlobField(field_number);
  if (!layout) return storage::VORA_NOTABLOB;
  std::int32_t handle = 0;
  TBlobBuffer* value = OpenValue(*layout, record, &handle);
  if (value == nullptr) return storage::VORA_INVALIDBLOBHANDLE;
  value->Write(offset, std::span<const std::uint8_t>(source, count));
  StoreHandle(*layout, record, handle, value->Length());
  return 0;
}

std::uint16_t TOpenBlobValues::TruncateBlob(std::uint16_t field_number, std::span<std::uint8_t> record,
                                            std::size_t length) {
  const std::optional<TFieldLayout> layout = BlobField(field_number);
  if (!layout) return storage::VORA_NOTABLOB;
  std::int32_t handle = 0;
  TBlobBuffer* value = OpenValue(*layout, record, &handle);
  if (value == nullptr) return storage::VORA_INVALIDBLOBHANDLE;
  value->Truncate(length);
  StoreHandle(*layout, record, handle, value->Length());
  return 0;
}

std::uint16_t TOpenBlobValues::GetBlobSize(std::uint16_t field_number, std::span<const std::uint8_t> record,
                                           std::size_t& size) {
  size = 0;
  const std::optional<TFieldLayout> layout = BlobField(field_number);
  if (!layout) return storage::VORA_NOTABLOB;
  const TBlobBuffer* value = OpenValue(*layout, record);
  if (value == nullptr) return storage::VORA_INVALIDBLOBHANDLE;
  size = value->Length();
  return 0;
}

void TOpenBlobValues::PostBlobValues(std::span<std::uint8_t> image, std::int32_t record_number, bool new_record) {
  if (table_.data_file().BlobFieldCount() <= 0) return;
  const std::vector<std::int32_t> handles = values_.Handles();
  // Every check before the first write: a value of another record must not
  // leave half the values written.
  for (const std::int32_t handle : handles) {
    TBlobBuffer* value = values_.Find(handle);
    if (new_record) value->AdoptRecord(record_number);
    if (value->Modified() && value->RecordNumber() != record_number) Raise(storage::VORA_MEMOCORRUPT);
  }
  storage::TBlobBlocks* blocks = table_.blob_file().blocks();
  TRecordImage record(image);
  for (const std::int32_t handle : handles) {
    TBlobBuffer* value = values_.Find(handle);
    if (value->RecordNumber() != record_number) continue;
    if (value->Modified()) {
      if (blocks == nullptr) Raise(storage::VORA_MEMOCORRUPT);
      value->Post(*blocks, record_number);
    }
    const std::optional<TFieldLayout> layout = BlobField(value->FieldNumber());
    if (layout) record.SetBlobReference(*layout, value->FirstBlock(), value->BlobKey());
  }
  for (const std::int32_t handle : handles) {
    if (states_[handle].internal) {
      values_.Remove(handle);
      states_.erase(handle);
    }
  }
}

void TOpenBlobValues::CopyForAppend(std::span<const std::uint8_t> current, std::span<std::uint8_t> copy) {
  std::copy(current.begin(), current.end(), copy.begin());
  TRecordImage target(copy);
  target.SetRecordNumber(0);
  target.SetRecordId(0);
  const TRecordImage source = ReadView(current);
  for (const storage::TFieldDescriptor& field : table_.data_file().Descriptors()) {
    if (field.Type() != storage::kTypeBlob) continue;
    const TFieldLayout layout = TFieldLayout::Of(field);
    const std::int32_t first = source.GetBlobFirstBlock(layout);
    // The copy never shares the current record's chain.
    target.SetBlobReference(layout, 0, 0);
    if (source.IsNull(layout) || first <= 0) continue;
    storage::TBlobBlocks* blocks = table_.blob_file().blocks();
    if (blocks == nullptr) Raise(storage::VORA_MEMOCORRUPT);
    const std::vector<std::uint8_t> bytes = storage::ReadBlobChain(*blocks, first, source.GetBlobKey(layout));
    auto value = std::make_unique<TBlobBuffer>(field.FieldNumber(), 0, 0, 0);
    value->Write(0, bytes);
    const std::int32_t handle = values_.Add(std::move(value));
    states_[handle] = State{kBlobModeWrite, false};
    StoreHandle(layout, copy, handle, bytes.size());
  }
}

void TOpenBlobValues::EmptyForDelete(std::span<std::uint8_t> record) {
  for (const storage::TFieldDescriptor& field : table_.data_file().Descriptors()) {
    if (field.Type() != storage::kTypeBlob) continue;
    std::size_t size = 0;
    if (const std::uint16_t code = OpenBlob(field.FieldNumber(), record, kBlobModeWrite, true, size)) Raise(code);
    TruncateBlob(field.FieldNumber(), record, 0);
  }
}

std::optional<std::string> TOpenBlobValues::MemoText(std::uint16_t field_number, std::span<const std::uint8_t> record,
                                                     bool as_read) const {
  const std::optional<TFieldLayout> layout = BlobField(field_number);
  if (!layout) return std::nullopt;
  const TBlobBuffer* value = OpenValue(*layout, record);
  if (value == nullptr) return std::nullopt;
  const std::span<const std::uint8_t> bytes = as_read ? value->ValueAsRead() : value->Value();
  return std::string(bytes.begin(), bytes.end());
}

MemoTextSource TOpenBlobValues::MemoTexts(std::span<const std::uint8_t> record, bool as_read) const {
  return [this, record, as_read](std::uint16_t field_number) { return MemoText(field_number, record, as_read); };
}

void TOpenBlobValues::Clear() {
  for (const std::int32_t handle : values_.Handles()) values_.Remove(handle);
  states_.clear();
}

}  // namespace telvora::engine
