#include "telephony/request_list.h"

#include <algorithm>

namespace telvora::telephony {

void TRequestList::Add(TPendingRequest request) {
  request.Serial = next_serial_++;
  entries_.push_back(std::move(request));
}

std::optional<TPendingRequest> TRequestList::Take(tapi::DWORD request_id) {
  const auto it = std::find_if(entries_.begin(), entries_.end(),
                               [&](const TPendingRequest& r) { return r.RequestID == request_id; });
  if (it == entries_.end()) return std::nullopt;
  TPendingRequest taken = std::move(*it);
  entries_.erase(it);
  return taken;
}

std::optional<TPendingRequest> TRequestList::TakeSerial(std::uint64_t serial) {
  const auto it = std::find_if(entries_.begin(), entries_.end(),
                               [&](const TPendingRequest& r) { return r.Serial == serial; });
  if (it == entries_.end()) return std::nullopt;
  TPendingRequest taken = std::move(*it);
  entries_.erase(it);
  return taken;
}

TPendingRequest* TRequestList::FindSerial(std::uint64_t serial) {
  for (TPendingRequest& r : entries_) {
    if (r.Serial == serial) return &r;
  }
  return nullptr;
}

std::vector<std::uint64_t> TRequestList::Serials() const {
  std::vector<std::uint64_t> out;
  out.reserve(entries_.size());
  for (const TPendingRequest& r : entries_) out.push_back(r.Serial);
  return out;
}

bool TRequestList::PendingFor(tapi::HCALL call) const {
  return std::any_of(entries_.begin(), entries_.end(),
                     [&](const TPendingRequest& r) { return r.Call == call; });
}

void TRequestList::Retire(std::unique_ptr<tapi::HCALL> cell) {
  if (cell) retired_.push_back(std::move(cell));
}

}  // namespace telvora::telephony
