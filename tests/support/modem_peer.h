#pragma once
// A scripted Hayes modem at the far end of a pseudo-terminal, for testing a
// modem driver end to end: the driver opens SlavePath() as its serial
// device; the peer answers AT commands as a modem would, in the ways real
// modems differ (echo left on, numeric result codes, ';' ignored, a dial that
// one character does not abort, garbage lines) and with the outcome the test
// chose for a dial (connect, busy, no dial tone, no answer, no carrier,
// error, silence), and as broken ones do (answers in pieces, noise, the
// device gone at a chosen command). It records every byte and command it
// received.
//
// Runs its own thread; every method is safe from any thread.

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace telvora::testing {

class ModemPeer {
 public:
  enum class Outcome { kConnect, kBusy, kNoDialtone, kNoAnswer, kNoCarrier, kError, kSilence };
  struct Behaviour {
    Outcome outcome = Outcome::kConnect;
    int result_delay_ms = 0;        // dialling time before the outcome
    bool numeric = false;           // results as numbers ending in a bare CR
    bool echo = false;              // echo on after ATZ (ATE0 is then echoed too)
    bool ignore_semicolon = false;  // a voice dial behaves as a data dial
    bool abort_needs_ath = false;   // a character does not abort a dial; ATH does
    bool garbage = false;           // noise lines before every answer
    bool silent = false;            // answers nothing at all
    bool trickle = false;           // answers one byte at a time, with pauses
    std::string noise;              // raw bytes (no line end of their own) before every answer
    std::string vanish_on;          // a command starting so makes the device disappear unanswered
  };

  ModemPeer();
  ~ModemPeer();
  ModemPeer(const ModemPeer&) = delete;
  ModemPeer& operator=(const ModemPeer&) = delete;

  const std::string& SlavePath() const { return slave_path_; }
  void SetBehaviour(const Behaviour& behaviour);

  std::vector<std::string> Commands() const;  // command lines received, without CR
  std::string Received() const;               // every byte received
  bool Dialling() const;                      // a dial is in progress
  bool Online() const;                        // connected in data mode
  // How long the last dial ran before the next byte arrived (an abort or
  // a command); nothing while no byte has followed it.
  std::optional<std::chrono::milliseconds> DialHeadStart() const;
  // Waits until a command starting with prefix has been received.
  bool WaitForCommand(const std::string& prefix, std::chrono::milliseconds timeout) const;

  // A call comes in: one "RING". ATA then answers it with the outcome.
  void Ring();
  // The far end hangs up a connected call ("NO CARRIER").
  void RemoteHangUp();
  // The device disappears: the pseudo-terminal's master side is closed.
  void Vanish();

 private:
  void Run();
  void HandleLine(const std::string& line);
  void Answer(const std::string& verbose, int numeric);
  void Write(const std::string& bytes);
  void FinishDial();

  std::string slave_path_;
  int master_ = -1;
  int stop_pipe_[2] = {-1, -1};
  mutable std::mutex mu_;
  mutable std::condition_variable cv_;
  Behaviour behaviour_;
  std::vector<std::string> commands_;
  std::string received_;
  std::string line_;
  bool echo_ = false;
  bool dialling_ = false;
  bool dial_voice_ = false;
  bool online_ = false;
  std::string plus_run_;
  bool vanish_now_ = false;
  std::chrono::steady_clock::time_point dial_due_;
  std::chrono::steady_clock::time_point dial_received_;
  std::optional<std::chrono::milliseconds> head_start_;
  std::thread thread_;
};

}  // namespace telvora::testing
