#pragma once

#include <platform/export.h>

#include <cstdint>
#include <string_view>

namespace platform {

// The result of every call through a component interface: success, or why it
// failed. Success codes have the top bit clear. The values are fixed: they
// cross module boundaries and are shown to users in error reports.
enum class Status : std::int32_t {
  Ok = 0,
  False = 1,
  NotImplemented = static_cast<std::int32_t>(0x80004001u),
  NoInterface = static_cast<std::int32_t>(0x80004002u),
  NullPointer = static_cast<std::int32_t>(0x80004003u),
  Failed = static_cast<std::int32_t>(0x80004005u),
  OutOfMemory = static_cast<std::int32_t>(0x8007000Eu),
  InvalidArgument = static_cast<std::int32_t>(0x80070057u),
  // Dispatch: no member with that identifier (and kind), no member of that name.
  MemberNotFound = static_cast<std::int32_t>(0x80020003u),
  UnknownName = static_cast<std::int32_t>(0x80020006u),
  // Dispatch: an argument could not be coerced to the member's declared type,
  // or did not fit in it.
  TypeMismatch = static_cast<std::int32_t>(0x80020005u),
  Overflow = static_cast<std::int32_t>(0x8002000Au),
  // Dispatch: the member raised a runtime error; the exception information
  // carries its number and description.
  Exception = static_cast<std::int32_t>(0x80020009u),
  BadArgumentCount = static_cast<std::int32_t>(0x8002000Eu),
  // A module does not provide the class asked for.
  ClassNotAvailable = static_cast<std::int32_t>(0x80040111u),
  // The registry knows no such class.
  ClassNotRegistered = static_cast<std::int32_t>(0x80040154u),
  // An apartment-threaded object was called from a thread other than its own.
  WrongThread = static_cast<std::int32_t>(0x8001010Eu),
  // A module could not write or remove its registration.
  RegistrationFailed = static_cast<std::int32_t>(0x80040201u),
};
static_assert(sizeof(Status) == 4, "statuses cross module boundaries as 32-bit values");

constexpr bool Succeeded(Status status) { return static_cast<std::int32_t>(status) >= 0; }
constexpr bool Failed(Status status) { return !Succeeded(status); }

// An English sentence for the status, for error reports.
PLATFORM_EXPORT std::string_view DescribeStatus(Status status);

}  // namespace platform
