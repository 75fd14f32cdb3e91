// TDataCursor: moving, record numbers, counts and bookmarks.

#include <algorithm>
#include <cstring>

#include "engine/data_cursor.h"
#include "storage/byte_image.h"
#include "storage/engine_error_codes.h"

namespace telvora::engine {

// --- Places and visibility ---

std::int64_t TDataCursor::FirstPlace() const { return range_active_ ? range_first_ : 1; }

std::int64_t TDataCursor::LastPlace() const { return range_last_; }

bool TDataCursor::OrderEmpty() const {
  if (natural_) return visible_count_ == 0;
  const std::int64_t first = FirstPlace();
  const std::int64_t last = LastPlace();
  return first <= 0 || last <= 0 || first > last;
}

bool TDataCursor::Visible(std::int32_t record) const {
  if (!set_mode_) return true;
  return record >= 1 && record <= visible_set_->Size() && visible_set_->Test(record);
}

void TDataCursor::SetNoCurrent() {
  at_bof_ = at_eof_ = true;
  sequence_no_ = 0;
  physical_rec_no_ = 0;
  std::fill(current_key_.begin(), current_key_.end(), 0);
  std::fill(record_.begin(), record_.end(), 0);
}

void TDataCursor::PositionAt(std::int64_t seq) {
  TIndexEntry entry = Reader().EntryAt(seq);
  sequence_no_ = seq;
  physical_rec_no_ = entry.record_number;
  current_key_ = std::move(entry.key);
}

void TDataCursor::PositionOnRecord(std::int32_t r) {
  physical_rec_no_ = r;
  sequence_no_ = visible_set_->Rank(r) + 1;
}

std::int64_t TDataCursor::VisibleNear(std::int64_t seq) {
  const std::int64_t first = FirstPlace();
  const std::int64_t last = LastPlace();
  seq = std::clamp(seq, first, last);
  if (!set_mode_) return seq;
  TIndexReader reader = Reader();
  for (std::int64_t s = seq; s <= last; ++s) {
    if (Visible(reader.EntryAt(s).record_number)) return s;
  }
  for (std::int64_t s = seq - 1; s >= first; --s) {
    if (Visible(reader.EntryAt(s).record_number)) return s;
  }
  return 0;
}

bool TDataCursor::PositionFirstVisible() {
  if (OrderEmpty()) {
    SetNoCurrent();
    return false;
  }
  if (natural_) {
    PositionOnRecord(visible_set_->NextSet(0));
  } else {
    const std::int64_t seq = VisibleNear(FirstPlace());
    if (seq == 0) {
      SetNoCurrent();
      return false;
    }
    PositionAt(seq);
  }
  at_bof_ = at_eof_ = false;
  return true;
}

bool TDataCursor::PositionLastVisible() {
  if (OrderEmpty()) {
    SetNoCurrent();
    return false;
  }
  if (natural_) {
    PositionOnRecord(visible_set_->PriorSet(visible_set_->Size() + 1));
  } else {
    std::int64_t seq = LastPlace();
    if (set_mode_) {
      TIndexReader reader = Reader();
      while (seq >= FirstPlace() && !Visible(reader.EntryAt(seq).record_number)) --seq;
      if (seq < FirstPlace()) {
        SetNoCurrent();
        return false;
      }
    }
    PositionAt(seq);
  }
  at_bof_ = at_eof_ = false;
  return true;
}

// --- Records ---

void TDataCursor::LoadRecord() {
  if (at_bof_ && at_eof_) {
    std::fill(record_.begin(), record_.end(), 0);
    return;
  }
  const std::int32_t n = physical_rec_no_;
  if (n < 1 || n > SlotCount()) Raise(storage::VORA_INDEXCORRUPT);
  storage::TDataFile& data = table_->data_file();
  storage::TRecord* record = data.GetRecord(n);
  if (record == nullptr) throw ETableChanged{};
  const auto image = record->Image();
  std::copy_n(image.begin(), std::min<std::size_t>(image.size(), record_.size()), record_.begin());
  data.ReleaseRecord(record);
}

void TDataCursor::CopyRecordTo(std::span<std::uint8_t> buffer) const {
  std::copy_n(record_.begin(), std::min(buffer.size(), record_.size()), buffer.begin());
}

void TDataCursor::ZeroFill(std::span<std::uint8_t> buffer) const {
  std::fill_n(buffer.begin(), std::min<std::size_t>(buffer.size(), record_size_), 0);
}

// --- Moving ---

void TDataCursor::MoveBy(std::int32_t n) {
  Access([&] {
    if (n == 0) return;
    if (OrderEmpty()) {
      SetNoCurrent();
      return;
    }
    const bool none = at_bof_ && at_eof_;
    if (natural_) {
      const TRecordsBitmap& set = *visible_set_;
      const std::int32_t r = none ? 0 : physical_rec_no_;
      if (n > 0) {
        // The target is the k-th visible record, k counted from the start.
        const std::int64_t k = (r == 0 ? 0 : set.Rank(r + 1)) + std::int64_t{n};
        const std::int32_t target = k > visible_count_ ? 0 : set.Select(static_cast<std::int32_t>(k));
        if (target == 0) {
          PositionOnRecord(set.PriorSet(set.Size() + 1));
          at_eof_ = true;
          at_bof_ = false;
        } else {
          PositionOnRecord(target);
          at_bof_ = at_eof_ = false;
        }
      } else {
        const std::int64_t k = (r == 0 ? std::int64_t{visible_count_} + 1 : set.Rank(r) + 1) + n;
        const std::int32_t target = k < 1 ? 0 : set.Select(static_cast<std::int32_t>(k));
        if (target == 0) {
          PositionOnRecord(set.NextSet(0));
          at_bof_ = true;
          at_eof_ = false;
        } else {
          PositionOnRecord(target);
          at_bof_ = at_eof_ = false;
        }
      }
      return;
    }
    const std::int64_t first = FirstPlace();
    const std::int64_t last = LastPlace();
    const int direction = n > 0 ? 1 : -1;
    std::int64_t seq = none ? (n > 0 ? first - 1 : last + 1) : sequence_no_;
    if (!set_mode_) {
      const std::int64_t target = seq + n;
      if (target > last) {
        PositionAt(last);
        at_eof_ = true;
        at_bof_ = false;
      } else if (target < first) {
        PositionAt(first);
        at_bof_ = true;
        at_eof_ = false;
      } else {
        PositionAt(target);
        at_bof_ = at_eof_ = false;
      }
      return;
    }
    // Set mode in an index order: only visible entries count as steps.
    TIndexReader reader = Reader();
    std::int64_t reached = none ? 0 : seq;
    std::int32_t left = n > 0 ? n : -n;
    while (left > 0) {
      seq += direction;
      if (seq < first || seq > last) break;
      if (Visible(reader.EntryAt(seq).record_number)) {
        reached = seq;
        --left;
      }
    }
    if (reached == 0) {
      // Nothing visible was passed from outside the order.
      direction > 0 ? PositionLastVisible() : PositionFirstVisible();
    } else {
      PositionAt(reached);
    }
    if (OrderEmpty() || (at_bof_ && at_eof_)) return;
    at_bof_ = left > 0 && direction < 0;
    at_eof_ = left > 0 && direction > 0;
  });
}

void TDataCursor::MoveFirst() {
  Access([&] {
    if (PositionFirstVisible()) at_bof_ = true;
    LoadRecord();
  });
}

void TDataCursor::MoveLast() {
  Access([&] {
    if (PositionLastVisible()) at_eof_ = true;
    LoadRecord();
  });
}

int TDataCursor::MoveNext(std::span<std::uint8_t> buffer) {
  int result = kOk;
  Access([&] {
    if (at_bof_) {
      PositionFirstVisible();
    } else {
      MoveBy(1);
    }
    LoadRecord();
    if (at_eof_) {
      ZeroFill(buffer);
      result = storage::VORA_EOF;
    } else {
      CopyRecordTo(buffer);
      result = kOk;
    }
  });
  return result;
}

int TDataCursor::MovePrior(std::span<std::uint8_t> buffer) {
  int result = kOk;
  Access([&] {
    if (at_eof_) {
      PositionLastVisible();
    } else {
      MoveBy(-1);
    }
    LoadRecord();
    if (at_bof_) {
      ZeroFill(buffer);
      result = storage::VORA_BOF;
    } else {
      CopyRecordTo(buffer);
      result = kOk;
    }
  });
  return result;
}

int TDataCursor::GetCurrentRecord(std::span<std::uint8_t> buffer, bool lock) {
  int result = kOk;
  Access([&] {
    if (at_bof_ || at_eof_) {
      ZeroFill(buffer);
      result = at_bof_ && at_eof_ ? storage::VORA_NOCURRREC : (at_bof_ ? storage::VORA_BOF : storage::VORA_EOF);
      return;
    }
    if (lock) {
      LockForEdit(buffer);
      if (at_bof_ || at_eof_) {
        // The lock's re-synchronisation found the record gone.
        UnlockRecord();
        Raise(storage::VORA_KEYORRECDELETED);
      }
    }
    LoadRecord();
    CopyRecordTo(buffer);
    result = kOk;
  });
  return result;
}

// --- Record numbers and counts ---

std::int32_t TDataCursor::GetRecordNumber() {
  std::int32_t number = 0;
  Access([&] {
    if (at_bof_ && at_eof_) {
      number = 0;
    } else if (natural_) {
      number = static_cast<std::int32_t>(sequence_no_);
    } else {
      number = static_cast<std::int32_t>(sequence_no_ - FirstPlace() + 1);
    }
  });
  return number;
}

bool TDataCursor::SetRecordNumber(std::int32_t n) {
  bool on_n = false;
  Access([&] {
    if (OrderEmpty()) {
      SetNoCurrent();
      return;
    }
    if (natural_) {
      const std::int32_t target = visible_set_->Select(std::max(n, 1));
      if (target == 0) {
        PositionLastVisible();
        at_eof_ = true;
      } else {
        PositionOnRecord(target);
        at_bof_ = at_eof_ = false;
      }
    } else if (n < 1) {
      if (PositionFirstVisible()) at_bof_ = true;
    } else if (n > LastPlace() - FirstPlace() + 1) {
      if (PositionLastVisible()) at_eof_ = true;
    } else {
      const std::int64_t seq = VisibleNear(FirstPlace() + n - 1);
      if (seq == 0) {
        SetNoCurrent();
      } else {
        PositionAt(seq);
        at_bof_ = at_eof_ = false;
      }
    }
    LoadRecord();
    on_n = !(at_bof_ && at_eof_) && GetRecordNumber() == n;
  });
  return on_n;
}

std::int32_t TDataCursor::GetRecordCount() {
  std::int32_t count = 0;
  Access([&] {
    if (set_mode_) {
      count = visible_count_;
    } else if (range_active_) {
      count = OrderEmpty() ? 0 : static_cast<std::int32_t>(LastPlace() - FirstPlace() + 1);
    } else {
      count = TableRecordCount();
    }
  });
  return count;
}

// --- Bookmarks ---

void TDataCursor::GetBookmark(std::span<std::uint8_t> bookmark) {
  RequireOpen();
  if (natural_) {
    storage::StoreLittle<std::int32_t>(bookmark, 0, physical_rec_no_);
    return;
  }
  std::fill(bookmark.begin(), bookmark.end(), 0);
  std::copy_n(current_key_.begin(), std::min(bookmark.size(), current_key_.size()), bookmark.begin());
}

void TDataCursor::GotoBookmarkBody(std::span<const std::uint8_t> bookmark) {
  if (natural_) {
    const std::int32_t slots = SlotCount();
    if (slots == 0 || visible_count_ == 0) {
      SetNoCurrent();
      return;
    }
    std::int32_t r = std::clamp(storage::LoadLittle<std::int32_t>(bookmark, 0), 1, slots);
    if (!Visible(r)) {
      const std::int32_t next = visible_set_->NextSet(r);
      r = next != 0 ? next : visible_set_->PriorSet(r);
    }
    if (r == 0) {
      SetNoCurrent();
      return;
    }
    PositionOnRecord(r);
    at_bof_ = at_eof_ = false;
  } else {
    std::vector<std::uint8_t> key(KeyLength(), 0);
    std::copy_n(bookmark.begin(), std::min(bookmark.size(), key.size()), key.begin());
    SeekKey(key.data(), key.size());
    // Past the last entry: the last one is the nearest there is.
    if (at_eof_ && !at_bof_) PositionLastVisible();
  }
  LoadRecord();
}

bool TDataCursor::GotoBookmark(std::span<const std::uint8_t> bookmark, bool nearest) {
  bool matches = false;
  Access([&] {
    GotoBookmarkBody(bookmark);
    if (nearest) {
      matches = true;
      return;
    }
    std::vector<std::uint8_t> now(BookmarkSize());
    GetBookmark(now);
    matches = !(at_bof_ && at_eof_) && bookmark.size() >= now.size() &&
              std::equal(now.begin(), now.end(), bookmark.begin());
  });
  return matches;
}

int TDataCursor::CompareBookmarks(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b) {
  RequireOpen();
  if (natural_) {
    const std::int32_t x = storage::LoadLittle<std::int32_t>(a, 0);
    const std::int32_t y = storage::LoadLittle<std::int32_t>(b, 0);
    return x < y ? -1 : (x > y ? 1 : 0);
  }
  return CompareKeys(a.data(), b.data(), KeyLength());
}

// --- Other cursors ---

int TDataCursor::SyncToCursor(TDataCursor& other) {
  int result = kOk;
  Access([&] {
    bool found = false;
    if (!(other.at_bof_ && other.at_eof_)) {
      if (natural_) {
        const std::int32_t r = other.physical_rec_no_;
        if (r >= 1 && r <= SlotCount() && Visible(r)) {
          PositionOnRecord(r);
          at_bof_ = at_eof_ = false;
          found = true;
        }
      } else {
        const std::vector<std::uint8_t> key = BuildCurrentKey(other.record_);
        SeekKey(key.data(), key.size());
        found = !at_bof_ && !at_eof_ && CompareKeys(current_key_.data(), key.data(), key.size()) == 0;
        if (at_eof_ && !at_bof_) PositionLastVisible();
      }
    }
    LoadRecord();
    result = found ? kOk : storage::VORA_RECNOTFOUND;
  });
  return result;
}

}  // namespace telvora::engine
