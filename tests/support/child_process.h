#pragma once
// ChildProcess: runs a function in a forked child process that talks to the
// test through two pipes, for tests that need a second program holding a
// file or a lock.
//
// The child does little: it runs the given function (which should use plain
// calls and no gtest assertions), then leaves with _exit and the function's
// result as its exit status, so no atexit handler or leak check of the
// parent's copy runs in it. Values travel as 32-bit numbers. When the parent
// goes away (or the test fails early) the child's Receive sees the end of
// the pipe and the child ends; the destructor always reaps it.
//
// Used from the test's main thread only.

#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <vector>

namespace telvora::testing {

// One end of the two pipes between parent and child.
class Channel {
 public:
  Channel(int read_fd, int write_fd) : read_fd_(read_fd), write_fd_(write_fd) {}

  bool Send(std::uint32_t value) const {
    const char* p = reinterpret_cast<const char*>(&value);
    std::size_t done = 0;
    while (done < sizeof value) {
      const ssize_t n = ::write(write_fd_, p + done, sizeof value - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      done += static_cast<std::size_t>(n);
    }
    return true;
  }

  // The next value, or nothing when the other side has closed its end.
  std::optional<std::uint32_t> Receive() const {
    std::uint32_t value = 0;
    char* p = reinterpret_cast<char*>(&value);
    std::size_t done = 0;
    while (done < sizeof value) {
      const ssize_t n = ::read(read_fd_, p + done, sizeof value - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return std::nullopt;
      done += static_cast<std::size_t>(n);
    }
    return value;
  }

  void Close() {
    if (read_fd_ >= 0) ::close(read_fd_);
    if (write_fd_ >= 0) ::close(write_fd_);
    read_fd_ = write_fd_ = -1;
  }

 private:
  int read_fd_;
  int write_fd_;
};

class ChildProcess {
 public:
  explicit ChildProcess(const std::function<int(Channel&)>& body) {
    int to_child[2];
    int to_parent[2];
    if (::pipe(to_child) != 0) throw std::runtime_error("pipe");
    if (::pipe(to_parent) != 0) {
      ::close(to_child[0]);
      ::close(to_child[1]);
      throw std::runtime_error("pipe");
    }
    pid_ = ::fork();
    if (pid_ < 0) throw std::runtime_error("fork");
    if (pid_ == 0) {
      // A child forked later than another must not keep the parent's ends
      // of the earlier child's pipes open: that child would then never see
      // the end of its input when the parent closes them, and a test whose
      // children wait for the parent would hang.
      for (const int fd : ParentEnds()) ::close(fd);
      ::close(to_child[1]);
      ::close(to_parent[0]);
      Channel channel(to_child[0], to_parent[1]);
      const int status = body(channel);
      ::_exit(status);
    }
    ::close(to_child[0]);
    ::close(to_parent[1]);
    channel_.emplace(to_parent[0], to_child[1]);
    parent_ends_ = {to_parent[0], to_child[1]};
    ParentEnds().insert(ParentEnds().end(), parent_ends_.begin(), parent_ends_.end());
  }

  ~ChildProcess() { Wait(); }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  Channel& channel() { return *channel_; }
  // The child's process id while it has not been reaped (for a test that
  // kills it).
  pid_t pid() const { return pid_; }

  // Closes the pipes (so a child waiting for the parent ends) and returns
  // the child's exit status, or -1 when it did not exit normally.
  int Wait() {
    if (pid_ <= 0) return status_;
    std::erase_if(ParentEnds(), [&](int fd) { return fd == parent_ends_[0] || fd == parent_ends_[1]; });
    channel_->Close();
    int raw = 0;
    while (::waitpid(pid_, &raw, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return status_;
  }

 private:
  // The parent's ends of the pipes of every child still running.
  static std::vector<int>& ParentEnds() {
    static std::vector<int> ends;
    return ends;
  }

  pid_t pid_ = -1;
  int status_ = -1;
  std::array<int, 2> parent_ends_{-1, -1};
  std::optional<Channel> channel_;
};

}  // namespace telvora::testing
