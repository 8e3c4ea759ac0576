// The Tessik module's entry points: the only symbols it exports.
#include "file_split.h"
#include "type_library.h"

#include <platform/component/activation.h>
#include <platform/component/class_factory.h>
#include <platform/component/registration.h>

#include <array>
#include <new>

namespace tessik {
namespace {

using platform::Status;

platform::ModuleUsage moduleUsage;

// The one class factory of the module; it lives as long as the module and
// counts as a lock only through LockServer.
class FileSplitFactory final : public platform::ClassFactory {
 public:
  Status QueryInterface(const platform::Guid& iid, void** object) override {
    if (object == nullptr) return Status::NullPointer;
    *object = nullptr;
    if (iid != platform::Unknown::kIid && iid != platform::ClassFactory::kIid) {
      return Status::NoInterface;
    }
    *object = static_cast<platform::ClassFactory*>(this);
    AddRef();
    return Status::Ok;
  }
  // Static object: references only keep the module in use while held.
  std::uint32_t AddRef() override {
    moduleUsage.Lock();
    return 2;
  }
  std::uint32_t Release() override {
    moduleUsage.Unlock();
    return 1;
  }

  Status CreateInstance(const platform::Guid& iid, void** object) override {
    if (object == nullptr) return Status::NullPointer;
    *object = nullptr;
    FileSplit* instance = new (std::nothrow) FileSplit(moduleUsage);
    if (instance == nullptr) return Status::OutOfMemory;
    const Status status = instance->QueryInterface(iid, object);
    instance->Release();
    return status;
  }

  Status LockServer(bool lock) override {
    if (lock) {
      moduleUsage.Lock();
    } else {
      moduleUsage.Unlock();
    }
    return Status::Ok;
  }
};

FileSplitFactory factory;

constexpr std::array<platform::ControlRegistration, 1> kControls = {{
    {&kFileSplitClass, kProgId, "Apartment", kMiscStatus, kToolboxBitmap},
}};

}  // namespace
}  // namespace tessik

extern "C" {

__attribute__((visibility("default"))) platform::Status DllCanUnloadNow() {
  return tessik::moduleUsage.InUse() ? platform::Status::False : platform::Status::Ok;
}

__attribute__((visibility("default"))) platform::Status DllGetClassObject(
    const platform::Guid* clsid, const platform::Guid* iid, void** object) {
  if (clsid == nullptr || iid == nullptr || object == nullptr) return platform::Status::NullPointer;
  *object = nullptr;
  if (*clsid != tessik::kFileSplitClassId) return platform::Status::ClassNotAvailable;
  return tessik::factory.QueryInterface(*iid, object);
}

__attribute__((visibility("default"))) platform::Status DllRegisterServer() {
  const std::string modulePath =
      platform::ModulePathOf(reinterpret_cast<const void*>(&DllRegisterServer));
  return platform::RegisterControls(tessik::kLibrary, tessik::kControls, modulePath);
}

__attribute__((visibility("default"))) platform::Status DllUnregisterServer() {
  return platform::UnregisterControls(tessik::kLibrary, tessik::kControls);
}

}  // extern "C"
