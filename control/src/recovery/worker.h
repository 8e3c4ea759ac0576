#pragma once

#include "par2.h"

#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

namespace control::par2 {

// A thread that runs jobs beside the caller's thread, which joins in while
// it waits: hashing shares both processors with the field work. Jobs with
// the same key (a hash they add to) run one at a time in the order posted.
class Worker {
 public:
  Worker();
  // Runs what is queued, then ends the thread.
  ~Worker();
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;

  // Queues `job`; its number, for WaitFor.
  std::uint64_t Post(const void* key, std::function<void()> job);
  // Runs queued jobs until job `number` and those before it have run;
  // raises what a job raised.
  void WaitFor(std::uint64_t number);
  void WaitForAll() { WaitFor(posted_); }

 private:
  struct Job {
    std::uint64_t number;
    const void* key;
    std::function<void()> run;
  };
  // Runs the first job queued when no other thread runs one with its key;
  // false when there is none such. Called and returns with `lock` held.
  bool RunNext(std::unique_lock<std::mutex>& lock, const void*& running, const void* other);
  void Run();

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Job> queue_;
  std::uint64_t posted_ = 0;
  std::uint64_t finished_ = 0;  // every job up to this one has run
  std::deque<bool> ran_;        // whether each job after finished_ has run
  const void* threadRunning_ = nullptr;
  const void* callerRunning_ = nullptr;
  bool stopping_ = false;
  std::exception_ptr failure_;
  std::thread thread_;
};

// A buffer of bytes aligned for the field library's vector instructions.
struct AlignedFree {
  void operator()(unsigned char* bytes) const { std::free(bytes); }
};
using Buffer = std::unique_ptr<unsigned char[], AlignedFree>;
Buffer MakeBuffer(std::int64_t bytes);

// The bytes a stripe spans within each slice of `sliceSize` when `buffers`
// buffers of it are held: at most `largest` and about 64 MiB in all, a
// multiple of 64 unless it is the whole slice.
std::int64_t StripeBytes(std::int64_t sliceSize, std::int64_t buffers,
                         std::int64_t largest = kStripeBytes);

}  // namespace control::par2
