// TDataCursor: choosing an order, key search and key ranges.

#include <algorithm>
#include <cctype>

#include "engine/data_cursor.h"
#include "engine/key_bounds.h"
#include "engine/key_compare.h"
#include "storage/byte_image.h"
#include "storage/engine_error_codes.h"
#include "storage/index_file_header.h"
#include "storage/record_image.h"

namespace telvora::engine {

namespace {

bool SameNameIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
         });
}

}  // namespace

// --- Order ---

bool TDataCursor::IsNaturalOrder(std::uint8_t index) const {
  if (index == kNaturalOrder) return true;
  if (index != kPrimaryIndex) return false;
  const storage::TIndexFile& file = table_->index_file();
  return file.PrimaryIndexUnavailable() || file.Header().Descriptor(kPrimaryIndex).KeyFieldCount() == 0;
}

void TDataCursor::LoadIndex(std::uint8_t index) {
  current_index_ = index;
  natural_ = IsNaturalOrder(index);
  key_string_byte_.clear();
  key_reversed_byte_.clear();
  if (natural_) {
    key_definition_ = {};
    key_order_ = {};
    index_name_.clear();
    current_key_.clear();
    return;
  }
  key_definition_ = table_->IndexKey(index);
  key_order_ = table_->KeyOrder(key_definition_);
  index_name_ = table_->index_file().Header().Descriptor(index).Name();
  current_key_.assign(key_definition_.key_length, 0);
  // Which bytes run in the locale's character order and which run
  // backwards, so that a partial key can be filled with the values that
  // sort first or last whatever the field.
  key_string_byte_.assign(key_definition_.key_length, false);
  key_reversed_byte_.assign(key_definition_.key_length, key_definition_.descending);
  std::size_t at = 0;
  for (const storage::TKeyField& field : key_definition_.fields) {
    const bool reversed = key_definition_.descending || (field.descending && !key_definition_.byte_order);
    const bool string = field.layout.type == kStringFieldTypeCode;
    for (std::size_t i = 0; i < kKeyFieldFlagLength + field.key_length && at < key_definition_.key_length; ++i, ++at) {
      key_reversed_byte_[at] = reversed;
      key_string_byte_[at] = string && i >= kKeyFieldFlagLength;
    }
  }
}

std::string TDataCursor::IndexName() const { return index_name_; }

void TDataCursor::SelectIndex(const std::string& name) {
  Access([&] {
    const storage::TIndexFileHeader& header = table_->index_file().Header();
    for (int slot = 0; slot <= header.SecondaryIndexCount(); ++slot) {
      if (SameNameIgnoringCase(header.Descriptor(slot).Name(), name)) {
        SelectIndexNumber(static_cast<std::uint8_t>(slot));
        return;
      }
    }
    Raise(storage::VORA_INVALIDINDEXNAME, name);
  });
}

void TDataCursor::SelectIndexNumber(std::uint8_t index) {
  Access([&] {
    if (index == current_index_) return;
    if (index != kNaturalOrder && index > table_->index_file().Header().SecondaryIndexCount()) {
      Raise(storage::VORA_INVALIDINDEXNAME, std::to_string(index));
    }
    const bool bof = at_bof_;
    const bool eof = at_eof_;
    const std::vector<std::uint8_t> record = record_;
    const std::int32_t record_number = physical_rec_no_;
    ClearRange();
    LoadIndex(index);
    RecomputeRangePlaces();
    RecomputeSetMode();
    RestoreCrack(bof, eof);
    if (!bof && !eof) RepositionOnRecord(record, record_number);
  });
}

// --- Keys ---

int TDataCursor::CompareKeys(const std::uint8_t* a, const std::uint8_t* b, std::size_t length) const {
  return key_order_.compare(a, b, length);
}

