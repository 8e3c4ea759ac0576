#pragma once

#include <platform/export.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace platform {

// The runtime's error numbers. They are part of what callers see (message box
// titles, scripts' exit reports), so they never change.
enum class ErrorNumber : std::int32_t {
  InvalidProcedureCall = 5,
  Overflow = 6,
  OutOfMemory = 7,
  TypeMismatch = 13,
  UserInterrupt = 18,
  BadFileNameOrNumber = 52,
  FileNotFound = 53,
  DeviceIoError = 57,
  DiskFull = 61,
  InputPastEndOfFile = 62,
  PermissionDenied = 70,
  PathFileAccessError = 75,
  PathNotFound = 76,
  CannotCreateObject = 429,
  UnsupportedMember = 438,
  AutomationError = 440,
  WrongArgumentCount = 450,
};

// The runtime's fixed English description of an error number ("Overflow",
// "File not found", ...); "Application-defined or object-defined error" for a
// number the runtime does not know.
PLATFORM_EXPORT std::string_view DescribeError(std::int32_t number);

// A runtime error: a number and its description, optionally the file it
// concerns. It travels to the caller unchanged; the description stays the
// runtime's own text so that what a user is shown for a number never varies.
class PLATFORM_EXPORT RuntimeError : public std::runtime_error {
 public:
  explicit RuntimeError(ErrorNumber number, std::string path = {});
  RuntimeError(std::int32_t number, std::string description, std::string path = {});

  std::int32_t number() const noexcept { return number_; }
  const std::string& description() const noexcept { return description_; }
  // The file the error concerns; empty when it concerns none.
  const std::string& path() const noexcept { return path_; }

 private:
  std::int32_t number_;
  std::string description_;
  std::string path_;
};

// The runtime error that a failed file call on `path` with `errnoValue`
// stands for: a missing file is 53, a missing folder 76 (ENOTDIR, and ENOENT
// when the folder that would hold `path` is itself not there), a refused
// access 70 or 75, a full disk 61, an I/O failure 57, a malformed name 52.
PLATFORM_EXPORT RuntimeError FileError(int errnoValue, std::string path);

}  // namespace platform
