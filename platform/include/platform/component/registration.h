#pragma once

#include <platform/component/status.h>
#include <platform/component/type_info.h>
#include <platform/export.h>
#include <platform/runtime_error.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace platform {

// The class identifier of the platform's marshaler that works from a type
// library; registered for every interface a library describes.
inline constexpr Guid kTypeLibraryMarshaler =
    Guid::FromLiteral("{F633815C-7217-4CAC-BDE4-A0A7BE0E2175}");

// What the registry records about one control class of a module.
struct ControlRegistration {
  const ClassInfo* classInfo = nullptr;
  std::string_view progId;
  std::string_view threadingModel;
  std::uint32_t miscStatus = 0;
  // The number of the module's toolbox bitmap resource.
  int toolboxBitmap = 0;
};

// Writes the standard entries of an in-process control library into the
// registry: for each class its programmatic identifier, its class key (module
// path, threading model, control mark, misc status, toolbox bitmap, version,
// type library), the type library key and one key per interface. Returns
// Status::Ok, or Status::RegistrationFailed with the reason kept for
// TakeLastError. Never raises: it is called from module entry points.
PLATFORM_EXPORT Status RegisterControls(const LibraryInfo& library,
                                        std::span<const ControlRegistration> controls,
                                        const std::string& modulePath);

// Removes exactly the keys RegisterControls writes for the same data, and
// any of their ancestors left empty; other entries stay as they were.
PLATFORM_EXPORT Status UnregisterControls(const LibraryInfo& library,
                                          std::span<const ControlRegistration> controls);

// The runtime error a failing module entry point left for its caller on this
// thread (taking it clears it); nothing when there is none.
PLATFORM_EXPORT std::optional<RuntimeError> TakeLastError();

}  // namespace platform
