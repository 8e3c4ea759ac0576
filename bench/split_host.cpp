// A host of Tessik.FileSplit as small as a command line can be: the platform
// alone, no window system. It creates the object through the registry, as
// every host does, and splits one file, so that the benchmark times what a
// command-line host pays to start and do a tiny split:
//   split-host [--no-checksums] [--no-events] FILE PARTS
// It listens to the object's events, as a host that can cancel does, unless
// --no-events. Exit status: 0 split, 1 Split returned false, 2 a runtime
// error, 3 bad usage.
#include <platform/component/activation.h>
#include <platform/component/connection.h>
#include <platform/component/persistence.h>
#include <platform/runtime_error.h>

#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace {

using platform::InvokeKind;
using platform::Variant;

// Calls the member `name` of `object` as `kind` with `arguments`.
Variant Call(platform::Dispatch& object, std::string_view name, InvokeKind kind,
             std::vector<Variant> arguments = {}) {
  platform::DispatchId id{};
  if (platform::Failed(object.IdOfName(name, &id))) {
    throw platform::RuntimeError(platform::ErrorNumber::UnsupportedMember, std::string(name));
  }
  return platform::InvokeOrRaise(object, id, kind, arguments);
}

int Split(const std::string& file, const std::string& parts, bool checksums, bool events) {
  const platform::Ref<platform::Dispatch> object = platform::CreateObject("Tessik.FileSplit");
  if (const auto persist = platform::Query<platform::PersistProperties>(object.get())) {
    persist->InitDefaults();
  }
  std::optional<platform::EventConnection> connection;
  if (events) connection.emplace(*object, [](const platform::MemberInfo&, std::span<Variant>) {});
  Call(*object, "InputFile", InvokeKind::PropertyPut, {Variant(file)});
  Call(*object, "SubFilesNumber", InvokeKind::PropertyPut, {Variant(parts)});
  Call(*object, "Checksums", InvokeKind::PropertyPut, {Variant(checksums)});
  return Call(*object, "Split", InvokeKind::Method).ToBoolean() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string_view> words(argv + 1, argv + argc);
  bool checksums = true, events = true;
  while (!words.empty() && words.front().starts_with("--")) {
    if (words.front() == "--no-checksums") {
      checksums = false;
    } else if (words.front() == "--no-events") {
      events = false;
    } else {
      break;
    }
    words.erase(words.begin());
  }
  if (words.size() != 2) {
    std::fputs("usage: split-host [--no-checksums] [--no-events] FILE PARTS\n", stderr);
    return 3;
  }
  try {
    return Split(std::string(words[0]), std::string(words[1]), checksums, events);
  } catch (const platform::RuntimeError& error) {
    std::fprintf(stderr, "split-host: %s\n", error.what());
    return 2;
  }
}
