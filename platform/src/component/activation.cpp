#include <platform/component/activation.h>
#include <platform/component/registration.h>
#include <platform/component/registry.h>

#include <platform/component/names.h>
#include <platform/file_rules.h>

#include <dlfcn.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>

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

// Why the module at `modulePath` may not be loaded: someone other than root
// and the user could have changed it, and loading it would run their code.
// Nothing for a missing one, which is left to the loader to report.
std::optional<std::string> WhyNotLoadable(const std::string& modulePath) {
  struct stat status {};
  if (lstat(modulePath.c_str(), &status) != 0) return std::nullopt;
  return WhyUntrusted(modulePath);
}

void* OpenModule(const std::string& modulePath) {
  if (auto why = WhyNotLoadable(modulePath)) {
    throw CannotCreate("the module is not loaded: " + *why, modulePath);
  }
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

namespace {

// The module a layer registers, as an absolute path, with the reason it is
// refused, if it is. A relative path is honoured in a drop-in only, resolved
// against its folder, and must stay inside its installation prefix.
std::pair<std::string, std::string> ModuleOf(const RegistryLayer& layer, const std::string& value) {
  if (value.empty() || value.front() == '/') return {value, {}};
  if (layer.user) return {value, "a relative module path in the user's registry"};
  const std::filesystem::path resolved =
      (std::filesystem::path(layer.path).parent_path() / value).lexically_normal();
  const std::filesystem::path inside = resolved.lexically_relative(layer.prefix);
  if (inside.empty() || *inside.begin() == "..") {
    return {resolved.string(), "the module path " + value + " leaves " + layer.prefix};
  }
  return {resolved.string(), {}};
}

RegisteredClass ClassIn(const RegistryLayer& layer, const Guid& clsid) {
  const std::string key = "CLSID\\" + ToText(clsid);
  auto [modulePath, refusal] = ModuleOf(layer, layer.tree.Value(key + "\\InprocServer32").value_or(""));
  if (refusal.empty() && !modulePath.empty()) refusal = WhyNotLoadable(modulePath).value_or("");
  return {layer.tree.Value(key + "\\ProgID").value_or(""),
          clsid,
          std::move(modulePath),
          layer.tree.Value(key + "\\InprocServer32", "ThreadingModel").value_or(""),
          layer.path,
          std::move(refusal)};
}

}  // namespace

std::vector<RegisteredClass> RegisteredClasses() {
  std::vector<RegisteredClass> classes;
  for (const RegistryLayer& layer : ReadRegistryLayers()) {
    for (const std::string& clsidText : layer.tree.SubKeys("CLSID")) {
      const auto progId = layer.tree.Value("CLSID\\" + clsidText + "\\ProgID");
      const auto clsid = GuidFromText(clsidText);
      if (!progId || !clsid) continue;
      const bool hidden = std::any_of(classes.begin(), classes.end(), [&](const RegisteredClass& seen) {
        return seen.clsid == *clsid || SameName(seen.progId, *progId);
      });
      if (!hidden) classes.push_back(ClassIn(layer, *clsid));
    }
  }
  return classes;
}

RegisteredClass FindRegisteredClass(std::string_view name) {
  const std::vector<RegistryLayer> layers = ReadRegistryLayers();
  const std::string& location = layers.front().path;
  std::optional<Guid> clsid = GuidFromText(name);
  for (const RegistryLayer& layer : layers) {
    if (clsid) break;
    const auto clsidText = layer.tree.Value(std::string(name) + "\\CLSID");
    if (!clsidText) continue;
    clsid = GuidFromText(*clsidText);
    if (!clsid) {
      throw CannotCreate("class \"" + std::string(name) + "\" has a malformed class identifier",
                         layer.path);
    }
  }
  if (!clsid) throw CannotCreate("class \"" + std::string(name) + "\" is not registered", location);
  for (const RegistryLayer& layer : layers) {
    if (!layer.tree.HasKey("CLSID\\" + ToText(*clsid))) continue;
    RegisteredClass found = ClassIn(layer, *clsid);
    if (found.modulePath.empty()) break;
    if (!found.refusal.empty()) {
      throw CannotCreate("class " + ToText(*clsid) + " is refused: " + found.refusal, layer.path);
    }
    return found;
  }
  throw CannotCreate("class " + ToText(*clsid) + " has no registered module", location);
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
