#pragma once
// TOpenBlobValues: the BLOB values a cursor has open on its record buffers,
// and their posting when a record is written.
//
// While a value is open, its field in the cursor's record buffer holds the
// value's handle (a negative number) in place of the first block, with the
// null flag set exactly when the value is not empty. Each open value also
// carries the mode it was opened in (1 read, 2 write) and an internal flag:
// values the engine opened for its own use are freed after each post, the
// others stay open until their last CloseBlob. At most 128 values are open.
//
// The six BLOB operations return their result code (0 success) instead of
// raising it; only reading a value from the file while opening it raises.
// Posting writes changed values under new BLOB keys and leaves only block
// numbers in the record image that goes to the file, never handles.
//
// REQUIRES: the table's files are open; posting runs under the table's
// write lock (or exclusive). Belongs to one cursor, used by its thread.
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>

#include "engine/record_index_writer.h"
#include "storage/blob_buffer_list.h"
#include "storage/data_table.h"
#include "storage/record_image.h"

namespace telvora::engine {

inline constexpr int kBlobModeRead = 1;
inline constexpr int kBlobModeWrite = 2;

class TOpenBlobValues {
 public:
  explicit TOpenBlobValues(storage::TDataTable& table);

  std::uint16_t OpenBlob(std::uint16_t field_number, std::span<std::uint8_t> record, int mode, bool internal,
                         std::size_t& size);
  std::uint16_t CloseBlob(std::uint16_t field_number, std::span<std::uint8_t> record);
  // 8711 when the value ends before offset + count; `read` is set to the
  // bytes copied either way.
  std::uint16_t ReadBlob(std::uint16_t field_number, std::span<const std::uint8_t> record, std::size_t offset,
                         std::size_t count, std::uint8_t* destination, std::size_t& read);
  std::uint16_t WriteBlob(std::uint16_t field_number, std::span<std::uint8_t> record, std::size_t offset,
                          std::size_t count, const std::uint8_t* source);
  std::uint16_t TruncateBlob(std::uint16_t field_number, std::span<std::uint8_t> record, std::size_t length);
  std::uint16_t GetBlobSize(std::uint16_t field_number, std::span<const std::uint8_t> record, std::size_t& size);

  // Writes the changed open values as part of writing record record_number
  // and puts every value's reference and key into `image` (the record image
  // that goes to the file). With new_record (an insert), values made for a
  // record not yet stored (record number 0) become this record's; a
  // changed value of another record is 8963, raised before anything is
  // written. Internal values are freed after. Nothing happens for a table
  // without BLOB fields.
  void PostBlobValues(std::span<std::uint8_t> image, std::int32_t record_number, bool new_record = false);

  // For CopyCurrentForAppend: `copy` becomes `current` without record
  // number and id, and every BLOB value of `current` that is not null is
  // read and opened as a new, changed value of the copy (9494 raised when
  // the open values run out).
  void CopyForAppend(std::span<const std::uint8_t> current, std::span<std::uint8_t> copy);

  // For DeleteRecord: opens every BLOB field of the record (write mode,
  // internal) and cuts it to length 0, so that the next post frees the
  // values' chains. A failing open raises its code.
  void EmptyForDelete(std::span<std::uint8_t> record);

  // The text of a memo open in the buffer's field: its current value, or
  // the value as read when as_read is set (for the text index); nullopt
  // when the field holds no handle of an open value.
  std::optional<std::string> MemoText(std::uint16_t field_number, std::span<const std::uint8_t> record,
                                      bool as_read) const;
  // MemoText over one buffer, for TRecordIndexWriter.
  MemoTextSource MemoTexts(std::span<const std::uint8_t> record, bool as_read) const;

  // Frees every open value (the cursor closes or its table goes away).
  void Clear();
  std::size_t Count() const { return values_.Count(); }

 private:
  struct State {
    int mode = kBlobModeRead;
    bool internal = false;
  };
  // The field's layout, or nullopt when it is no BLOB field.
  std::optional<storage::TFieldLayout> BlobField(std::uint16_t field_number) const;
  // The open value the buffer's field names, or null.
  storage::TBlobBuffer* OpenValue(const storage::TFieldLayout& layout, std::span<const std::uint8_t> record,
                                  std::int32_t* handle = nullptr) const;
  static void StoreHandle(const storage::TFieldLayout& layout, std::span<std::uint8_t> record, std::int32_t handle,
                          std::size_t length);
  [[noreturn]] void Raise(std::uint16_t code) const;

  storage::TDataTable& table_;
  storage::TBlobBufferList values_;
  std::map<std::int32_t, State> states_;
};

}  // namespace telvora::engine
