#include "file_split.h"

#include "about_module.h"
#include "type_library.h"

#include <control/fragment_set.h>
#include <control/size_presets.h>
#include <control/split_join.h>
#include <platform/file_rules.h>
#include <platform/message_box.h>
#include <platform/runtime_error.h>

#include <cmath>
#include <new>

namespace tessik {
namespace {

using platform::Status;
using platform::Variant;

constexpr char kBoxTitle[] = "Tessik";

// The persisted keys, in the order they are always read and written.
constexpr char kInputFileKey[] = "InputFile";
constexpr char kOutputFileKey[] = "OutputFile";
constexpr char kSubFilesNumberKey[] = "SubFilesNumber";
constexpr char kChecksumsKey[] = "Checksums";
constexpr char kPartSizeLimitKey[] = "PartSizeLimit";
constexpr char kSetFolderKey[] = "SetFolder";
constexpr char kRecoveryKey[] = "Recovery";
constexpr std::int16_t kNoRecovery = 0;
constexpr std::int16_t kDefaultSubFilesNumber = 2;
constexpr bool kDefaultChecksums = true;
constexpr double kNoPartSizeLimit = 0;

// A byte count that came as a Double: error 5 unless it is a whole number
// from 0 up, error 6 past what 64 bits hold.
std::int64_t ByteCount(double bytes) {
  using platform::ErrorNumber;
  if (!(bytes >= 0) || bytes != std::floor(bytes)) {
    throw platform::RuntimeError(ErrorNumber::InvalidProcedureCall);
  }
  if (bytes >= 0x1p63) throw platform::RuntimeError(ErrorNumber::Overflow);
  return static_cast<std::int64_t>(bytes);
}

// Runs a persistence request: a runtime error stops it where it happened and
// becomes the request's failure.
template <typename Request>
Status RunRequest(const platform::Apartment& apartment, platform::ExceptionInfo* exception,
                  Request request) {
  if (!apartment.IsCurrent()) return Status::WrongThread;
  try {
    request();
    return Status::Ok;
  } catch (const platform::RuntimeError& error) {
    if (exception != nullptr) *exception = {error.number(), error.description(), kBoxTitle};
  } catch (const std::bad_alloc&) {
    if (exception != nullptr) *exception = {7, "Out of memory", kBoxTitle};
  }
  return Status::Exception;
}

}  // namespace

FileSplit::FileSplit(platform::ModuleUsage& usage)
    : StandardDispatch(kFileSplitInterface), usage_(usage) {
  usage_.ObjectCreated();
}

FileSplit::~FileSplit() { usage_.ObjectDestroyed(); }

Status FileSplit::QueryInterface(const platform::Guid& iid, void** object) {
  if (object == nullptr) return Status::NullPointer;
  *object = nullptr;
  if (iid == platform::Unknown::kIid || iid == platform::Dispatch::kIid ||
      iid == kFileSplitInterfaceId) {
    *object = static_cast<platform::Dispatch*>(this);
  } else if (iid == platform::PersistProperties::kIid) {
    *object = static_cast<platform::PersistProperties*>(this);
  } else if (iid == platform::PropertyNotifySource::kIid) {
    *object = static_cast<platform::PropertyNotifySource*>(this);
  } else if (iid == platform::ConnectionPoints::kIid) {
    *object = static_cast<platform::ConnectionPoints*>(this);
  } else if (iid == platform::ProvideClassInfo::kIid) {
    *object = static_cast<platform::ProvideClassInfo*>(this);
  } else {
    return Status::NoInterface;
  }
  AddRef();
  return Status::Ok;
}

std::uint32_t FileSplit::AddRef() { return references_.Increment(); }

std::uint32_t FileSplit::Release() {
  const std::uint32_t left = references_.Decrement();
  if (left == 0) delete this;
  return left;
}

void FileSplit::PutInputFile(std::string New_InputFile) {
  inputFile_ = std::move(New_InputFile);
  PropertyChanged(kDispidInputFile, kInputFileKey);
}

void FileSplit::PutOutputFile(std::string New_OutputFile) {
  outputFile_ = std::move(New_OutputFile);
  PropertyChanged(kDispidOutputFile, kOutputFileKey);
}

void FileSplit::PutSubFilesNumber(std::int16_t New_SubFilesNumber) {
  subFilesNumber_ = New_SubFilesNumber;
  PropertyChanged(kDispidSubFilesNumber, kSubFilesNumberKey);
}

void FileSplit::PutChecksums(bool New_Checksums) {
  checksums_ = New_Checksums;
  PropertyChanged(kDispidChecksums, kChecksumsKey);
}

std::int16_t FileSplit::LargestSubFilesNumber() const {
  return static_cast<std::int16_t>(control::LargestPartsNumber(platform::FileLength(InputFile())));
}

void FileSplit::PutPartSizeLimit(double New_PartSizeLimit) {
  partSizeLimit_ = ByteCount(New_PartSizeLimit);
  PropertyChanged(kDispidPartSizeLimit, kPartSizeLimitKey);
}

void FileSplit::PutSetFolder(std::string New_SetFolder) {
  setFolder_ = std::move(New_SetFolder);
  PropertyChanged(kDispidSetFolder, kSetFolderKey);
}

void FileSplit::PutRecovery(std::int16_t New_Recovery) {
  if (New_Recovery < 0) throw platform::RuntimeError(platform::ErrorNumber::InvalidProcedureCall);
  recovery_ = New_Recovery;
  PropertyChanged(kDispidRecovery, kRecoveryKey);
}

// The rebuilt fragments an outcome names, a line each.
static std::string RebuiltLines(const control::Outcome& outcome) {
  std::string lines;
  for (const std::string& name : outcome.rebuilt) lines += (lines.empty() ? "" : "\n") + name;
  return lines;
}

control::FitPlan FileSplit::FitOfInput() const {
  return control::FitToLimit(platform::FileLength(InputFile()), partSizeLimit_);
}

control::FitPlan FileSplit::SplitOfInput() const {
  return control::SplitInParts(platform::FileLength(InputFile()), SubFilesNumber());
}

double FileSplit::PresetLimit(const std::string& name) {
  return static_cast<double>(control::PresetLimit(name));
}

void FileSplit::ShowFailure(const char* what, const std::string& reason) {
  std::string text = what;
  if (!reason.empty()) text += "\n" + reason;
  platform::ShowMessageBox(text, platform::MessageBoxStyle::Critical, kBoxTitle);
}

void FileSplit::PropertyChanged(platform::DispatchId id, std::string_view name) {
  if (!sink_) return;
  platform::ExceptionInfo rejection;
  const Status status = sink_->OnChanged(id, name, &rejection);
  if (platform::Failed(status)) throw platform::ErrorOfStatus(status, rejection);
}

bool FileSplit::Split() {
  if (InputFile().empty()) return false;
  const std::int64_t length = platform::FileLength(InputFile());
  PutSubFilesNumber(SubFilesNumber());
  const std::int16_t parts = SubFilesNumber();
  if (parts <= 1) return false;
  return RunSplit(control::PartSize(length, parts));
}

bool FileSplit::SplitToFit() {
  if (InputFile().empty()) return false;
  return RunSplit(FitOfInput().partSize);
}

bool FileSplit::RunSplit(std::int64_t partSize) {
  // The part size goes to the engine in 64 bits, so files of any size split.
  const control::Outcome outcome = RunEngine([&](const control::SetOptions& options) {
    control::SetOptions splitting = options;
    splitting.recovery = Recovery();
    return control::SplitFiles(InputFile(), partSize, splitting, SetFolder());
  });
  if (!outcome) ShowFailure("Error splitting file!", outcome.reason);
  return outcome.done;
}

bool FileSplit::Join() {
  verifiedWith_.clear();
  if (OutputFile().empty()) return false;
  const control::Outcome outcome = RunJoin(OutputFile(), SetBase());
  if (!outcome) ShowFailure("Error joining files!", outcome.reason);
  return outcome.done;
}

control::Outcome FileSplit::RunJoin(const std::string& path, const std::string& setBase) {
  verifiedWith_.clear();
  control::Outcome outcome = RunEngine(
      [&](const control::SetOptions& options) {
        control::SetOptions joining = options;
        joining.replace = Replace();
        return control::JoinFiles(path, joining, setBase);
      });
  verifiedWith_ = outcome.checksumFile;
  rebuilt_ = RebuiltLines(outcome);
  return outcome;
}

bool FileSplit::Verify() {
  verifyReport_.clear();
  if (OutputFile().empty()) {
    verifyReport_ = "OutputFile is empty";
    return false;
  }
  const control::Outcome outcome = RunEngine(
      [&](const control::SetOptions& options) { return control::VerifySet(OutputFile(), options); });
  verifyReport_ = outcome.reason;
  return outcome.done;
}

bool FileSplit::Repair() {
  verifyReport_.clear();
  rebuilt_.clear();
  if (OutputFile().empty()) {
    verifyReport_ = "OutputFile is empty";
    return false;
  }
  const control::Outcome outcome = RunEngine(
      [&](const control::SetOptions& options) { return control::RepairSet(OutputFile(), options); });
  verifyReport_ = outcome.reason;
  rebuilt_ = RebuiltLines(outcome);
  return outcome.done;
}

std::string FileSplit::SetNameOf(const std::string& name) { return control::SetNameOf(name); }

bool FileSplit::SplitFiles(const std::string& inputFilename, std::int32_t& newFileSizeBytes) {
  const std::int64_t partSize = newFileSizeBytes;
  return RunEngine([&](const control::SetOptions& options) {
           return control::SplitFiles(inputFilename, partSize, options);
         }).done;
}

bool FileSplit::JoinFiles(const std::string& inputFilename) { return RunJoin(inputFilename, {}).done; }

void FileSplit::ShowAboutBox() { ShowAboutDialogFromModule(); }

Status FileSplit::InitDefaults() {
  if (!apartment().IsCurrent()) return Status::WrongThread;
  inputFile_.clear();
  outputFile_.clear();
  subFilesNumber_ = kDefaultSubFilesNumber;
  checksums_ = kDefaultChecksums;
  partSizeLimit_ = 0;
  setFolder_.clear();
  recovery_ = kNoRecovery;
  return Status::Ok;
}

Status FileSplit::LoadProperties(platform::PropertyBag& bag, platform::ExceptionInfo* exception) {
  return RunRequest(apartment(), exception, [&] {
    inputFile_ = bag.Read(kInputFileKey, Variant("")).ToText();
    outputFile_ = bag.Read(kOutputFileKey, Variant("")).ToText();
    subFilesNumber_ = bag.Read(kSubFilesNumberKey, Variant(kDefaultSubFilesNumber)).ToInteger16();
    checksums_ = bag.Read(kChecksumsKey, Variant(kDefaultChecksums)).ToBoolean();
    partSizeLimit_ = ByteCount(bag.Read(kPartSizeLimitKey, Variant(kNoPartSizeLimit)).ToDouble());
    setFolder_ = bag.Read(kSetFolderKey, Variant("")).ToText();
    const std::int16_t recovery = bag.Read(kRecoveryKey, Variant(kNoRecovery)).ToInteger16();
    if (recovery < 0) throw platform::RuntimeError(platform::ErrorNumber::InvalidProcedureCall);
    recovery_ = recovery;
  });
}

Status FileSplit::SaveProperties(platform::PropertyBag& bag, platform::ExceptionInfo* exception) {
  return RunRequest(apartment(), exception, [&] {
    bag.Write(kInputFileKey, Variant(inputFile_), Variant(""));
    bag.Write(kOutputFileKey, Variant(outputFile_), Variant(""));
    bag.Write(kSubFilesNumberKey, Variant(subFilesNumber_), Variant(kDefaultSubFilesNumber));
    bag.Write(kChecksumsKey, Variant(checksums_), Variant(kDefaultChecksums));
    bag.Write(kPartSizeLimitKey, Variant(PartSizeLimit()), Variant(kNoPartSizeLimit));
    bag.Write(kSetFolderKey, Variant(setFolder_), Variant(""));
    bag.Write(kRecoveryKey, Variant(recovery_), Variant(kNoRecovery));
  });
}

Status FileSplit::Advise(platform::PropertyNotifySink* sink) {
  if (!apartment().IsCurrent()) return Status::WrongThread;
  sink_ = platform::Ref<platform::PropertyNotifySink>::Share(sink);
  return Status::Ok;
}

Status FileSplit::Unadvise() {
  if (!apartment().IsCurrent()) return Status::WrongThread;
  sink_.Reset();
  return Status::Ok;
}

Status FileSplit::Advise(const platform::Guid& outgoing, platform::Dispatch* sink) {
  if (!apartment().IsCurrent()) return Status::WrongThread;
  if (outgoing != kFileSplitEventsId) return Status::NoInterface;
  if (sink == nullptr) return Status::NullPointer;
  events_ = platform::Ref<platform::Dispatch>::Share(sink);
  return Status::Ok;
}

Status FileSplit::Unadvise(const platform::Guid& outgoing) {
  if (!apartment().IsCurrent()) return Status::WrongThread;
  if (outgoing != kFileSplitEventsId) return Status::NoInterface;
  events_.Reset();
  return Status::Ok;
}

control::Outcome FileSplit::RunEngine(const EngineWork& work) {
  const ProgressEvent progress = [this](std::int64_t done, std::int64_t total) {
    return FireProgress(done, total);
  };
  if (events_ && WorkerThread()) return RunOnWorkerThread(Checksums(), work, progress);
  return work(control::SetOptions{Checksums(), events_ ? progress : nullptr, nullptr});
}

bool FileSplit::FireProgress(std::int64_t done, std::int64_t total) {
  // The sink is held for the call: a host may disconnect from inside it.
  const platform::Ref<platform::Dispatch> sink = events_;
  if (!sink) return false;
  Variant cancel(false);
  Variant arguments[] = {Variant(static_cast<double>(done)), Variant(static_cast<double>(total)),
                         Variant::Reference(cancel)};
  // A host whose handler fails has not asked for anything: the work goes on.
  sink->Invoke(kDispidProgress, platform::InvokeKind::Method, arguments, nullptr, nullptr,
               nullptr);
  return cancel.ToBoolean();
}

const platform::ClassInfo& FileSplit::GetClassInfo() { return kFileSplitClass; }

Variant FileSplit::InvokeMember(const platform::MemberInfo& member, std::span<Variant> arguments) {
  const bool put = member.kind == platform::MemberKind::PropertyPut;
  switch (member.id) {
    case kDispidInputFile:
      if (!put) return Variant(InputFile());
      PutInputFile(arguments[0].ToText());
      return {};
    case kDispidOutputFile:
      if (!put) return Variant(OutputFile());
      PutOutputFile(arguments[0].ToText());
      return {};
    case kDispidSubFilesNumber:
      if (!put) return Variant(SubFilesNumber());
      PutSubFilesNumber(arguments[0].ToInteger16());
      return {};
    case kDispidSplit: return Variant(Split());
    case kDispidJoin: return Variant(Join());
    case kDispidSplitFiles: {
      std::int32_t newFileSizeBytes = arguments[1].ToInteger32();
      const bool written = SplitFiles(arguments[0].ToText(), newFileSizeBytes);
      arguments[1] = Variant(newFileSizeBytes);
      return Variant(written);
    }
    case kDispidJoinFiles: return Variant(JoinFiles(arguments[0].ToText()));
    case kDispidShowAboutBox: ShowAboutBox(); return {};
    case kDispidChecksums:
      if (!put) return Variant(Checksums());
      PutChecksums(arguments[0].ToBoolean());
      return {};
    case kDispidVerifiedWith: return Variant(VerifiedWith());
    case kDispidWorkerThread:
      if (!put) return Variant(WorkerThread());
      PutWorkerThread(arguments[0].ToBoolean());
      return {};
    case kDispidLargestSubFilesNumber: return Variant(LargestSubFilesNumber());
    case kDispidPartSizeLimit:
      if (!put) return Variant(PartSizeLimit());
      PutPartSizeLimit(arguments[0].ToDouble());
      return {};
    case kDispidSplitToFit: return Variant(SplitToFit());
    case kDispidFitPartsCount: return Variant(FitPartsCount());
    case kDispidFitPartSize: return Variant(FitPartSize());
    case kDispidSplitPartsCount: return Variant(SplitPartsCount());
    case kDispidSplitPartSize: return Variant(SplitPartSize());
    case kDispidPresetLimit: return Variant(PresetLimit(arguments[0].ToText()));
    case kDispidReplace:
      if (!put) return Variant(Replace());
      PutReplace(arguments[0].ToBoolean());
      return {};
    case kDispidSetBase:
      if (!put) return Variant(SetBase());
      PutSetBase(arguments[0].ToText());
      return {};
    case kDispidSetFolder:
      if (!put) return Variant(SetFolder());
      PutSetFolder(arguments[0].ToText());
      return {};
    case kDispidVerify: return Variant(Verify());
    case kDispidVerifyReport: return Variant(VerifyReport());
    case kDispidSetNameOf: return Variant(SetNameOf(arguments[0].ToText()));
    case kDispidRecovery:
      if (!put) return Variant(Recovery());
      PutRecovery(arguments[0].ToInteger16());
      return {};
    case kDispidRepair: return Variant(Repair());
    case kDispidRebuilt: return Variant(Rebuilt());
    default: break;
  }
  throw platform::RuntimeError(platform::ErrorNumber::UnsupportedMember);
}

}  // namespace tessik
