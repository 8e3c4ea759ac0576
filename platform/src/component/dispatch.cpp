#include <platform/component/dispatch.h>

#include <new>
#include <string>
#include <vector>

namespace platform {
namespace {

MemberKind MemberKindOf(InvokeKind kind) {
  switch (kind) {
    case InvokeKind::Method: return MemberKind::Method;
    case InvokeKind::PropertyGet: return MemberKind::PropertyGet;
    case InvokeKind::PropertyPut: return MemberKind::PropertyPut;
  }
  return MemberKind::Method;
}

// `argument` as the declared type wants it: a plain copy of the value for a
// Variant parameter, the converted value otherwise (raises 13 or 6).
Variant Coerce(const Variant& argument, DeclaredType type) {
  Variant value;
  switch (type) {
    case DeclaredType::None:
    case DeclaredType::Variant: value.Assign(argument); return value;
    case DeclaredType::String: return argument.ConvertedTo(VariantType::String);
    case DeclaredType::Integer16: return argument.ConvertedTo(VariantType::Integer16);
    case DeclaredType::Integer32: return argument.ConvertedTo(VariantType::Integer32);
    case DeclaredType::Boolean: return argument.ConvertedTo(VariantType::Boolean);
    case DeclaredType::Double: return argument.ConvertedTo(VariantType::Double);
  }
  return value;
}

Status Raised(ExceptionInfo* exception, std::int32_t number, std::string description,
              std::string_view source) {
  if (exception != nullptr) {
    exception->number = number;
    exception->description = std::move(description);
    exception->source = std::string(source);
  }
  return Status::Exception;
}

}  // namespace

Status StandardDispatch::IdOfName(std::string_view name, DispatchId* id) {
  if (id == nullptr) return Status::NullPointer;
  const auto found = typeInfo_.IdOfName(name);
  if (!found) return Status::UnknownName;
  *id = *found;
  return Status::Ok;
}

Status StandardDispatch::Invoke(DispatchId id, InvokeKind kind, std::span<Variant> arguments,
                                Variant* result, ExceptionInfo* exception,
                                std::size_t* badArgument) {
  if (!apartment_.IsCurrent()) return Status::WrongThread;
  const MemberInfo* member = typeInfo_.Find(id, MemberKindOf(kind));
  if (member == nullptr) return Status::MemberNotFound;
  if (arguments.size() != member->parameters.size()) return Status::BadArgumentCount;

  std::vector<Variant> coerced;
  coerced.reserve(arguments.size());
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    try {
      coerced.push_back(Coerce(arguments[i], member->parameters[i].type));
    } catch (const RuntimeError& error) {
      if (badArgument != nullptr) *badArgument = i;
      return error.number() == static_cast<std::int32_t>(ErrorNumber::Overflow)
                 ? Status::Overflow
                 : Status::TypeMismatch;
    }
  }

  Variant value;
  try {
    value = InvokeMember(*member, coerced);
  } catch (const RuntimeError& error) {
    return Raised(exception, error.number(), error.description(), typeInfo_.name);
  } catch (const std::bad_alloc&) {
    const auto number = static_cast<std::int32_t>(ErrorNumber::OutOfMemory);
    return Raised(exception, number, std::string(DescribeError(number)), typeInfo_.name);
  } catch (const std::exception& error) {
    const auto number = static_cast<std::int32_t>(ErrorNumber::AutomationError);
    return Raised(exception, number, error.what(), typeInfo_.name);
  }

  for (std::size_t i = 0; i < arguments.size(); ++i) {
    if (member->parameters[i].byReference && arguments[i].IsReference()) {
      arguments[i].Assign(coerced[i]);
    }
  }
  if (result != nullptr) *result = member->result == DeclaredType::None ? Variant() : value;
  return Status::Ok;
}

RuntimeError ErrorOfStatus(Status status, const ExceptionInfo& exception) {
  switch (status) {
    case Status::Exception: return RuntimeError(exception.number, exception.description);
    case Status::TypeMismatch: return RuntimeError(ErrorNumber::TypeMismatch);
    case Status::Overflow: return RuntimeError(ErrorNumber::Overflow);
    case Status::MemberNotFound:
    case Status::UnknownName: return RuntimeError(ErrorNumber::UnsupportedMember);
    case Status::BadArgumentCount: return RuntimeError(ErrorNumber::WrongArgumentCount);
    default: break;
  }
  return RuntimeError(static_cast<std::int32_t>(ErrorNumber::AutomationError),
                      std::string(DescribeError(static_cast<std::int32_t>(
                          ErrorNumber::AutomationError))) +
                          ": " + std::string(DescribeStatus(status)));
}

Variant InvokeOrRaise(Dispatch& object, DispatchId id, InvokeKind kind,
                      std::span<Variant> arguments) {
  Variant result;
  ExceptionInfo exception;
  const Status status = object.Invoke(id, kind, arguments, &result, &exception, nullptr);
  if (Failed(status)) throw ErrorOfStatus(status, exception);
  return result;
}

}  // namespace platform
