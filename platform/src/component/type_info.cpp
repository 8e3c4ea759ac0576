#include <platform/component/names.h>
#include <platform/component/type_info.h>

#include <algorithm>
#include <cctype>

namespace platform {

bool SameName(std::string_view left, std::string_view right) {
  return std::ranges::equal(left, right, [](unsigned char a, unsigned char b) {
    return std::tolower(a) == std::tolower(b);
  });
}

const MemberInfo* InterfaceInfo::Find(DispatchId id, MemberKind kind) const {
  const auto found = std::ranges::find_if(
      members, [&](const MemberInfo& member) { return member.id == id && member.kind == kind; });
  return found == members.end() ? nullptr : &*found;
}

std::optional<DispatchId> InterfaceInfo::IdOfName(std::string_view name) const {
  const auto found = std::ranges::find_if(
      members, [&](const MemberInfo& member) { return SameName(member.name, name); });
  if (found == members.end()) return std::nullopt;
  return found->id;
}

std::string_view MemberKindName(MemberKind kind) {
  switch (kind) {
    case MemberKind::Method: return "method";
    case MemberKind::PropertyGet: return "get";
    case MemberKind::PropertyPut: return "put";
  }
  return "?";
}

std::string_view DeclaredTypeName(DeclaredType type) {
  switch (type) {
    case DeclaredType::None: return "";
    case DeclaredType::Variant: return "Variant";
    case DeclaredType::String: return "String";
    case DeclaredType::Integer16: return "Integer";
    case DeclaredType::Integer32: return "Long";
    case DeclaredType::Boolean: return "Boolean";
    case DeclaredType::Double: return "Double";
  }
  return "?";
}

}  // namespace platform
