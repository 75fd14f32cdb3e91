#include "tapi/modem_line.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "platform/registry.h"
#include "tapi/dial_string.h"

namespace telvora::tapi {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr const char* kConfigKeyPrefix = "Software\\Telvora\\Telephony\\Modems\\";
constexpr const char* kConfigValue = "DevConfig";
// Our own watchdog runs this much longer than the modem's call set-up timer,
// so that the modem's NO ANSWER normally comes first.
constexpr int kDialTimeoutMarginMs = 10000;
constexpr int kIdleWaitMs = 60000;
constexpr Clock::duration kNoDeadline = std::chrono::hours(24 * 365);
// No result line is longer; of a run of bytes without a line end only this
// much is kept, so that noise or data-mode bytes cannot pile up.
constexpr std::size_t kLongestLine = 256;
// Holds the modem for an incoming call while the service is told of it.
constexpr HCALL kOfferPending = 0xFFFFFFFF;

const char* VolumeCommand(DWORD volume) {
  switch (volume) {
    case MDMVOL_LOW: return "ATL1";
    case MDMVOL_MEDIUM: return "ATL2";
    case MDMVOL_HIGH: return "ATL3";
    default: return nullptr;
  }
}

const char* SpeakerModeCommand(DWORD mode) {
  switch (mode) {
    case MDMSPKR_OFF: return "ATM0";
    case MDMSPKR_DIAL: return "ATM1";
    case MDMSPKR_ON: return "ATM2";
    case MDMSPKR_CALLSETUP: return "ATM3";
    default: return nullptr;
  }
}

DWORD DisconnectModeOf(HayesResult result, bool connected) {
  switch (result) {
    case HayesResult::kBusy: return LINEDISCONNECTMODE_BUSY;
    case HayesResult::kNoDialtone: return LINEDISCONNECTMODE_NODIALTONE;
    case HayesResult::kNoAnswer: return LINEDISCONNECTMODE_NOANSWER;
    case HayesResult::kNoCarrier: return connected ? LINEDISCONNECTMODE_NORMAL : LINEDISCONNECTMODE_NOANSWER;
    case HayesResult::kError: return LINEDISCONNECTMODE_BADADDRESS;
    default: return LINEDISCONNECTMODE_UNAVAIL;
  }
}

std::string ConfigKeyOf(const std::string& device) {
  std::string name = device;
  for (char& c : name) {
    if (c == '/' || c == '\\') c = '_';
  }
  while (!name.empty() && name.front() == '_') name.erase(name.begin());
  return kConfigKeyPrefix + (name.empty() ? std::string("modem") : name);
}

}  // namespace

ModemLine::ModemLine(ModemOptions options)
    : options_(std::move(options)), config_key_(ConfigKeyOf(options_.device)) {
  config_ = EncodeDeviceConfig(ModemSettings{});
  try {
    auto key = platform::RegistryKey::Open(platform::RegistryRoot::CurrentUser, config_key_, false);
    if (key) {
      auto value = key->ReadValue(kConfigValue);
      if (value && DecodeDeviceConfig(value->data)) config_ = value->data;
    }
  } catch (const platform::RegistryError&) {
    // An unusable store leaves the defaults.
  }
}

ModemLine::~ModemLine() { Close(); }

LineDeviceCaps ModemLine::Caps() const {
  LineDeviceCaps caps;
  const std::string base = std::filesystem::path(options_.device).filename().string();
  caps.name = "Modem on " + base;
  caps.provider_info = "Telvora modem provider (Hayes AT commands)";
  caps.address = base;
  caps.media_modes = LINEMEDIAMODE_INTERACTIVEVOICE | LINEMEDIAMODE_DATAMODEM;
  caps.bearer_modes = LINEBEARERMODE_VOICE | LINEBEARERMODE_DATA | LINEBEARERMODE_PASSTHROUGH;
  ModemSettings settings;
  Settings(&settings);
  caps.max_rate = options_.speed != 0 ? options_.speed : settings.baud_rate;
  caps.dev_cap_flags = LINEDEVCAPFLAGS_CLOSEDROP | LINEDEVCAPFLAGS_DIALQUIET | LINEDEVCAPFLAGS_DIALDIALTONE;
  caps.max_active_calls = 1;
  caps.call_features = LINECALLFEATURE_DROP | LINECALLFEATURE_ANSWER;
  caps.has_datamodem = true;
  caps.port_name = options_.device;
  return caps;
}

