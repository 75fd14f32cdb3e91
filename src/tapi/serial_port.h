#pragma once
// A serial device (or pseudo-terminal) opened for a modem: raw mode is set
// before anything is written (a pseudo-terminal's line discipline would echo
// and translate otherwise), 8 data bits, no parity, local mode (a
// pseudo-terminal has no DCD and a modem's DCD must not hang us up), at the
// configured speed. The port is opened exclusively (TIOCEXCL) where the
// device allows it.
//
// Reads wait with poll and can be woken through a second descriptor, so the
// owner's thread can wait for the modem and for its own commands at once.
//
// Used by one thread at a time.

#include <string>
#include <string_view>

namespace telvora::tapi {

class SerialPort {
 public:
  SerialPort() = default;
  ~SerialPort() { Close(); }
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;

  // 0, or the errno of the failure.
  int Open(const std::string& path, unsigned baud);
  void Close();
  bool is_open() const { return fd_ >= 0; }
  int fd() const { return fd_; }

  // Writes everything (waiting while the device is full); false on failure.
  bool Write(std::string_view data);

  enum class ReadStatus { kData, kTimeout, kWoken, kGone };
  // Waits up to timeout_ms for input (or for wake_fd to become readable) and
  // appends what arrived to *out.
  ReadStatus Read(std::string* out, int timeout_ms, int wake_fd);

  // Drops DTR for a moment (a modem hangs up on it); no effect on a
  // pseudo-terminal.
  void PulseDtr();

 private:
  int fd_ = -1;
};

}  // namespace telvora::tapi
