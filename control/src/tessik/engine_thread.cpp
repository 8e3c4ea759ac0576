#include "engine_thread.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>

namespace tessik {
namespace {

using Clock = std::chrono::steady_clock;

// What the worker and the host's thread share.
struct Exchange {
  std::mutex mutex;
  std::condition_variable changed;
  std::int64_t done = 0;
  std::int64_t total = 0;  // 0 until the engine's first report
  bool asking = false;    // the engine waits for the host's answer to them
  bool finished = false;
  std::atomic<bool> stop{false};
};

// Tells the worker that no answer is coming and waits for it to end,
// whichever way the host's side leaves.
class WorkerEnd {
 public:
  WorkerEnd(Exchange& exchange, std::thread& worker) : exchange_(exchange), worker_(worker) {}
  ~WorkerEnd() {
    {
      const std::lock_guard lock(exchange_.mutex);
      if (!exchange_.finished) exchange_.stop = true;
      exchange_.asking = false;
    }
    exchange_.changed.notify_all();
    worker_.join();
  }
  WorkerEnd(const WorkerEnd&) = delete;
  WorkerEnd& operator=(const WorkerEnd&) = delete;

 private:
  Exchange& exchange_;
  std::thread& worker_;
};

}  // namespace

control::Outcome RunOnWorkerThread(bool checksums, const EngineWork& work,
                                   const ProgressEvent& progress) {
  Exchange exchange;
  control::SetOptions options;
  options.checksums = checksums;
  options.stop = &exchange.stop;
  options.progress = [&exchange](std::int64_t done, std::int64_t total) {
    std::unique_lock lock(exchange.mutex);
    exchange.done = done;
    exchange.total = total;
    exchange.asking = true;
    exchange.changed.notify_all();
    exchange.changed.wait(lock, [&] { return !exchange.asking; });
    return exchange.stop.load();
  };

  std::optional<control::Outcome> outcome;
  std::exception_ptr failure;
  std::thread worker([&] {
    try {
      outcome = work(options);
    } catch (...) {
      failure = std::current_exception();
    }
    {
      const std::lock_guard lock(exchange.mutex);
      exchange.finished = true;
    }
    exchange.changed.notify_all();
  });
  {
    const WorkerEnd end(exchange, worker);
    constexpr std::chrono::milliseconds kBeat{kHostBeatMilliseconds};
    std::unique_lock lock(exchange.mutex);
    Clock::time_point due = Clock::now() + kBeat;
    for (;;) {
      exchange.changed.wait_until(lock, due, [&] { return exchange.finished || exchange.asking; });
      if (exchange.finished) break;
      due = Clock::now() + kBeat;
      const bool answering = exchange.asking;
      const std::int64_t done = exchange.done;
      const std::int64_t total = exchange.total;
      lock.unlock();
      const bool cancel = progress(done, total);
      lock.lock();
      if (cancel) exchange.stop = true;
      if (answering) {
        exchange.asking = false;
        exchange.changed.notify_all();
      }
    }
  }
  if (failure) std::rethrow_exception(failure);
  return *outcome;
}

}  // namespace tessik
