#include "steps.h"

#include <platform/runtime_error.h>

#include <algorithm>
#include <charconv>
#include <ostream>
#include <stdexcept>

namespace component_tool {
namespace {

using platform::DispatchId;
using platform::InvokeKind;
using platform::MemberKind;
using platform::Variant;

// Splits an argument list at its commas. An argument that starts with a
// double quote runs to its closing quote, which must end it (a comma or the
// list's end follows); inside, "" stands for one quote and commas and
// parentheses are plain characters. Any other quote is refused rather than
// guessed at, so no file name is ever read as another. Everything else,
// blanks included, is taken as written.
std::vector<std::string> SplitArguments(std::string_view list) {
  const auto refuse = [list](const char* problem) {
    return std::invalid_argument("\"" + std::string(list) + "\": " + problem);
  };
  std::vector<std::string> arguments;
  std::size_t at = 0;
  for (;;) {
    std::string& argument = arguments.emplace_back();
    if (at < list.size() && list[at] == '"') {
      for (++at;; ++at) {
        if (at == list.size()) throw refuse("a quoted argument lacks its closing quote");
        if (list[at] != '"') {
          argument += list[at];
        } else if (at + 1 < list.size() && list[at + 1] == '"') {
          argument += '"';
          ++at;
        } else {
          break;
        }
      }
      ++at;
      if (at < list.size() && list[at] != ',') {
        throw refuse("a quoted argument goes on after its closing quote");
      }
    } else {
      const std::size_t end = std::min(list.find(',', at), list.size());
      argument = list.substr(at, end - at);
      if (argument.find('"') != std::string::npos) {
        throw refuse("a quote inside an argument that is not quoted as a whole");
      }
      at = end;
    }
    if (at == list.size()) return arguments;
    ++at;  // the comma
  }
}

// The identifier written after '#', in decimal or as 0x and hexadecimal
// (the 32 bits taken as they are, so 0xFFFFFDD8 is -552).
DispatchId IdentifierOf(std::string_view text) {
  const bool negative = !text.empty() && text.front() == '-';
  if (negative) text.remove_prefix(1);
  const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  if (hex) text.remove_prefix(2);
  std::uint32_t value = 0;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value, hex ? 16 : 10);
  if (text.empty() || result.ec != std::errc() || result.ptr != text.data() + text.size()) {
    throw std::invalid_argument("\"#" + std::string(text) + "\" is not a dispatch identifier");
  }
  return static_cast<DispatchId>(negative ? 0u - value : value);
}

}  // namespace

DispatchId MemberId(platform::Dispatch& object, const Step& step) {
  const std::string& member = step.member;
  if (member.starts_with('#')) return IdentifierOf(std::string_view(member).substr(1));
  DispatchId id = 0;
  if (platform::Failed(object.IdOfName(member, &id))) {
    throw platform::RuntimeError(static_cast<std::int32_t>(platform::ErrorNumber::UnsupportedMember),
                                 std::string(platform::DescribeError(438)) + ": " + member);
  }
  return id;
}

Step ParseStep(std::string_view text) {
  Step step;
  const std::size_t equals = text.find('=');
  const std::size_t open = text.find('(');
  if (equals != std::string_view::npos && (open == std::string_view::npos || equals < open)) {
    step.form = Step::Form::Put;
    step.member = text.substr(0, equals);
    step.arguments.emplace_back(text.substr(equals + 1));
  } else if (open != std::string_view::npos) {
    if (!text.ends_with(')')) {
      throw std::invalid_argument("\"" + std::string(text) + "\" lacks its closing parenthesis");
    }
    step.form = Step::Form::Call;
    step.member = text.substr(0, open);
    const std::string_view list = text.substr(open + 1, text.size() - open - 2);
    if (!list.empty()) step.arguments = SplitArguments(list);
  } else {
    step.member = text;
  }
  if (step.member.empty()) {
    throw std::invalid_argument("\"" + std::string(text) + "\" names no member");
  }
  // A malformed identifier is a malformed step, refused before any step runs.
  if (step.member.starts_with('#')) IdentifierOf(std::string_view(step.member).substr(1));
  return step;
}

Outcome RunStep(platform::Dispatch& object, const Step& step, std::ostream& out) {
  const DispatchId id = MemberId(object, step);
  const platform::InterfaceInfo& typeInfo = object.TypeInfo();
  InvokeKind kind = InvokeKind::Method;
  if (step.form == Step::Form::Put) {
    kind = InvokeKind::PropertyPut;
  } else if (step.form == Step::Form::Bare && typeInfo.Find(id, MemberKind::PropertyGet)) {
    kind = InvokeKind::PropertyGet;
  }

  // By-reference parameters get a variable of their own, as a host's would.
  std::vector<Variant> values(step.arguments.begin(), step.arguments.end());
  std::vector<Variant> arguments = values;
  if (const platform::MemberInfo* member = typeInfo.Find(id, MemberKind::Method)) {
    for (std::size_t i = 0; i < arguments.size() && i < member->parameters.size(); ++i) {
      if (member->parameters[i].byReference) arguments[i] = Variant::Reference(values[i]);
    }
  }

  const Variant result = platform::InvokeOrRaise(object, id, kind, arguments);
  if (kind == InvokeKind::PropertyGet || !result.IsEmpty()) out << result.ToText() << '\n';
  const bool returnedFalse = kind == InvokeKind::Method &&
                             result.type() == platform::VariantType::Boolean && !result.ToBoolean();
  return returnedFalse ? Outcome::ReturnedFalse : Outcome::Done;
}

}  // namespace component_tool
