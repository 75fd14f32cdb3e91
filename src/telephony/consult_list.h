#pragma once
// The consultation list: one entry per consultation call set up for a
// transfer or a conference, in order of creation. TAPI writes the
// consultation call's (and a conference's) handle into the entry's cells;
// a cell reads 0 once its call is gone, and an entry goes when both of its
// cells are clear after its set-up completed (before that, TAPI has yet to
// write them). Calls are classified against it (a consultation call, the
// conference call of an entry, or an ordinary call); the consultation state
// of a call that is no consultation call reads ccsError.
//
// Threads: GUI thread only.

#include <memory>
#include <string>
#include <vector>

#include "tapi/tapi_constants.h"
#include "telephony/tel_types.h"

namespace telvora::telephony {

struct TConsults {
  tapi::HCALL PrimaryCall = 0;
  std::unique_ptr<tapi::HCALL> ConsultCell = std::make_unique<tapi::HCALL>(0);
  std::unique_ptr<tapi::HCALL> ConferenceCell;  // none for a transfer set-up
  std::string Number;
  bool Joined = false;
  bool Completed = false;
  TConsultCallState State = ccsStarted;
  bool Transfer = true;
  bool SetUp = false;  // the set-up request completed
  int Id = 0;          // given by Append; names the entry in its set-up request

  tapi::HCALL ConsultCall() const { return ConsultCell ? *ConsultCell : 0; }
  tapi::HCALL ConferenceCall() const { return ConferenceCell ? *ConferenceCell : 0; }
};

class TConsultList {
 public:
  TConsults& Append(TConsults entry);
  TConsults* ById(int id);
  void Remove(int id);
  TConsults* ByConsultCall(tapi::HCALL call);
  TConsults* ByConferenceCall(tapi::HCALL call);
  // The first entry whose primary call is `call`.
  TConsults* ByPrimaryCall(tapi::HCALL call);
  // The first entry of that primary call that still has a conference call,
  // or a consultation call.
  TConsults* ByPrimaryWithConference(tapi::HCALL call);
  TConsults* ByPrimaryWithConsult(tapi::HCALL call);
  TConsultCallState ConsultStateOf(tapi::HCALL call) const;
  // Clears every cell holding `call` and drops the entries left without any.
  void RemoveCallHandle(tapi::HCALL call);
  bool Empty() const { return entries_.empty(); }
  int Count() const { return static_cast<int>(entries_.size()); }

 private:
  std::vector<std::unique_ptr<TConsults>> entries_;
  int next_id_ = 1;
};

}  // namespace telvora::telephony
