#pragma once

#include <platform/component/dispatch.h>

// The dispatch identifiers of FileSplit's members, fixed by the component.
inline constexpr platform::DispatchId kDispidInputFile = 0x68030002;
inline constexpr platform::DispatchId kDispidOutputFile = 0x68030001;
inline constexpr platform::DispatchId kDispidSubFilesNumber = 0x68030000;
inline constexpr platform::DispatchId kDispidSplit = 0x60030003;
inline constexpr platform::DispatchId kDispidJoin = 0x60030004;
inline constexpr platform::DispatchId kDispidVerifiedWith = 0x6803000B;
inline constexpr platform::DispatchId kDispidLargestSubFilesNumber = 0x6803000C;
inline constexpr platform::DispatchId kDispidPartSizeLimit = 0x6803000E;
inline constexpr platform::DispatchId kDispidSplitToFit = 0x6003000F;
inline constexpr platform::DispatchId kDispidFitPartsCount = 0x68030010;
inline constexpr platform::DispatchId kDispidFitPartSize = 0x68030011;
inline constexpr platform::DispatchId kDispidPresetLimit = 0x60030012;
inline constexpr platform::DispatchId kDispidSetFolder = 0x68030013;
// Its event Progress(Done, Total, ByRef Cancel).
inline constexpr platform::DispatchId kDispidProgress = 1;
