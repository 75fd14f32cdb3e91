#include "engine/record_writes.h"

#include <limits>
#include <vector>

#include "storage/engine_error.h"
#include "storage/engine_error_codes.h"
#include "storage/field_types.h"
#include "storage/record_image.h"

namespace telvora::engine {
namespace {

using storage::TDataFile;
using storage::TRecord;
using storage::TRecordImage;

// Gives a pinned record back to the cache however the write ends.
class TPinnedRecord {
 public:
  TPinnedRecord(TDataFile& data, TRecord* record) : data_(data), record_(record) {}
  ~TPinnedRecord() {
    if (record_ != nullptr) data_.ReleaseRecord(record_);
  }
  TPinnedRecord(const TPinnedRecord&) = delete;
  TPinnedRecord& operator=(const TPinnedRecord&) = delete;
  TRecord* operator->() const { return record_; }

 private:
  TDataFile& data_;
  TRecord* record_;
};

TRecord* Obtained(TRecord* record, const storage::TDataTable& table) {
  // Under the write lock no other writer can have changed the file; a
  // record that cannot be had means the caller does not hold it.
  if (record == nullptr) storage::RaiseEngineError(storage::VORA_KEYORRECDELETED, {.table = table.table_name()});
  return record;
}

std::int32_t FollowingRecordId(std::int32_t last) {
  return last == std::numeric_limits<std::int32_t>::max() ? 1 : last + 1;
}

std::span<const std::uint8_t> Fields(const std::vector<std::uint8_t>& image) {
  return std::span<const std::uint8_t>(image).subspan(TRecordImage::kHeaderSize);
}

}  // namespace

std::int32_t InsertRecordImage(const TRecordWriteParts& parts, std::span<std::uint8_t> buffer) {
  TDataFile& data = parts.table.data_file();
  const std::int32_t id = FollowingRecordId(data.Header().LastAutoIncValue());
  std::vector<std::uint8_t> image(buffer.begin(), buffer.end());
  TRecordImage record(image);
  record.SetDeleted(false);
  record.SetRecordId(id);
  parts.indexes.CheckInsert(record);

  const std::int32_t appended = data.Header().NextRecordNumber();
  TPinnedRecord slot(data, Obtained(data.NewRecordSlot(), parts.table));
  const std::int32_t n = slot->RecordNumber();
  const std::int32_t old_id = slot->AutoIncWord();
  data.NextAutoIncValue();
  record.SetRecordNumber(n);
  TRecordImage(buffer).SetRecordId(id);
  TRecordImage(buffer).SetRecordNumber(n);

  parts.indexes.InsertKeys(record, n);
  if (n < appended) {
    parts.indexes.ReuseRecordSlot(old_id, id, n);
  } else {
    parts.indexes.AddRecordSlot(id, n);
  }
  parts.indexes.AddWords(record, parts.blobs.MemoTexts(buffer, false), n);
  parts.blobs.PostBlobValues(image, n, true);
  slot->ReplaceFields(Fields(image));
  slot->SetAutoIncWord(id);
  parts.table.index_file().IncrementActiveRecordCount();
  return n;
}

void ModifyRecordImage(const TRecordWriteParts& parts, std::int32_t record_number, std::span<std::uint8_t> buffer) {
  TDataFile& data = parts.table.data_file();
  TPinnedRecord stored(data, Obtained(data.GetRecord(record_number), parts.table));
  std::vector<std::uint8_t> old_image(stored->Image().begin(), stored->Image().end());
  const TRecordImage old_record(old_image);
  std::vector<std::uint8_t> image(buffer.begin(), buffer.end());
  TRecordImage record(image);
  record.SetDeleted(false);
  record.SetRecordNumber(record_number);
  record.SetRecordId(old_record.RecordId());
  TRecordImage(buffer).SetRecordId(old_record.RecordId());
  parts.indexes.CheckModify(old_record, record, record_number);

  parts.indexes.ModifyKeys(old_record, record, record_number);
  parts.indexes.ReplaceWords(old_record, parts.blobs.MemoTexts(buffer, true), record,
                             parts.blobs.MemoTexts(buffer, false), record_number);
  parts.blobs.PostBlobValues(image, record_number);
  stored->ReplaceFields(Fields(image));
}

void DeleteRecordImage(const TRecordWriteParts& parts, std::int32_t record_number,
                       std::span<const std::uint8_t> buffer) {
  TDataFile& data = parts.table.data_file();
  TPinnedRecord stored(data, Obtained(data.GetRecord(record_number), parts.table));
  std::vector<std::uint8_t> old_image(stored->Image().begin(), stored->Image().end());
  const TRecordImage old_record(old_image);
  parts.indexes.DeleteKeys(old_record);
  parts.indexes.MarkRecordSlotDeleted(old_record.RecordId(), record_number);

  // The BLOB values through the cursor's buffer, so that values it holds
  // open are the ones emptied; the fields only through the stored image.
  std::vector<std::uint8_t> blob_image(buffer.begin(), buffer.end());
  blob_image.resize(old_image.size());
  parts.blobs.EmptyForDelete(blob_image);
  parts.indexes.RemoveWords(old_record, parts.blobs.MemoTexts(blob_image, true));
  parts.blobs.PostBlobValues(blob_image, record_number);
  // The freed chains must not stay referenced from the slot.
  TRecordImage freed(old_image);
  const TRecordImage emptied(blob_image);
  for (const storage::TFieldDescriptor& field : data.Descriptors()) {
    if (field.Type() != storage::kTypeBlob) continue;
    const storage::TFieldLayout layout = storage::TFieldLayout::Of(field);
    freed.SetBlobReference(layout, emptied.GetBlobFirstBlock(layout), emptied.GetBlobKey(layout));
  }
  stored->ReplaceFields(Fields(old_image));
  data.DeleteRecord(stored.operator->());
  parts.table.index_file().DecrementActiveRecordCount();
}

}  // namespace telvora::engine
