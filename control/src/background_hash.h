#pragma once

#include <array>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>

namespace control {

// A SHA-256 digest.
using Digest = std::array<unsigned char, 32>;

// One SHA-256 computed on a thread of its own from ranges of open files, so
// that the hashing of what a copy wrote runs beside the copy itself.
class BackgroundHash {
 public:
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
  void* context_;  // the library's digest context, touched by the thread only while busy
  std::thread thread_;
};

}  // namespace control
