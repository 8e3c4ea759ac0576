#include "type_library.h"

#include <array>

namespace tessik {
namespace {

using platform::DeclaredType;
using platform::MemberInfo;
using platform::MemberKind;
using platform::ParameterInfo;

constexpr char kInputFileHelp[] = "Full path of file to be split";
constexpr char kOutputFileHelp[] = "Full path of file to be created from existing file fragments";
constexpr char kSubFilesNumberHelp[] = "Number of file fragments to make";

constexpr std::array<ParameterInfo, 1> kNewInputFile = {{{"New_InputFile", DeclaredType::String}}};
constexpr std::array<ParameterInfo, 1> kNewOutputFile = {
    {{"New_OutputFile", DeclaredType::String}}};
constexpr std::array<ParameterInfo, 1> kNewSubFilesNumber = {
    {{"New_SubFilesNumber", DeclaredType::Integer16}}};
constexpr std::array<ParameterInfo, 2> kSplitFilesParameters = {{
    {"inputFilename", DeclaredType::String},
    {"newFileSizeBytes", DeclaredType::Integer32, true},
}};
constexpr std::array<ParameterInfo, 1> kJoinFilesParameters = {
    {{"inputFilename", DeclaredType::String}}};
constexpr std::array<ParameterInfo, 1> kNewChecksums = {{{"New_Checksums", DeclaredType::Boolean}}};
constexpr std::array<ParameterInfo, 1> kNewWorkerThread = {
    {{"New_WorkerThread", DeclaredType::Boolean}}};
constexpr char kWorkerThreadHelp[] =
    "Run each split and join on a thread of its own while Progress keeps the host served";
constexpr std::array<ParameterInfo, 1> kNewPartSizeLimit = {
    {{"New_PartSizeLimit", DeclaredType::Double}}};
constexpr std::array<ParameterInfo, 1> kPresetLimitParameters = {{{"Name", DeclaredType::String}}};
constexpr char kPartSizeLimitHelp[] =
    "Largest fragment in bytes that SplitToFit makes; 0 for no limit";
constexpr std::array<ParameterInfo, 1> kNewSetFolder = {
    {{"New_SetFolder", DeclaredType::String}}};
constexpr std::array<ParameterInfo, 1> kNewReplace = {{{"New_Replace", DeclaredType::Boolean}}};
constexpr char kReplaceHelp[] =
    "Join replaces a file at OutputFile; when False it keeps one, even one that comes meanwhile, and fails";
constexpr std::array<ParameterInfo, 1> kNewSetBase = {{{"New_SetBase", DeclaredType::String}}};
constexpr char kSetBaseHelp[] =
    "Base path of the set Join rebuilds OutputFile from; empty for OutputFile's own set";
constexpr char kSetFolderHelp[] =
    "Folder a split writes the set into, under InputFile's name; empty for beside InputFile";
constexpr char kChecksumsHelp[] =
    "Write a checksum file with each split and verify each join against one";

constexpr std::array<ParameterInfo, 1> kNewRecovery = {{{"New_Recovery", DeclaredType::Integer16}}};
constexpr char kRecoveryHelp[] =
    "Recovery fragments' worth of PAR2 data a split writes beside the set; 0 for none";

constexpr std::array<ParameterInfo, 1> kSetNameOfParameters = {{{"Name", DeclaredType::String}}};

// In slot order.
constexpr std::array<MemberInfo, 38> kMembers = {{
    {kDispidInputFile, MemberKind::PropertyGet, "InputFile", {}, DeclaredType::String, false,
     kInputFileHelp},
    {kDispidInputFile, MemberKind::PropertyPut, "InputFile", kNewInputFile, DeclaredType::None,
     false, kInputFileHelp},
    {kDispidOutputFile, MemberKind::PropertyGet, "OutputFile", {}, DeclaredType::String, false,
     kOutputFileHelp},
    {kDispidOutputFile, MemberKind::PropertyPut, "OutputFile", kNewOutputFile, DeclaredType::None,
     false, kOutputFileHelp},
    {kDispidSplit, MemberKind::Method, "Split", {}, DeclaredType::Variant, false,
     "Split file into fragments"},
    {kDispidJoin, MemberKind::Method, "Join", {}, DeclaredType::Variant, false,
     "Join existing file fragments"},
    {kDispidSubFilesNumber, MemberKind::PropertyGet, "SubFilesNumber", {},
     DeclaredType::Integer16, false, kSubFilesNumberHelp},
    {kDispidSubFilesNumber, MemberKind::PropertyPut, "SubFilesNumber", kNewSubFilesNumber,
     DeclaredType::None, false, kSubFilesNumberHelp},
    {kDispidSplitFiles, MemberKind::Method, "SplitFiles", kSplitFilesParameters,
     DeclaredType::Boolean, true, {}},
    {kDispidJoinFiles, MemberKind::Method, "JoinFiles", kJoinFilesParameters,
     DeclaredType::Boolean, true, {}},
    {kDispidShowAboutBox, MemberKind::Method, "ShowAboutBox", {}, DeclaredType::None, false, {}},
    {kDispidChecksums, MemberKind::PropertyGet, "Checksums", {}, DeclaredType::Boolean, false,
     kChecksumsHelp},
    {kDispidChecksums, MemberKind::PropertyPut, "Checksums", kNewChecksums, DeclaredType::None,
     false, kChecksumsHelp},
    {kDispidVerifiedWith, MemberKind::PropertyGet, "VerifiedWith", {}, DeclaredType::String, true,
     "Checksum file the last join was verified against"},
    {kDispidLargestSubFilesNumber, MemberKind::PropertyGet, "LargestSubFilesNumber", {},
     DeclaredType::Integer16, true, "Largest SubFilesNumber with which Split can cut InputFile"},
    {kDispidWorkerThread, MemberKind::PropertyGet, "WorkerThread", {}, DeclaredType::Boolean,
     true, kWorkerThreadHelp},
    {kDispidWorkerThread, MemberKind::PropertyPut, "WorkerThread", kNewWorkerThread,
     DeclaredType::None, true, kWorkerThreadHelp},
    {kDispidPartSizeLimit, MemberKind::PropertyGet, "PartSizeLimit", {}, DeclaredType::Double,
     false, kPartSizeLimitHelp},
    {kDispidPartSizeLimit, MemberKind::PropertyPut, "PartSizeLimit", kNewPartSizeLimit,
     DeclaredType::None, false, kPartSizeLimitHelp},
    {kDispidSplitToFit, MemberKind::Method, "SplitToFit", {}, DeclaredType::Boolean, false,
     "Split file into the fewest fragments of at most PartSizeLimit bytes"},
    {kDispidFitPartsCount, MemberKind::PropertyGet, "FitPartsCount", {}, DeclaredType::Integer32,
     true, "Number of fragments SplitToFit cuts InputFile into"},
    {kDispidFitPartSize, MemberKind::PropertyGet, "FitPartSize", {}, DeclaredType::Double, true,
     "Size in bytes of every fragment SplitToFit makes of InputFile but the last"},
    {kDispidPresetLimit, MemberKind::Method, "PresetLimit", kPresetLimitParameters,
     DeclaredType::Double, false,
     "PartSizeLimit for FAT32, CD, DVD, DVD DL, BD or mail"},
    {kDispidSetFolder, MemberKind::PropertyGet, "SetFolder", {}, DeclaredType::String, false,
     kSetFolderHelp},
    {kDispidSetFolder, MemberKind::PropertyPut, "SetFolder", kNewSetFolder, DeclaredType::None,
     false, kSetFolderHelp},
    {kDispidSplitPartsCount, MemberKind::PropertyGet, "SplitPartsCount", {}, DeclaredType::Integer32,
     true, "Number of fragments Split cuts InputFile into with SubFilesNumber"},
    {kDispidSplitPartSize, MemberKind::PropertyGet, "SplitPartSize", {}, DeclaredType::Double, true,
     "Size in bytes of every fragment Split makes of InputFile but the last"},
    {kDispidVerify, MemberKind::Method, "Verify", {}, DeclaredType::Boolean, false,
     "Check the set of OutputFile against its checksum file without joining"},
    {kDispidVerifyReport, MemberKind::PropertyGet, "VerifyReport", {}, DeclaredType::String, true,
     "What the last Verify found, a line per problem"},
    {kDispidSetNameOf, MemberKind::Method, "SetNameOf", kSetNameOfParameters, DeclaredType::String,
     true, "File that the set member Name rebuilds"},
    {kDispidSetBase, MemberKind::PropertyGet, "SetBase", {}, DeclaredType::String, true, kSetBaseHelp},
    {kDispidSetBase, MemberKind::PropertyPut, "SetBase", kNewSetBase, DeclaredType::None, true,
     kSetBaseHelp},
    {kDispidReplace, MemberKind::PropertyGet, "Replace", {}, DeclaredType::Boolean, true, kReplaceHelp},
    {kDispidReplace, MemberKind::PropertyPut, "Replace", kNewReplace, DeclaredType::None, true,
     kReplaceHelp},
    {kDispidRecovery, MemberKind::PropertyGet, "Recovery", {}, DeclaredType::Integer16, false,
     kRecoveryHelp},
    {kDispidRecovery, MemberKind::PropertyPut, "Recovery", kNewRecovery, DeclaredType::None, false,
     kRecoveryHelp},
    {kDispidRepair, MemberKind::Method, "Repair", {}, DeclaredType::Boolean, false,
     "Rebuild the missing or damaged fragments of OutputFile's set from its recovery data"},
    {kDispidRebuilt, MemberKind::PropertyGet, "Rebuilt", {}, DeclaredType::String, true,
     "Fragments the last Join or Repair rebuilt from the recovery data, a line each"},
}};

constexpr std::array<ParameterInfo, 3> kProgressParameters = {{
    {"Done", DeclaredType::Double},
    {"Total", DeclaredType::Double},
    {"Cancel", DeclaredType::Boolean, true},
}};

constexpr std::array<MemberInfo, 1> kEvents = {{
    {kDispidProgress, MemberKind::Method, "Progress", kProgressParameters, DeclaredType::None, false,
     "Bytes done of the total during a split or a join; set Cancel to stop it"},
}};

constexpr std::array<const platform::ClassInfo*, 1> kClasses = {&kFileSplitClass};

}  // namespace

const platform::InterfaceInfo kFileSplitInterface = {
    "_FileSplit",
    kFileSplitInterfaceId,
    {1, 0},
    platform::kTypeHidden | platform::kTypeDual | platform::kTypeNonExtensible |
        platform::kTypeAutomation,
    kMembers,
};

const platform::InterfaceInfo kFileSplitEvents = {
    "__FileSplit",
    kFileSplitEventsId,
    {1, 0},
    platform::kTypeHidden | platform::kTypeNonExtensible | platform::kTypeDispatchOnly,
    kEvents,
};

const platform::ClassInfo kFileSplitClass = {
    "FileSplit", kFileSplitClassId, {1, 0}, platform::kTypeControl,
    &kFileSplitInterface, &kFileSplitEvents, &kLibrary,
};

const platform::LibraryInfo kLibrary = {
    "Tessik",       "Tessik",     kLibraryId, {2, 0}, 0x0409, platform::kTypeControl,
    "stdole2.tlb", {2, 0},        kClasses,
};

}  // namespace tessik
