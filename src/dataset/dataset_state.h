#pragma once
// TDataSetState: the state of a dataset. The ordinal values are fixed:
// callers compare ranges of them (the states that may write a field run from
// Editing to NewValues, plus InternalCalculating).
//
// Pure constants and functions.

#include <cstdint>

namespace telvora::dataset {

enum class TDataSetState : std::uint8_t {
  Closed = 0,
  Browsing = 1,
  Editing = 2,
  Inserting = 3,
  KeyEditing = 4,
  Calculating = 5,
  Filtering = 6,
  NewValues = 7,
  OldValues = 8,
  CurrentValues = 9,
  BlockReading = 10,
  InternalCalculating = 11,
  Opening = 12,
};

// Editing, Inserting and KeyEditing: the states a record or key is built in.
constexpr bool IsEditMode(TDataSetState state) {
  return state == TDataSetState::Editing || state == TDataSetState::Inserting ||
         state == TDataSetState::KeyEditing;
}

// The states in which a field may be written.
constexpr bool IsWriteMode(TDataSetState state) {
  return (state >= TDataSetState::Editing && state <= TDataSetState::NewValues) ||
         state == TDataSetState::InternalCalculating;
}

}  // namespace telvora::dataset
