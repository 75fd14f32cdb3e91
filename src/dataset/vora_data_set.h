#pragma once
// TVoraDataSet: a dataset over one engine cursor. It holds the state, the
// window of record buffers shown by data-aware controls, the field objects,
// navigation, editing, filters and bookmarks; every read, move, write and
// lock goes to the cursor, which a subclass creates (CreateHandle).
//
// Record buffers. The window holds BufferCount buffers (as many as the
// widest data link needs) plus one spare; each buffer is laid out as
//   record image      cursor record size   the engine record
//   calculated fields calc size            per field: null flag, value
//   record number     4, signed            position in the order; -1 new
//   bookmark flag     1                    0 current, 1 before the first,
//                                          2 after the last, 3 inserted
//   bookmark          cursor bookmark size the cursor's bookmark
// Buffers [0, record count) hold records in order; the active record is
// the one fields read and write. The cursor stands on the buffer
// current_record_ (-1: unknown, put back from the bookmark before use).
//
// States follow TDataSetState; every change of state clears the modified
// flag and notifies the data links. Edit, post and delete run their cursor
// operation in a retry loop steered by OnEditError, OnPostError and
// OnDeleteError.
//
// Threads: one thread, the one that uses the component.

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "dataset/data_link.h"
#include "dataset/dataset_error.h"
#include "dataset/dataset_state.h"
#include "dataset/field.h"
#include "dataset/field_def.h"
#include "dataset/index_def.h"
#include "engine/data_cursor.h"
#include "engine/locale.h"
#include "platform/component.h"

namespace telvora::dataset {

enum class TDataAction : std::uint8_t { daFail, daAbort, daRetry };

enum class TBookmarkFlag : std::uint8_t { bfCurrent = 0, bfBOF = 1, bfEOF = 2, bfInserted = 3 };

// A set of loCaseInsensitive and loPartialKey.
struct TLocateOptions {
  bool loCaseInsensitive = false;
  bool loPartialKey = false;
  friend bool operator==(const TLocateOptions&, const TLocateOptions&) = default;
};

// How the last search by field values went: the dataset's own cursor on
// its current index, the kept search cursor on another index, or a
// temporary filter on the dataset's cursor.
enum class TSearchPath : std::uint8_t { spNone, spOwnCursor, spSearchCursor, spFilter };

// A set of foCaseInsensitive and foNoPartialCompare.
struct TFilterOptions {
  bool foCaseInsensitive = false;
  bool foNoPartialCompare = false;
  friend bool operator==(const TFilterOptions&, const TFilterOptions&) = default;
};

class TVoraDataSet : public platform::TComponent {
 public:
  using TDataSetNotifyEvent = platform::TEvent<void(TVoraDataSet&)>;
  using TDataSetErrorEvent = platform::TEvent<void(TVoraDataSet&, const EDatabaseError&, TDataAction&)>;
  using TFilterRecordHandler = std::function<void(TVoraDataSet&, bool&)>;

  explicit TVoraDataSet(platform::TComponent* AOwner);
  ~TVoraDataSet() override;

  // --- Published properties ---
  bool Active() const { return state_ != TDataSetState::Closed; }
  void SetActive(bool value);
  bool AutoCalcFields() const { return auto_calc_fields_; }
  void SetAutoCalcFields(bool value) { auto_calc_fields_ = value; }
  bool AutoDisplayLabels() const { return auto_display_labels_; }
  void SetAutoDisplayLabels(bool value) { auto_display_labels_ = value; }
  bool CopyOnAppend() const { return copy_on_append_; }
  void SetCopyOnAppend(bool value) { copy_on_append_ = value; }
  const std::string& Filter() const { return filter_text_; }
  void SetFilter(const std::string& value);
  bool Filtered() const { return filtered_; }
  void SetFiltered(bool value);
  TFilterOptions FilterOptions() const { return filter_options_; }
  void SetFilterOptions(TFilterOptions value);

