#pragma once

#include <platform/component/class_factory.h>
#include <platform/component/dispatch.h>
#include <platform/component/guid.h>
#include <platform/component/unknown.h>
#include <platform/export.h>

#include <string>
#include <string_view>
#include <vector>

namespace platform {

// One class as the registry records it.
struct RegisteredClass {
  std::string progId;
  Guid clsid;
  // Absolute: a drop-in's relative path is resolved against its folder.
  std::string modulePath;
  std::string threadingModel;
  // The registration file it comes from (see ReadRegistryLayers).
  std::string layer;
  // Why its module is never loaded; empty when it may be: a module that
  // others than root and the user could have changed, or a relative path
  // that leaves its installation prefix.
  std::string refusal;
};

// Every registered class that has a programmatic identifier, layer by layer
// in the order hosts read them; a class the user's layer registers hides the
// same class (or programmatic identifier) in the system's.
PLATFORM_EXPORT std::vector<RegisteredClass> RegisteredClasses();

// The registered class named by its programmatic identifier ("Tessik.FileSplit",
// any letter case) or by its class identifier in braces, from the first layer
// that registers it. Raises RuntimeError 429 saying why when there is none,
// or when its registration is refused (with the reason).
PLATFORM_EXPORT RegisteredClass FindRegisteredClass(std::string_view name);

// Creates an instance of the registered class `name` (as FindRegisteredClass
// takes it): loads the module the registry names (once per process, and
// never one that others than root and the user could have changed), asks its
// DllGetClassObject for the class factory and the factory for the instance's
// dispatch interface. Raises RuntimeError 429 saying what failed: a class not
// registered, a module that does not load or lacks the entry points, a
// factory that refuses.
PLATFORM_EXPORT Ref<Dispatch> CreateObject(std::string_view name);

// The class factory of `clsid` from the module at `modulePath`, loading the
// module if needed. Raises RuntimeError 429 as CreateObject does.
PLATFORM_EXPORT Ref<ClassFactory> GetClassObject(const std::string& modulePath, const Guid& clsid);

// Unloads every loaded module whose DllCanUnloadNow says it may go; returns
// how many were unloaded.
PLATFORM_EXPORT int FreeUnusedModules();

// Whether the module at `modulePath` is loaded in this process now.
PLATFORM_EXPORT bool IsModuleLoaded(const std::string& modulePath);

// Loads the module at `modulePath` (taken as an absolute path) and calls its
// DllRegisterServer or DllUnregisterServer. Raises RuntimeError 429 when the
// module does not load or lacks the entry point, and the status's error when
// the entry point fails.
PLATFORM_EXPORT void RegisterModule(const std::string& modulePath);
PLATFORM_EXPORT void UnregisterModule(const std::string& modulePath);

// The file of the loaded module that holds `address` (a function or object
// of that module), as the module uses to register itself.
PLATFORM_EXPORT std::string ModulePathOf(const void* address);

}  // namespace platform
