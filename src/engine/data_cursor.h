#pragma once
// TDataCursor: one client's view of one open table: a current order (an
// index or the physical record order), a position in it, an optional key
// range, the record sets of set mode and an image of the current record.
//
// Positions. In an index order the position is the 1-based place of the
// current entry in the whole index (SequenceNo), its key and its record; in
// natural order it is the physical record number and its rank among the
// visible records. AtBOF and AtEOF are the crack flags: one of them set
// means the cursor stands before the first or after the last record (the
// record next to the crack is loaded); both set means there is no current
// record. Counts and places come from the index pages' subtree counts and
// from the record sets, never from reading records.
//
// Set mode (natural order, or an active filter) moves through VisibleSet:
// LiveSet (the records not deleted, from the record-slot index) AND RangeSet
// (with a range) AND every active filter's set. The cursor owns its filters
// (at most 64; see filter.h and data_cursor_filters.cpp).
//
// Change detection. Every public operation runs between BeginAccess and
// EndAccess: the table's change counters (and, with StrictChangeDetection,
// the table's read lock) tell whether another cursor or program changed the
// table since the last operation; then Resync puts the cursor back on its
// record, or on the next one when that record is gone. A page or record
// read that finds such a change mid-operation re-synchronises and starts
// the operation again.
//
// Threads: one thread at a time per cursor; cursors share the open table,
// whose callers serialise its use.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "engine/char_map.h"
#include "engine/filter.h"
#include "engine/index_reader.h"
#include "engine/locale.h"
#include "engine/open_blob_values.h"
#include "engine/record_index_writer.h"
#include "engine/record_writes.h"
#include "engine/records_bitmap.h"
#include "engine/table_creation_checks.h"
#include "storage/data_file_header.h"
#include "storage/data_table.h"
#include "storage/index_key.h"

namespace telvora::engine {

class TDataDirectory;

class TDataCursor {
 public:
  static constexpr std::uint8_t kPrimaryIndex = 0;
  static constexpr std::uint8_t kNaturalOrder = 255;
  static constexpr std::size_t kMaxTableName = 255;
  static constexpr std::size_t kKeyBufferLength = storage::kMaxKeyFieldsLength;
  static constexpr std::size_t kNaturalBookmarkSize = 4;
  static constexpr std::size_t kMaxFilters = 64;
  // Result codes of the moves (returned, not raised).
  static constexpr int kOk = 0;

  // Registers with the directory (its reference count rises).
  explicit TDataCursor(TDataDirectory& directory);
  // Closes an open cursor (errors ignored) and unregisters.
  ~TDataCursor();
  TDataCursor(const TDataCursor&) = delete;
  TDataCursor& operator=(const TDataCursor&) = delete;

  // --- Set before opening (10031 on an open cursor) ---
  void SetTableName(const std::string& name);
  void SetExclusive(bool exclusive);
  void SetReadOnly(bool read_only);
  // Open in natural order instead of the primary index.
  void SetOpenInNaturalOrder(bool natural) { open_natural_ = natural; }
  const std::string& TableName() const { return table_name_; }
  bool Exclusive() const { return exclusive_; }
  // After opening: forced on when the table could only be read.
  bool ReadOnly() const { return read_only_; }
  bool IsOpen() const { return table_ != nullptr; }
  TDataDirectory& directory() const { return directory_; }

  // --- Opening and closing ---
  void OpenCursor();
  void CloseCursor();
  // A new open cursor on the same table: index, range and position alike.
  std::unique_ptr<TDataCursor> CloneCursor();

  // --- Order ---
  // By name, without regard to case; 10022 when no index has it.
  void SelectIndex(const std::string& name);
  // By slot: 0 primary, 1-30 secondary, 255 natural order.
  void SelectIndexNumber(std::uint8_t index);
  std::uint8_t CurrentIndex() const { return current_index_; }
  bool NaturalOrder() const { return natural_; }
  bool SetMode() const { return set_mode_; }
  std::string IndexName() const;
  std::size_t KeyLength() const { return key_definition_.key_length; }
  std::size_t BookmarkSize() const { return natural_ ? kNaturalBookmarkSize : KeyLength(); }

  // --- Moving (results 0, VORA_BOF, VORA_EOF, VORA_NOCURRREC) ---
  void MoveFirst();
  void MoveLast();
  void MoveBy(std::int32_t n);
  int MoveNext(std::span<std::uint8_t> buffer = {});
  int MovePrior(std::span<std::uint8_t> buffer = {});
  // With lock, the edit start: the buffer holds the record as the caller
  // last read it. Pessimistic protocol: the record is locked, and a record
  // that differs from the buffer is unlocked again with 8708. Optimistic:
  // only the comparison. The buffer then receives the current record.
  int GetCurrentRecord(std::span<std::uint8_t> buffer = {}, bool lock = false);

