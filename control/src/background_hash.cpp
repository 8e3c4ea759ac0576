#include "background_hash.h"

#include "crypto.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <new>
#include <optional>
#include <string>

namespace control {

namespace {

constexpr std::size_t kReadBytes = std::size_t{1} << 20;

}  // namespace

BackgroundHash::BackgroundHash() : crypto_(&TheCrypto("SHA-256")), context_(NewDigest(*crypto_)) {
  StartSha256(*crypto_, context_);
  thread_ = std::thread([this] { Run(); });
}

BackgroundHash::~BackgroundHash() {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
  FreeDigest(*crypto_, context_);
}

void BackgroundHash::Add(int descriptor, std::int64_t offset, std::int64_t count) {
  {
    const std::lock_guard lock(mutex_);
    queue_.push_back({descriptor, offset, count});
  }
  changed_.notify_all();
}

bool BackgroundHash::Wait() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return queue_.empty() && !busy_; });
  return !failed_;
}

std::optional<bool> BackgroundHash::WaitFor(std::chrono::milliseconds limit) {
  std::unique_lock lock(mutex_);
  if (!changed_.wait_for(lock, limit, [this] { return queue_.empty() && !busy_; })) {
    return std::nullopt;
  }
  return !failed_;
}

void BackgroundHash::Abandon() {
  std::unique_lock lock(mutex_);
  if (queue_.empty() && !busy_) return;
  queue_.clear();
  failed_ = true;
  abandoning_ = true;
  changed_.wait(lock, [this] { return !busy_; });
  abandoning_ = false;
}

std::optional<Digest> BackgroundHash::Take() {
  const bool hashed = Wait();
  Digest digest{};
  const bool finished = FinishDigest(*crypto_, context_, digest.data(), digest.size());
  StartSha256(*crypto_, context_);
  const std::lock_guard lock(mutex_);
  failed_ = false;
  if (!hashed || !finished) return std::nullopt;
  return digest;
}

void BackgroundHash::Run() {
  const auto buffer = std::make_unique<unsigned char[]>(kReadBytes);
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
    if (stopping_) return;
    const Range range = queue_.front();
    queue_.pop_front();
    if (failed_) {  // nothing more counts until the next Take
      changed_.notify_all();
      continue;
    }
    busy_ = true;
    lock.unlock();
    const bool hashed = HashRange(range, buffer.get());
    lock.lock();
    busy_ = false;
    failed_ = failed_ || !hashed;
    changed_.notify_all();
  }
}

bool BackgroundHash::HashRange(const Range& range, unsigned char* buffer) {
  std::int64_t offset = range.offset;
  std::int64_t remaining = range.count;
  while (remaining > 0) {
    const auto wanted = static_cast<std::size_t>(
        std::min<std::int64_t>(remaining, static_cast<std::int64_t>(kReadBytes)));
    const ssize_t got = pread(range.descriptor, buffer, wanted, static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) continue;
    const auto bytes = static_cast<std::size_t>(got);
    if (got <= 0 || !AddToDigest(*crypto_, context_, buffer, bytes)) {
      return false;  // a failed read, or bytes the copy wrote that are no longer there
    }
    offset += got;
    remaining -= got;
    hashed_.fetch_add(got, std::memory_order_relaxed);
    if (abandoning_.load(std::memory_order_relaxed)) return false;
  }
  return true;
}

}  // namespace control
