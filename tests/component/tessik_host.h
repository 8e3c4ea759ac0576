#pragma once

#include <platform/component/activation.h>
#include <platform/component/dispatch.h>
#include <platform/component/persistence.h>

#include "test_files.h"

#include <string>
#include <utility>
#include <vector>

namespace testing_support {

// A host's view of the real Tessik module: a registry of its own in a
// temporary folder with the module registered in it, message boxes written to
// a log there instead of shown. Restores the environment when it goes.
class TessikHost {
 public:
  TessikHost() { platform::RegisterModule(TESSIK_MODULE); }
  TessikHost(const TessikHost&) = delete;
  TessikHost& operator=(const TessikHost&) = delete;

  const TempDir& folder() const { return folder_; }
  // A new instance, initialised as a newly placed control unless `initialise` is false.
  platform::Ref<platform::Dispatch> Create(bool initialise = true) const;
  // The boxes shown so far, one "title<TAB>style<TAB>text" line each.
  std::vector<std::string> Boxes() const;

 private:
  TempDir folder_;
  ScopedEnvironment registry_{"COMPONENT_REGISTRY", (folder_ / "registry.reg").c_str()};
  ScopedEnvironment boxLog_{"MESSAGE_BOX_LOG", (folder_ / "boxes.log").c_str()};
};

// FileSplit's dispatch identifiers, as hosts use them, and calls through
// them that raise the member's runtime error.
namespace file_split {

constexpr platform::DispatchId kInputFile = 0x68030002;
constexpr platform::DispatchId kOutputFile = 0x68030001;
constexpr platform::DispatchId kSubFilesNumber = 0x68030000;
constexpr platform::DispatchId kSplit = 0x60030003;
constexpr platform::DispatchId kJoin = 0x60030004;
constexpr platform::DispatchId kSplitFiles = 0x60030008;
constexpr platform::DispatchId kChecksums = 0x6803000A;
constexpr platform::DispatchId kPartSizeLimit = 0x6803000E;
constexpr platform::DispatchId kSetFolder = 0x68030013;
constexpr platform::DispatchId kRecovery = 0x6803001B;

inline platform::Variant Get(platform::Dispatch& object, platform::DispatchId id) {
  return platform::InvokeOrRaise(object, id, platform::InvokeKind::PropertyGet);
}

inline void Put(platform::Dispatch& object, platform::DispatchId id, platform::Variant value) {
  std::vector<platform::Variant> arguments = {std::move(value)};
  platform::InvokeOrRaise(object, id, platform::InvokeKind::PropertyPut, arguments);
}

inline platform::Variant Call(platform::Dispatch& object, platform::DispatchId id,
                              std::vector<platform::Variant> arguments = {}) {
  return platform::InvokeOrRaise(object, id, platform::InvokeKind::Method, arguments);
}

}  // namespace file_split

}  // namespace testing_support