  // --- Positions and counts ---
  std::int32_t GetRecordNumber();
  bool SetRecordNumber(std::int32_t n);
  std::int32_t GetRecordCount();

  // --- Bookmarks (BookmarkSize() bytes) ---
  void GetBookmark(std::span<std::uint8_t> bookmark);
  bool GotoBookmark(std::span<const std::uint8_t> bookmark, bool nearest);
  int CompareBookmarks(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b);

  // --- Keys ---
  // key_or_record is a key (is_key) or a record image; field_count 0 means
  // every key field; partial_length counts the leading characters of the
  // string field after the counted ones.
  bool FindKey(std::span<const std::uint8_t> key_or_record, bool is_key, int field_count, int partial_length,
               bool nearest, std::span<std::uint8_t> record_out = {});
  // Empty spans give all-zero bounds; field counts 0 mean every key field.
  void SetRange(bool keys, std::span<const std::uint8_t> start, int start_fields,
                std::span<const std::uint8_t> end, int end_fields);
  void CancelRange();
  bool RangeActive() const { return range_active_; }

  // --- Other cursors and the table ---
  // 0, or VORA_RECNOTFOUND when the other cursor's record is not here.
  int SyncToCursor(TDataCursor& other);
  void RefreshCursor();
  // The data file's header: the open table's, or read from the file while
  // the cursor is closed.
  std::array<std::uint8_t, storage::kDataFileHeaderSize> TableProperties() const;

  // --- State ---
  bool AtBOF() const { return at_bof_; }
  bool AtEOF() const { return at_eof_; }
  std::int64_t SequenceNo() const { return sequence_no_; }
  std::int32_t PhysicalRecNo() const { return physical_rec_no_; }
  std::span<const std::uint8_t> CurrentRecord() const { return record_; }
  std::uint16_t RecordSize() const { return record_size_; }
  std::span<const storage::TFieldDescriptor> Fields() const { return fields_; }
  storage::TDataTable& table() const { return *table_; }
  const TRecordsBitmap& VisibleSet() const { return *visible_set_; }
  const TRecordsBitmap& LiveSet() const { return *live_set_; }
  const TRecordsBitmap& RangeSet() const { return *range_set_; }
  std::int32_t VisibleCount() const { return visible_count_; }

  // --- Filters (see data_cursor_filters.cpp) ---
  // A new, inactive filter. 9482 when the cursor holds 64 already; 10051
  // for a text that does not parse or check, is not boolean, or is empty.
  // An expression filter goes before the first callback filter, a callback
  // filter last. A failed call leaves the list unchanged.
  TFilter* AddFilter(std::string_view text, const TFilterSwitches& switches);
  // A tree prepared already (a copy of another cursor's filter): analysed
  // again for this table.
  TFilter* AddFilter(TExpTokenPtr prepared_tree, const TFilterSwitches& switches);
  TFilter* AddFilter(TFilterCallback callback, void* dataset, const TFilterSwitches& switches);
  // nullptr means every filter; 10050 for a filter not in the list. Each
  // ends with the cursor on the record it was on, or the nearest visible.
  void ActivateFilter(TFilter* filter = nullptr);
  void DeactivateFilter(TFilter* filter = nullptr);
  void DropFilter(TFilter* filter = nullptr);
  // Gives an expression filter a new prepared tree (re-evaluated when the
  // filter is active).
  void ReplaceFilterExpression(TFilter* filter, TExpTokenPtr prepared_tree);
  std::size_t FilterCount() const { return filters_.size(); }
  // The filter at a place of the list (0-based).
  TFilter* FilterAt(std::size_t i) const { return filters_.at(i).get(); }

  // --- Writing (raise their codes; see data_cursor_writes.cpp) ---
  // Every write takes the table's write lock first (re-synchronising when
  // another writer changed the table) and releases it, and any record lock
  // the call took, on every path. 11013 on a read-only cursor.
  void InitRecord(std::span<std::uint8_t> buffer);
  // 0, or 8709 without a current record; the copy gets new BLOB values.
  int CopyCurrentForAppend(std::span<std::uint8_t> buffer);
  // With reposition the cursor stands on the new record afterwards.
  void InsertRecord(std::span<std::uint8_t> buffer, bool reposition);
  // edit_locked: the record was locked at the edit start.
  void ModifyRecord(std::span<std::uint8_t> buffer, bool edit_locked, bool reposition);
  // buffer: the record as last read. With reposition the cursor stands on
  // the entry that followed the record (no current record after the last).
  void DeleteRecord(std::span<const std::uint8_t> buffer, bool reposition);
  // Pessimistic: releases the edit lock; optimistic: forgets a detected
  // change, so that the next post is compared afresh.
  void CancelEdit();
  // n 0 means the current record. 10258 when a cursor of this process holds
  // it or the retries run out. Nothing happens on an exclusive table or a
  // read-only medium.
  void LockRecord(std::int32_t n = 0);
  void UnlockRecord();
  // The record this cursor holds locked, 0 for none.
  std::int32_t LockedRecord() const { return locked_record_; }

