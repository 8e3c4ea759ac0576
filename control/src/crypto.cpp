#include "crypto.h"

#include <platform/runtime_error.h>

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <dlfcn.h>

#include <cstdint>
#include <new>
#include <string>
#include <utility>

namespace control {

struct Crypto {
  decltype(&OPENSSL_init_crypto) initialise = nullptr;
  decltype(&EVP_MD_CTX_new) newContext = nullptr;
  decltype(&EVP_MD_CTX_free) freeContext = nullptr;
  decltype(&EVP_MD_CTX_copy_ex) copyContext = nullptr;
  decltype(&EVP_sha256) sha256 = nullptr;
  decltype(&EVP_md5) md5 = nullptr;
  decltype(&EVP_DigestInit_ex) digestInit = nullptr;
  decltype(&EVP_DigestUpdate) digestUpdate = nullptr;
  decltype(&EVP_DigestFinal_ex) digestFinal = nullptr;
};

namespace {

// The name of the major version the build found.
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
    return std::string(kCryptoLibrary) + " does not load (" + (reason != nullptr ? reason : "") +
           ")";
  }
  const bool bound = Bind(library, "OPENSSL_init_crypto", crypto.initialise) &&
                     Bind(library, "EVP_MD_CTX_new", crypto.newContext) &&
                     Bind(library, "EVP_MD_CTX_free", crypto.freeContext) &&
                     Bind(library, "EVP_MD_CTX_copy_ex", crypto.copyContext) &&
                     Bind(library, "EVP_sha256", crypto.sha256) &&
                     Bind(library, "EVP_md5", crypto.md5) &&
                     Bind(library, "EVP_DigestInit_ex", crypto.digestInit) &&
                     Bind(library, "EVP_DigestUpdate", crypto.digestUpdate) &&
                     Bind(library, "EVP_DigestFinal_ex", crypto.digestFinal);
  if (!bound) return std::string(kCryptoLibrary) + " lacks the SHA-256 and MD5 functions";
  // The built-in hashes, whatever the system's configuration file says: it is not read.
  if (crypto.initialise(OPENSSL_INIT_NO_LOAD_CONFIG, nullptr) != 1) throw std::bad_alloc();
  return {};
}

EVP_MD_CTX* Context(void* context) { return static_cast<EVP_MD_CTX*>(context); }

void StartMd5(const Crypto& crypto, void* context) {
  if (crypto.digestInit(Context(context), crypto.md5(), nullptr) != 1) throw std::bad_alloc();
}

}  // namespace

const Crypto& TheCrypto(const char* purpose) {
  static Crypto crypto;
  static const std::string failure = LoadCrypto(crypto);
  if (!failure.empty()) {
    const auto number = static_cast<std::int32_t>(platform::ErrorNumber::CannotCreateObject);
    throw platform::RuntimeError(
        number, std::string(platform::DescribeError(number)) + ": " + purpose + ": " + failure);
  }
  return crypto;
}

void* NewDigest(const Crypto& crypto) {
  void* context = crypto.newContext();
  if (context == nullptr) throw std::bad_alloc();
  return context;
}

void FreeDigest(const Crypto& crypto, void* context) { crypto.freeContext(Context(context)); }

void StartSha256(const Crypto& crypto, void* context) {
  if (crypto.digestInit(Context(context), crypto.sha256(), nullptr) != 1) throw std::bad_alloc();
}

bool AddToDigest(const Crypto& crypto, void* context, const void* bytes, std::size_t count) {
  return crypto.digestUpdate(Context(context), bytes, count) == 1;
}

bool FinishDigest(const Crypto& crypto, void* context, unsigned char* digest, std::size_t size) {
  unsigned int length = 0;
  return crypto.digestFinal(Context(context), digest, &length) == 1 && length == size;
}

Md5Hash::Md5Hash() : crypto_(&TheCrypto("MD5")), context_(NewDigest(*crypto_)) {
  StartMd5(*crypto_, context_);
}

Md5Hash::~Md5Hash() {
  if (context_ != nullptr) FreeDigest(*crypto_, context_);
}

Md5Hash::Md5Hash(Md5Hash&& other) noexcept
    : crypto_(other.crypto_), context_(std::exchange(other.context_, nullptr)) {}

Md5Hash& Md5Hash::operator=(Md5Hash&& other) noexcept {
  std::swap(crypto_, other.crypto_);
  std::swap(context_, other.context_);
  return *this;
}

void Md5Hash::Add(const void* bytes, std::size_t count) {
  if (count > 0 && !AddToDigest(*crypto_, context_, bytes, count)) throw std::bad_alloc();
}

std::array<unsigned char, 16> Md5Hash::Peek() const {
  void* copy = NewDigest(*crypto_);
  std::array<unsigned char, 16> digest{};
  const bool done = crypto_->copyContext(Context(copy), Context(context_)) == 1 &&
                    FinishDigest(*crypto_, copy, digest.data(), digest.size());
  FreeDigest(*crypto_, copy);
  if (!done) throw std::bad_alloc();
  return digest;
}

std::array<unsigned char, 16> Md5Hash::Finish() {
  std::array<unsigned char, 16> digest{};
  if (!FinishDigest(*crypto_, context_, digest.data(), digest.size())) throw std::bad_alloc();
  StartMd5(*crypto_, context_);
  return digest;
}

std::array<unsigned char, 16> Md5Of(const void* bytes, std::size_t count) {
  Md5Hash hash;
  hash.Add(bytes, count);
  return hash.Finish();
}

}  // namespace control
