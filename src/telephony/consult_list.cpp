#include "telephony/consult_list.h"

#include <algorithm>

namespace telvora::telephony {

TConsults& TConsultList::Append(TConsults entry) {
  entry.Id = next_id_++;
  entries_.push_back(std::make_unique<TConsults>(std::move(entry)));
  return *entries_.back();
}

TConsults* TConsultList::ById(int id) {
  for (auto& e : entries_) {
    if (e->Id == id) return e.get();
  }
  return nullptr;
}

void TConsultList::Remove(int id) {
  entries_.erase(std::remove_if(entries_.begin(), entries_.end(), [id](const auto& e) { return e->Id == id; }),
                 entries_.end());
}

TConsults* TConsultList::ByConsultCall(tapi::HCALL call) {
  if (call == 0) return nullptr;
  for (auto& e : entries_) {
    if (e->ConsultCall() == call) return e.get();
  }
  return nullptr;
}

TConsults* TConsultList::ByConferenceCall(tapi::HCALL call) {
  if (call == 0) return nullptr;
  for (auto& e : entries_) {
    if (e->ConferenceCall() == call) return e.get();
  }
  return nullptr;
}

TConsults* TConsultList::ByPrimaryCall(tapi::HCALL call) {
  for (auto& e : entries_) {
    if (e->PrimaryCall == call) return e.get();
  }
  return nullptr;
}

TConsults* TConsultList::ByPrimaryWithConference(tapi::HCALL call) {
  for (auto& e : entries_) {
    if (e->PrimaryCall == call && e->ConferenceCall() != 0) return e.get();
  }
  return nullptr;
}

TConsults* TConsultList::ByPrimaryWithConsult(tapi::HCALL call) {
  for (auto& e : entries_) {
    if (e->PrimaryCall == call && e->ConsultCall() != 0) return e.get();
  }
  return nullptr;
}

TConsultCallState TConsultList::ConsultStateOf(tapi::HCALL call) const {
  if (call == 0) return ccsError;
  for (const auto& e : entries_) {
    if (e->ConsultCall() == call) return e->State;
  }
  return ccsError;
}

void TConsultList::RemoveCallHandle(tapi::HCALL call) {
  if (call == 0) return;
  for (auto& e : entries_) {
    if (e->ConsultCell && *e->ConsultCell == call) *e->ConsultCell = 0;
    if (e->ConferenceCell && *e->ConferenceCell == call) *e->ConferenceCell = 0;
  }
  entries_.erase(std::remove_if(entries_.begin(), entries_.end(),
                                [](const auto& e) {
                                  return e->SetUp && e->ConsultCall() == 0 && e->ConferenceCall() == 0;
                                }),
                 entries_.end());
}

}  // namespace telvora::telephony
