#include "tapi/lab_line.h"

#include <fcntl.h>
#include <unistd.h>

#include "tapi/device_config_block.h"

namespace telvora::tapi {
namespace {

constexpr int kDefaultStepMs = 5;

}  // namespace

LabLine::LabLine(LineDeviceCaps caps)
    : caps_(std::move(caps)),
      progress_{{LINECALLSTATE_DIALING, 0, kDefaultStepMs},
                {LINECALLSTATE_PROCEEDING, 0, kDefaultStepMs},
                {LINECALLSTATE_RINGBACK, 0, kDefaultStepMs},
                {LINECALLSTATE_CONNECTED, 0, kDefaultStepMs}},
      config_(EncodeDeviceConfig(ModemSettings{})) {}

LabLine::~LabLine() { runner_.Stop(); }

LineDeviceCaps LabLine::DefaultCaps(int index, bool with_phone) {
  LineDeviceCaps caps;
  caps.name = "Telvora Lab Line " + std::to_string(index);
  caps.provider_info = "Telvora lab provider";
  caps.address = std::to_string(100 + index);
  caps.media_modes = LINEMEDIAMODE_UNKNOWN | LINEMEDIAMODE_INTERACTIVEVOICE |
                     LINEMEDIAMODE_AUTOMATEDVOICE | LINEMEDIAMODE_DATAMODEM | LINEMEDIAMODE_G3FAX;
  caps.bearer_modes = LINEBEARERMODE_VOICE | LINEBEARERMODE_DATA | LINEBEARERMODE_PASSTHROUGH;
  caps.max_rate = 57600;
  caps.generate_digit_modes = LINEDIGITMODE_DTMF | LINEDIGITMODE_PULSE;
  caps.monitor_digit_modes = LINEDIGITMODE_PULSE | LINEDIGITMODE_DTMF | LINEDIGITMODE_DTMFEND;
  caps.monitor_tone_max_freq = 3;
  caps.monitor_tone_max_entries = 10;
  caps.max_active_calls = 4;
  const DWORD party = LINECALLPARTYID_BLOCKED | LINECALLPARTYID_OUTOFAREA | LINECALLPARTYID_NAME |
                      LINECALLPARTYID_ADDRESS | LINECALLPARTYID_UNKNOWN | LINECALLPARTYID_UNAVAIL;
  caps.caller_id_flags = party;
  caps.called_id_flags = party;
  caps.call_features = 0xFFFFFFFF;
  caps.transfer_modes = LINETRANSFERMODE_TRANSFER | LINETRANSFERMODE_CONFERENCE;
  caps.max_conference = 3;
  caps.has_wave = true;
  caps.wave_in_id = static_cast<DWORD>(2 * index);
  caps.wave_out_id = static_cast<DWORD>(2 * index + 1);
  caps.has_datamodem = true;
  caps.port_name = "lab" + std::to_string(index);
  caps.phone_device = with_phone ? index : -1;
  return caps;
}

void LabLine::QueueReply(LabOp op, LabReply reply) {
  std::lock_guard lock(mu_);
  replies_[op].push_back(reply);
}

void LabLine::SetOutgoingProgress(std::vector<LabStep> steps) {
  std::lock_guard lock(mu_);
  progress_ = std::move(steps);
}

void LabLine::SetOpenResult(LONG result) {
  std::lock_guard lock(mu_);
  open_result_ = result;
}

LineEventSink* LabLine::Sink() const {
  std::lock_guard lock(mu_);
  return sink_;
}

HCALL LabLine::Offer(const CallDetails& details) {
  LineEventSink* sink = Sink();
  return sink == nullptr ? 0 : sink->OfferCall(details);
}

void LabLine::Ring(DWORD ring_count) {
  if (LineEventSink* sink = Sink()) sink->Ringing(0, ring_count);
}

void LabLine::SetCallState(HCALL call, DWORD state, DWORD mode) {
  if (LineEventSink* sink = Sink()) sink->CallState(call, state, mode);
}

void LabLine::SetCallInfo(HCALL call, DWORD states, const CallDetails& details) {
  if (LineEventSink* sink = Sink()) sink->CallInfo(call, states, details);
}

void LabLine::Digit(HCALL call, char digit, DWORD mode) {
  if (LineEventSink* sink = Sink()) sink->DigitDetected(call, digit, mode);
}

void LabLine::Tone(HCALL call, std::size_t index) {
  if (LineEventSink* sink = Sink()) sink->ToneDetected(call, index);
}

void LabLine::Media(HCALL call, DWORD media_mode) {
  if (LineEventSink* sink = Sink()) sink->MediaDetected(call, media_mode);
}

void LabLine::Remove() {
  if (LineEventSink* sink = Sink()) sink->DeviceRemoved();
}

std::vector<std::string> LabLine::Log() const {
  std::lock_guard lock(mu_);
  return log_;
}

bool LabLine::IsOpen() const {
  std::lock_guard lock(mu_);
  return sink_ != nullptr;
}

LONG LabLine::Open(LineEventSink* sink) {
  std::lock_guard lock(mu_);
  log_.push_back("Open");
  if (open_result_ != 0) return open_result_;
  sink_ = sink;
  runner_.Start();
  return 0;
}

void LabLine::Close() {
  runner_.Stop();
  std::lock_guard lock(mu_);
  if (sink_ != nullptr) log_.push_back("Close");
  sink_ = nullptr;
}

LONG LabLine::Respond(LabOp op, DWORD request, std::vector<Change> changes, const std::string& log) {
  log_.push_back(log);
  LabReply reply;
  auto& queue = replies_[op];
  if (!queue.empty()) {
    reply = queue.front();
    queue.pop_front();
  }
  if (reply.sync_result < 0) return reply.sync_result;
  if (reply.never) return 0;
  LineEventSink* sink = sink_;
  auto delay = std::chrono::milliseconds(reply.delay_ms);
  runner_.Post(delay, [sink, request, result = reply.result] { sink->CompleteRequest(request, result); });
  if (reply.result != 0) return 0;
  for (const Change& change : changes) {
    delay += std::chrono::milliseconds(change.step.delay_ms);
    runner_.Post(delay, [sink, change] { sink->CallState(change.call, change.step.state, change.step.mode); });
  }
  return 0;
}

std::vector<LabLine::Change> LabLine::Progress(HCALL call) const {
  std::vector<Change> changes;
  for (const LabStep& step : progress_) changes.push_back({call, step});
  return changes;
}

void LabLine::SetDialToneDelay(int delay_ms) {
  std::lock_guard lock(mu_);
  dial_tone_delay_ms_ = delay_ms;
}

LONG LabLine::MakeCall(DWORD request, HCALL call, const std::string& address, const CallRequest& params) {
  std::lock_guard lock(mu_);
  std::vector<Change> changes =
      address.empty()
          ? std::vector<Change>{{call, {LINECALLSTATE_DIALTONE, LINEDIALTONEMODE_NORMAL, dial_tone_delay_ms_}}}
          : Progress(call);
  return Respond(LabOp::kMakeCall, request, std::move(changes),
                 "MakeCall " + address + " media=" + std::to_string(params.media_mode));
}

LONG LabLine::Drop(DWORD request, HCALL call) {
  std::lock_guard lock(mu_);
  return Respond(LabOp::kDrop, request, {{call, {LINECALLSTATE_IDLE, 0, 0}}}, "Drop");
}

LONG LabLine::Dial(DWORD request, HCALL call, const std::string& address) {
  std::lock_guard lock(mu_);
  // Dialling nothing takes the call off hook and no further: the exchange
  // notes the dialing and then waits, as for a handset lifted.
  std::vector<Change> changes =
      address.empty() ? std::vector<Change>{{call, {LINECALLSTATE_DIALING, 0, 0}}} : Progress(call);
  return Respond(LabOp::kDial, request, std::move(changes), "Dial " + address);
}

LONG LabLine::Answer(DWORD request, HCALL call) {
  std::lock_guard lock(mu_);
  return Respond(LabOp::kAnswer, request, {{call, {LINECALLSTATE_CONNECTED, 0, 0}}}, "Answer");
}

LONG LabLine::Hold(DWORD request, HCALL call) {
  std::lock_guard lock(mu_);
  return Respond(LabOp::kHold, request, {{call, {LINECALLSTATE_ONHOLD, 0, 0}}}, "Hold");
}

LONG LabLine::Unhold(DWORD request, HCALL call) {
  std::lock_guard lock(mu_);
  return Respond(LabOp::kUnhold, request, {{call, {LINECALLSTATE_CONNECTED, 0, 0}}}, "Unhold");
}

LONG LabLine::BlindTransfer(DWORD request, HCALL call, const std::string& address) {
  std::lock_guard lock(mu_);
  // The call leaves this line for the new party: it disconnects here.
  return Respond(LabOp::kBlindTransfer, request,
                 {{call, {LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_NORMAL, 0}},
                  {call, {LINECALLSTATE_IDLE, 0, 0}}},
                 "BlindTransfer " + address);
}

LONG LabLine::SetupTransfer(DWORD request, HCALL call, HCALL consult) {
  std::lock_guard lock(mu_);
  return Respond(LabOp::kSetupTransfer, request,
                 {{call, {LINECALLSTATE_ONHOLDPENDTRANSFER, 0, 0}},
                  {consult, {LINECALLSTATE_DIALTONE, LINEDIALTONEMODE_NORMAL, 0}}},
                 "SetupTransfer");
}

LONG LabLine::CompleteTransfer(DWORD request, HCALL call, HCALL consult, HCALL conference) {
  std::lock_guard lock(mu_);
  if (conference == 0) {
    // The two parties now talk to each other, past this line.
    return Respond(LabOp::kCompleteTransfer, request,
                   {{call, {LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_NORMAL, 0}},
                    {consult, {LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_NORMAL, 0}},
                    {call, {LINECALLSTATE_IDLE, 0, 0}},
                    {consult, {LINECALLSTATE_IDLE, 0, 0}}},
                   "CompleteTransfer transfer");
  }
  return Respond(LabOp::kCompleteTransfer, request,
                 {{conference, {LINECALLSTATE_CONNECTED, 0, 0}},
                  {call, {LINECALLSTATE_CONFERENCED, 0, 0}},
                  {consult, {LINECALLSTATE_CONFERENCED, 0, 0}}},
                 "CompleteTransfer conference");
}

LONG LabLine::SetupConference(DWORD request, HCALL call, HCALL conference, HCALL consult) {
  std::lock_guard lock(mu_);
  std::vector<Change> changes{{conference, {LINECALLSTATE_ONHOLDPENDCONF, 0, 0}}};
  if (call != 0) changes.push_back({call, {LINECALLSTATE_CONFERENCED, 0, 0}});
  changes.push_back({consult, {LINECALLSTATE_DIALTONE, LINEDIALTONEMODE_NORMAL, 0}});
  return Respond(LabOp::kSetupConference, request, std::move(changes), "SetupConference");
}

LONG LabLine::AddToConference(DWORD request, HCALL conference, HCALL consult) {
  std::lock_guard lock(mu_);
  return Respond(LabOp::kAddToConference, request,
                 {{consult, {LINECALLSTATE_CONFERENCED, 0, 0}},
                  {conference, {LINECALLSTATE_CONNECTED, 0, 0}}},
                 "AddToConference");
}

LONG LabLine::SetCallParams(DWORD request, HCALL, DWORD bearer, DWORD min_rate, DWORD max_rate) {
  std::lock_guard lock(mu_);
  return Respond(LabOp::kSetCallParams, request, {},
                 "SetCallParams bearer=" + std::to_string(bearer) + " rate=" +
                     std::to_string(min_rate) + ".." + std::to_string(max_rate));
}

LONG LabLine::GenerateDigits(HCALL, DWORD mode, const std::string& digits) {
  std::lock_guard lock(mu_);
  log_.push_back("GenerateDigits " + digits + " mode=" + std::to_string(mode));
  auto& queue = replies_[LabOp::kGenerateDigits];
  if (queue.empty()) return 0;
  const LONG result = queue.front().sync_result;
  queue.pop_front();
  return result;
}

LONG LabLine::CommHandle(HCALL, int* fd) {
  // Stands for the call's data channel: a descriptor the caller owns.
  {
    std::lock_guard lock(mu_);
    log_.push_back("CommHandle");
  }
  *fd = ::open("/dev/null", O_RDWR | O_CLOEXEC);
  return *fd < 0 ? LINEERR_RESOURCEUNAVAIL : 0;
}

std::vector<std::uint8_t> LabLine::DevConfig() const {
  std::lock_guard lock(mu_);
  return config_;
}

LONG LabLine::SetDevConfig(const std::vector<std::uint8_t>& config) {
  if (config.size() < kDeviceConfigSize || config.size() > kDeviceConfigMaxSize) return LINEERR_INVALPARAM;
  std::lock_guard lock(mu_);
  config_ = config;
  log_.push_back("SetDevConfig");
  return 0;
}

}  // namespace telvora::tapi
