#include "tapi/lab_phone.h"

#include <algorithm>

namespace telvora::tapi {
namespace {

constexpr DWORD kAllHookModes = PHONEHOOKSWITCHMODE_ONHOOK | PHONEHOOKSWITCHMODE_MIC |
                                PHONEHOOKSWITCHMODE_SPEAKER | PHONEHOOKSWITCHMODE_MICSPEAKER;

DWORD HookStateBit(DWORD dev) {
  return dev == PHONEHOOKSWITCHDEV_HANDSET   ? PHONESTATE_HANDSETHOOKSWITCH
         : dev == PHONEHOOKSWITCHDEV_SPEAKER ? PHONESTATE_SPEAKERHOOKSWITCH
                                             : 0;
}

}  // namespace

LabPhone::LabPhone(PhoneDeviceCaps caps) : caps_(std::move(caps)) {
  state_.lamp_modes.assign(caps_.lamps, PHONELAMPMODE_OFF);
  state_.display.assign(static_cast<std::size_t>(caps_.display_rows) * caps_.display_columns, ' ');
}

LabPhone::~LabPhone() { runner_.Stop(); }

PhoneDeviceCaps LabPhone::DefaultCaps(int index) {
  PhoneDeviceCaps caps;
  caps.name = "Telvora Lab Phone " + std::to_string(index);
  caps.provider_info = "Telvora lab provider";
  caps.hook_switch_devs = PHONEHOOKSWITCHDEV_HANDSET | PHONEHOOKSWITCHDEV_SPEAKER;
  caps.handset_modes = kAllHookModes;
  caps.speaker_modes = kAllHookModes;
  caps.volume_flags = PHONEHOOKSWITCHDEV_HANDSET | PHONEHOOKSWITCHDEV_SPEAKER;
  caps.gain_flags = PHONEHOOKSWITCHDEV_HANDSET | PHONEHOOKSWITCHDEV_SPEAKER;
  caps.display_rows = 2;
  caps.display_columns = 16;
  caps.ring_modes = 3;
  caps.lamps = 4;
  return caps;
}

void LabPhone::QueueReply(LabReply reply) {
  std::lock_guard lock(mu_);
  replies_.push_back(reply);
}

std::vector<std::string> LabPhone::Log() const {
  std::lock_guard lock(mu_);
  return log_;
}

void LabPhone::UserSets(DWORD dev, DWORD mode) {
  PhoneEventSink* sink;
  {
    std::lock_guard lock(mu_);
    (dev == PHONEHOOKSWITCHDEV_HANDSET ? state_.handset_mode : state_.speaker_mode) = mode;
    sink = sink_;
  }
  if (sink != nullptr) sink->StateChanged(HookStateBit(dev));
}

void LabPhone::Remove() {
  PhoneEventSink* sink;
  {
    std::lock_guard lock(mu_);
    sink = sink_;
  }
  if (sink != nullptr) sink->DeviceRemoved();
}

LONG LabPhone::Open(PhoneEventSink* sink) {
  std::lock_guard lock(mu_);
  log_.push_back("Open");
  sink_ = sink;
  runner_.Start();
  return 0;
}

void LabPhone::Close() {
  runner_.Stop();
  std::lock_guard lock(mu_);
  if (sink_ != nullptr) log_.push_back("Close");
  sink_ = nullptr;
}

PhoneState LabPhone::State() const {
  std::lock_guard lock(mu_);
  return state_;
}

LONG LabPhone::Respond(DWORD request, DWORD states, std::function<void(PhoneState&)> apply,
                       const std::string& log) {
  log_.push_back(log);
  LabReply reply;
  if (!replies_.empty()) {
    reply = replies_.front();
    replies_.pop_front();
  }
  if (reply.sync_result < 0) return reply.sync_result;
  if (reply.never) return 0;
  PhoneEventSink* sink = sink_;
  runner_.Post(std::chrono::milliseconds(reply.delay_ms), [this, sink, request, states, apply, result = reply.result] {
    if (result == 0) {
      std::lock_guard lock(mu_);
      apply(state_);
    }
    sink->CompleteRequest(request, result);
    if (result == 0 && states != 0) sink->StateChanged(states);
  });
  return 0;
}

LONG LabPhone::SetHookSwitch(DWORD request, DWORD devs, DWORD mode) {
  std::lock_guard lock(mu_);
  DWORD states = 0;
  if (devs & PHONEHOOKSWITCHDEV_HANDSET) states |= PHONESTATE_HANDSETHOOKSWITCH;
  if (devs & PHONEHOOKSWITCHDEV_SPEAKER) states |= PHONESTATE_SPEAKERHOOKSWITCH;
  return Respond(request, states, [devs, mode](PhoneState& s) {
    if (devs & PHONEHOOKSWITCHDEV_HANDSET) s.handset_mode = mode;
    if (devs & PHONEHOOKSWITCHDEV_SPEAKER) s.speaker_mode = mode;
    if (devs & PHONEHOOKSWITCHDEV_HEADSET) s.headset_mode = mode;
  }, "SetHookSwitch " + std::to_string(devs) + " " + std::to_string(mode));
}

LONG LabPhone::SetRing(DWORD request, DWORD ring_mode, DWORD volume) {
  std::lock_guard lock(mu_);
  return Respond(request, PHONESTATE_RINGMODE | PHONESTATE_RINGVOLUME, [=](PhoneState& s) {
    s.ring_mode = ring_mode;
    s.ring_volume = volume;
  }, "SetRing " + std::to_string(ring_mode) + " " + std::to_string(volume));
}

LONG LabPhone::SetLamp(DWORD request, DWORD lamp, DWORD mode) {
  std::lock_guard lock(mu_);
  return Respond(request, PHONESTATE_LAMP, [=](PhoneState& s) { s.lamp_modes[lamp] = mode; },
                 "SetLamp " + std::to_string(lamp) + " " + std::to_string(mode));
}

LONG LabPhone::SetDisplay(DWORD request, DWORD row, DWORD column, const std::vector<std::uint8_t>& text) {
  std::lock_guard lock(mu_);
  const std::size_t start = static_cast<std::size_t>(row) * caps_.display_columns + column;
  return Respond(request, PHONESTATE_DISPLAY, [start, text](PhoneState& s) {
    // Text runs on into the next rows and stops at the display's end.
    for (std::size_t i = 0; i < text.size() && start + i < s.display.size(); ++i) {
      s.display[start + i] = text[i];
    }
  }, "SetDisplay " + std::to_string(row) + " " + std::to_string(column) + " " +
         std::string(text.begin(), text.end()));
}

LONG LabPhone::SetVolume(DWORD dev, DWORD volume) {
  PhoneEventSink* sink;
  {
    std::lock_guard lock(mu_);
    (dev == PHONEHOOKSWITCHDEV_HANDSET ? state_.handset_volume : state_.speaker_volume) = volume;
    log_.push_back("SetVolume " + std::to_string(dev) + " " + std::to_string(volume));
    sink = sink_;
  }
  const DWORD bit = dev == PHONEHOOKSWITCHDEV_HANDSET ? PHONESTATE_HANDSETVOLUME : PHONESTATE_SPEAKERVOLUME;
  if (sink != nullptr) runner_.Post(std::chrono::milliseconds(0), [sink, bit] { sink->StateChanged(bit); });
  return 0;
}

LONG LabPhone::SetGain(DWORD dev, DWORD gain) {
  PhoneEventSink* sink;
  {
    std::lock_guard lock(mu_);
    (dev == PHONEHOOKSWITCHDEV_HANDSET ? state_.handset_gain : state_.speaker_gain) = gain;
    log_.push_back("SetGain " + std::to_string(dev) + " " + std::to_string(gain));
    sink = sink_;
  }
  const DWORD bit = dev == PHONEHOOKSWITCHDEV_HANDSET ? PHONESTATE_HANDSETGAIN : PHONESTATE_SPEAKERGAIN;
  if (sink != nullptr) runner_.Post(std::chrono::milliseconds(0), [sink, bit] { sink->StateChanged(bit); });
  return 0;
}

}  // namespace telvora::tapi
