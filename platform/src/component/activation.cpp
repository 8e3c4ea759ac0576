#include <platform/component/activation.h>
#include <platform/component/registration.h>
#include <platform/component/registry.h>

#include <dlfcn.h>

#include <filesystem>
#include <map>
#include <mutex>

namespace platform {
namespace {

// A module loaded into this process and its entry points.
struct LoadedModule {
  void* handle = nullptr;
  CanUnloadNowEntry canUnloadNow = nullptr;
  GetClassObjectEntry getClassObject = nullptr;
};

std::mutex modulesMutex;
std::map<std::string, LoadedModule> loadedModules;

RuntimeError CannotCreate(const std::string& why, std::string path = {}) {
  const auto number = static_cast<std::int32_t>(ErrorNumber::CannotCreateObject);
  return RuntimeError(number, std::string(DescribeError(number)) + ": " + why, std::move(path));
}

// dlopen's own reason, or a plain one when it gives none.
std::string LoaderReason() {
  const char* reason = dlerror();
  return reason != nullptr ? reason : "unknown loader failure";
}

void* OpenModule(const std::string& modulePath) {
  dlerror();
  void* handle = dlopen(modulePath.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    throw CannotCreate("the module does not load (" + LoaderReason() + ")", modulePath);
  }
  return handle;
}

template <typename Entry>
Entry EntryPoint(void* handle, const char* name, const std::string& modulePath) {
  void* address = dlsym(handle, name);
  if (address == nullptr) {
    throw CannotCreate(std::string("the module has no entry point ") + name, modulePath);
  }
  return reinterpret_cast<Entry>(address);
}

// The loaded module at `modulePath`, loading it on first use. Callers hold
// modulesMutex.
const LoadedModule& LoadedModuleAt(const std::string& modulePath) {
  const auto found = loadedModules.find(modulePath);
  if (found != loadedModules.end()) return found->second;
  LoadedModule module;
  module.handle = OpenModule(modulePath);
  try {
    module.canUnloadNow = EntryPoint<CanUnloadNowEntry>(module.handle, "DllCanUnloadNow", modulePath);
    module.getClassObject =
        EntryPoint<GetClassObjectEntry>(module.handle, "DllGetClassObject", modulePath);
  } catch (...) {
    dlclose(module.handle);
    throw;
  }
  return loadedModules.emplace(modulePath, module).first->second;
}

// Loads `modulePath` for one call of the registration entry point `name`.
void CallRegistrationEntry(const std::string& modulePath, const char* name) {
  const std::string absolute = std::filesystem::absolute(modulePath).lexically_normal().string();
  void* handle = OpenModule(absolute);
  try {
    const auto entry = EntryPoint<RegisterServerEntry>(handle, name, absolute);
    TakeLastError();
    const Status status = entry();
    if (Failed(status)) {
      if (auto error = TakeLastError()) throw *error;
      throw CannotCreate(std::string(name) + " failed: " + std::string(DescribeStatus(status)),
                         absolute);
    }
  } catch (...) {
    dlclose(handle);
    throw;
  }
  dlclose(handle);
}

}  // namespace

std::vector<RegisteredClass> RegisteredClasses() {
  const RegistryTree tree = ReadRegistry();
  std::vector<RegisteredClass> classes;
  for (const std::string& clsidText : tree.SubKeys("CLSID")) {
    const std::string key = "CLSID\\" + clsidText;
    const auto progId = tree.Value(key + "\\ProgID");
    const auto clsid = GuidFromText(clsidText);
    if (!progId || !clsid) continue;
    classes.push_back({*progId, *clsid, tree.Value(key + "\\InprocServer32").value_or(""),
                       tree.Value(key + "\\InprocServer32", "ThreadingModel").value_or("")});
  }
  return classes;
}

RegisteredClass FindRegisteredClass(std::string_view name) {
  const RegistryTree tree = ReadRegistry();
  const std::string location = RegistryLocation();
  std::optional<Guid> clsid = GuidFromText(name);
  if (!clsid) {
    const auto clsidText = tree.Value(std::string(name) + "\\CLSID");
    if (!clsidText) {
      throw CannotCreate("class \"" + std::string(name) + "\" is not registered", location);
    }
    clsid = GuidFromText(*clsidText);
    if (!clsid) {
      throw CannotCreate("class \"" + std::string(name) + "\" has a malformed class identifier",
                         location);
    }
  }
  const std::string key = "CLSID\\" + ToText(*clsid);
  const auto modulePath = tree.Value(key + "\\InprocServer32");
  if (!modulePath || modulePath->empty()) {
    throw CannotCreate("class " + ToText(*clsid) + " has no registered module", location);
  }
  return {tree.Value(key + "\\ProgID").value_or(""), *clsid, *modulePath,
          tree.Value(key + "\\InprocServer32", "ThreadingModel").value_or("")};
}

Ref<ClassFactory> GetClassObject(const std::string& modulePath, const Guid& clsid) {
  GetClassObjectEntry getClassObject = nullptr;
  {
    const std::lock_guard lock(modulesMutex);
    getClassObject = LoadedModuleAt(modulePath).getClassObject;
  }
  Ref<ClassFactory> factory;
  const Status status = getClassObject(&clsid, &ClassFactory::kIid, factory.Receive());
  if (Failed(status) || !factory) {
    throw CannotCreate("the module does not provide class " + ToText(clsid) + " (" +
                           std::string(DescribeStatus(status)) + ")",
                       modulePath);
  }
  return factory;
}

Ref<Dispatch> CreateObject(std::string_view name) {
  const RegisteredClass registered = FindRegisteredClass(name);
  const Ref<ClassFactory> factory = GetClassObject(registered.modulePath, registered.clsid);
  Ref<Dispatch> object;
  const Status status = factory->CreateInstance(Dispatch::kIid, object.Receive());
  if (Failed(status) || !object) {
    throw CannotCreate("the class factory of \"" + std::string(name) +
                           "\" refused to create an instance (" +
                           std::string(DescribeStatus(status)) + ")",
                       registered.modulePath);
  }
  return object;
}

int FreeUnusedModules() {
  const std::lock_guard lock(modulesMutex);
  int unloaded = 0;
  for (auto module = loadedModules.begin(); module != loadedModules.end();) {
    if (module->second.canUnloadNow() == Status::Ok) {
      dlclose(module->second.handle);
      module = loadedModules.erase(module);
      ++unloaded;
    } else {
      ++module;
    }
  }
  return unloaded;
}

bool IsModuleLoaded(const std::string& modulePath) {
  const std::lock_guard lock(modulesMutex);
  return loadedModules.contains(modulePath);
}

void RegisterModule(const std::string& modulePath) {
  CallRegistrationEntry(modulePath, "DllRegisterServer");
}

void UnregisterModule(const std::string& modulePath) {
  CallRegistrationEntry(modulePath, "DllUnregisterServer");
}

std::string ModulePathOf(const void* address) {
  Dl_info info{};
  if (dladdr(address, &info) == 0 || info.dli_fname == nullptr) return {};
  return info.dli_fname;
}

}  // namespace platform
