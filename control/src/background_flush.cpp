#include "background_flush.h"

#include <cerrno>
#include <chrono>
#include <utility>

namespace control {

BackgroundFlush::BackgroundFlush(std::function<void()> whileWaiting)
    : whileWaiting_(std::move(whileWaiting)), thread_([this] { Run(); }) {}

BackgroundFlush::~BackgroundFlush() {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

template <typename Ready>
void BackgroundFlush::WaitUntil(std::unique_lock<std::mutex>& lock, Ready ready) {
  constexpr std::chrono::milliseconds kPoll{20};
  while (!changed_.wait_for(lock, kPoll, ready)) {
    if (!whileWaiting_) continue;
    lock.unlock();
    whileWaiting_();
    lock.lock();
  }
}

void BackgroundFlush::Add(platform::File file, std::string name) {
  std::unique_lock lock(mutex_);
  WaitUntil(lock, [&] { return queue_.size() < kHeldFiles; });
  queue_.push_back({std::move(file), std::move(name)});
  changed_.notify_all();
}

std::optional<std::pair<std::string, int>> BackgroundFlush::Wait() {
  std::unique_lock lock(mutex_);
  WaitUntil(lock, [&] { return queue_.empty() && !busy_; });
  return std::exchange(failure_, std::nullopt);
}

void BackgroundFlush::Abandon() {
  std::deque<Queued> dropped;
  std::unique_lock lock(mutex_);
  dropped.swap(queue_);
  changed_.notify_all();
  changed_.wait(lock, [&] { return !busy_; });
  lock.unlock();
  dropped.clear();  // closes them
}

void BackgroundFlush::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
    if (queue_.empty()) return;  // stopping, with nothing left
    Queued next = std::move(queue_.front());
    queue_.pop_front();
    busy_ = true;
    changed_.notify_all();
    lock.unlock();
    const bool flushed = platform::Flush(next.file);
    int error = flushed ? 0 : errno;
    if (!next.file.Close() && error == 0) error = errno;
    lock.lock();
    if (error != 0 && !failure_) failure_.emplace(std::move(next.name), error);
    busy_ = false;
    changed_.notify_all();
  }
}

}  // namespace control
