#include "worker.h"

#include "par2.h"

#include <algorithm>
#include <new>

namespace control::par2 {

namespace {

constexpr std::int64_t kMemoryBytes = std::int64_t{64} << 20;
constexpr std::int64_t kSmallestStripe = std::int64_t{64} << 10;
constexpr std::size_t kAlignment = 64;

}  // namespace

Worker::Worker() : thread_([this] { Run(); }) {}

Worker::~Worker() {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

std::uint64_t Worker::Post(std::function<void()> job) {
  const std::lock_guard lock(mutex_);
  queue_.push_back(std::move(job));
  changed_.notify_all();
  return ++posted_;
}

void Worker::WaitFor(std::uint64_t number) {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return finished_ >= number; });
  if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
}

void Worker::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
    if (queue_.empty()) return;
    std::function<void()> job = std::move(queue_.front());
    queue_.pop_front();
    lock.unlock();
    std::exception_ptr failure;
    try {
      job();
    } catch (...) {
      failure = std::current_exception();
    }
    lock.lock();
    if (failure && !failure_) failure_ = failure;
    ++finished_;
    changed_.notify_all();
  }
}

Buffer MakeBuffer(std::int64_t bytes) {
  const auto size = (static_cast<std::size_t>(std::max<std::int64_t>(bytes, 1)) + kAlignment - 1) /
                    kAlignment * kAlignment;
  auto* memory = static_cast<unsigned char*>(std::aligned_alloc(kAlignment, size));
  if (memory == nullptr) throw std::bad_alloc();
  return Buffer(memory);
}

std::int64_t StripeBytes(std::int64_t sliceSize, std::int64_t buffers) {
  std::int64_t stripe = std::min(kStripeBytes, kMemoryBytes / std::max<std::int64_t>(buffers, 1));
  stripe = std::max(stripe, kSmallestStripe) / 64 * 64;
  return std::min(stripe, sliceSize);
}

}  // namespace control::par2
