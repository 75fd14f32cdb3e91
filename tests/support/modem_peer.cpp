#include "support/modem_peer.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <stdexcept>

namespace telvora::testing {
namespace {

constexpr int kPollMs = 5;
constexpr const char* kGarbage = "\x01\x7f#@!~ garbage ~\r\n";
// The pause between the bytes of a trickled answer.
constexpr auto kTricklePause = std::chrono::milliseconds(3);

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

ModemPeer::ModemPeer() {
  master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
    throw std::runtime_error("cannot open a pseudo-terminal");
  }
  slave_path_ = ::ptsname(master_);
  if (::pipe2(stop_pipe_, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
  thread_ = std::thread([this] { Run(); });
}

ModemPeer::~ModemPeer() {
  Vanish();
  ::close(stop_pipe_[0]);
  ::close(stop_pipe_[1]);
}

void ModemPeer::SetBehaviour(const Behaviour& behaviour) {
  std::lock_guard lock(mu_);
  behaviour_ = behaviour;
}

std::vector<std::string> ModemPeer::Commands() const {
  std::lock_guard lock(mu_);
  return commands_;
}

std::string ModemPeer::Received() const {
  std::lock_guard lock(mu_);
  return received_;
}

bool ModemPeer::Dialling() const {
  std::lock_guard lock(mu_);
  return dialling_;
}

bool ModemPeer::Online() const {
  std::lock_guard lock(mu_);
  return online_;
}

std::optional<std::chrono::milliseconds> ModemPeer::DialHeadStart() const {
  std::lock_guard lock(mu_);
  return head_start_;
}

bool ModemPeer::WaitForCommand(const std::string& prefix, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mu_);
  return cv_.wait_for(lock, timeout, [&] {
    for (const std::string& c : commands_) {
      if (c.rfind(prefix, 0) == 0) return true;
    }
    return false;
  });
}

void ModemPeer::Ring() {
  std::lock_guard lock(mu_);
  Answer("RING", 2);
}

void ModemPeer::RemoteHangUp() {
  std::lock_guard lock(mu_);
  online_ = false;
  Answer("NO CARRIER", 3);
}

void ModemPeer::Vanish() {
  if (thread_.joinable()) {
    const char byte = 1;
    [[maybe_unused]] ssize_t n = ::write(stop_pipe_[1], &byte, 1);
    thread_.join();
  }
  std::lock_guard lock(mu_);
  if (master_ >= 0) ::close(master_);
  master_ = -1;
}

void ModemPeer::Write(const std::string& bytes) {
  // REQUIRES: mu_ held.
  if (master_ < 0) return;
  if (!behaviour_.trickle) {
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return;
      done += static_cast<std::size_t>(n);
    }
    return;
  }
  for (const char c : bytes) {
    if (::write(master_, &c, 1) != 1) return;
    std::this_thread::sleep_for(kTricklePause);
  }
}

void ModemPeer::Answer(const std::string& verbose, int numeric) {
  // REQUIRES: mu_ held.
  if (behaviour_.silent) return;
  if (behaviour_.garbage) Write(kGarbage);
  if (!behaviour_.noise.empty()) Write(behaviour_.noise);
  if (behaviour_.numeric) {
    Write(std::to_string(numeric) + "\r");
  } else {
    Write("\r\n" + verbose + "\r\n");
  }
}

void ModemPeer::FinishDial() {
  // REQUIRES: mu_ held; the dial's time has come.
  dialling_ = false;
  if (dial_voice_) {
    Answer("OK", 0);
    return;
  }
  switch (behaviour_.outcome) {
    case Outcome::kConnect:
      online_ = true;
      behaviour_.numeric ? Answer("", 10) : Answer("CONNECT 33600", 0);
      break;
    case Outcome::kBusy: Answer("BUSY", 7); break;
    case Outcome::kNoDialtone: Answer("NO DIALTONE", 6); break;
    case Outcome::kNoAnswer: Answer("NO ANSWER", 8); break;
    case Outcome::kNoCarrier: Answer("NO CARRIER", 3); break;
    case Outcome::kError: Answer("ERROR", 4); break;
    case Outcome::kSilence: dialling_ = true; dial_due_ = std::chrono::steady_clock::time_point::max(); break;
  }
}

void ModemPeer::HandleLine(const std::string& raw) {
  // REQUIRES: mu_ held.
  std::string line = raw;
  while (!line.empty() && (line.front() == '\n' || line.front() == ' ')) line.erase(line.begin());
  if (line.empty()) return;
  commands_.push_back(line);
  cv_.notify_all();
  const std::string u = Upper(line);
  if (!behaviour_.vanish_on.empty() && u.rfind(Upper(behaviour_.vanish_on), 0) == 0) {
    vanish_now_ = true;
    return;
  }
  if (echo_) Write(line + "\r");
  if (u.rfind("AT", 0) != 0) {
    Answer("ERROR", 4);
    return;
  }
  if (dialling_) {
    // Only ATH ends a dial on a modem that ignored the abort character.
    if (u.rfind("ATH", 0) == 0) {
      dialling_ = false;
      Answer("OK", 0);
    }
    return;
  }
  if (u == "ATZ") {
    echo_ = behaviour_.echo;
    online_ = false;
    Answer("OK", 0);
  } else if (u == "ATE0") {
    echo_ = false;
    Answer("OK", 0);
  } else if (u == "ATE1") {
    echo_ = true;
    Answer("OK", 0);
  } else if (u.rfind("ATH", 0) == 0) {
    online_ = false;
    Answer("OK", 0);
  } else if (u.rfind("ATD", 0) == 0 || u == "ATA") {
    dialling_ = true;
    dial_voice_ = !u.empty() && u.back() == ';' && !behaviour_.ignore_semicolon;
    dial_received_ = std::chrono::steady_clock::now();
    head_start_.reset();
    dial_due_ = dial_received_ + std::chrono::milliseconds(behaviour_.result_delay_ms);
  } else {
    Answer("OK", 0);
  }
}

void ModemPeer::Run() {
  for (;;) {
    pollfd p[2] = {{master_, POLLIN, 0}, {stop_pipe_[0], POLLIN, 0}};
    ::poll(p, 2, kPollMs);
    if (p[1].revents & POLLIN) return;
    std::unique_lock lock(mu_);
    if (dialling_ && std::chrono::steady_clock::now() >= dial_due_) FinishDial();
    if ((p[0].revents & POLLHUP) && !(p[0].revents & POLLIN)) {
      // No slave side open (yet): nothing to read, and poll would not wait.
      lock.unlock();
      std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
      continue;
    }
    if (!(p[0].revents & POLLIN)) continue;
    char buf[256];
    const ssize_t n = ::read(master_, buf, sizeof buf);
    if (n <= 0) continue;
    for (ssize_t i = 0; i < n; ++i) {
      const char c = buf[i];
      if (dialling_ && !head_start_) {
        head_start_ = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - dial_received_);
      }
      received_ += c;
      if (online_) {
        // Data mode: only the escape sequence is looked for.
        plus_run_ = c == '+' ? plus_run_ + c : std::string();
        if (plus_run_ == "+++") {
          plus_run_.clear();
          online_ = false;
          Answer("OK", 0);
        }
        continue;
      }
      if (dialling_ && !behaviour_.abort_needs_ath) {
        // Any character aborts the dial.
        dialling_ = false;
        line_.clear();
        Answer("NO CARRIER", 3);
        continue;
      }
      if (c == '\r') {
        HandleLine(line_);
        line_.clear();
      } else {
        line_ += c;
      }
    }
    if (vanish_now_) {
      // The device is gone: its master side closes under the driver.
      ::close(master_);
      master_ = -1;
      return;
    }
  }
}

}  // namespace telvora::testing