  // --- Events ---
  TDataSetNotifyEvent BeforeOpen, AfterOpen, BeforeClose, AfterClose;
  TDataSetNotifyEvent BeforeInsert, AfterInsert, BeforeEdit, AfterEdit;
  TDataSetNotifyEvent BeforePost, AfterPost, BeforeCancel, AfterCancel;
  TDataSetNotifyEvent BeforeDelete, AfterDelete, BeforeScroll, AfterScroll;
  TDataSetNotifyEvent BeforeRefresh, AfterRefresh, OnCalcFields, OnNewRecord;
  TDataSetErrorEvent OnPostError, OnEditError, OnDeleteError;
  // The record filter event. Assigning it on an open dataset builds the
  // callback filter, so it is set through SetOnFilterRecord.
  bool OnFilterRecordAssigned() const { return static_cast<bool>(on_filter_record_); }
  void SetOnFilterRecord(TFilterRecordHandler handler);

  // --- State ---
  TDataSetState State() const { return state_; }
  bool Modified() const { return modified_; }
  bool Bof() const { return bof_; }
  bool Eof() const { return eof_; }
  bool IsEmpty() const { return record_count_ == 0 && state_ != TDataSetState::Inserting; }
  // False on a read-only dataset.
  virtual bool CanModify() const;

  // --- Opening and closing ---
  void Open();
  void Close();

  // --- Navigation ---
  void First();
  void Last();
  void Next() { MoveBy(1); }
  void Prior() { MoveBy(-1); }
  // Returns the number of records actually moved (negative backwards).
  int MoveBy(int distance);
  // The active record's number in the current order (-1 for a new one).
  int RecNo() const;
  void SetRecNo(int value);
  int RecordCount();
  std::vector<std::uint8_t> GetBookmark();
  void GotoBookmark(std::span<const std::uint8_t> bookmark);
  int CompareBookmarks(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b);

  // --- Editing ---
  void Append();
  void Insert();
  void Edit();
  void Post();
  void Cancel();
  void Delete();
  void Refresh();
  // The leave-edit-mode step: pending text is written, then the record is
  // posted when modified and cancelled otherwise (a key is posted).
  void CheckBrowseMode();
  // Every data link writes its control's pending text into the record.
  void UpdateRecord();

  // --- Find operations (through the filter conditions) ---
  bool FindFirst();
  bool FindLast();
  bool FindNext();
  bool FindPrior();
  bool Found() const { return found_; }

  // --- Searching by field values (vora_data_set_search.cpp) ---
  // Goes to the first record whose fields (names separated by ";") equal
  // the values, one per field in order; false, and no move, when there is
  // none. "Field '%s' not found" for an unknown name.
  bool Locate(const std::string& KeyFields, const std::vector<TVariant>& KeyValues, TLocateOptions Options);
  bool Locate(const std::string& KeyFields, const TVariant& KeyValue, TLocateOptions Options) {
    return Locate(KeyFields, std::vector<TVariant>{KeyValue}, Options);
  }
  // The same search without moving: the values of the result fields (names
  // separated by ";") of the record found, each null when none is found.
  std::vector<TVariant> Lookup(const std::string& KeyFields, const std::vector<TVariant>& KeyValues,
                               const std::string& ResultFields);
  TSearchPath LastSearchPath() const { return last_search_path_; }
  // Whether a search cursor is kept for later searches.
  bool HasSearchCursor() const { return search_cursor_ != nullptr; }

  // --- Key ranges on the current index ---
  // Limits the records to those whose leading key fields lie between the
  // start and end values (as many key fields as values are given), then
  // goes to the first record. Built in KeyEditing state.
  void SetRange(const std::vector<TVariant>& StartValues, const std::vector<TVariant>& EndValues);
  // Shows every record again (when a range was set).
  void CancelRange();
  // Key fields of the current index (0 in natural order).
  int IndexFieldCount() const { return index_info_.key_field_count; }
  // The field object of key field i of the current index ("Field index
  // out of range.", "Cannot access index field %s.").
  TField& IndexFields(int index) const;

