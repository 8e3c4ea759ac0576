#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>

namespace control {

struct Crypto;

// A SHA-256 digest.
using Digest = std::array<unsigned char, 32>;

// One SHA-256 computed on a thread of its own from ranges of open files, so
// that the hashing of what a copy wrote runs beside the copy itself.
class BackgroundHash {
 public:
  // Raises error 429 saying why when the hash library cannot be loaded.
  BackgroundHash();
  ~BackgroundHash();
  BackgroundHash(const BackgroundHash&) = delete;
  BackgroundHash& operator=(const BackgroundHash&) = delete;

  // Queues the `count` bytes at `offset` of the open file `descriptor`, which
  // must stay open until the next Wait or Take has returned.
  void Add(int descriptor, std::int64_t offset, std::int64_t count);
  // Waits until every range queued has been hashed; false when a read failed
  // or delivered fewer bytes than queued.
  bool Wait();
  // As Wait, for at most `limit`; nothing when ranges are still being hashed.
  std::optional<bool> WaitFor(std::chrono::milliseconds limit);
  // Drops what is queued and stops the range being hashed within one read,
  // then waits until no file is read any more. When anything was dropped, the
  // digest is lost until the next Take (as after a failed read). Nothing
  // changes when all was hashed already.
  void Abandon();
  // How many bytes have been hashed since the hash was made, over all takes.
  std::int64_t Hashed() const { return hashed_.load(std::memory_order_relaxed); }
  // Waits, then gives the digest of all the bytes added since the last Take
  // (nothing when a read failed) and starts afresh.
  std::optional<Digest> Take();

 private:
  struct Range {
    int descriptor;
    std::int64_t offset;
    std::int64_t count;
  };
  void Run();
  bool HashRange(const Range& range, unsigned char* buffer);

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Range> queue_;
  bool busy_ = false;
  bool failed_ = false;
  bool stopping_ = false;
  std::atomic<bool> abandoning_{false};
  std::atomic<std::int64_t> hashed_{0};
  const Crypto* crypto_;
  void* context_;  // the library's digest context, touched by the thread only while busy
  std::thread thread_;
};

}  // namespace control
