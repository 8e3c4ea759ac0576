#pragma once

#include <platform/component/dispatch.h>

#include <utility>

// The dispatch identifiers of FileSplit's members, fixed by the component.
inline constexpr platform::DispatchId kDispidInputFile = 0x68030002;
inline constexpr platform::DispatchId kDispidOutputFile = 0x68030001;
inline constexpr platform::DispatchId kDispidSubFilesNumber = 0x68030000;
inline constexpr platform::DispatchId kDispidSplit = 0x60030003;
inline constexpr platform::DispatchId kDispidJoin = 0x60030004;
inline constexpr platform::DispatchId kDispidChecksums = 0x6803000A;
inline constexpr platform::DispatchId kDispidVerifiedWith = 0x6803000B;
inline constexpr platform::DispatchId kDispidLargestSubFilesNumber = 0x6803000C;
inline constexpr platform::DispatchId kDispidPartSizeLimit = 0x6803000E;
inline constexpr platform::DispatchId kDispidSplitToFit = 0x6003000F;
inline constexpr platform::DispatchId kDispidFitPartsCount = 0x68030010;
inline constexpr platform::DispatchId kDispidFitPartSize = 0x68030011;
inline constexpr platform::DispatchId kDispidPresetLimit = 0x60030012;
inline constexpr platform::DispatchId kDispidSetFolder = 0x68030013;
inline constexpr platform::DispatchId kDispidSplitPartsCount = 0x68030014;
inline constexpr platform::DispatchId kDispidSplitPartSize = 0x68030015;
inline constexpr platform::DispatchId kDispidVerify = 0x60030016;
inline constexpr platform::DispatchId kDispidVerifyReport = 0x68030017;
inline constexpr platform::DispatchId kDispidSetNameOf = 0x60030018;
inline constexpr platform::DispatchId kDispidSetBase = 0x68030019;
inline constexpr platform::DispatchId kDispidReplace = 0x6803001A;
inline constexpr platform::DispatchId kDispidRecovery = 0x6803001B;
inline constexpr platform::DispatchId kDispidRepair = 0x6003001C;
inline constexpr platform::DispatchId kDispidRebuilt = 0x6803001D;
// Its event Progress(Done, Total, ByRef Cancel).
inline constexpr platform::DispatchId kDispidProgress = 1;

// A property of the component, read and written by identifier; a failure
// raises the component's RuntimeError.
inline platform::Variant Get(platform::Dispatch& control, platform::DispatchId id) {
  return platform::InvokeOrRaise(control, id, platform::InvokeKind::PropertyGet);
}

inline void Put(platform::Dispatch& control, platform::DispatchId id, platform::Variant value) {
  platform::Variant arguments[] = {std::move(value)};
  platform::InvokeOrRaise(control, id, platform::InvokeKind::PropertyPut, arguments);
}
