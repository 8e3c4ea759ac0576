#pragma once

#include <platform/component/type_info.h>
#include <platform/component/unknown.h>
#include <platform/component/variant.h>
#include <platform/export.h>
#include <platform/runtime_error.h>

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <thread>

namespace platform {

enum class InvokeKind : std::uint8_t { Method, PropertyGet, PropertyPut };

// What a member that raised a runtime error tells its caller.
struct ExceptionInfo {
  std::int32_t number = 0;
  std::string description;
  std::string source;
};

// Late-bound calls: members found by name and called by identifier with
// variant arguments, as scripting hosts and containers call controls.
class Dispatch : public Unknown {
 public:
  static constexpr Guid kIid = Guid::FromLiteral("{2923003B-6544-40A3-80A8-2C2119B0DD0F}");

  // The interface's type information: its members and their declared types.
  virtual const InterfaceInfo& TypeInfo() = 0;
  // The identifier of the member named `name` (any letter case), or
  // Status::UnknownName.
  virtual Status IdOfName(std::string_view name, DispatchId* id) = 0;
  // Calls member `id` as `kind` with `arguments` in declared order, each
  // coerced to its declared type; by-reference arguments are written back.
  // Failing statuses: MemberNotFound, BadArgumentCount, TypeMismatch or
  // Overflow (`*badArgument` names the argument's index), WrongThread, and
  // Exception with `*exception` filled when the member raised a runtime error.
  // `result`, `exception` and `badArgument` may be null.
  virtual Status Invoke(DispatchId id, InvokeKind kind, std::span<Variant> arguments,
                        Variant* result, ExceptionInfo* exception, std::size_t* badArgument) = 0;

 protected:
  ~Dispatch() = default;
};

// The class a dispatch object belongs to, with the library that describes it.
class ProvideClassInfo : public Unknown {
 public:
  static constexpr Guid kIid = Guid::FromLiteral("{E3509FDD-963A-4590-99EB-61FA956F1D9A}");
  virtual const ClassInfo& GetClassInfo() = 0;

 protected:
  ~ProvideClassInfo() = default;
};

// The thread an apartment-threaded object was created on; calls from any
// other thread are refused.
class PLATFORM_EXPORT Apartment {
 public:
  Apartment() : owner_(std::this_thread::get_id()) {}
  bool IsCurrent() const { return std::this_thread::get_id() == owner_; }

 private:
  std::thread::id owner_;
};

// Dispatch driven by type information: name lookup, argument checks and
// coercion, the thread check and the turning of runtime errors into
// Status::Exception are done here; a class supplies only InvokeMember.
class PLATFORM_EXPORT StandardDispatch : public Dispatch {
 public:
  explicit StandardDispatch(const InterfaceInfo& typeInfo) : typeInfo_(typeInfo) {}

  const InterfaceInfo& TypeInfo() override { return typeInfo_; }
  Status IdOfName(std::string_view name, DispatchId* id) override;
  Status Invoke(DispatchId id, InvokeKind kind, std::span<Variant> arguments, Variant* result,
                ExceptionInfo* exception, std::size_t* badArgument) override;

 protected:
  ~StandardDispatch() = default;
  // Runs `member` with `arguments` already coerced to their declared types
  // (by-reference ones are plain variants whose new value is written back).
  // May raise RuntimeError; returns the result (ignored for a None result).
  virtual Variant InvokeMember(const MemberInfo& member, std::span<Variant> arguments) = 0;
  const Apartment& apartment() const { return apartment_; }

 private:
  const InterfaceInfo& typeInfo_;
  Apartment apartment_;
};

// A host's view of a failed dispatch call as a runtime error, as a scripting
// host reports it: the member's own number and description for
// Status::Exception, 13 / 6 for an argument that does not convert or fit, 438
// for an unknown member, 450 for a wrong argument count, 440 ("Automation
// error", with the status described) for anything else.
PLATFORM_EXPORT RuntimeError ErrorOfStatus(Status status, const ExceptionInfo& exception);

// Invokes and raises the failure as ErrorOfStatus does; returns the result.
PLATFORM_EXPORT Variant InvokeOrRaise(Dispatch& object, DispatchId id, InvokeKind kind,
                                      std::span<Variant> arguments = {});

}  // namespace platform