void ModemLine::Settings(ModemSettings* settings) const {
  std::lock_guard lock(mu_);
  if (auto decoded = DecodeDeviceConfig(config_)) *settings = *decoded;
}

std::vector<std::uint8_t> ModemLine::DevConfig() const {
  std::lock_guard lock(mu_);
  return config_;
}

LONG ModemLine::SetDevConfig(const std::vector<std::uint8_t>& config) {
  if (config.size() < kDeviceConfigSize || config.size() > kDeviceConfigMaxSize) return LINEERR_INVALPARAM;
  try {
    auto key = platform::RegistryKey::Open(platform::RegistryRoot::CurrentUser, config_key_, true);
    if (!key) return LINEERR_OPERATIONFAILED;
    key->WriteBinary(kConfigValue, config);
  } catch (const platform::RegistryError&) {
    return LINEERR_OPERATIONFAILED;
  }
  std::lock_guard lock(mu_);
  config_ = config;
  return 0;
}

LONG ModemLine::Open(LineEventSink* sink) {
  Close();
  long holder = 0;
  switch (lock_.Acquire(options_.lock_dir, options_.device, &holder)) {
    case UucpLock::Result::kTaken: break;
    case UucpLock::Result::kBusy: return LINEERR_ALLOCATED;
    case UucpLock::Result::kFailed: return LINEERR_RESOURCEUNAVAIL;
  }
  ModemSettings settings;
  Settings(&settings);
  const int err = port_.Open(options_.device, options_.speed != 0 ? options_.speed : settings.baud_rate);
  if (err != 0) {
    lock_.Release();
    if (err == ENOENT || err == ENODEV || err == ENXIO || err == EIO) return LINEERR_NODEVICE;
    if (err == EBUSY) return LINEERR_ALLOCATED;
    return LINEERR_RESOURCEUNAVAIL;
  }
  if (::pipe2(wake_pipe_, O_CLOEXEC | O_NONBLOCK) != 0) {
    port_.Close();
    lock_.Release();
    return LINEERR_NOMEM;
  }
  port_fd_ = port_.fd();
  {
    std::lock_guard lock(mu_);
    sink_ = sink;
    gone_ = false;
    active_call_ = 0;
    commands_.clear();
  }
  stop_ = false;
  online_ = false;
  pending_input_.clear();
  worker_ = std::thread([this] { Run(); });
  return 0;
}

