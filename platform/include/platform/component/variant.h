#pragma once

#include <platform/export.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

namespace platform {

// The kinds of value a variant holds. Boolean true is -1 (all bits set)
// wherever it becomes a number.
enum class VariantType : std::uint8_t { Empty, Integer16, Integer32, Double, Boolean, String };

// A value of one of the kinds above, as dispatch calls and property bags pass
// them. A variant may instead refer to another variant (a by-reference
// argument): it then reads and writes that one. Conversions are the runtime's
// ordinary ones: numbers read from text with a '.' point, a fraction rounds
// half to even, a value out of range raises RuntimeError 6 (overflow) and a
// text that is not a number RuntimeError 13 (type mismatch).
class PLATFORM_EXPORT Variant {
 public:
  Variant() = default;
  Variant(std::int16_t value) : value_(value) {}
  Variant(std::int32_t value) : value_(value) {}
  Variant(double value) : value_(value) {}
  Variant(bool value) : value_(value) {}
  Variant(std::string value) : value_(std::move(value)) {}
  Variant(const char* value) : value_(std::string(value)) {}
  Variant(std::string_view value) : value_(std::string(value)) {}

  // A by-reference argument: the callee reads `target` and may write it.
  static Variant Reference(Variant& target);
  bool IsReference() const { return target_ != nullptr; }

  // The kind of the value (of the referred-to value, for a reference).
  VariantType type() const;
  bool IsEmpty() const { return type() == VariantType::Empty; }

  std::int16_t ToInteger16() const;
  std::int32_t ToInteger32() const;
  double ToDouble() const;
  bool ToBoolean() const;
  // Numbers in decimal ('.' point), Booleans as "True" / "False", empty as "".
  std::string ToText() const;
  // This value converted to `type`.
  Variant ConvertedTo(VariantType type) const;

  // Replaces the value (the referred-to value, for a reference).
  void Assign(const Variant& value);

  // Same kind and same value (references compare what they refer to).
  bool operator==(const Variant& other) const;

 private:
  const Variant& Value() const { return target_ != nullptr ? *target_ : *this; }

  std::variant<std::monostate, std::int16_t, std::int32_t, double, bool, std::string> value_;
  Variant* target_ = nullptr;
};

// "Integer", "Long", "String" ... the name of a kind in listings.
PLATFORM_EXPORT std::string_view VariantTypeName(VariantType type);

}  // namespace platform