  // --- Fields ---
  int FieldCount() const { return static_cast<int>(fields_.size()); }
  TField* Fields(int index) const { return fields_.at(static_cast<std::size_t>(index)); }
  // "Field '%s' not found" when there is none.
  TField& FieldByName(const std::string& name) const;
  TField* FindField(const std::string& name) const;
  TVariant FieldValues(const std::string& name) const;
  // For a name list separated by ";": the values in that order.
  std::vector<TVariant> FieldValuesList(const std::string& names) const;
  void SetFieldValues(const std::string& name, const TVariant& value);
  // Read from the cursor at opening, or through a short-lived cursor while
  // closed.
  const std::vector<TFieldDef>& FieldDefs();

  // --- The buffer window, for data links ---
  // Buffers holding records (at most BufferCount) and the active one's row.
  int WindowRecordCount() const { return record_count_; }
  int ActiveRecordIndex() const { return active_record_; }
  int BufferCount() const { return buffer_count_; }
  // Shows row `index` of the window to field access until the returned
  // row is given back to SetActiveRecordIndex (a grid paints row by row).
  int SetActiveRecordIndex(int index);

  // The cursor while open (nullptr when closed).
  engine::TDataCursor* Handle() const { return cursor_.get(); }

 protected:
  // Creates and opens the cursor (the table component names its table).
  virtual std::unique_ptr<engine::TDataCursor> CreateHandle() = 0;
  // Called after the cursor was closed and freed, also after a failed open.
  virtual void DestroyHandle() {}
  // Database and table names for the context of re-raised engine errors.
  virtual std::string ContextDatabaseName() const;
  virtual std::string ContextTableName() const;
  // Whether the cursor's current index lists the field (KeyEditing).
  virtual bool IsIndexField(const TField& field) const;
  // Refused on an open dataset ("Cannot perform this operation on an open
  // dataset").
  void CheckInactive() const;
  void CheckActive() const;
  // Reads the window again around the cursor's record and tells the links.
  void Resync(bool exact);
  void SetState(TDataSetState value);
  void DataEvent(TDataEvent event, TField* field = nullptr, int info = 0);
  // Runs op in the retry loop of an error event.
  void CheckOperation(const std::function<void()>& op, const TDataSetErrorEvent& error_event);
  // The cursor's current record, re-read with the lock (edit start).
  virtual void InternalEdit();
  virtual void InternalPost();
  virtual void InternalDelete();
  virtual void InternalCancel();
  // The new-record step after the defaults (master values, copy, event).
  virtual void NewRecordStep();
  // The engine field descriptors of the open cursor.
  std::span<const storage::TFieldDescriptor> EngineFields() const;
  // Called with the cursor open, before fields are bound (index selection).
  virtual void AfterHandleCreated() {}
  // Called while opening once fields, buffers and filters are ready,
  // before the first record is read (a detail applies its range).
  virtual void CursorReady() {}
  // After the cursor switched to another index: the buffers get the new
  // bookmark size and the window is read again around the cursor's record.
  void IndexChanged();
  // The key fields of the cursor's current index, read again.
  void ReadIndexInfo();
  // The indexes of the open cursor's table.
  std::vector<TIndexDef> CursorIndexDefs() const;
  // A detail's range: key field i set to values[i]; applied (then the
  // first record) when it differs from the range the cursor has.
  void SetLinkRange(const std::vector<TVariant>& values);
  // The kept search cursor goes (filters or ranges changed).
  void FreeSearchCursor();
  // From a subclass's destructor: the closing that follows runs no
  // BeforeClose or AfterClose.
  void MarkDestroying() { destroying_ = true; }
  // Updates the window size to what the links need.
  void UpdateBufferCount();

 private:
  friend class TField;
  friend class TDataSource;
  friend class TDataLink;

  enum class GetResult { grOK, grBOF, grEOF };
  enum class GetMode { gmCurrent, gmNext, gmPrior };

  // Opening steps.
  void OpenCursor();
  void CloseCursor();
  void BindFields();
  void UnbindFields();
  void AllocateBuffers();
  void FreeBuffers();