void ModemLine::Close() {
  stop_ = true;
  Wake();
  if (worker_.joinable()) worker_.join();
  port_fd_ = -1;
  port_.Close();
  lock_.Release();
  for (int& fd : wake_pipe_) {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
  std::lock_guard lock(mu_);
  sink_ = nullptr;
  commands_.clear();
  active_call_ = 0;
}

LONG ModemLine::MakeCall(DWORD request, HCALL call, const std::string& address, const CallRequest& params) {
  ModemSettings settings;
  Settings(&settings);
  const bool voice = (params.media_mode & LINEMEDIAMODE_DATAMODEM) == 0;
  const bool pulse = (settings.preferred_options & MDM_TONE_DIAL) == 0;
  const std::optional<std::string> dial = DialCommand(address, options_.international_prefix, pulse, voice);
  if (!dial) return LINEERR_INVALADDRESS;  // nothing reaches the modem
  std::lock_guard lock(mu_);
  if (gone_ || sink_ == nullptr) return LINEERR_NODEVICE;
  if (active_call_ != 0) return LINEERR_CALLUNAVAIL;
  active_call_ = call;
  commands_.push_back({Command::Kind::kDial, request, call, *dial, voice});
  Wake();
  return 0;
}

LONG ModemLine::Drop(DWORD request, HCALL call) {
  std::lock_guard lock(mu_);
  if (gone_ || sink_ == nullptr) return LINEERR_NODEVICE;
  commands_.push_back({Command::Kind::kDrop, request, call, {}, false});
  Wake();
  return 0;
}

LONG ModemLine::Answer(DWORD request, HCALL call) {
  std::lock_guard lock(mu_);
  if (gone_ || sink_ == nullptr) return LINEERR_NODEVICE;
  if (call != active_call_) return LINEERR_INVALCALLSTATE;
  commands_.push_back({Command::Kind::kAnswer, request, call, {}, false});
  Wake();
  return 0;
}

LONG ModemLine::CommHandle(HCALL call, int* fd) {
  {
    std::lock_guard lock(mu_);
    if (call != active_call_ || !online_) return LINEERR_INVALCALLSTATE;
  }
  const int port = port_fd_;
  if (port < 0) return LINEERR_NODEVICE;
  *fd = ::fcntl(port, F_DUPFD_CLOEXEC, 0);
  return *fd < 0 ? LINEERR_RESOURCEUNAVAIL : 0;
}

void ModemLine::Wake() {
  if (wake_pipe_[1] >= 0) {
    const char byte = 1;
    [[maybe_unused]] ssize_t n = ::write(wake_pipe_[1], &byte, 1);
  }
}

bool ModemLine::PopCommand(Command* command) {
  std::lock_guard lock(mu_);
  if (commands_.empty()) return false;
  *command = commands_.front();
  commands_.pop_front();
  return true;
}

void ModemLine::Removed() {
  LineEventSink* sink;
  {
    std::lock_guard lock(mu_);
    gone_ = true;
    sink = sink_;
    active_call_ = 0;
    commands_.clear();
  }
  // Let go of the port and its lock at once: the device is gone, and
  // whoever brings it back must find it free.
  port_fd_ = -1;
  port_.Close();
  lock_.Release();
  if (sink != nullptr) sink->DeviceRemoved();
}

void ModemLine::SleepUntil(Clock::time_point when) {
  while (!stop_ && Clock::now() < when) {
    std::this_thread::sleep_for(std::min<Clock::duration>(when - Clock::now(), milliseconds(20)));
  }
}

ModemLine::Wait ModemLine::WaitFor(Clock::time_point deadline, bool commands_interrupt, HayesResult* result,
                                   bool want_ring) {
  for (;;) {
    // Whole lines first: a numeric result ends in a bare CR, a verbose one in
    // CR LF; echo, information text and garbage parse as no result.
    std::size_t end;
    while ((end = pending_input_.find_first_of("\r\n")) != std::string::npos) {
      const std::string line = pending_input_.substr(0, end);
      pending_input_.erase(0, end + 1);
      const HayesResult parsed = ParseHayesResult(line);
      if (parsed != HayesResult::kNone && (want_ring || parsed != HayesResult::kRing)) {
        *result = parsed;
        return Wait::kResult;
      }
    }
    if (pending_input_.size() > kLongestLine) pending_input_.erase(0, pending_input_.size() - kLongestLine);
    if (stop_) return Wait::kStop;
    if (commands_interrupt) {
      std::lock_guard lock(mu_);
      if (!commands_.empty()) return Wait::kCommand;
    }
    const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return Wait::kTimeout;
    switch (port_.Read(&pending_input_, static_cast<int>(std::min<long long>(left, kIdleWaitMs)), wake_pipe_[0])) {
      case SerialPort::ReadStatus::kGone: return Wait::kGone;
      case SerialPort::ReadStatus::kWoken: {
        char drain[64];
        while (::read(wake_pipe_[0], drain, sizeof drain) > 0) {
        }
        break;
      }
      default: break;
    }
  }
}

ModemLine::Wait ModemLine::SendCommand(const std::string& command, int timeout_ms, HayesResult* result) {
  if (!port_.Write(command + "\r")) return Wait::kGone;
  return WaitFor(Clock::now() + milliseconds(timeout_ms), false, result);
}

void ModemLine::HangUp(bool online, bool dialing, Clock::time_point dial_sent) {
  HayesResult result = HayesResult::kNone;
  if (dialing) {
    // Give the modem time to take the dial in; then any character aborts it,
    // but not on every modem, so ATH follows.
    SleepUntil(dial_sent + milliseconds(options_.dial_settle_ms));
    if (!port_.Write("\r")) return;
    if (WaitFor(Clock::now() + milliseconds(options_.abort_wait_ms), false, &result) == Wait::kGone) return;
  } else if (online) {
    SleepUntil(Clock::now() + milliseconds(options_.escape_guard_ms));
    if (!port_.Write("+++")) return;
    SleepUntil(Clock::now() + milliseconds(options_.escape_guard_ms));
    if (WaitFor(Clock::now() + milliseconds(options_.command_timeout_ms), false, &result) == Wait::kGone) return;
  }
  const Wait wait = SendCommand("ATH", options_.command_timeout_ms, &result);
  if (wait == Wait::kGone) return;
  if (wait != Wait::kResult || result != HayesResult::kOk) port_.PulseDtr();
  online_ = false;
}

void ModemLine::RunCall(const Command& dial) {
  LineEventSink* sink;
  {
    std::lock_guard lock(mu_);
    sink = sink_;
  }
  ModemSettings settings;
  Settings(&settings);
  if (dial.kind == Command::Kind::kAnswer) {
    // The modem is ringing in command state: it answers, no reset first.
    if (!port_.Write("ATA\r")) {
      sink->CompleteRequest(dial.request, LINEERR_NODEVICE);
      Removed();
      return;
    }
    sink->CompleteRequest(dial.request, 0);
  } else {
    ::tcflush(port_.fd(), TCIFLUSH);
    pending_input_.clear();
    // A known modem first. A silent modem fails the request after the
    // command time-out instead of holding it for ever.
    std::vector<std::string> setup = {"ATZ", "ATE0"};
    if (const char* volume = VolumeCommand(settings.speaker_volume)) setup.push_back(volume);
    if (const char* mode = SpeakerModeCommand(settings.speaker_mode)) setup.push_back(mode);
    for (std::size_t i = 0; i < setup.size(); ++i) {
      HayesResult result = HayesResult::kNone;
      const Wait wait = SendCommand(setup[i], options_.command_timeout_ms, &result);
      if (wait == Wait::kGone) {
        sink->CompleteRequest(dial.request, LINEERR_NODEVICE);
        Removed();
        return;
      }
      // ATZ and ATE0 must be taken; a modem may refuse a speaker setting.
      const bool refused = wait != Wait::kResult || (i < 2 && result != HayesResult::kOk);
      if (refused) {
        {
          std::lock_guard lock(mu_);
          active_call_ = 0;
        }
        sink->CompleteRequest(dial.request, LINEERR_OPERATIONFAILED);
        return;
      }
    }
    if (!port_.Write(dial.dial + "\r")) {
      sink->CompleteRequest(dial.request, LINEERR_NODEVICE);
      Removed();
      return;
    }
    sink->CompleteRequest(dial.request, 0);
    sink->CallState(dial.call, LINECALLSTATE_DIALING, 0);
  }
  const Clock::time_point dial_sent = Clock::now();

  const int dial_timeout = options_.dial_timeout_ms > 0
                               ? options_.dial_timeout_ms
                               : static_cast<int>(settings.call_setup_fail_timer) * 1000 + kDialTimeoutMarginMs;
  Clock::time_point deadline = dial_sent + milliseconds(dial_timeout);
  bool dialing = true, ended = false;
  for (;;) {
    HayesResult result = HayesResult::kNone;
    switch (WaitFor(deadline, true, &result)) {
      case Wait::kResult:
        if (dialing) {
          dialing = false;
          deadline = Clock::now() + kNoDeadline;
          if (result == HayesResult::kOk && dial.voice) {
            // The number is dialled and the modem is back in command state;
            // the handset has the line now.
            sink->CallState(dial.call, LINECALLSTATE_PROCEEDING, 0);
            sink->CallState(dial.call, LINECALLSTATE_CONNECTED, 0);
          } else if (result == HayesResult::kConnect) {
            online_ = true;
            sink->CallState(dial.call, LINECALLSTATE_CONNECTED, 0);
          } else if (result == HayesResult::kOk) {
            dialing = true;  // a stray OK of a data dial: keep waiting
            deadline = dial_sent + milliseconds(dial_timeout);
          } else {
            ended = true;
            sink->CallState(dial.call, LINECALLSTATE_DISCONNECTED, DisconnectModeOf(result, false));
          }
        } else if (online_ && result == HayesResult::kNoCarrier) {
          online_ = false;
          ended = true;
          sink->CallState(dial.call, LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_NORMAL);
        }
        break;
      case Wait::kTimeout:
        // The modem said nothing within its own time and ours.
        HangUp(false, true, dial_sent);
        dialing = false;
        ended = true;
        deadline = Clock::now() + kNoDeadline;
        sink->CallState(dial.call, LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_UNAVAIL);
        break;
      case Wait::kCommand: {
        Command command;
        if (!PopCommand(&command)) break;
        if (command.kind == Command::Kind::kDial) {
          sink->CompleteRequest(command.request, LINEERR_CALLUNAVAIL);
          break;
        }
        if (!ended) HangUp(online_, dialing, dial_sent);
        if (stop_) return;
        {
          std::lock_guard lock(mu_);
          active_call_ = 0;
        }
        online_ = false;
        sink->CompleteRequest(command.request, 0);
        sink->CallState(dial.call, LINECALLSTATE_IDLE, 0);
        return;
      }
      case Wait::kGone:
        Removed();
        return;
      case Wait::kStop:
        // The line is closing: no time for the escape guard. Abort a dial,
        // hang up, and drop DTR for a modem still on line.
        if (!ended && port_.is_open()) {
          port_.Write("\rATH\r");
          if (online_) port_.PulseDtr();
        }
        return;
    }
  }
}

void ModemLine::Run() {
  HCALL offered = 0;  // the incoming call, until answered or gone
  DWORD rings = 0;
  Clock::time_point last_ring;
  Clock::time_point ignore_rings_until;  // a dropped offered call keeps ringing
  const milliseconds ring_gap(options_.ring_gap_ms);
  LineEventSink* sink;
  {
    std::lock_guard lock(mu_);
    sink = sink_;
  }
  while (!stop_) {
    Command command;
    if (PopCommand(&command)) {
      if (command.kind == Command::Kind::kDial ||
          (command.kind == Command::Kind::kAnswer && command.call == offered)) {
        offered = 0;
        RunCall(command);
        if (!port_.is_open()) return;  // the device went away
      } else if (command.kind == Command::Kind::kAnswer) {
        sink->CompleteRequest(command.request, LINEERR_INVALCALLSTATE);
      } else {
        // A drop for a call that has already ended, or for the offered
        // call, whose further rings are then let go by.
        if (command.call == offered) {
          offered = 0;
          ignore_rings_until = Clock::now() + ring_gap;
          std::lock_guard lock(mu_);
          active_call_ = 0;
        }
        sink->CompleteRequest(command.request, 0);
        sink->CallState(command.call, LINECALLSTATE_IDLE, 0);
      }
      continue;
    }
    // Idle: watch for rings and for the port's disappearance.
    const Clock::time_point deadline = offered != 0 ? last_ring + ring_gap : Clock::now() + milliseconds(kIdleWaitMs);
    HayesResult result = HayesResult::kNone;
    const Wait wait = WaitFor(deadline, true, &result, true);
    if (wait == Wait::kGone) {
      Removed();
      return;
    }
    const Clock::time_point now = Clock::now();
    if (wait == Wait::kResult && result == HayesResult::kRing) {
      if (now < ignore_rings_until) {
        ignore_rings_until = now + ring_gap;
        continue;
      }
      if (offered == 0) {
        {
          std::lock_guard lock(mu_);
          if (active_call_ != 0) continue;  // a dial of ours is starting
          active_call_ = kOfferPending;
        }
        CallDetails details;
        details.media_mode = LINEMEDIAMODE_UNKNOWN;
        details.origin = LINECALLORIGIN_EXTERNAL;
        offered = sink->OfferCall(details);
        std::lock_guard lock(mu_);
        active_call_ = offered;
        if (offered == 0) {
          ignore_rings_until = now + ring_gap;  // no one takes calls
          continue;
        }
        rings = 0;
      }
      last_ring = now;
      sink->Ringing(0, ++rings);
    } else if (wait == Wait::kTimeout && offered != 0 && now >= last_ring + ring_gap) {
      // The caller gave up before anyone answered.
      {
        std::lock_guard lock(mu_);
        active_call_ = 0;
      }
      sink->CallState(offered, LINECALLSTATE_IDLE, 0);
      offered = 0;
    }
  }
}

}  // namespace telvora::tapi
