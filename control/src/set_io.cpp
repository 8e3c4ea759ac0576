#include "set_io.h"

#include "checksum_file.h"

#include <control/fragment_set.h>

#include <platform/runtime_error.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace control {

TemporaryNames TemporaryNamesOf(const std::string& basePath) {
  // FNV-1a: a short name that tells the names apart, no secret to keep.
  std::uint64_t hash = 0xcbf29ce484222325;
  for (const char c : FileNameOf(basePath)) {
    hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3;
  }
  constexpr char kDigits[] = "0123456789abcdef";
  std::string prefix = ".tessik-";
  for (int shift = 60; shift >= 0; shift -= 4) prefix += kDigits[(hash >> shift) & 0xF];
  const auto slash = basePath.find_last_of('/');
  std::string folder = slash == std::string::npos ? "." : basePath.substr(0, slash);
  if (slash == 0) folder = "/";
  return {std::move(folder), prefix + "-"};
}

std::string FileFailure(const std::string& path, int error, Access access) {
  const std::string name = FileNameOf(path);
  if (access == Access::Read && (error == EACCES || error == EPERM)) return name + " may not be read";
  switch (error) {
    case EWOULDBLOCK: return name + " is in use by another program";
    case EACCES: case EPERM: case EROFS: return name + " is read-only or may not be written";
    case EEXIST: return name + " is in the way and is not a file that may be replaced";
    case EINVAL: return name + " is not a regular file";
    default: return name + ": " + std::strerror(error);
  }
}

std::string CopyFailure(const std::string& from, const std::string& to, int error) {
  return "copying " + FileNameOf(from) + " to " + FileNameOf(to) + ": " + std::strerror(error);
}

std::optional<std::string> FragmentThatIs(const std::string& basePath, int last,
                                          const platform::FileIdentity& target) {
  for (int number = 1; number <= last; ++number) {
    const std::string name = FragmentName(basePath, number);
    if (platform::IdentityOf(name) == target) return name;
  }
  return std::nullopt;
}

namespace {

// Runs one removal of a clean-up; its failure in words.
template <typename Removal>
std::string Removing(const std::string& path, Removal removal) {
  try {
    removal();
    return {};
  } catch (const platform::RuntimeError& error) {
    return FileNameOf(path) + " could not be removed (" + error.description() + ")";
  }
}

constexpr std::int64_t kReportBytes = std::int64_t{64} << 20;
constexpr std::chrono::milliseconds kReportInterval{100};

}  // namespace

ProgressMeter::ProgressMeter(const SetOptions& options, std::int64_t total)
    : options_(options), total_(total), lastTime_(std::chrono::steady_clock::now()) {}

void ProgressMeter::AddWorkBefore(std::int64_t bytes) { total_ += bytes; }

void ProgressMeter::Settle(std::int64_t bytes) { before_ += bytes; }

void ProgressMeter::Check() const {
  if (options_.stop != nullptr && options_.stop->load()) {
    throw platform::RuntimeError(platform::ErrorNumber::UserInterrupt);
  }
}

void ProgressMeter::Update(std::int64_t done) {
  Check();
  if (!options_.progress) return;
  done += before_;
  if (done - lastDone_ < kReportBytes &&
      std::chrono::steady_clock::now() - lastTime_ < kReportInterval) {
    return;
  }
  Tell(done);
}

void ProgressMeter::Report(std::int64_t done) {
  Check();
  if (!options_.progress) return;
  Tell(done + before_);
}

void ProgressMeter::Tell(std::int64_t done) {
  lastDone_ = done;
  lastTime_ = std::chrono::steady_clock::now();
  // A file that grew while it was read is not done beyond its whole.
  total_ = std::max(total_, done);
  if (options_.progress(done, total_)) {
    throw platform::RuntimeError(platform::ErrorNumber::UserInterrupt);
  }
}

std::string RemoveWritten(const std::string& path, const platform::FileIdentity& identity) {
  return Removing(path, [&] { platform::DeleteIfStill(path, identity); });
}

std::string RemoveIfThere(const std::string& path) {
  return Removing(path, [&] {
    if (platform::FileExists(path)) platform::DeleteFile(path);
  });
}

std::string RemoveHeld(platform::File& file, const std::string& path) {
  return Removing(path, [&] { platform::DeleteTaken(file, path); });
}

SetHashes::SetHashes(bool fragments, bool whole, ProgressMeter& meter) : meter_(meter) {
  if (fragments) fragment_.emplace();
  if (whole) whole_.emplace();
}

std::int64_t SetHashes::Copy(const platform::File& source, std::int64_t& sourceOffset,
                             const platform::File& destination, std::int64_t destinationOffset,
                             std::int64_t count, platform::CopyPace* pace) {
  const platform::CopiedPiece queue = [&](std::int64_t written) {
    if (fragment_) fragment_->Add(destination.descriptor(), destinationOffset, written);
    if (whole_) whole_->Add(destination.descriptor(), destinationOffset, written);
    destinationOffset += written;
    copied_ += written;
    meter_.Update(Done());
  };
  return platform::CopyBytes(source, sourceOffset, destination, count, queue, pace);
}

std::int64_t SetHashes::Done() const {
  std::int64_t done = copied_;
  if (fragment_) done = std::min(done, fragment_->Hashed());
  if (whole_) done = std::min(done, whole_->Hashed());
  return done;
}

std::optional<Digest> SetHashes::TakeFragment() {
  if (!fragment_) return std::nullopt;
  Wait();
  return fragment_->Take();
}

std::optional<Digest> SetHashes::TakeWhole() {
  if (!whole_) return std::nullopt;
  Wait();
  return whole_->Take();
}

bool SetHashes::Wait() {
  constexpr std::chrono::milliseconds kPoll{20};
  bool read = true;
  for (std::optional<BackgroundHash>* hash : {&fragment_, &whole_}) {
    if (!hash->has_value()) continue;
    std::optional<bool> waited;
    while (!(waited = (*hash)->WaitFor(kPoll))) meter_.Update(Done());
    read = *waited && read;
  }
  return read;
}

void SetHashes::Abandon() {
  if (fragment_) fragment_->Abandon();
  if (whole_) whole_->Abandon();
}

}  // namespace control
