#pragma once
// The pending-request list: one entry per asynchronous TAPI request still
// awaiting its LINE_REPLY or PHONE_REPLY, in the order they were made, each
// with its deadline.
//
// A request that makes a call owns the cell TAPI writes the new call handle
// into. TAPI writes the cell just before it delivers the reply, whenever that
// is, so a cell must outlive its entry if the entry is dropped before the
// reply (a request that expired): such cells are retired, and kept until the
// list is destroyed, which happens only after TAPI was shut down.
//
// An expired request is reported once and taken out of the list.
//
// Threads: GUI thread only.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "tapi/tapi_constants.h"

namespace telvora::telephony {

// Request kinds, by the operation that starts them.
enum TRequestKind : int {
  rkMakeCall = 1,
  rkConsultDial = 2,
  rkBlindTransfer = 3,
  rkConsultComplete = 4,
  rkConsultSetup = 5,
  rkPickUpMakeCall = 6,
  rkPickUpDial = 7,
  rkAnswer = 8,
  rkDrop = 10,
  rkHookSwitch = 11,
  rkBearerMode = 12,
  rkHold = 13,
  rkConference = 14,
  rkTransferAToB = 15,
  rkPhoneChange = 16,
};

using TDeadlineClock = std::chrono::steady_clock;

struct TPendingRequest {
  tapi::DWORD RequestID = 0;
  TDeadlineClock::time_point Deadline;
  tapi::HCALL Call = 0;
  int Kind = 0;
  int Extra = 0;                     // CallParam, drop step, switch direction
  std::unique_ptr<tapi::HCALL> Cell;  // receives a new call handle
  tapi::HWND Window = 0;              // a window to notify
  std::uint64_t Serial = 0;           // identifies the entry while it lives
};

class TRequestList {
 public:
  // Appends; gives the entry its serial number.
  void Add(TPendingRequest request);
  // Takes out the first entry with that request ID.
  std::optional<TPendingRequest> Take(tapi::DWORD request_id);
  std::optional<TPendingRequest> TakeSerial(std::uint64_t serial);
  TPendingRequest* FindSerial(std::uint64_t serial);
  std::vector<std::uint64_t> Serials() const;

  bool PendingFor(tapi::HCALL call) const;
  bool Empty() const { return entries_.empty(); }
  int Count() const { return static_cast<int>(entries_.size()); }

  // Keeps a cell alive until the list goes (see above).
  void Retire(std::unique_ptr<tapi::HCALL> cell);

 private:
  std::vector<TPendingRequest> entries_;
  std::vector<std::unique_ptr<tapi::HCALL>> retired_;
  std::uint64_t next_serial_ = 1;
};

}  // namespace telvora::telephony
