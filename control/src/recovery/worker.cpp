#include "worker.h"

#include "par2.h"

#include <algorithm>
#include <new>

namespace control::par2 {

namespace {

constexpr std::int64_t kMemoryBytes = std::int64_t{64} << 20;
constexpr std::int64_t kSmallestStripe = 64;
constexpr std::size_t kAlignment = 64;

}  // namespace

Worker::Worker() : thread_([this] { Run(); }) {}

Worker::~Worker() {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();  // after what is queued: the jobs use the caller's buffers
}

std::uint64_t Worker::Post(const void* key, std::function<void()> job) {
  const std::lock_guard lock(mutex_);
  queue_.push_back({++posted_, key, std::move(job)});
  ran_.push_back(false);
  changed_.notify_all();
  return posted_;
}

void Worker::WaitFor(std::uint64_t number) {
  std::unique_lock lock(mutex_);
  while (finished_ < number) {
    if (!RunNext(lock, callerRunning_, threadRunning_)) changed_.wait(lock);
  }
  if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
}

bool Worker::RunNext(std::unique_lock<std::mutex>& lock, const void*& running, const void* other) {
  if (queue_.empty() || queue_.front().key == other) return false;
  Job job = std::move(queue_.front());
  queue_.pop_front();
  running = job.key;
  lock.unlock();
  std::exception_ptr failure;
  try {
    job.run();
  } catch (...) {
    failure = std::current_exception();
  }
  lock.lock();
  running = nullptr;
  if (failure && !failure_) failure_ = failure;
  ran_[job.number - finished_ - 1] = true;
  while (!ran_.empty() && ran_.front()) {
    ran_.pop_front();
    ++finished_;
  }
  changed_.notify_all();
  return true;
}

void Worker::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    if (RunNext(lock, threadRunning_, callerRunning_)) continue;
    if (stopping_ && queue_.empty()) return;
    changed_.wait(lock);
  }
}

Buffer MakeBuffer(std::int64_t bytes) {
  const auto size = (static_cast<std::size_t>(std::max<std::int64_t>(bytes, 1)) + kAlignment - 1) /
                    kAlignment * kAlignment;
  auto* memory = static_cast<unsigned char*>(std::aligned_alloc(kAlignment, size));
  if (memory == nullptr) throw std::bad_alloc();
  return Buffer(memory);
}

std::int64_t StripeBytes(std::int64_t sliceSize, std::int64_t buffers, std::int64_t largest) {
  std::int64_t stripe = std::min(largest, kMemoryBytes / std::max<std::int64_t>(buffers, 1));
  stripe = std::max(stripe, kSmallestStripe) / 64 * 64;
  return std::min(stripe, sliceSize);
}

}  // namespace control::par2
