#include "telephony/call_list.h"

#include <algorithm>

namespace telvora::telephony {

TCallEntry& TCallList::Add(tapi::HCALL call, int initial_ring_number) {
  if (TCallEntry* found = Find(call)) return *found;
  TCallEntry entry;
  entry.Call = call;
  entry.RingCount = initial_ring_number;
  entries_.push_back(entry);
  return entries_.back();
}

TCallEntry* TCallList::Find(tapi::HCALL call) {
  for (TCallEntry& e : entries_) {
    if (e.Call == call) return &e;
  }
  return nullptr;
}

bool TCallList::Contains(tapi::HCALL call) const {
  return std::any_of(entries_.begin(), entries_.end(), [&](const TCallEntry& e) { return e.Call == call; });
}

TCallState TCallList::StateOf(tapi::HCALL call) const {
  for (const TCallEntry& e : entries_) {
    if (e.Call == call) return e.State;
  }
  return csError;
}

void TCallList::SetState(tapi::HCALL call, TCallState state, int initial_ring_number) {
  TCallEntry& e = Add(call, initial_ring_number);
  e.State = state;
  if (state == csWaitingDisconnection) e.Dropping = true;
}

void TCallList::SetCallParam(tapi::HCALL call, int call_param, int initial_ring_number) {
  Add(call, initial_ring_number).CallParam = call_param;
}

void TCallList::Remove(tapi::HCALL call) {
  entries_.erase(std::remove_if(entries_.begin(), entries_.end(),
                                [&](const TCallEntry& e) { return e.Call == call; }),
                 entries_.end());
}

bool TCallList::AnyStateOtherThan(std::initializer_list<TCallState> states) const {
  return std::any_of(entries_.begin(), entries_.end(), [&](const TCallEntry& e) {
    return std::find(states.begin(), states.end(), e.State) == states.end();
  });
}

std::vector<tapi::HCALL> TCallList::Handles() const {
  std::vector<tapi::HCALL> out;
  for (const TCallEntry& e : entries_) out.push_back(e.Call);
  return out;
}

}  // namespace telvora::telephony
