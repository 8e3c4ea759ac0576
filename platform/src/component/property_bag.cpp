#include <platform/component/names.h>
#include <platform/component/persistence.h>

#include <algorithm>

namespace platform {
namespace {

bool IsText(const Variant& value) {
  return value.type() == VariantType::String || value.type() == VariantType::Empty;
}

}  // namespace

bool EqualsDefault(const Variant& value, const Variant& defaultValue) {
  if (IsText(value) || IsText(defaultValue)) {
    return IsText(value) && IsText(defaultValue) && value.ToText() == defaultValue.ToText();
  }
  return value.ToDouble() == defaultValue.ToDouble();
}

Variant MemoryPropertyBag::Read(std::string_view key, const Variant& defaultValue) {
  const auto found =
      std::ranges::find_if(entries_, [&](const auto& entry) { return SameName(entry.first, key); });
  return found == entries_.end() ? defaultValue : found->second;
}

void MemoryPropertyBag::Write(std::string_view key, const Variant& value,
                              const Variant& defaultValue) {
  if (EqualsDefault(value, defaultValue)) {
    std::erase_if(entries_, [&](const auto& entry) { return SameName(entry.first, key); });
    return;
  }
  Store(key, value);
}

void MemoryPropertyBag::Store(std::string_view key, Variant value) {
  Variant copy;
  copy.Assign(value);
  const auto found =
      std::ranges::find_if(entries_, [&](const auto& entry) { return SameName(entry.first, key); });
  if (found != entries_.end()) {
    found->second = std::move(copy);
  } else {
    entries_.emplace_back(std::string(key), std::move(copy));
  }
}

bool MemoryPropertyBag::Contains(std::string_view key) const {
  return std::ranges::any_of(entries_, [&](const auto& entry) { return SameName(entry.first, key); });
}

std::vector<std::string> MemoryPropertyBag::Keys() const {
  std::vector<std::string> keys;
  for (const auto& entry : entries_) keys.push_back(entry.first);
  return keys;
}

}  // namespace platform
