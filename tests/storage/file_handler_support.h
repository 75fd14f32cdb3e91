#pragma once
// Small helpers for the tests of file objects and handlers: a handler set up
// for a name and kind, a file with given contents, and the engine code a
// step raises.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdint>
#include <exception>
#include <fstream>
#include <memory>
#include <string>

#include "storage/engine_error.h"
#include "storage/file_handler.h"

namespace telvora::storage::test {

enum class Kind { kPhysical, kInMemory };

inline const char* KindName(Kind kind) { return kind == Kind::kPhysical ? "physical" : "in-memory"; }

inline std::unique_ptr<TFileHandler> MakeHandler(const std::string& name, Kind kind,
                                                 bool exclusive = false, bool temporary = false) {
  auto handler = std::make_unique<TFileHandler>();
  handler->set_file_name(name);
  handler->set_in_memory(kind == Kind::kInMemory);
  handler->set_exclusive(exclusive);
  handler->set_temporary(temporary);
  return handler;
}

// The engine code the step raised, 0 when it raised nothing. Any other
// exception fails the test.
template <typename Step>
std::uint32_t CodeOf(Step&& step) {
  try {
    step();
  } catch (const EVoraEngineError& e) {
    return e.EngineCode;
  } catch (const std::exception& e) {
    ADD_FAILURE() << "unexpected exception: " << e.what();
    return 0xFFFFFFFFu;
  }
  return 0;
}

inline void WriteFileBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

inline std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Sets the immutable flag of a file for its lifetime: opening it for writing
// is then refused even to root, while its permission bits (our read-only
// attribute) still allow writing, so a read/write open falls back to
// read-only. set() is false where the file system or the process cannot.
class ImmutableFlag {
 public:
  explicit ImmutableFlag(const std::string& path) : path_(path) { set_ = Change(true); }
  ~ImmutableFlag() {
    if (set_) Change(false);
  }
  ImmutableFlag(const ImmutableFlag&) = delete;
  ImmutableFlag& operator=(const ImmutableFlag&) = delete;
  bool set() const { return set_; }

 private:
  bool Change(bool on) {
    const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    int flags = 0;
    bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
    ok = ok && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    ::close(fd);
    return ok;
  }

  std::string path_;
  bool set_ = false;
};

}  // namespace telvora::storage::test
