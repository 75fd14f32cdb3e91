#pragma once
// TRecordIndexWriter: keeps the indexes of one open table in step with the
// records written to it: the primary index (when the table has primary key
// fields), the secondary indexes, the record-slot index (slot 31: status
// byte and record id per slot) and the text index (slot 32: one key per
// distinct word of each text-indexed field).
//
// The unique checks are separate calls that change nothing, so a writer
// runs every check before its first change: a duplicate key (9729) leaves
// every index as it was. Changes that find an index disagreeing with the
// record (a key to delete or replace that is not there) raise 8965 and
// leave the table for repair.
//
// Keys are built from record images whose record id (offset 5) is already
// the record's: non-unique keys and text keys end in it.
//
// REQUIRES: the table's files are open and the caller holds its write lock
// (or the table is exclusive). One thread at a time, like the table.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/locale.h"
#include "storage/data_table.h"
#include "storage/record_image.h"
#include "storage/text_index_parameters.h"

namespace telvora::engine {

// The text of a text-indexed memo field, as the caller holds it (an open
// BLOB value); nullopt when the caller holds no value for the field.
using MemoTextSource = std::function<std::optional<std::string>(std::uint16_t field_number)>;

class TRecordIndexWriter {
 public:
  explicit TRecordIndexWriter(storage::TDataTable& table);

  // The slots of the key indexes: 0 when the table has primary key fields,
  // then every secondary index, in index order.
  const std::vector<int>& KeySlots() const { return key_slots_; }

  // --- Unique checks (change nothing; 9729 with index and table names) ---

  // Every unique index must not hold the new record's key yet.
  void CheckInsert(const storage::TRecordImage& record);
  // Only the unique indexes whose key differs between the two images; the
  // record's own entry (record number) does not count as a duplicate.
  void CheckModify(const storage::TRecordImage& old_record, const storage::TRecordImage& new_record,
                   std::int32_t record_number);

  // --- Key indexes ---

  // The record's key, pointing at record_number, into every key index.
  void InsertKeys(const storage::TRecordImage& record, std::int32_t record_number);
  // Replaces the keys that differ (the record-slot key too, should the id
  // differ).
  void ModifyKeys(const storage::TRecordImage& old_record, const storage::TRecordImage& new_record,
                  std::int32_t record_number);
  // Removes the record's key from every key index; 8965 when one is missing.
  void DeleteKeys(const storage::TRecordImage& record);

  // --- Record-slot index ---

  // A slot appended to the file: (0, id).
  void AddRecordSlot(std::int32_t record_id, std::int32_t record_number);
  // A deleted slot taken again: (1, old id) becomes (0, new id).
  void ReuseRecordSlot(std::int32_t old_record_id, std::int32_t new_record_id, std::int32_t record_number);
  // A deleted record: (0, id) becomes (1, id).
  void MarkRecordSlotDeleted(std::int32_t record_id, std::int32_t record_number);

  // --- Text index ---

  // The text-indexed fields (field numbers); empty without a text index.
  const std::vector<std::uint16_t>& TextIndexedFields() const { return text_fields_; }
  bool IsTextIndexed(std::uint16_t field_number) const;
  // The stored parameters, or the defaults when none are stored.
  const storage::TTextIndexParameters& TextParameters();
  // The words of every text-indexed field: strings from the record, memos
  // from `memos` (a memo without a value there adds nothing).
  void AddWords(const storage::TRecordImage& record, const MemoTextSource& memos, std::int32_t record_number);
  // Removes them again; 8965 when a word's key is missing.
  void RemoveWords(const storage::TRecordImage& record, const MemoTextSource& memos);
  // Removes the words that left and adds the words that came. A memo whose
  // new text source gives nothing is unchanged.
  void ReplaceWords(const storage::TRecordImage& old_record, const MemoTextSource& old_memos,
                    const storage::TRecordImage& new_record, const MemoTextSource& new_memos,
                    std::int32_t record_number);

 private:
  std::vector<std::uint8_t> Key(int slot, const storage::TRecordImage& record) const;
  // Whether a key equal to `key` is in the index; the record number of the
  // entry found.
  std::optional<std::int32_t> FindEqual(int slot, const std::vector<std::uint8_t>& key);
  [[noreturn]] void RaiseDuplicate(int slot) const;
  [[noreturn]] void RaiseCorrupt(int slot) const;
  void ReplaceKey(int slot, const std::uint8_t* old_key, const std::uint8_t* new_key, std::int32_t record_number);
  std::optional<std::string> FieldText(std::uint16_t field_number, const storage::TRecordImage& record,
                                       const MemoTextSource& memos) const;
  std::vector<std::string> Words(const std::optional<std::string>& text);
  void AddFieldWords(std::uint16_t field_number, const std::vector<std::string>& words, std::int32_t record_id,
                     std::int32_t record_number);
  void RemoveFieldWords(std::uint16_t field_number, const std::vector<std::string>& words, std::int32_t record_id);

  storage::TDataTable& table_;
  Locale locale_;
  std::vector<int> key_slots_;
  std::vector<storage::TIndexKeyDefinition> definitions_;  // by slot 0..30
  std::vector<storage::KeyUpperCase> upper_cases_;         // by slot 0..30
  std::vector<std::uint16_t> text_fields_;
  std::optional<storage::TTextIndexParameters> text_parameters_;
};

}  // namespace telvora::engine
