#include "tessik_host.h"

#include <cstdlib>
#include <fstream>

namespace testing_support {
namespace {

constexpr const char* kHostVariables[] = {"COMPONENT_REGISTRY", "MESSAGE_BOX_LOG"};

}  // namespace

TessikHost::TessikHost() {
  for (const char* name : kHostVariables) {
    const char* value = std::getenv(name);
    savedEnvironment_.emplace_back(name, value != nullptr ? value : "");
  }
  setenv("COMPONENT_REGISTRY", registryPath().c_str(), 1);
  setenv("MESSAGE_BOX_LOG", (folder_ / "boxes.log").c_str(), 1);
  platform::RegisterModule(TESSIK_MODULE);
}

TessikHost::~TessikHost() {
  for (const auto& [name, value] : savedEnvironment_) {
    if (value.empty()) {
      unsetenv(name.c_str());
    } else {
      setenv(name.c_str(), value.c_str(), 1);
    }
  }
}

platform::Ref<platform::Dispatch> TessikHost::Create(bool initialise) const {
  platform::Ref<platform::Dispatch> object = platform::CreateObject("Tessik.FileSplit");
  if (initialise) platform::Query<platform::PersistProperties>(object.get())->InitDefaults();
  return object;
}

std::vector<std::string> TessikHost::Boxes() const {
  std::vector<std::string> lines;
  std::ifstream log(folder_ / "boxes.log");
  for (std::string line; std::getline(log, line);) lines.push_back(line);
  return lines;
}

platform::Status RecordingSink::QueryInterface(const platform::Guid& iid, void** object) {
  if (iid != platform::Unknown::kIid && iid != platform::PropertyNotifySink::kIid) {
    *object = nullptr;
    return platform::Status::NoInterface;
  }
  *object = static_cast<platform::PropertyNotifySink*>(this);
  return platform::Status::Ok;
}

platform::Status RecordingSink::OnChanged(platform::DispatchId, std::string_view propertyName,
                                          platform::ExceptionInfo* rejection) {
  changes.emplace_back(propertyName);
  if (!reject) return platform::Status::Ok;
  *rejection = {380, "Invalid property value", "host"};
  return platform::Status::Exception;
}

Invocation Invoke(platform::Dispatch& object, platform::DispatchId id, platform::InvokeKind kind,
                  std::vector<platform::Variant> arguments) {
  Invocation invocation;
  invocation.status =
      object.Invoke(id, kind, arguments, &invocation.result, &invocation.exception, nullptr);
  return invocation;
}

}  // namespace testing_support