  // Buffer parts.
  std::span<std::uint8_t> Buffer(int index) { return buffers_[static_cast<std::size_t>(index)]; }
  std::span<std::uint8_t> ImageOf(std::span<std::uint8_t> buffer) const;
  std::span<std::uint8_t> CalcOf(std::span<std::uint8_t> buffer) const;
  std::int32_t RecNoOf(std::span<const std::uint8_t> buffer) const;
  void SetRecNoOf(std::span<std::uint8_t> buffer, std::int32_t value) const;
  TBookmarkFlag FlagOf(std::span<const std::uint8_t> buffer) const;
  void SetFlagOf(std::span<std::uint8_t> buffer, TBookmarkFlag flag) const;
  std::span<std::uint8_t> BookmarkOf(std::span<std::uint8_t> buffer) const;
  std::span<std::uint8_t> ActiveBuffer() { return Buffer(active_record_); }

  // Window movement.
  GetResult GetRecord(std::span<std::uint8_t> buffer, GetMode mode);
  GetResult ReadRecord(std::span<std::uint8_t> buffer, GetMode mode);
  void ComputeCalcFields(std::span<std::uint8_t> buffer);
  bool GetNextRecord();
  bool GetPriorRecord();
  int GetNextRecords();
  int GetPriorRecords();
  void MoveBuffer(int from, int to);
  void ClearBuffers();
  void ActivateBuffers();
  void SetCurrentRecord(int index);
  void UpdateCursorPos();
  void CursorPosChanged() { current_record_ = -1; }
  void InitRecord(std::span<std::uint8_t> buffer);
  void BeginInsertAppend();
  void EndInsertAppend();
  void CheckRequiredFields();
  void CheckCanModify() const;
  // Raises an engine error again with the table's context and the first
  // error's message as the detail text.
  [[noreturn]] void RaiseWithContext(const std::exception& error) const;
  // A cursor result other than the ends of the records raises.
  void CheckResult(int code) const;
  // Frees the BLOB values a record buffer holds open in the cursor
  // (pending changes are dropped; a post has written them already).
  void CloseOpenBlobs(std::span<std::uint8_t> image);

  // Field access (TField).
  std::span<std::uint8_t> FieldImage(const TField& field);
  void WriteFieldValue(TField& field, const std::function<void(storage::TRecordImage&)>& store);
  engine::Locale TableLocale() const;
  // A BLOB field's value in an image (read through a copy of the image, so
  // the buffer never holds a handle for a mere read).
  std::string ReadBlobValue(const TField& field, std::span<const std::uint8_t> image);
  // Replaces a BLOB field's value; the value stays open in the cursor until
  // the post writes it or a cancel drops it.
  void StoreBlobValue(const TField& field, std::span<std::uint8_t> image, const std::string& value);
  TVariant OldValueOf(const TField& field);
  void AddField(TField* field);
  void RemoveField(TField* field);

  // Filters. The engine filters are reached through these alone: the
  // expression filter from Filter and FilterOptions, the record filter that
  // asks OnFilterRecord. Both are switched on and off together.
  void BuildExpressionFilter();
  void DropExpressionFilter();
  void BuildRecordFilter();
  // Drops the expression filter and builds one for the text and options;
  // a refused expression leaves the former filter, text and options.
  void ReplaceExpressionFilter(const std::string& text, TFilterOptions options);
  void DropRecordFilter();
  void ActivateFilters(bool active);
  // The record filter's answer for one record the cursor tests.
  bool AcceptRecord(std::span<const std::uint8_t> record);
  bool FindRecord(bool restart, bool forward);

