#include "background_hash.h"

#include <platform/runtime_error.h>

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <new>
#include <optional>
#include <string>

namespace control {

// The functions of the hash library that the hashes use.
struct Crypto {
  decltype(&OPENSSL_init_crypto) initialise = nullptr;
  decltype(&EVP_MD_CTX_new) newContext = nullptr;
  decltype(&EVP_MD_CTX_free) freeContext = nullptr;
  decltype(&EVP_sha256) sha256 = nullptr;
  decltype(&EVP_DigestInit_ex) digestInit = nullptr;
  decltype(&EVP_DigestUpdate) digestUpdate = nullptr;
  decltype(&EVP_DigestFinal_ex) digestFinal = nullptr;
};

namespace {

constexpr std::size_t kReadBytes = std::size_t{1} << 20;

// The library's SHA-256, reached through the library loaded on the first
// hash, so that a split or a join without checksums never loads it. The
// name is the one of the major version the build found.
constexpr const char* kCryptoLibrary = "libcrypto.so.3";

template <typename Function>
bool Bind(void* library, const char* name, Function& function) {
  function = reinterpret_cast<Function>(dlsym(library, name));
  return function != nullptr;
}

// Why the library cannot be used, in words; empty once it is loaded, bound
// and initialised. Tried once per process; the library then stays loaded.
std::string LoadCrypto(Crypto& crypto) {
  void* library = dlopen(kCryptoLibrary, RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    const char* reason = dlerror();
    return std::string(kCryptoLibrary) + " does not load (" +
           (reason != nullptr ? reason : "") + ")";
  }
  const bool bound = Bind(library, "OPENSSL_init_crypto", crypto.initialise) &&
                     Bind(library, "EVP_MD_CTX_new", crypto.newContext) &&
                     Bind(library, "EVP_MD_CTX_free", crypto.freeContext) &&
                     Bind(library, "EVP_sha256", crypto.sha256) &&
                     Bind(library, "EVP_DigestInit_ex", crypto.digestInit) &&
                     Bind(library, "EVP_DigestUpdate", crypto.digestUpdate) &&
                     Bind(library, "EVP_DigestFinal_ex", crypto.digestFinal);
  if (!bound) return std::string(kCryptoLibrary) + " lacks the SHA-256 functions";
  // The built-in SHA-256, whatever the system's configuration file says: it is not read.
  if (crypto.initialise(OPENSSL_INIT_NO_LOAD_CONFIG, nullptr) != 1) throw std::bad_alloc();
  return {};
}

// The loaded library; raises error 429 saying why when it cannot be used.
const Crypto& TheCrypto() {
  static Crypto crypto;
  static const std::string failure = LoadCrypto(crypto);
  if (!failure.empty()) {
    const auto number = static_cast<std::int32_t>(platform::ErrorNumber::CannotCreateObject);
    throw platform::RuntimeError(
        number, std::string(platform::DescribeError(number)) + ": SHA-256: " + failure);
  }
  return crypto;
}

EVP_MD_CTX* Context(void* context) { return static_cast<EVP_MD_CTX*>(context); }

void Restart(const Crypto& crypto, void* context) {
  if (crypto.digestInit(Context(context), crypto.sha256(), nullptr) != 1) throw std::bad_alloc();
}

}  // namespace

BackgroundHash::BackgroundHash() : crypto_(&TheCrypto()), context_(crypto_->newContext()) {
  if (context_ == nullptr) throw std::bad_alloc();
  Restart(*crypto_, context_);
  thread_ = std::thread([this] { Run(); });
}

BackgroundHash::~BackgroundHash() {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
  crypto_->freeContext(Context(context_));
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
  unsigned int length = 0;
  const bool finished = crypto_->digestFinal(Context(context_), digest.data(), &length) == 1;
  Restart(*crypto_, context_);
  const std::lock_guard lock(mutex_);
  failed_ = false;
  if (!hashed || !finished || length != digest.size()) return std::nullopt;
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
    if (got <= 0 || crypto_->digestUpdate(Context(context_), buffer, bytes) != 1) {
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
