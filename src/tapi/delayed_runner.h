#pragma once
// A worker thread that runs queued actions in due-time order (equal times in
// the order queued). Lab devices report through it so that their reports
// never run inside a call into the service, and scripted delays need no
// event loop.
//
// Thread safety: Post may be called from any thread, including from an
// action; Stop joins the thread (never call it from an action). Actions
// queued but not yet due when Stop is called are discarded.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <utility>

namespace telvora::tapi {

class DelayedRunner {
 public:
  DelayedRunner() = default;
  ~DelayedRunner() { Stop(); }
  DelayedRunner(const DelayedRunner&) = delete;
  DelayedRunner& operator=(const DelayedRunner&) = delete;

  void Start();
  void Stop();
  void Post(std::chrono::milliseconds delay, std::function<void()> action);

 private:
  void Run();

  std::mutex mu_;
  std::condition_variable cv_;
  using Key = std::pair<std::chrono::steady_clock::time_point, unsigned long long>;
  std::map<Key, std::function<void()>> queue_;
  unsigned long long sequence_ = 0;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace telvora::tapi
