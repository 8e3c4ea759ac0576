#include <platform/component/guid.h>
#include <platform/component/status.h>

#include <array>

namespace platform {
namespace {

// Positions of the dashes in "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
constexpr std::array<std::size_t, 4> kDashes = {9, 14, 19, 24};
constexpr std::size_t kWrittenLength = 38;

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

std::string ToText(const Guid& guid) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text = "{";
  for (std::size_t i = 0; i < guid.bytes.size(); ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) text += '-';
    text += kDigits[guid.bytes[i] >> 4];
    text += kDigits[guid.bytes[i] & 0xF];
  }
  return text + "}";
}

std::optional<Guid> GuidFromText(std::string_view text) {
  if (text.size() != kWrittenLength || text.front() != '{' || text.back() != '}') {
    return std::nullopt;
  }
  Guid guid;
  std::size_t byte = 0;
  for (std::size_t at = 1; at + 1 < text.size();) {
    if (at == kDashes[0] || at == kDashes[1] || at == kDashes[2] || at == kDashes[3]) {
      if (text[at] != '-') return std::nullopt;
      ++at;
      continue;
    }
    const int high = HexValue(text[at]);
    const int low = HexValue(text[at + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    guid.bytes[byte++] = static_cast<std::uint8_t>(high * 16 + low);
    at += 2;
  }
  return guid;
}

std::string_view DescribeStatus(Status status) {
  switch (status) {
    case Status::Ok: return "Success";
    case Status::False: return "Success (false)";
    case Status::NotImplemented: return "Not implemented";
    case Status::NoInterface: return "No such interface supported";
    case Status::NullPointer: return "Invalid pointer";
    case Status::Failed: return "Unspecified error";
    case Status::OutOfMemory: return "Out of memory";
    case Status::InvalidArgument: return "One or more arguments are invalid";
    case Status::MemberNotFound: return "Member not found";
    case Status::UnknownName: return "Unknown name";
    case Status::TypeMismatch: return "Type mismatch";
    case Status::Overflow: return "Out of present range";
    case Status::Exception: return "Exception occurred";
    case Status::BadArgumentCount: return "Invalid number of parameters";
    case Status::ClassNotAvailable: return "Class not available";
    case Status::ClassNotRegistered: return "Class not registered";
    case Status::WrongThread:
      return "The application called an interface that was marshalled for a different thread";
    case Status::RegistrationFailed: return "Error in registration";
  }
  return "Unknown status";
}

}  // namespace platform