  // --- BLOB values of record buffers (result codes, see TOpenBlobValues) ---
  std::uint16_t OpenBlob(std::uint16_t field, std::span<std::uint8_t> record, int mode, bool internal,
                         std::size_t& size);
  std::uint16_t CloseBlob(std::uint16_t field, std::span<std::uint8_t> record);
  std::uint16_t ReadBlob(std::uint16_t field, std::span<const std::uint8_t> record, std::size_t offset,
                         std::size_t count, std::uint8_t* destination, std::size_t& read);
  std::uint16_t WriteBlob(std::uint16_t field, std::span<std::uint8_t> record, std::size_t offset, std::size_t count,
                          const std::uint8_t* source);
  std::uint16_t TruncateBlob(std::uint16_t field, std::span<std::uint8_t> record, std::size_t length);
  std::uint16_t GetBlobSize(std::uint16_t field, std::span<const std::uint8_t> record, std::size_t& size);

  // --- Table files (the cursor's table name) ---
  // Needs Exclusive (10253) and not ReadOnly (11013); the cursor stays closed.
  void CreateTable(const TTableDescription& description, bool overwrite);
  // 10031 on an open cursor.
  void DeleteTable();

  // --- For the write half and the filters ---
  // REQUIRES (all below): the cursor is open.
  void BeginAccess();
  void EndAccess();
  // Copies the change counters, recomputes range and sets and returns to
  // the bookmarked record (or the next one after it), keeping a crack.
  void Resync();
  // Puts the cursor on the record whose image is given (its key in the
  // current index, searched nearest), or by record number in natural order.
  void RepositionOnRecord(std::span<const std::uint8_t> record_image, std::int32_t record_number);
  // Single-record updates of the sets after this cursor's own write.
  void NoteRecordWritten(std::int32_t n, std::span<const std::uint8_t> record_image);
  void NoteRecordDeleted(std::int32_t n);
  // Rebuilds LiveSet, RangeSet, the active filters' sets and VisibleSet.
  void RebuildSets();
  // VisibleSet from LiveSet, RangeSet and the active filters' sets as they
  // stand.
  void RecomputeVisibleSet();
  // The key of a record image in the current index (K bytes).
  std::vector<std::uint8_t> BuildCurrentKey(std::span<const std::uint8_t> record_image) const;

 private:
  struct Position {
    std::int64_t sequence_no = 0;
    std::int32_t physical_rec_no = 0;
    std::vector<std::uint8_t> key;
    bool at_bof = true;
    bool at_eof = true;
  };

  // Runs op inside BeginAccess/EndAccess, re-synchronising and starting it
  // again while a read finds the table changed. Nested calls run op alone.
  void Access(const std::function<void()>& op);
  void RequireOpen() const;
  bool CountersChanged() const;
  void CopyCounters();

  [[noreturn]] void Raise(std::uint16_t code, const std::string& index = {}) const;
  void RequireClosed() const;
  void CheckPassword();
  void LoadIndex(std::uint8_t index);
  bool IsNaturalOrder(std::uint8_t index) const;
  TIndexReader Reader();
  TIndexReader RecordSlotReader();

  // Bounds of the visible places in an index order (first > last: none).
  std::int64_t FirstPlace() const;
  std::int64_t LastPlace() const;
  bool OrderEmpty() const;
  bool Visible(std::int32_t record) const;
  std::int32_t SlotCount() const;
  std::int32_t TableRecordCount() const;

