#pragma once

#include <platform/component/guid.h>
#include <platform/component/status.h>
#include <platform/component/unknown.h>

#include <atomic>
#include <cstdint>

namespace platform {

// Makes instances of one class.
class ClassFactory : public Unknown {
 public:
  static constexpr Guid kIid = Guid::FromLiteral("{816D25AE-4960-49F4-84E0-E379D9872A0C}");
  // A new instance, handed out as its interface `iid`.
  virtual Status CreateInstance(const Guid& iid, void** object) = 0;
  // Keeps the module loaded while locked (counted), whether or not any
  // instance is alive.
  virtual Status LockServer(bool lock) = 0;

 protected:
  ~ClassFactory() = default;
};

// What keeps a module loaded: its live objects and its factory locks.
class ModuleUsage {
 public:
  void ObjectCreated() { objects_.fetch_add(1); }
  void ObjectDestroyed() { objects_.fetch_sub(1); }
  void Lock() { locks_.fetch_add(1); }
  void Unlock() { locks_.fetch_sub(1); }
  bool InUse() const { return objects_.load() > 0 || locks_.load() > 0; }

 private:
  std::atomic<std::int32_t> objects_{0};
  std::atomic<std::int32_t> locks_{0};
};

// The four entry points every component module exports with C linkage:
//   Status DllCanUnloadNow();      Ok when nothing of the module is in use, else False
//   Status DllGetClassObject(const Guid* clsid, const Guid* iid, void** object);
//   Status DllRegisterServer();    writes the module's classes into the registry
//   Status DllUnregisterServer();  removes exactly what DllRegisterServer wrote
using CanUnloadNowEntry = Status (*)();
using GetClassObjectEntry = Status (*)(const Guid* clsid, const Guid* iid, void** object);
using RegisterServerEntry = Status (*)();

}  // namespace platform
