#pragma once

#include <platform/component/guid.h>
#include <platform/export.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace platform {

// Identifies a member of a dispatch interface; fixed once published, since
// hosts call members by it.
using DispatchId = std::int32_t;

// The identifier that design-time hosts call to show a control's About box.
inline constexpr DispatchId kDispidAboutBox = -552;

enum class MemberKind : std::uint8_t { Method, PropertyGet, PropertyPut };

// The declared type of a parameter or a result. `None` is a result that is
// not there; `Variant` takes any value unconverted.
enum class DeclaredType : std::uint8_t {
  None,
  Variant,
  String,
  Integer16,
  Integer32,
  Boolean,
  Double,
};

struct Version {
  std::uint16_t major = 0;
  std::uint16_t minor = 0;
};

// Attribute flags of libraries, classes and interfaces.
enum TypeFlag : std::uint32_t {
  kTypeHidden = 1u << 0,
  kTypeDual = 1u << 1,
  kTypeNonExtensible = 1u << 2,
  kTypeAutomation = 1u << 3,
  kTypeDispatchOnly = 1u << 4,
  kTypeControl = 1u << 5,
  kTypeCreatable = 1u << 6,
};

struct ParameterInfo {
  std::string_view name;
  DeclaredType type = DeclaredType::Variant;
  bool byReference = false;
};

struct MemberInfo {
  DispatchId id = 0;
  MemberKind kind = MemberKind::Method;
  std::string_view name;
  std::span<const ParameterInfo> parameters;
  DeclaredType result = DeclaredType::None;
  bool hidden = false;
  std::string_view helpString;
};

struct InterfaceInfo {
  std::string_view name;
  Guid iid;
  Version version;
  std::uint32_t flags = 0;
  std::span<const MemberInfo> members;

  // The member with this identifier and kind; null when there is none.
  PLATFORM_EXPORT const MemberInfo* Find(DispatchId id, MemberKind kind) const;
  // The identifier of the member named `name`, compared without regard to
  // letter case; nothing when no member has that name.
  PLATFORM_EXPORT std::optional<DispatchId> IdOfName(std::string_view name) const;
};

struct LibraryInfo;

struct ClassInfo {
  std::string_view name;
  Guid clsid;
  Version version;
  std::uint32_t flags = 0;
  const InterfaceInfo* defaultInterface = nullptr;
  const InterfaceInfo* defaultSource = nullptr;
  const LibraryInfo* library = nullptr;
};

// A type library: what a module describes about its classes, for hosts that
// look members up by name, coerce arguments and list what a class offers.
struct LibraryInfo {
  std::string_view name;
  std::string_view helpString;
  Guid libid;
  Version version;
  std::uint32_t locale = 0;
  std::uint32_t flags = 0;
  // The standard automation library it imports, by file name and version.
  std::string_view importedLibrary;
  Version importedVersion;
  std::span<const ClassInfo* const> classes;
};

// "method", "get", "put": the kind as listings show it.
PLATFORM_EXPORT std::string_view MemberKindName(MemberKind kind);
// "String", "Integer", "Long", "Boolean", "Double", "Variant", "" for None.
PLATFORM_EXPORT std::string_view DeclaredTypeName(DeclaredType type);

}  // namespace platform
