// TDataCursor: opening and closing, change detection and the record sets.

#include "engine/data_cursor.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string_view>

#include "engine/data_directory.h"
#include "engine/data_session.h"
#include "engine/language_char_maps_list.h"
#include "storage/engine_error.h"
#include "storage/engine_error_codes.h"
#include "storage/table_file_names.h"

namespace telvora::engine {

namespace {

// Attempts of one operation whose reads keep finding the table changed by
// another program before the cursor gives up with 8965. Each attempt starts
// from a freshly re-read header, so only a table rewritten without pause
// runs them out.
constexpr int kMaxChangeRetries = 100;

// The record-slot index orders its keys (status byte, record id) as
// unsigned bytes.
int CompareUnsigned(const std::uint8_t* a, const std::uint8_t* b, std::size_t length) {
  const int c = std::memcmp(a, b, length);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

constexpr std::uint8_t kDeletedStatus = 1;

}  // namespace

TDataCursor::TDataCursor(TDataDirectory& directory) : directory_(directory) { directory_.AddReference(); }

TDataCursor::~TDataCursor() {
  try {
    CloseCursor();
  } catch (...) {
    // A destructor cannot report; the table is released either way.
  }
  directory_.ReleaseReference();
}

void TDataCursor::Raise(std::uint16_t code, const std::string& index) const {
  storage::RaiseEngineError(code, {.database = directory_.database_name(), .table = table_name_, .index = index});
}

void TDataCursor::RequireClosed() const {
  if (IsOpen()) Raise(storage::VORA_TABLEOPEN);
}

void TDataCursor::RequireOpen() const {
  if (!IsOpen()) Raise(storage::VORA_NOTINITIALIZED);
}

void TDataCursor::SetTableName(const std::string& name) {
  RequireClosed();
  std::string file = std::filesystem::path(name).filename().string();
  if (file.size() > kMaxTableName) file.resize(kMaxTableName);
  table_name_ = file;
}

void TDataCursor::SetExclusive(bool exclusive) {
  RequireClosed();
  exclusive_ = exclusive;
}

void TDataCursor::SetReadOnly(bool read_only) {
  RequireClosed();
  read_only_ = read_only;
}

// --- Opening and closing ---

void TDataCursor::OpenCursor() {
  if (IsOpen()) return;
  TTableOpenFlags flags;
  flags.exclusive = exclusive_;
  // The in-memory database is the directory without a folder.
  flags.in_memory = directory_.path().empty();
  table_ = &directory_.OpenTableForCursor(table_name_, flags);
  try {
    if (table_->read_only()) read_only_ = true;
    CheckPassword();
    const storage::TDataFile& data = table_->data_file();
    locale_ = Locale{data.LanguageId(), data.SortId()};
    char_map_ = TLanguageCharMapsList::Instance().Get(locale_);
    fields_.assign(data.Descriptors().begin(), data.Descriptors().end());
    record_size_ = data.RecordSize();
    CopyCounters();
    record_.assign(record_size_, 0);
    TRecordsBitmapStack& pool = TRecordsBitmapStack::Instance();
    visible_set_ = pool.Take();
    range_set_ = pool.Take();
    live_set_ = pool.Take();
    range_start_key_.assign(kKeyBufferLength, 0x00);
    range_end_key_.assign(kKeyBufferLength, 0xFF);
    range_active_ = false;
    visible_count_ = 0;
    at_bof_ = at_eof_ = false;
    sequence_no_ = 1;
    physical_rec_no_ = 0;
    filters_.clear();
    current_index_ = kNaturalOrder - 1;  // none yet: the selection below always loads
    Access([&] {
      LoadIndex(open_natural_ ? kNaturalOrder : kPrimaryIndex);
      RecomputeRangePlaces();
      RecomputeSetMode();
      MoveFirst();
    });
  } catch (...) {
    try {
      CloseCursor();
    } catch (...) {
      // The opening error is the one to report.
    }
    throw;
  }
}

void TDataCursor::CheckPassword() {
  const storage::TDataFileHeader& header = table_->data_file().Header();
  if (!header.Encrypted()) return;
  TDataSession& session = directory_.session();
  const std::string password = header.Password();
  while (!session.HasPassword(password)) {
    std::string offered;
    const auto& ask = session.GetPasswordCallback();
    if (!ask || !ask(table_name_, offered)) Raise(storage::VORA_NOTSUFFTABLERIGHTS);
    session.AddPassword(offered);
  }
}

void TDataCursor::ReleaseSets() {
  TRecordsBitmapStack& pool = TRecordsBitmapStack::Instance();
  pool.Release(std::move(visible_set_));
  pool.Release(std::move(range_set_));
  pool.Release(std::move(live_set_));
}

void TDataCursor::CloseCursor() {
  if (!IsOpen()) return;
  storage::TDataTable* table = table_;
  ReleaseWriteState();
  filters_.clear();
  ReleaseSets();
  set_mode_ = false;
  visible_count_ = 0;
  range_start_key_.clear();
  range_end_key_.clear();
  range_active_ = false;
  range_first_ = 1;
  range_last_ = 0;
  record_.clear();
  current_key_.clear();
  sequence_no_ = 0;
  physical_rec_no_ = 0;
  at_bof_ = at_eof_ = true;
  fields_.clear();
  record_size_ = 0;
  key_definition_ = {};
  key_order_ = {};
  index_name_.clear();
  current_index_ = kNaturalOrder;
  natural_ = true;
  access_depth_ = 0;
  if (access_locked_) {
    access_locked_ = false;
    if (table->shared_lock_held()) table->SharedUnlock();
  }
  // Forgotten before the directory is asked, so that a failing release
  // still leaves the cursor closed.
  table_ = nullptr;
  directory_.CloseTable(*table);
}

std::unique_ptr<TDataCursor> TDataCursor::CloneCursor() {
  RequireOpen();
  auto clone = std::make_unique<TDataCursor>(directory_);
  clone->table_name_ = table_name_;
  clone->exclusive_ = exclusive_;
  clone->read_only_ = read_only_;
  clone->open_natural_ = natural_;
  clone->OpenCursor();
  if (!natural_) clone->SelectIndexNumber(current_index_);
  if (range_active_) {
    clone->SetRange(true, range_start_key_, 0, range_end_key_, 0);
  }
  for (const auto& filter : filters_) {
    TFilter* copy = filter->tree_ ? clone->AddFilter(CloneExpression(*filter->tree_), filter->switches_)
                                  : clone->AddFilter(filter->callback_, filter->dataset_, filter->switches_);
    if (filter->active_) clone->ActivateFilter(copy);
  }
  if (at_bof_ && at_eof_) {
    clone->Access([&] { clone->SetNoCurrent(); });
  } else if (at_bof_) {
    clone->MoveFirst();
  } else if (at_eof_) {
    clone->MoveLast();
  } else {
    clone->SyncToCursor(*this);
  }
  return clone;
}

std::array<std::uint8_t, storage::kDataFileHeaderSize> TDataCursor::TableProperties() const {
  std::array<std::uint8_t, storage::kDataFileHeaderSize> image{};
  if (IsOpen()) {
    const auto header = table_->data_file().Header().Image();
    std::copy_n(header.begin(), image.size(), image.begin());
    return image;
  }
  const auto names = storage::MakeTableFileNames(directory_.path(), table_name_);
  std::ifstream file(names.data, std::ios::binary);
  if (!file || !file.read(reinterpret_cast<char*>(image.data()), static_cast<std::streamsize>(image.size()))) {
    Raise(storage::VORA_OSENOENT);
  }
  return image;
}

// --- Change detection ---

std::int32_t TDataCursor::SlotCount() const {
  return static_cast<std::int32_t>(table_->data_file().PhysicalRecordCount());
}

std::int32_t TDataCursor::TableRecordCount() const { return table_->index_file().ActiveRecordCount(); }

bool TDataCursor::CountersChanged() const {
  std::array<std::int32_t, 3> now{table_->data_file().Header().ChangeCounter(),
                                  table_->index_file().Header().ChangeCounter(),
                                  table_->HasBlobFile() ? table_->blob_file().Header().ChangeCounter() : 0};
  return now != counters_;
}

void TDataCursor::CopyCounters() {
  counters_ = {table_->data_file().Header().ChangeCounter(), table_->index_file().Header().ChangeCounter(),
               table_->HasBlobFile() ? table_->blob_file().Header().ChangeCounter() : 0};
}

void TDataCursor::BeginAccess() {
  RequireOpen();
  access_locked_ = false;
  if (exclusive_ || table_->read_only_attribute()) return;
  // A read lock held already (by a write in progress) is not ours to
  // release; any other one taken during the operation is.
  access_locked_ = !(table_->shared_lock_held() || table_->write_lock_held());
  bool changed = false;
  if (table_->Settings().StrictChangeDetection) changed = table_->SharedLock();
  if (changed || CountersChanged()) Resync();
}

void TDataCursor::EndAccess() {
  // Without strict change detection a read from the file takes the read
  // lock itself (to notice other writers); it ends with the operation too,
  // or no other program could ever write the table again.
  if (!access_locked_) return;
  access_locked_ = false;
  if (table_->shared_lock_held()) table_->SharedUnlock();
}

void TDataCursor::Access(const std::function<void()>& op) {
  RequireOpen();
  if (access_depth_ > 0) {
    op();
    return;
  }
  ++access_depth_;
  struct Leave {
    TDataCursor& cursor;
    ~Leave() {
      --cursor.access_depth_;
      try {
        cursor.EndAccess();
      } catch (...) {
        // Releasing the read lock only fails with the file gone; the
        // operation's own outcome stands.
      }
    }
  } leave{*this};
  BeginAccess();
  for (int attempt = 0;; ++attempt) {
    Position saved{sequence_no_, physical_rec_no_, current_key_, at_bof_, at_eof_};
    try {
      op();
      return;
    } catch (const ETableChanged&) {
      if (attempt >= kMaxChangeRetries) Raise(storage::VORA_INDEXCORRUPT);
      // Back to the position the operation started from, which the
      // re-synchronisation then finds again in the changed table.
      sequence_no_ = saved.sequence_no;
      physical_rec_no_ = saved.physical_rec_no;
      current_key_ = saved.key;
      at_bof_ = saved.at_bof;
      at_eof_ = saved.at_eof;
      Resync();
    }
  }
}

void TDataCursor::Resync() {
  RequireOpen();
  for (int attempt = 0;; ++attempt) {
    try {
      ResyncBody();
      return;
    } catch (const ETableChanged&) {
      if (attempt >= kMaxChangeRetries) Raise(storage::VORA_INDEXCORRUPT);
    }
  }
}

void TDataCursor::ResyncBody() {
  const bool bof = at_bof_;
  const bool eof = at_eof_;
  std::vector<std::uint8_t> bookmark(BookmarkSize());
  GetBookmark(bookmark);
  CopyCounters();
  RecomputeRangePlaces();
  if (set_mode_) RebuildSets();
  RestoreCrack(bof, eof);
  if (!bof && !eof) GotoBookmarkBody(bookmark);
}

void TDataCursor::RestoreCrack(bool bof, bool eof) {
  // A cursor on a crack stays on it: before the first record is still
  // before the (new) first record, and so on.
  if (bof && eof) {
    SetNoCurrent();
  } else if (bof) {
    if (PositionFirstVisible()) at_bof_ = true;
    LoadRecord();
  } else if (eof) {
    if (PositionLastVisible()) at_eof_ = true;
    LoadRecord();
  }
}

void TDataCursor::RefreshCursor() {
  RequireOpen();
  const bool held = table_->shared_lock_held() || table_->write_lock_held();
  table_->SharedLock();
  const bool took = !held && table_->shared_lock_held();
  try {
    Resync();
  } catch (...) {
    if (took) table_->SharedUnlock();
    throw;
  }
  if (took) table_->SharedUnlock();
}

// --- Record sets ---

TIndexReader TDataCursor::Reader() {
  return TIndexReader(table_->OpenIndex(current_index_), key_order_.compare, table_name_);
}

TIndexReader TDataCursor::RecordSlotReader() {
  return TIndexReader(table_->OpenIndex(storage::kRecordIdIndexSlot), CompareUnsigned, table_name_);
}

void TDataCursor::RecomputeSetMode() {
  // An active filter moves the cursor through VisibleSet in any order.
  const bool wanted = natural_ || AnyFilterActive();
  set_mode_ = wanted;
  if (set_mode_) {
    RebuildSets();
    return;
  }
  for (TRecordsBitmap* set : {visible_set_.get(), range_set_.get(), live_set_.get()}) {
    set->SetSize(0);
  }
  visible_count_ = 0;
}

void TDataCursor::RebuildSets() {
  // A callback filter that moves this cursor gets the sets as they are.
  if (rebuilding_sets_) return;
  rebuilding_sets_ = true;
  struct Leave {
    bool& flag;
    ~Leave() { flag = false; }
  } leave{rebuilding_sets_};
  const std::int32_t slots = SlotCount();
  for (TRecordsBitmap* set : {visible_set_.get(), range_set_.get(), live_set_.get()}) {
    set->SetSize(slots);
    set->ClearAll();
  }
  if (slots == 0) {
    for (const auto& filter : filters_) {
      filter->set_->SetSize(0);
    }
    visible_count_ = 0;
    return;
  }
  const bool ranged = range_active_ && !natural_;
  if (ranged) {
    const std::size_t k = KeyLength();
    Reader().ForEachFrom(range_start_key_.data(), k, [&](const std::uint8_t* key, std::int32_t record) {
      if (CompareKeys(key, range_end_key_.data(), k) > 0) return false;
      if (record >= 1 && record <= slots) range_set_->Set(record);
      return true;
    });
  }
  if (TableRecordCount() == slots) {
    live_set_->SetAll();
  } else {
    const std::uint8_t deleted[1] = {kDeletedStatus};
    RecordSlotReader().ForEachFrom(deleted, 1, [&](const std::uint8_t* key, std::int32_t record) {
      if (key[0] != kDeletedStatus) return false;
      if (record >= 1 && record <= slots) live_set_->Set(record);
      return true;
    });
    live_set_->Not();
  }
  for (const auto& filter : filters_) {
    if (filter->active_) EvaluateFilter(*filter);
  }
  RecomputeVisibleSet();
}

void TDataCursor::RecomputeVisibleSet() {
  visible_set_->CopyFrom(*live_set_);
  if (range_active_ && !natural_) visible_set_->And(*range_set_);
  for (const auto& filter : filters_) {
    if (filter->active_ && filter->set_->Size() == visible_set_->Size()) visible_set_->And(*filter->set_);
  }
  visible_count_ = visible_set_->Count();
}

void TDataCursor::NoteRecordWritten(std::int32_t n, std::span<const std::uint8_t> record_image) {
  Access([&] {
    CopyCounters();
    RecomputeRangePlaces();
    if (!set_mode_) return;
    if (n < 1) return;
    if (n > visible_set_->Size()) {
      // A new slot at the end: every set grows by it, empty, and the record
      // is then asked about like any other. More new slots than this one
      // mean another program wrote too: everything is rebuilt.
      const std::int32_t old_size = visible_set_->Size();
      if (n != old_size + 1 || SlotCount() != n) {
        RebuildSets();
        return;
      }
      const auto grow = [&](TRecordsBitmap& set) {
        if (set.Size() != old_size) return;
        set.SetSize(n);
        set.Clear(n);
      };
      for (TRecordsBitmap* set : {visible_set_.get(), range_set_.get(), live_set_.get()}) grow(*set);
      for (const auto& filter : filters_) {
        if (filter->active_) grow(*filter->set_);
      }
    }
    const bool was_visible = n <= visible_set_->Size() && visible_set_->Test(n);
    live_set_->Set(n);
    bool visible = true;
    if (range_active_ && !natural_) {
      const std::vector<std::uint8_t> key = BuildCurrentKey(record_image);
      const std::size_t k = KeyLength();
      const bool inside = CompareKeys(key.data(), range_start_key_.data(), k) >= 0 &&
                          CompareKeys(key.data(), range_end_key_.data(), k) <= 0;
      inside ? range_set_->Set(n) : range_set_->Clear(n);
      visible = inside;
    }
    // Each active filter asked about the record as stored.
    bool any_filter = false;
    for (const auto& filter : filters_) any_filter = any_filter || filter->active_;
    if (any_filter) {
      storage::TDataFile& data = table_->data_file();
      storage::TRecord* record = data.GetRecord(n);
      if (record == nullptr) throw ETableChanged{};
      const std::vector<std::uint8_t> stored(record->Image().begin(), record->Image().end());
      data.ReleaseRecord(record);
      for (const auto& filter : filters_) {
        if (!filter->active_ || n > filter->set_->Size()) continue;
        filter->set_->Set(n);
        if (!FilterPasses(*filter, stored, n)) {
          filter->set_->Clear(n);
          visible = false;
        }
      }
    }
    visible ? visible_set_->Set(n) : visible_set_->Clear(n);
    visible_count_ += (visible ? 1 : 0) - (was_visible ? 1 : 0);
  });
}

void TDataCursor::NoteRecordDeleted(std::int32_t n) {
  Access([&] {
    CopyCounters();
    RecomputeRangePlaces();
    if (!set_mode_ || n < 1 || n > visible_set_->Size()) return;
    const bool was_visible = visible_set_->Test(n);
    live_set_->Clear(n);
    range_set_->Clear(n);
    visible_set_->Clear(n);
    for (const auto& filter : filters_) {
      if (filter->active_ && n <= filter->set_->Size()) filter->set_->Clear(n);
    }
    if (was_visible) --visible_count_;
  });
}

}  // namespace telvora::engine
