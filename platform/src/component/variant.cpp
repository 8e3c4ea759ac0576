#include <platform/component/names.h>
#include <platform/component/variant.h>
#include <platform/conversions.h>
#include <platform/runtime_error.h>


namespace platform {
namespace {

// A text as a number: "True" / "False" (any case) as -1 / 0, otherwise the
// number it spells with a '.' point.
double NumberOfText(std::string_view text) {
  if (SameName(text, "True")) return -1.0;
  if (SameName(text, "False")) return 0.0;
  return NumberFromText(text, '.');
}

}  // namespace

Variant Variant::Reference(Variant& target) {
  Variant reference;
  reference.target_ = target.target_ != nullptr ? target.target_ : &target;
  return reference;
}

VariantType Variant::type() const {
  return static_cast<VariantType>(Value().value_.index());
}

double Variant::ToDouble() const {
  const auto& value = Value().value_;
  switch (type()) {
    case VariantType::Empty: return 0.0;
    case VariantType::Integer16: return std::get<std::int16_t>(value);
    case VariantType::Integer32: return std::get<std::int32_t>(value);
    case VariantType::Double: return std::get<double>(value);
    case VariantType::Boolean: return std::get<bool>(value) ? -1.0 : 0.0;
    case VariantType::String: return NumberOfText(std::get<std::string>(value));
  }
  return 0.0;
}

std::int16_t Variant::ToInteger16() const { return platform::ToInteger16(ToDouble()); }

std::int32_t Variant::ToInteger32() const { return platform::ToInteger32(ToDouble()); }

bool Variant::ToBoolean() const { return ToDouble() != 0.0; }

std::string Variant::ToText() const {
  const auto& value = Value().value_;
  switch (type()) {
    case VariantType::Empty: return {};
    case VariantType::Integer16: return std::to_string(std::get<std::int16_t>(value));
    case VariantType::Integer32: return std::to_string(std::get<std::int32_t>(value));
    case VariantType::Double: return NumberToText(std::get<double>(value), '.');
    case VariantType::Boolean: return std::get<bool>(value) ? "True" : "False";
    case VariantType::String: return std::get<std::string>(value);
  }
  return {};
}

Variant Variant::ConvertedTo(VariantType type) const {
  switch (type) {
    case VariantType::Empty: return Variant();
    case VariantType::Integer16: return Variant(ToInteger16());
    case VariantType::Integer32: return Variant(ToInteger32());
    case VariantType::Double: return Variant(ToDouble());
    case VariantType::Boolean: return Variant(ToBoolean());
    case VariantType::String: return Variant(ToText());
  }
  return Variant();
}

void Variant::Assign(const Variant& value) {
  Variant& destination = target_ != nullptr ? *target_ : *this;
  destination.value_ = value.Value().value_;
}

bool Variant::operator==(const Variant& other) const { return Value().value_ == other.Value().value_; }

std::string_view VariantTypeName(VariantType type) {
  switch (type) {
    case VariantType::Empty: return "Empty";
    case VariantType::Integer16: return "Integer";
    case VariantType::Integer32: return "Long";
    case VariantType::Double: return "Double";
    case VariantType::Boolean: return "Boolean";
    case VariantType::String: return "String";
  }
  return "Unknown";
}

}  // namespace platform
