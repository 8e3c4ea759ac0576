#pragma once

#include <platform/component/type_info.h>

#include <cstdint>

// What the Tessik library publishes about itself: identifiers fixed once and
// never changed (hosts that saved a FileSplit find it again by them), the
// dispatch identifiers hosts call, and the type library built from them.
namespace tessik {

inline constexpr platform::Guid kLibraryId =
    platform::Guid::FromLiteral("{FD2E20D7-93AD-4216-A72B-65693F0C6538}");
inline constexpr platform::Guid kFileSplitClassId =
    platform::Guid::FromLiteral("{14700B8D-5D35-427B-BFFD-DDDF1216FC53}");
inline constexpr platform::Guid kFileSplitInterfaceId =
    platform::Guid::FromLiteral("{A323E753-EA86-4E1D-A566-D509DB991FB4}");
inline constexpr platform::Guid kFileSplitEventsId =
    platform::Guid::FromLiteral("{2802B087-CC66-44CB-84BA-BD86B01743F7}");

inline constexpr platform::DispatchId kDispidSubFilesNumber = 0x68030000;
inline constexpr platform::DispatchId kDispidOutputFile = 0x68030001;
inline constexpr platform::DispatchId kDispidInputFile = 0x68030002;
inline constexpr platform::DispatchId kDispidSplit = 0x60030003;
inline constexpr platform::DispatchId kDispidJoin = 0x60030004;
inline constexpr platform::DispatchId kDispidSplitFiles = 0x60030008;
inline constexpr platform::DispatchId kDispidJoinFiles = 0x60030009;
inline constexpr platform::DispatchId kDispidShowAboutBox = platform::kDispidAboutBox;
inline constexpr platform::DispatchId kDispidChecksums = 0x6803000A;
inline constexpr platform::DispatchId kDispidVerifiedWith = 0x6803000B;
inline constexpr platform::DispatchId kDispidLargestSubFilesNumber = 0x6803000C;
inline constexpr platform::DispatchId kDispidWorkerThread = 0x6803000D;
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
// The events FileSplit sends to a connected host.
inline constexpr platform::DispatchId kDispidProgress = 1;

inline constexpr char kProgId[] = "Tessik.FileSplit";
// Hidden at run time, never activated for input, sized and placed by its
// host, drawn only in a designer.
inline constexpr std::uint32_t kMiscStatus = 0x00024591;
inline constexpr int kToolboxBitmap = 30000;

extern const platform::InterfaceInfo kFileSplitInterface;
extern const platform::InterfaceInfo kFileSplitEvents;
extern const platform::ClassInfo kFileSplitClass;
extern const platform::LibraryInfo kLibrary;

}  // namespace tessik
