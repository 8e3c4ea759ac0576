#pragma once

#include <platform/file_rules.h>

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace control {

// Flushes and closes files on a thread of its own, in the order they were
// handed over, so that the copy of the next file goes on while the disk
// settles the ones before. At most kHeldFiles wait at once: handing over
// more waits for the oldest, so descriptors stay few whatever the count.
class BackgroundFlush {
 public:
  // `whileWaiting` runs every few milliseconds while Add or Wait waits for
  // the disk; what it raises ends the wait and goes to their caller.
  explicit BackgroundFlush(std::function<void()> whileWaiting = {});
  // Flushes and closes what is still queued.
  ~BackgroundFlush();
  BackgroundFlush(const BackgroundFlush&) = delete;
  BackgroundFlush& operator=(const BackgroundFlush&) = delete;

  // Queues `file`, written as `name`, to be flushed and then closed.
  void Add(platform::File file, std::string name);
  // Waits until every file queued is flushed and closed. The name and the
  // errno of the first flush or close that failed since the last call; or
  // nothing when all went well.
  std::optional<std::pair<std::string, int>> Wait();
  // Closes what is queued without flushing it (the files are about to be
  // removed) and waits for the flush in progress.
  void Abandon();

  static constexpr std::size_t kHeldFiles = 64;

 private:
  struct Queued {
    platform::File file;
    std::string name;
  };
  void Run();
  // Waits under `lock` until `ready`, running whileWaiting_ meanwhile.
  template <typename Ready>
  void WaitUntil(std::unique_lock<std::mutex>& lock, Ready ready);

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Queued> queue_;
  bool busy_ = false;
  bool stopping_ = false;
  std::optional<std::pair<std::string, int>> failure_;
  std::function<void()> whileWaiting_;
  std::thread thread_;
};

}  // namespace control
