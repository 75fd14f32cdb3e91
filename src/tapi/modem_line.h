#pragma once
// A line device on a Hayes-compatible modem at a serial port.
//
// Opening the line takes the port's UUCP lock (a busy port gives
// LINEERR_ALLOCATED) and opens the port in raw mode; no command is sent yet.
// Each call starts from a known modem: ATZ, ATE0, then the speaker volume
// (ATL1..3) and mode (ATM0..3) from the device configuration, then the dial
// command: ATDT<digits> (ATDP when the configuration asks for pulse
// dialling), ending in ';' for voice media modes, so that the modem returns
// to command state once the number is dialled and the handset keeps the
// line. The make-call request completes when the dial command is written.
//
// Call states: DIALING when the dial is sent; a voice dial's OK gives
// PROCEEDING and CONNECTED (the modem hears nothing more); CONNECT gives
// CONNECTED; BUSY, NO DIALTONE, NO ANSWER, NO CARRIER and ERROR give
// DISCONNECTED with LINEDISCONNECTMODE_ BUSY, NODIALTONE, NOANSWER (NORMAL
// once connected), NOANSWER and BADADDRESS; silence past the dial time-out
// hangs up and gives DISCONNECTED/UNAVAIL. A drop waits until the modem has
// had the dial for a moment (an abort sent within milliseconds of it can be
// lost and leave the far end ringing), aborts a dial in progress with a
// character followed by ATH, leaves a data connection with the escape
// sequence and ATH, and always ends with the call IDLE, even from a modem
// that no longer answers (then DTR is dropped as a last resort).
//
// Modems differ, and all of these are taken in stride: echo left on (and the
// ATE0 itself echoed), verbose or numeric results (numeric ones end in a bare
// CR), the ';' ignored (a voice dial then waits for a call-progress result),
// garbage lines, a busy line reported as NO DIALTONE, and no DTR or DCD on a
// pseudo-terminal. A port that goes away (read error, hang-up) ends the call
// and closes the line (DeviceRemoved); the next open starts afresh.
//
// Threads: one worker thread per open line owns the port; the service's
// calls only validate and queue commands for it, so none of them blocks.

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tapi/device_config_block.h"
#include "tapi/device_configuration.h"
#include "tapi/hayes_result.h"
#include "tapi/line_device.h"
#include "tapi/serial_port.h"
#include "tapi/uucp_lock.h"

namespace telvora::tapi {

class ModemLine : public LineDevice {
 public:
  explicit ModemLine(ModemOptions options);
  ~ModemLine() override;

  LineDeviceCaps Caps() const override;
  LONG Open(LineEventSink* sink) override;
  void Close() override;
  LONG MakeCall(DWORD request, HCALL call, const std::string& address,
                const CallRequest& params) override;
  LONG Drop(DWORD request, HCALL call) override;
  LONG CommHandle(HCALL call, int* fd) override;
  std::vector<std::uint8_t> DevConfig() const override;
  LONG SetDevConfig(const std::vector<std::uint8_t>& config) override;

 private:
  struct Command {
    enum class Kind { kDial, kDrop } kind;
    DWORD request = 0;
    HCALL call = 0;
    std::string dial;  // the dial command, without CR
    bool voice = false;
  };
  enum class Wait { kResult, kCommand, kTimeout, kGone, kStop };
  using Clock = std::chrono::steady_clock;

  void Run();
  void RunCall(const Command& dial);
  // Sends a command and waits for its result (commands queued meanwhile
  // wait). kResult with *result set, or why there is none.
  Wait SendCommand(const std::string& command, int timeout_ms, HayesResult* result);
  // Waits for the next result line until the deadline; with
  // commands_interrupt, a queued command ends the wait too.
  Wait WaitFor(Clock::time_point deadline, bool commands_interrupt, HayesResult* result);
  void Settings(ModemSettings* settings) const;
  void HangUp(bool online, bool dialing, Clock::time_point dial_sent);
  void SleepUntil(Clock::time_point when);
  bool PopCommand(Command* command);
  void Wake();
  void Removed();

  const ModemOptions options_;
  std::string config_key_;

  mutable std::mutex mu_;
  std::deque<Command> commands_;
  LineEventSink* sink_ = nullptr;
  HCALL active_call_ = 0;  // the call the worker is running, 0 none
  bool gone_ = false;      // the port vanished; refuse calls until reopened
  std::vector<std::uint8_t> config_;

  std::atomic<bool> stop_{false};
  std::atomic<bool> online_{false};
  std::atomic<int> port_fd_{-1};
  int wake_pipe_[2] = {-1, -1};
  SerialPort port_;
  UucpLock lock_;
  std::string pending_input_;
  std::thread worker_;
};

}  // namespace telvora::tapi
