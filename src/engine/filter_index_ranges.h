#pragma once
// TFilterIndexRanges: how a column test of a filter is answered from an
// index: which index serves it, the places of its entries (key ranges in
// index order) and the record set those entries give.
//
// An index serves a test when its first key field is the test's column and
// its case rule fits: UPPER(column) and a case-insensitive option compare
// need case-insensitive keys, other tests of a string column case-sensitive
// ones, other columns take any. The primary index is asked first (when the
// table has primary key fields), then the secondary indexes in order.
//
// The ranges are found by two descents per constant over the leading bytes
// of the keys (the first field's flag and value, or the flag and the first
// p characters of a partial compare), so they hold exactly the entries
// whose first field compares as the test asks under the index's own key
// order. The record-by-record evaluation gives the same answers:
//   - a NULL constant makes = the range of null keys and <> its complement;
//     ordered tests with a NULL constant are not answered from an index;
//   - <> (and NOT IN, NOT BETWEEN) is the complement of the = ranges, so a
//     NULL value passes it;
//   - a NULL string orders as the empty string, below every value, as in the
//     evaluator; other NULL values pass no ordered test, so their keys are
//     cut off the ranges of < <= > >= and BETWEEN;
//   - a constant whose key form is not its value (a string longer than the
//     field or with trailing blanks, an empty string that would key as
//     NULL, a number out of the field's range, a BCD value) is not answered
//     from an index, and neither is UPPER(column) compared with a text that
//     upper-casing changes;
//   - a descending index (or descending first field) mirrors the test;
//   - under a locale the entries whose first p characters compare equal to
//     a constant need not stand together in the index (a case-sensitive
//     collation orders "Ba" between "ba" and "bb"), so a partial compare
//     takes the entries from the constant to the constant padded with the
//     locale's highest character and marks the places as a superset: the
//     caller reads those records to keep the ones that match.
//
// Reads index pages through TIndexReader: ETableChanged passes through to
// the caller, which rebuilds its sets. Used by the cursor's thread.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "engine/char_map.h"
#include "engine/filter_column_test.h"
#include "engine/locale.h"
#include "engine/records_bitmap.h"
#include "storage/data_table.h"

namespace telvora::engine {

// Entry places (1-based, in index order) of a test's ranges.
struct TIndexPlaces {
  int slot = 0;
  std::size_t key_length = 0;
  std::int64_t entries = 0;  // of the whole index
  std::vector<std::pair<std::int64_t, std::int64_t>> ranges;  // first > last: empty
  bool negated = false;
  // The ranges hold every matching entry and maybe others: the records
  // must be read to decide.
  bool superset = false;

  // Entries inside the ranges (overlaps counted once).
  std::int64_t Count() const;
};

class TFilterIndexRanges {
 public:
  // map: the CharMap of the locale.
  TFilterIndexRanges(storage::TDataTable& table, const Locale& locale, const CharMap& map,
                     std::span<const storage::TFieldDescriptor> fields, std::string table_name);

  // The index slot that serves the test, if any.
  std::optional<int> FindIndex(const TColumnTest& test) const;

  // The test's places in the index; nullopt when a constant cannot be put
  // in key form (see above).
  std::optional<TIndexPlaces> Places(const TColumnTest& test, int slot);

  // The records of the places (their complement for a negated test) into
  // `set`, sized `slots`. With complement_ranges on a byte-order table, a
  // range that holds more than half of the index is marked as the entries
  // outside it and then inverted: the same set, fewer bits walked.
  void FillSet(const TIndexPlaces& places, bool complement_ranges, std::int32_t slots, TRecordsBitmap& set);

  // The estimate the cost rules use: IN counts its smallest item, BETWEEN
  // the smaller of its two one-sided ranges, other tests their ranges.
  std::optional<std::int64_t> Estimate(const TColumnTest& test, int slot);

  // The key length of an index (K bytes).
  std::size_t KeyLength(int slot) const;

 private:
  struct TKeyPrefix;
  std::optional<TKeyPrefix> KeyOf(const TColumnTest& test, const TExpToken& constant, int slot) const;

  storage::TDataTable& table_;
  Locale locale_;
  CharMap map_;
  std::vector<storage::TFieldDescriptor> fields_;
  std::string table_name_;
};

}  // namespace telvora::engine
