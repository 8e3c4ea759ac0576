#include "tessik_host.h"

#include <fstream>

namespace testing_support {

TessikHost::TessikHost() { platform::RegisterModule(TESSIK_MODULE); }

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
