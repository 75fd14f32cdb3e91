#include "tapi/serial_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

namespace telvora::tapi {
namespace {

constexpr int kDtrDropMs = 500;

speed_t SpeedOf(unsigned baud) {
  switch (baud) {
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 230400: return B230400;
    case 460800: return B460800;
    default: return B115200;
  }
}

}  // namespace

int SerialPort::Open(const std::string& path, unsigned baud) {
  Close();
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno;
  termios tio{};
  if (::tcgetattr(fd, &tio) != 0) {
    const int err = errno;
    ::close(fd);
    return err;
  }
  ::cfmakeraw(&tio);
  tio.c_cflag |= CLOCAL | CREAD;
  tio.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | PARENB);
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  ::cfsetispeed(&tio, SpeedOf(baud));
  ::cfsetospeed(&tio, SpeedOf(baud));
  if (::tcsetattr(fd, TCSANOW, &tio) != 0) {
    const int err = errno;
    ::close(fd);
    return err;
  }
  ::tcflush(fd, TCIOFLUSH);
  ::ioctl(fd, TIOCEXCL);  // best effort: other openers get EBUSY
  fd_ = fd;
  return 0;
}

void SerialPort::Close() {
  if (fd_ < 0) return;
  ::ioctl(fd_, TIOCNXCL);
  ::close(fd_);
  fd_ = -1;
}

bool SerialPort::Write(std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = ::write(fd_, data.data(), data.size());
    if (n > 0) {
      data.remove_prefix(static_cast<std::size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) {
      pollfd p{fd_, POLLOUT, 0};
      if (::poll(&p, 1, 1000) <= 0) return false;
      continue;
    }
    return false;
  }
  return true;
}

SerialPort::ReadStatus SerialPort::Read(std::string* out, int timeout_ms, int wake_fd) {
  pollfd p[2] = {{fd_, POLLIN, 0}, {wake_fd, POLLIN, 0}};
  const int n = ::poll(p, wake_fd >= 0 ? 2 : 1, timeout_ms < 0 ? 0 : timeout_ms);
  if (n < 0) return errno == EINTR ? ReadStatus::kTimeout : ReadStatus::kGone;
  if (n == 0) return ReadStatus::kTimeout;
  if (p[0].revents & POLLIN) {
    char buf[256];
    const ssize_t got = ::read(fd_, buf, sizeof buf);
    if (got > 0) {
      out->append(buf, static_cast<std::size_t>(got));
      return ReadStatus::kData;
    }
    if (got < 0 && (errno == EAGAIN || errno == EINTR)) return ReadStatus::kTimeout;
    return ReadStatus::kGone;  // end of file or EIO: the device went away
  }
  if (p[0].revents & (POLLHUP | POLLERR | POLLNVAL)) return ReadStatus::kGone;
  return ReadStatus::kWoken;
}

void SerialPort::PulseDtr() {
  int dtr = TIOCM_DTR;
  if (::ioctl(fd_, TIOCMBIC, &dtr) != 0) return;  // no modem lines (a pseudo-terminal)
  std::this_thread::sleep_for(std::chrono::milliseconds(kDtrDropMs));
  ::ioctl(fd_, TIOCMBIS, &dtr);
}

}  // namespace telvora::tapi
