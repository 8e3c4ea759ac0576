#pragma once

#include <array>
#include <cstddef>

// The hash library (libcrypto), loaded on the first hash made so that a
// split or a join without checksums or recovery data never loads it.

namespace control {

// The functions of the hash library that the hashes use.
struct Crypto;

// The loaded library; raises error 429 saying why when it cannot be used,
// naming `purpose` ("SHA-256", "MD5") first.
const Crypto& TheCrypto(const char* purpose);

// The library's digest context calls, through the loaded library.
void* NewDigest(const Crypto& crypto);  // never null; raises std::bad_alloc
void FreeDigest(const Crypto& crypto, void* context);
void StartSha256(const Crypto& crypto, void* context);
// False when the library refused the bytes.
bool AddToDigest(const Crypto& crypto, void* context, const void* bytes, std::size_t count);
// Writes the digest to `digest` (room for `size` bytes); false when it is not that size.
bool FinishDigest(const Crypto& crypto, void* context, unsigned char* digest, std::size_t size);

// An MD5 being computed; movable, not copyable (Fork copies the state).
class Md5Hash {
 public:
  // Raises error 429 when the library cannot be loaded.
  Md5Hash();
  ~Md5Hash();
  Md5Hash(Md5Hash&& other) noexcept;
  Md5Hash& operator=(Md5Hash&& other) noexcept;
  Md5Hash(const Md5Hash&) = delete;
  Md5Hash& operator=(const Md5Hash&) = delete;

  void Add(const void* bytes, std::size_t count);
  // The digest of what was added so far; the hash goes on unchanged.
  std::array<unsigned char, 16> Peek() const;
  // The digest; the hash then starts afresh.
  std::array<unsigned char, 16> Finish();

 private:
  const Crypto* crypto_;
  void* context_;
};

// The MD5 of `count` bytes.
std::array<unsigned char, 16> Md5Of(const void* bytes, std::size_t count);

}  // namespace control