  // Searching.
  struct TSearchField {
    TField* field;
    TVariant value;
  };
  std::vector<TSearchField> SearchFields(const std::string& names, const std::vector<TVariant>& values) const;
  // Finds the record; returns the cursor that stands on it (the dataset's
  // own or the search cursor), nullptr when none is found. With the filter
  // path the dataset's cursor stands on the record found.
  engine::TDataCursor* SearchRecord(const std::vector<TSearchField>& fields, TLocateOptions options);
  // Whether the first key fields of an index are these fields, in order,
  // with the case rule the options ask for when a string field is among
  // them.
  bool IndexServes(const storage::TIndexKeyDefinition& key, const std::vector<TSearchField>& fields,
                   TLocateOptions options) const;
  bool FindKeyWith(engine::TDataCursor& cursor, const std::vector<TSearchField>& fields, TLocateOptions options);
  bool FindByFilter(const std::vector<TSearchField>& fields, TLocateOptions options);
  // Writes values through the fields into a record image while the state
  // shows that image (Filtering on a scratch record).
  void AssignScratch(std::span<std::uint8_t> image, const std::vector<TSearchField>& fields);

  // Key buffers: search key, range being built, range the cursor has, and
  // the copy that restores a key whose editing is cancelled.
  enum TKeyIndex { kiLookup, kiRangeStart, kiRangeEnd, kiCurRangeStart, kiCurRangeEnd, kiSave, kiCount };
  struct TKeyBuffer {
    bool modified = false;
    int field_count = 0;
    std::vector<std::uint8_t> image;
  };
  // Enters KeyEditing on a key buffer (cleared when asked).
  void SetKeyBuffer(TKeyIndex index, bool clear);
  void SetKeyFields(TKeyIndex index, const std::vector<TVariant>& values);
  // Gives the range being built to the cursor when it differs from the one
  // it has; returns whether it did.
  bool ApplyKeyRange();

  struct TIndexInfo {
    int key_field_count = 0;
    std::array<std::uint16_t, 16> field_numbers{};
    bool case_insensitive = false;
  };

  // Data sources (TDataSource).
  void AddDataSource(TDataSource* source);
  void RemoveDataSource(TDataSource* source);

  TDataSetState state_ = TDataSetState::Closed;
  bool modified_ = false;
  bool bof_ = true;
  bool eof_ = true;
  bool found_ = false;
  bool auto_calc_fields_ = true;
  bool auto_display_labels_ = false;
  bool copy_on_append_ = false;
  std::string filter_text_;
  bool filtered_ = false;
  TFilterOptions filter_options_;
  TFilterRecordHandler on_filter_record_;
  // Owned by the cursor; null while there is none.
  engine::TFilter* expression_filter_ = nullptr;
  engine::TFilter* record_filter_ = nullptr;
  bool filters_active_ = false;
  // The record the record filter shows to field access.
  std::vector<std::uint8_t> filter_record_;

  std::unique_ptr<engine::TDataCursor> cursor_;
  std::vector<TFieldDef> field_defs_;
  std::vector<TField*> fields_;
  std::vector<std::unique_ptr<TField>> default_fields_;
  std::vector<TDataSource*> sources_;

  // Layout of a buffer.
  std::size_t record_size_ = 0;
  std::size_t calc_size_ = 0;
  std::size_t bookmark_size_ = 0;
  std::size_t buffer_size_ = 0;
  std::vector<std::vector<std::uint8_t>> buffers_;
  int buffer_count_ = 0;
  int record_count_ = 0;
  int active_record_ = 0;
  int current_record_ = -1;
  // The record as it was when editing began.
  std::vector<std::uint8_t> old_values_;
  // The buffer a calculating or filtering state shows to field access.
  std::span<std::uint8_t> state_buffer_;
  // While a field's OnValidate runs, the image holding the new value.
  std::span<std::uint8_t> validate_image_;
  const TField* validate_field_ = nullptr;
  bool edit_locked_ = false;
  bool destroying_ = false;

  TIndexInfo index_info_;
  std::array<TKeyBuffer, kiCount> key_buffers_;
  TKeyIndex key_index_ = kiLookup;
  // The second cursor kept for searches on another index, with the fields
  // and option it was made for.
  std::unique_ptr<engine::TDataCursor> search_cursor_;
  std::string search_fields_;
  bool search_case_insensitive_ = false;
  TSearchPath last_search_path_ = TSearchPath::spNone;
};

}  // namespace telvora::dataset
