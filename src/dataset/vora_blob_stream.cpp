#include "dataset/vora_blob_stream.h"

#include <algorithm>

#include "dataset/dataset_error.h"
#include "dataset/field.h"
#include "dataset/vora_data_set.h"
#include "engine/open_blob_values.h"
#include "storage/engine_error.h"
#include "storage/engine_error_codes.h"
#include "storage/record_image.h"

namespace telvora::dataset {

TVoraBlobStream::TVoraBlobStream(TField& Field, TBlobStreamMode Mode)
    : field_(Field),
      dataset_(*Field.DataSet()),
      field_no_(static_cast<std::uint16_t>(Field.FieldNo())),
      mode_(Mode) {
  if (mode_ != TBlobStreamMode::bmRead) {
    if (field_.ReadOnly()) DatabaseErrorFmt(kFieldReadOnly, field_.DisplayName());
    const TDataSetState state = dataset_.State();
    if (state != TDataSetState::Editing && state != TDataSetState::Inserting) DatabaseError(kNotEditing);
  }
  Open();
}

TVoraBlobStream::~TVoraBlobStream() {
  if (written_) {
    dataset_.DataEvent(TDataEvent::deFieldChange, &field_);
    return;
  }
  if (opened_ && dataset_.Handle() != nullptr) dataset_.Handle()->CloseBlob(field_no_, record_);
}

void TVoraBlobStream::Check(std::uint16_t code) const {
  storage::RaiseForCursorField(code, dataset_.ContextDatabaseName(), dataset_.ContextTableName(),
                               field_.FieldName());
}

void TVoraBlobStream::Open() {
  engine::TDataCursor* cursor = dataset_.Handle();
  if (cursor == nullptr) DatabaseError(kDataSetClosed);
  std::size_t size = 0;
  if (mode_ == TBlobStreamMode::bmRead) {
    for (int attempt = 0;; ++attempt) {
      const std::span<std::uint8_t> image = dataset_.FieldImage(field_);
      copy_.assign(image.begin(), image.end());
      record_ = copy_;
      std::uint16_t code = 0;
      try {
        code = cursor->OpenBlob(field_no_, record_, engine::kBlobModeRead, false, size);
      } catch (const storage::EVoraEngineError& e) {
        code = storage::EngineErrorCodeOf(e);
        if (code != storage::VORA_KEYORRECDELETED || attempt > 0) Check(code);
      }
      // Another user changed the record since it was read: once more on
      // the record as it is now.
      if (code == storage::VORA_KEYORRECDELETED && attempt == 0) {
        dataset_.Refresh();
        continue;
      }
      Check(code);
      break;
    }
    opened_ = true;
    return;
  }
  record_ = dataset_.FieldImage(field_);
  const storage::TFieldLayout layout = storage::TFieldLayout::Of(cursor->Fields()[field_no_ - 1]);
  // A negative reference is a value this record holds open already (the
  // field was changed before): it is written on, not opened again.
  if (storage::TRecordImage(record_).GetBlobFirstBlock(layout) >= 0) {
    Check(cursor->OpenBlob(field_no_, record_, engine::kBlobModeWrite, false, size));
    opened_ = true;
  }
  if (mode_ == TBlobStreamMode::bmWrite) {
    Check(cursor->TruncateBlob(field_no_, record_, 0));
    written_ = true;
  }
}

std::size_t TVoraBlobStream::Read(void* buffer, std::size_t count) {
  std::size_t read = 0;
  const std::uint16_t code = dataset_.Handle()->ReadBlob(field_no_, record_, static_cast<std::size_t>(position_),
                                                         count, static_cast<std::uint8_t*>(buffer), read);
  if (code == storage::VORA_INVALIDBLOBOFFSET) return 0;
  if (code != storage::VORA_ENDOFBLOB) Check(code);
  position_ += static_cast<std::int64_t>(read);
  return read;
}

std::size_t TVoraBlobStream::Write(const void* buffer, std::size_t count) {
  if (mode_ == TBlobStreamMode::bmRead) DatabaseErrorFmt(kFieldReadOnly, field_.DisplayName());
  Check(dataset_.Handle()->WriteBlob(field_no_, record_, static_cast<std::size_t>(position_), count,
                                     static_cast<const std::uint8_t*>(buffer)));
  position_ += static_cast<std::int64_t>(count);
  written_ = true;
  return count;
}

std::size_t TVoraBlobStream::Size() {
  std::size_t size = 0;
  Check(dataset_.Handle()->GetBlobSize(field_no_, record_, size));
  return size;
}

std::int64_t TVoraBlobStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  switch (origin) {
    case TSeekOrigin::soBeginning: position_ = offset; break;
    case TSeekOrigin::soCurrent: position_ += offset; break;
    case TSeekOrigin::soEnd: position_ = static_cast<std::int64_t>(Size()) + offset; break;
  }
  position_ = std::max<std::int64_t>(position_, 0);
  return position_;
}

void TVoraBlobStream::Truncate() {
  if (mode_ == TBlobStreamMode::bmRead) DatabaseErrorFmt(kFieldReadOnly, field_.DisplayName());
  Check(dataset_.Handle()->TruncateBlob(field_no_, record_, static_cast<std::size_t>(position_)));
  written_ = true;
}

}  // namespace telvora::dataset
