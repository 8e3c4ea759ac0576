#include <platform/component/registration.h>
#include <platform/component/registry.h>

#include <functional>
#include <new>
#include <utility>

namespace platform {
namespace {

thread_local std::optional<RuntimeError> lastError;

std::string VersionText(Version version) {
  return std::to_string(version.major) + "." + std::to_string(version.minor);
}

std::string HexText(std::uint32_t value) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  do {
    text.insert(text.begin(), kDigits[value % 16]);
    value /= 16;
  } while (value != 0);
  return text;
}

std::string ClassKey(const ClassInfo& info) { return "CLSID\\" + ToText(info.clsid); }

std::string LibraryKey(const LibraryInfo& library) { return "TypeLib\\" + ToText(library.libid); }

std::string InterfaceKey(const InterfaceInfo& info) { return "Interface\\" + ToText(info.iid); }

void WriteInterface(RegistryTree& tree, const LibraryInfo& library, const InterfaceInfo& info) {
  const std::string key = InterfaceKey(info);
  tree.SetValue(key, {}, info.name);
  tree.SetValue(key + "\\ProxyStubClsid32", {}, ToText(kTypeLibraryMarshaler));
  tree.SetValue(key + "\\TypeLib", {}, ToText(library.libid));
  tree.SetValue(key + "\\TypeLib", "Version", VersionText(library.version));
}

void WriteLibrary(RegistryTree& tree, const LibraryInfo& library, const std::string& modulePath) {
  const std::string key = LibraryKey(library) + "\\" + VersionText(library.version);
  tree.SetValue(key, {}, library.helpString);
  const std::uint32_t libraryFlags = (library.flags & kTypeControl) != 0 ? 2u : 0u;
  tree.SetValue(key + "\\FLAGS", {}, std::to_string(libraryFlags));
  tree.SetValue(key + "\\HELPDIR", {}, "");
  tree.SetValue(key + "\\" + HexText(library.locale) + "\\linux64", {}, modulePath);
}

void WriteControl(RegistryTree& tree, const LibraryInfo& library, const ControlRegistration& control,
                  const std::string& modulePath) {
  const ClassInfo& info = *control.classInfo;
  const std::string clsid = ToText(info.clsid);
  tree.SetValue(control.progId, {}, control.progId);
  tree.SetValue(std::string(control.progId) + "\\CLSID", {}, clsid);
  const std::string key = ClassKey(info);
  tree.SetValue(key, {}, "");
  tree.SetValue(key + "\\InprocServer32", {}, modulePath);
  tree.SetValue(key + "\\InprocServer32", "ThreadingModel", control.threadingModel);
  tree.SetValue(key + "\\ProgID", {}, control.progId);
  tree.SetValue(key + "\\VERSION", {}, VersionText(info.version));
  tree.SetValue(key + "\\TypeLib", {}, ToText(library.libid));
  if ((info.flags & kTypeControl) != 0) tree.SetValue(key + "\\Control", {}, "");
  tree.SetValue(key + "\\MiscStatus", {}, "0");
  tree.SetValue(key + "\\MiscStatus\\1", {}, std::to_string(control.miscStatus));
  tree.SetValue(key + "\\ToolboxBitmap32", {},
                modulePath + ", " + std::to_string(control.toolboxBitmap));
  for (const InterfaceInfo* interface : {info.defaultInterface, info.defaultSource}) {
    if (interface != nullptr) WriteInterface(tree, library, *interface);
  }
}

void RemoveControl(RegistryTree& tree, const ControlRegistration& control) {
  const ClassInfo& info = *control.classInfo;
  tree.RemoveKey(control.progId);
  tree.RemoveKey(ClassKey(info));
  for (const InterfaceInfo* interface : {info.defaultInterface, info.defaultSource}) {
    if (interface != nullptr) tree.RemoveKey(InterfaceKey(*interface));
  }
}

// Runs a registry update for an entry point: every failure becomes a status
// with its reason kept for TakeLastError.
Status UpdateForEntryPoint(const std::function<void(RegistryTree&)>& change) {
  lastError.reset();
  try {
    UpdateRegistry(change);
    return Status::Ok;
  } catch (const RuntimeError& error) {
    lastError = error;
  } catch (const std::bad_alloc&) {
    lastError = RuntimeError(ErrorNumber::OutOfMemory);
  } catch (const std::exception& error) {
    lastError = RuntimeError(static_cast<std::int32_t>(ErrorNumber::AutomationError), error.what());
  }
  return Status::RegistrationFailed;
}

}  // namespace

Status RegisterControls(const LibraryInfo& library, std::span<const ControlRegistration> controls,
                        const std::string& modulePath) {
  return UpdateForEntryPoint([&](RegistryTree& tree) {
    for (const ControlRegistration& control : controls) {
      WriteControl(tree, library, control, modulePath);
    }
    WriteLibrary(tree, library, modulePath);
  });
}

Status UnregisterControls(const LibraryInfo& library, std::span<const ControlRegistration> controls) {
  return UpdateForEntryPoint([&](RegistryTree& tree) {
    for (const ControlRegistration& control : controls) RemoveControl(tree, control);
    tree.RemoveKey(LibraryKey(library));
  });
}

std::optional<RuntimeError> TakeLastError() { return std::exchange(lastError, std::nullopt); }


}  // namespace platform
