#pragma once
// A simulated line device for tests and demonstrations: its calls progress
// as scripted, its replies can be delayed, failed or withheld, and the far
// side (incoming calls, rings, caller id, digits, tones, fax tones, remote
// hang-ups, the device vanishing) is driven by calling its methods.
//
// Unscripted, an outgoing call replies at once and goes dialing, proceeding,
// ringback, connected a few milliseconds apart; every other operation
// succeeds and moves its calls to the state a switch would: a call made or
// dialled with no number stops at dial tone or dialing (off hook), held
// calls go on hold, transferred calls disconnect and go idle, conference
// members are conferenced, a consultation call gets dial tone.
//
// Threads: scheduled reports reach the service from the device's own worker
// thread, in the order they were scheduled; the far-side methods report from
// the calling thread at once (they hold no lock of their own while they do,
// so a notification callback may call them too). Every method is safe from
// any thread.

#include <chrono>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "tapi/delayed_runner.h"
#include "tapi/line_device.h"

namespace telvora::tapi {

// One scripted call-progress step: the state the call reaches after
// delay_ms (counted from the previous step).
struct LabStep {
  DWORD state = 0;
  DWORD mode = 0;
  int delay_ms = 0;
};

// How the device answers one request: a synchronous refusal (sync_result
// negative), or, after delay_ms, a LINE_REPLY with result, or no reply at
// all (never).
struct LabReply {
  LONG sync_result = 0;
  LONG result = 0;
  int delay_ms = 0;
  bool never = false;
};

enum class LabOp {
  kMakeCall, kDrop, kDial, kAnswer, kHold, kUnhold, kBlindTransfer, kSetupTransfer,
  kCompleteTransfer, kSetupConference, kAddToConference, kSetCallParams, kGenerateDigits,
};

class LabLine : public LineDevice {
 public:
  explicit LabLine(LineDeviceCaps caps);
  ~LabLine() override;

  // The capabilities of lab line `index` (with the phone device of the same
  // index when with_phone).
  static LineDeviceCaps DefaultCaps(int index, bool with_phone);

  // ---- scripting ----
  void QueueReply(LabOp op, LabReply reply);       // used once, first queued first
  void SetOutgoingProgress(std::vector<LabStep> steps);  // for every later dial
  // How long after its make-call reply a call made without a number (off
  // hook) reports its dial tone; 0 by default. A real exchange may be slow.
  void SetDialToneDelay(int delay_ms);
  void SetOpenResult(LONG result);

  // ---- the far side ----
  HCALL Offer(const CallDetails& details);  // 0 when no line took the call
  void Ring(DWORD ring_count);
  void SetCallState(HCALL call, DWORD state, DWORD mode = 0);
  void RemoteDisconnect(HCALL call, DWORD mode = LINEDISCONNECTMODE_NORMAL) {
    SetCallState(call, LINECALLSTATE_DISCONNECTED, mode);
  }
  void SetCallInfo(HCALL call, DWORD info_states, const CallDetails& details);
  void Digit(HCALL call, char digit, DWORD mode = LINEDIGITMODE_DTMF);
  void Tone(HCALL call, std::size_t tone_index);
  void Media(HCALL call, DWORD media_mode);
  void Remove();

  // ---- what the device was asked ----
  std::vector<std::string> Log() const;  // "Open", "MakeCall 5551234 media=4", "Drop", ...
  bool IsOpen() const;

  // LineDevice
  LineDeviceCaps Caps() const override { return caps_; }
  LONG Open(LineEventSink* sink) override;
  void Close() override;
  LONG MakeCall(DWORD request, HCALL call, const std::string& address,
                const CallRequest& params) override;
  LONG Drop(DWORD request, HCALL call) override;
  LONG Dial(DWORD request, HCALL call, const std::string& address) override;
  LONG Answer(DWORD request, HCALL call) override;
  LONG Hold(DWORD request, HCALL call) override;
  LONG Unhold(DWORD request, HCALL call) override;
  LONG BlindTransfer(DWORD request, HCALL call, const std::string& address) override;
  LONG SetupTransfer(DWORD request, HCALL call, HCALL consult) override;
  LONG CompleteTransfer(DWORD request, HCALL call, HCALL consult, HCALL conference) override;
  LONG SetupConference(DWORD request, HCALL call, HCALL conference, HCALL consult) override;
  LONG AddToConference(DWORD request, HCALL conference, HCALL consult) override;
  LONG SetCallParams(DWORD request, HCALL call, DWORD bearer, DWORD min_rate, DWORD max_rate) override;
  LONG GenerateDigits(HCALL call, DWORD mode, const std::string& digits) override;
  LONG CommHandle(HCALL call, int* fd) override;
  std::vector<std::uint8_t> DevConfig() const override;
  LONG SetDevConfig(const std::vector<std::uint8_t>& config) override;

 private:
  struct Change {
    HCALL call;
    LabStep step;
  };
  // REQUIRES: mu_ held. Pops the scripted reply for op and, unless refused,
  // schedules the reply and then the changes (each after the previous).
  LONG Respond(LabOp op, DWORD request, std::vector<Change> changes, const std::string& log);
  std::vector<Change> Progress(HCALL call) const;
  LineEventSink* Sink() const;

  const LineDeviceCaps caps_;
  mutable std::mutex mu_;
  LineEventSink* sink_ = nullptr;
  LONG open_result_ = 0;
  std::map<LabOp, std::deque<LabReply>> replies_;
  std::vector<LabStep> progress_;
  int dial_tone_delay_ms_ = 0;
  std::vector<std::string> log_;
  std::vector<std::uint8_t> config_;
  DelayedRunner runner_;
};

}  // namespace telvora::tapi
