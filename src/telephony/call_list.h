#pragma once
// The call list: one entry per call the component knows, in order of first
// appearance, with the state last recorded for it. Recording a state or a
// CallParam adds a missing call first (state csDisconnected, the given ring
// number, CallParam 0, not being dropped). Recording csWaitingDisconnection
// marks the call as being dropped by the component. The state of a call not
// in the list reads csError.
//
// Threads: GUI thread only.

#include <vector>

#include "tapi/tapi_constants.h"
#include "telephony/tel_types.h"

namespace telvora::telephony {

struct TCallEntry {
  tapi::HCALL Call = 0;
  TCallState State = csDisconnected;
  int RingCount = 0;
  int CallParam = 0;
  bool Dropping = false;
};

class TCallList {
 public:
  TCallEntry& Add(tapi::HCALL call, int initial_ring_number);
  TCallEntry* Find(tapi::HCALL call);
  bool Contains(tapi::HCALL call) const;
  TCallState StateOf(tapi::HCALL call) const;
  void SetState(tapi::HCALL call, TCallState state, int initial_ring_number);
  void SetCallParam(tapi::HCALL call, int call_param, int initial_ring_number);
  void Remove(tapi::HCALL call);

  int Count() const { return static_cast<int>(entries_.size()); }
  const TCallEntry& At(int index) const { return entries_.at(static_cast<std::size_t>(index)); }
  // True when some call's state is not in the given set.
  bool AnyStateOtherThan(std::initializer_list<TCallState> states) const;
  std::vector<tapi::HCALL> Handles() const;

 private:
  std::vector<TCallEntry> entries_;
};

}  // namespace telvora::telephony
