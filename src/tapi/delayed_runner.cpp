#include "tapi/delayed_runner.h"

namespace telvora::tapi {

void DelayedRunner::Start() {
  std::lock_guard lock(mu_);
  if (thread_.joinable()) return;
  stopping_ = false;
  thread_ = std::thread([this] { Run(); });
}

void DelayedRunner::Stop() {
  {
    std::lock_guard lock(mu_);
    if (!thread_.joinable()) return;
    stopping_ = true;
    queue_.clear();
  }
  cv_.notify_all();
  thread_.join();
  thread_ = std::thread();
}

void DelayedRunner::Post(std::chrono::milliseconds delay, std::function<void()> action) {
  {
    std::lock_guard lock(mu_);
    if (stopping_ || !thread_.joinable()) return;
    queue_.emplace(Key{std::chrono::steady_clock::now() + delay, sequence_++}, std::move(action));
  }
  cv_.notify_all();
}

void DelayedRunner::Run() {
  std::unique_lock lock(mu_);
  while (!stopping_) {
    if (queue_.empty()) {
      cv_.wait(lock);
      continue;
    }
    auto first = queue_.begin();
    // A copy: Stop may clear the queue (and free the key) while we wait.
    const auto due = first->first.first;
    if (due > std::chrono::steady_clock::now()) {
      cv_.wait_until(lock, due);
      continue;
    }
    std::function<void()> action = std::move(first->second);
    queue_.erase(first);
    lock.unlock();
    action();  // without the lock: actions post more actions
    lock.lock();
  }
}

}  // namespace telvora::tapi
