#pragma once
// The UUCP lock of a serial device: a file "LCK..<name>" in the lock folder
// (normally /var/lock) holding the owner's process id as ten characters and a
// newline, the convention getty, cu, minicom and pppd keep, so that two
// programs never drive one modem at once. <name> is the device's path below
// /dev with '/' turned into '_' (ttyACM0, pts_3), after symbolic links are
// followed, so two names of one device share one lock.
//
// A lock whose process no longer exists is stale and is taken over. Creation
// is atomic (a private file linked into place), so two programs racing for a
// free device cannot both win.
//
// Not thread-safe on one object; separate objects are independent.

#include <string>

namespace telvora::tapi {

class UucpLock {
 public:
  enum class Result { kTaken, kBusy, kFailed };

  UucpLock() = default;
  ~UucpLock() { Release(); }
  UucpLock(const UucpLock&) = delete;
  UucpLock& operator=(const UucpLock&) = delete;

  static std::string LockFileName(const std::string& device);

  // On kBusy, *holder is the process holding the lock.
  Result Acquire(const std::string& lock_dir, const std::string& device, long* holder = nullptr);
  void Release();
  bool held() const { return !path_.empty(); }

 private:
  std::string path_;
};

}  // namespace telvora::tapi