std::vector<std::uint8_t> TDataCursor::BuildCurrentKey(std::span<const std::uint8_t> record_image) const {
  std::vector<std::uint8_t> image(record_size_, 0);
  std::copy_n(record_image.begin(), std::min(record_image.size(), image.size()), image.begin());
  return storage::BuildKey(key_definition_, storage::TRecordImage(image), key_order_.upper_case);
}

std::vector<std::uint8_t> TDataCursor::MakeKey(std::span<const std::uint8_t> key_or_record, bool is_key) const {
  if (!is_key) return BuildCurrentKey(key_or_record);
  std::vector<std::uint8_t> key(KeyLength(), 0);
  std::copy_n(key_or_record.begin(), std::min(key_or_record.size(), key.size()), key.begin());
  return key;
}

std::size_t TDataCursor::FieldsLength(int fields) const {
  std::size_t length = 0;
  for (int i = 0; i < fields && i < static_cast<int>(key_definition_.fields.size()); ++i) {
    length += key_definition_.fields[static_cast<std::size_t>(i)].key_length + kKeyFieldFlagLength;
  }
  return std::min(length, KeyLength());
}

void TDataCursor::FillKey(std::vector<std::uint8_t>& key, std::size_t from, bool low) const {
  for (std::size_t at = from; at < key.size(); ++at) {
    const bool string = key_string_byte_[at];
    const bool lowest = low != key_reversed_byte_[at];
    key[at] = lowest ? LowestKeyByte(locale_, char_map_, string) : HighestKeyByte(locale_, char_map_, string);
  }
}

void TDataCursor::SeekKey(const std::uint8_t* key, std::size_t length) {
  if (OrderEmpty()) {
    SetNoCurrent();
    return;
  }
  const std::int64_t first = FirstPlace();
  const std::int64_t last = LastPlace();
  std::int64_t seq = 0;
  if (range_active_ && CompareKeys(key, range_start_key_.data(), std::min(length, KeyLength())) < 0) {
    seq = first;
  } else if (range_active_ && CompareKeys(key, range_end_key_.data(), std::min(length, KeyLength())) > 0) {
    seq = last;
  } else {
    seq = std::max(Reader().LowerBound(key, length), first);
  }
  if (seq > last) {
    // Nothing at or after the key: the end crack, beside the last entry.
    if (PositionLastVisible()) at_eof_ = true;
    return;
  }
  const std::int64_t visible = VisibleNear(seq);
  if (visible == 0) {
    SetNoCurrent();
    return;
  }
  PositionAt(visible);
  at_bof_ = at_eof_ = false;
}

void TDataCursor::RepositionOnRecord(std::span<const std::uint8_t> record_image, std::int32_t record_number) {
  Access([&] {
    if (natural_) {
      std::uint8_t bookmark[kNaturalBookmarkSize];
      storage::StoreLittle<std::int32_t>(bookmark, 0, record_number);
      GotoBookmarkBody(bookmark);
      return;
    }
    const std::vector<std::uint8_t> key = BuildCurrentKey(record_image);
    GotoBookmarkBody(key);
  });
}

