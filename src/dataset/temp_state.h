#pragma once
// TempState: sets a dataset state for the length of a scope without telling
// the data links, and puts the former state back on every path. Used for
// the states in which field access reads a buffer other than the active
// record (calculating, filtering, old values, a search's scratch record).
//
// Threads: the dataset's.

#include "dataset/dataset_state.h"

namespace telvora::dataset {

class TempState {
 public:
  TempState(TDataSetState& state, TDataSetState temporary) : state_(state), saved_(state) { state_ = temporary; }
  ~TempState() { state_ = saved_; }
  TempState(const TempState&) = delete;
  TempState& operator=(const TempState&) = delete;

 private:
  TDataSetState& state_;
  TDataSetState saved_;
};

}  // namespace telvora::dataset