  void SetNoCurrent();
  // Index order: on place seq (flags untouched).
  void PositionAt(std::int64_t seq);
  // Natural order: on record r, SequenceNo its rank.
  void PositionOnRecord(std::int32_t r);
  // The first / last visible entry or record; false (no current) if none.
  bool PositionFirstVisible();
  bool PositionLastVisible();
  // Index order: the visible place nearest seq within the bounds, forward
  // first; 0 when none.
  std::int64_t VisibleNear(std::int64_t seq);
  // Index order: positions on the first entry not below the key (clamped to
  // the range); AtEOF when there is none.
  void SeekKey(const std::uint8_t* key, std::size_t length);
  void GotoBookmarkBody(std::span<const std::uint8_t> bookmark);
  void RestoreCrack(bool bof, bool eof);
  void LoadRecord();
  void CopyRecordTo(std::span<std::uint8_t> buffer) const;
  void ZeroFill(std::span<std::uint8_t> buffer) const;
  void RecomputeRangePlaces();
  void ClearRange();
  // Recomputes places and sets for the new range and returns to the
  // current record (or the crack the cursor was on).
  void RepositionAfterRangeChange();
  void RecomputeSetMode();
  void ReleaseSets();
  // --- Filters ---
  TFilter& RequireFilter(TFilter* filter) const;
  TFilter* InsertFilter(std::unique_ptr<TFilter> filter);
  void AnalyseFilter(TFilter& filter);
  bool AnyFilterActive() const;
  // The filter's set from the candidates (LiveSet AND RangeSet, or LiveSet;
  // a callback filter's also AND the active filters before it).
  void EvaluateFilter(TFilter& filter);
  // Whether one record passes one filter.
  bool FilterPasses(TFilter& filter, std::span<const std::uint8_t> record, std::int32_t n);
  // Runs a change of the filters and returns to the record the cursor was
  // on (or the nearest visible one), keeping a crack.
  void ChangeFilters(const std::function<void()>& change);
  void ResyncBody();
  // A search key from a caller's key or record image, the part after
  // significant bytes filled with the lowest (low) or highest values in
  // key order.
  std::vector<std::uint8_t> MakeKey(std::span<const std::uint8_t> key_or_record, bool is_key) const;
  void FillKey(std::vector<std::uint8_t>& key, std::size_t from, bool low) const;
  std::size_t FieldsLength(int fields) const;
  int CompareKeys(const std::uint8_t* a, const std::uint8_t* b, std::size_t length) const;
  // The edit start of GetCurrentRecord (see there).
  void LockForEdit(std::span<const std::uint8_t> as_read);
  // Runs a write under the table's write lock; nested cursor operations
  // run inside it without their own access.
  void Write(const std::function<void()>& op);
  void RequireCurrent() const;
  void RequireWritable() const;
  void CheckRecord(std::span<const std::uint8_t> buffer) const;
  // Writes the header counters after a write and takes the new counters
  // as this cursor's own.
  void FlushWrite();
  TRecordWriteParts WriteParts();
  TOpenBlobValues& Blobs();
  bool TakesLocks() const;
  bool Optimistic() const;
  // Releases the record lock while closing (errors ignored).
  void ReleaseWriteState();

  TDataDirectory& directory_;
  std::string table_name_;
  bool exclusive_ = false;
  bool read_only_ = false;
  bool open_natural_ = false;
  storage::TDataTable* table_ = nullptr;

  std::vector<storage::TFieldDescriptor> fields_;
  std::uint16_t record_size_ = 0;
  Locale locale_;
  CharMap char_map_{};

  std::uint8_t current_index_ = kNaturalOrder;
  bool natural_ = true;
  std::string index_name_;
  storage::TIndexKeyDefinition key_definition_;
  storage::TIndexKeyOrder key_order_;
  // Per key byte: whether it is a string field's value byte, and whether
  // the key order runs backwards there (for filling partial keys).
  std::vector<bool> key_string_byte_;
  std::vector<bool> key_reversed_byte_;

  std::int64_t sequence_no_ = 0;
  std::int32_t physical_rec_no_ = 0;
  std::vector<std::uint8_t> current_key_;
  bool at_bof_ = true;
  bool at_eof_ = true;

  bool range_active_ = false;
  std::vector<std::uint8_t> range_start_key_;
  std::vector<std::uint8_t> range_end_key_;
  std::int64_t range_first_ = 1;
  std::int64_t range_last_ = 0;

  std::vector<std::unique_ptr<TFilter>> filters_;
  // Set while the sets are rebuilt: a callback that moves the cursor must
  // not start another rebuild inside this one.
  bool rebuilding_sets_ = false;
  bool set_mode_ = false;
  std::unique_ptr<TRecordsBitmap> visible_set_;
  std::unique_ptr<TRecordsBitmap> range_set_;
  std::unique_ptr<TRecordsBitmap> live_set_;
  std::int32_t visible_count_ = 0;

  std::vector<std::uint8_t> record_;
  std::array<std::int32_t, 3> counters_{};

  int access_depth_ = 0;
  bool access_locked_ = false;

  std::unique_ptr<TRecordIndexWriter> index_writer_;
  std::unique_ptr<TOpenBlobValues> blobs_;
  std::int32_t locked_record_ = 0;
  // Optimistic protocol: a post found the record changed; every post fails
  // with 8708 until CancelEdit.
  bool change_detected_ = false;
  // Optimistic protocol: the record as it stood at the edit start, so that
  // a re-read in between (which loads another writer's values) does not
  // hide that writer's change from the post.
  std::vector<std::uint8_t> edit_image_;
  std::int32_t edit_record_ = 0;
};

}  // namespace telvora::engine