bool TDataCursor::FindKey(std::span<const std::uint8_t> key_or_record, bool is_key, int field_count,
                          int partial_length, bool nearest, std::span<std::uint8_t> record_out) {
  bool found = false;
  Access([&] {
    if (natural_) return;
    std::vector<std::uint8_t> key = MakeKey(key_or_record, is_key);
    const int key_fields = static_cast<int>(key_definition_.fields.size());
    const bool partial = (field_count >= 1 && field_count < key_fields) || !key_definition_.unique ||
                         (field_count == 0 && partial_length > 0);
    if (partial) {
      const int counted = (field_count == 0 && partial_length == 0) ? key_fields : field_count;
      std::size_t significant = FieldsLength(counted);
      if (partial_length > 0) {
        significant += static_cast<std::size_t>(partial_length) + kKeyFieldFlagLength;
      }
      significant = std::min(significant, KeyLength());
      FillKey(key, significant, true);
      SeekKey(key.data(), key.size());
      found = GetRecordCount() != 0 && !at_bof_ && !at_eof_ &&
              CompareKeys(current_key_.data(), key.data(), significant) == 0;
    } else {
      const Position before{sequence_no_, physical_rec_no_, current_key_, at_bof_, at_eof_};
      SeekKey(key.data(), key.size());
      found = !at_bof_ && !at_eof_ && CompareKeys(current_key_.data(), key.data(), key.size()) == 0;
      if (!found && !nearest) {
        // A failed exact search leaves the cursor where it was.
        sequence_no_ = before.sequence_no;
        physical_rec_no_ = before.physical_rec_no;
        current_key_ = before.key;
        at_bof_ = before.at_bof;
        at_eof_ = before.at_eof;
      }
    }
    if (at_eof_ && !at_bof_) PositionLastVisible();
    LoadRecord();
    if (!(at_bof_ && at_eof_)) CopyRecordTo(record_out);
  });
  return found;
}

// --- Ranges ---

void TDataCursor::RecomputeRangePlaces() {
  if (natural_) {
    range_first_ = 1;
    range_last_ = 0;
    return;
  }
  TIndexReader reader = Reader();
  const std::int64_t count = reader.Count();
  if (!range_active_) {
    range_first_ = 1;
    range_last_ = count;
    return;
  }
  const std::size_t k = KeyLength();
  if (CompareKeys(range_start_key_.data(), range_end_key_.data(), k) > 0) {
    range_first_ = range_last_ = 0;
    return;
  }
  const std::int64_t first = reader.LowerBound(range_start_key_.data(), k);
  const std::int64_t last = reader.UpperBound(range_end_key_.data(), k);
  range_first_ = first > count ? 0 : first;
  range_last_ = last < 1 ? 0 : last;
}

void TDataCursor::ClearRange() {
  std::fill(range_start_key_.begin(), range_start_key_.end(), 0x00);
  std::fill(range_end_key_.begin(), range_end_key_.end(), 0xFF);
  range_active_ = false;
  range_first_ = 1;
}

void TDataCursor::SetRange(bool keys, std::span<const std::uint8_t> start, int start_fields,
                           std::span<const std::uint8_t> end, int end_fields) {
  Access([&] {
    if (natural_) return;
    const int key_fields = static_cast<int>(key_definition_.fields.size());
    auto bound = [&](std::span<const std::uint8_t> given, int fields, bool low) {
      std::vector<std::uint8_t> key(KeyLength(), 0);
      if (given.empty()) return key;
      key = MakeKey(given, keys);
      const int used = (fields <= 0 || fields > key_fields) ? key_fields : fields;
      if (used < key_fields || !key_definition_.unique) FillKey(key, FieldsLength(used), low);
      return key;
    };
    const std::vector<std::uint8_t> start_key = bound(start, start_fields, true);
    const std::vector<std::uint8_t> end_key = bound(end, end_fields, false);
    std::fill(range_start_key_.begin(), range_start_key_.end(), 0);
    std::fill(range_end_key_.begin(), range_end_key_.end(), 0);
    std::copy(start_key.begin(), start_key.end(), range_start_key_.begin());
    std::copy(end_key.begin(), end_key.end(), range_end_key_.begin());
    range_active_ = true;
    RepositionAfterRangeChange();
  });
}

void TDataCursor::CancelRange() {
  Access([&] {
    if (natural_) return;
    ClearRange();
    RepositionAfterRangeChange();
  });
}

void TDataCursor::RepositionAfterRangeChange() {
  const bool bof = at_bof_;
  const bool eof = at_eof_;
  const std::vector<std::uint8_t> bookmark = current_key_;
  RecomputeRangePlaces();
  if (set_mode_) RebuildSets();
  RestoreCrack(bof, eof);
  if (!bof && !eof) GotoBookmarkBody(bookmark);
}

}  // namespace telvora::engine
