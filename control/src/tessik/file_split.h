#pragma once

#include "engine_thread.h"

#include <control/fragment_set.h>
#include <control/split_join.h>
#include <platform/component/class_factory.h>
#include <platform/component/connection.h>
#include <platform/component/dispatch.h>
#include <platform/component/persistence.h>

#include <cstdint>
#include <string>

namespace tessik {

// The FileSplit control: three property values and the operations that cut
// InputFile into fragments and rebuild OutputFile from them. Hosts reach it
// only through its interfaces; it is apartment-threaded and takes no locks.
class FileSplit final : public platform::StandardDispatch,
                        public platform::PersistProperties,
                        public platform::PropertyNotifySource,
                        public platform::ConnectionPoints,
                        public platform::ProvideClassInfo {
 public:
  // A new instance holding "", "" and 0 until the host initialises or loads
  // it; it keeps its module loaded while it lives.
  explicit FileSplit(platform::ModuleUsage& usage);

  platform::Status QueryInterface(const platform::Guid& iid, void** object) override;
  std::uint32_t AddRef() override;
  std::uint32_t Release() override;

  // Each put stores a copy first, then announces the change to the host
  // (also when the value is unchanged); a rejected announcement raises the
  // host's error with the new value kept.
  std::string InputFile() const { return inputFile_; }
  void PutInputFile(std::string New_InputFile);
  std::string OutputFile() const { return outputFile_; }
  void PutOutputFile(std::string New_OutputFile);
  std::int16_t SubFilesNumber() const { return subFilesNumber_; }
  void PutSubFilesNumber(std::int16_t New_SubFilesNumber);
  // Whether a split writes the set's checksum file and a join is verified
  // against one; true unless the host says otherwise.
  bool Checksums() const { return checksums_; }
  void PutChecksums(bool New_Checksums);
  // Whether Split, Join, SplitFiles, JoinFiles and Verify run the engine on a
  // worker thread while a host is connected to the events; true unless the
  // host says otherwise. Either way calls and events stay on the host's
  // thread; off, the work runs there too and Progress comes only with the
  // engine's own reports (a tool that counts the calls each thread makes
  // wants that).
  bool WorkerThread() const { return workerThread_; }
  void PutWorkerThread(bool New_WorkerThread) { workerThread_ = New_WorkerThread; }
  // The checksum file the last join was verified against; empty when the
  // last join was not verified or not done.
  std::string VerifiedWith() const { return verifiedWith_; }
  // The largest SubFilesNumber with which Split cuts InputFile as it is now
  // (at most 32767); raises the file error when InputFile cannot be measured.
  std::int16_t LargestSubFilesNumber() const;
  // The largest fragment SplitToFit makes, in bytes; 0, the default, for no
  // limit. Byte counts cross as Double, exact up to 2^53: a negative or
  // fractional size raises error 5.
  double PartSizeLimit() const { return static_cast<double>(partSizeLimit_); }
  void PutPartSizeLimit(double New_PartSizeLimit);
  // The folder Split and SplitToFit write the set into, named after
  // InputFile's file name there; "", the default, for beside InputFile. A
  // missing folder raises error 76 when a split starts, before anything is
  // written.
  bool Replace() const { return replace_; }
  void PutReplace(bool New_Replace) { replace_ = New_Replace; }
  std::string SetBase() const { return setBase_; }
  void PutSetBase(std::string New_SetBase) { setBase_ = std::move(New_SetBase); }
  // Recovery fragments' worth of PAR2 data a split writes beside the set,
  // enough to rebuild that many lost fragments; 0, the default, for none.
  // Negative raises error 5; more than the split makes raises error 5 when
  // the split starts, before anything is written.
  std::int16_t Recovery() const { return recovery_; }
  void PutRecovery(std::int16_t New_Recovery);
  // Rebuilds the missing or damaged fragments of OutputFile's set on disk
  // from its recovery data, with no box: true when all are sound after it
  // (Rebuilt names those rebuilt); false when OutputFile is empty or the
  // repair was not done, VerifyReport then saying why.
  bool Repair();
  // The fragments the last Join or Repair rebuilt from the set's recovery
  // data ("<set>.par2"), a file name a line; empty when none was.
  std::string Rebuilt() const { return rebuilt_; }
  std::string SetFolder() const { return setFolder_; }
  void PutSetFolder(std::string New_SetFolder);
  // What SplitToFit makes of InputFile as it is now: how many fragments (0
  // for an empty file) and the size of each but the last, which is no
  // longer. Raise the file error when InputFile cannot be measured, error 5
  // when there is no limit and error 6 past 32766 fragments.
  std::int32_t FitPartsCount() const { return FitOfInput().parts; }
  double FitPartSize() const { return static_cast<double>(FitOfInput().partSize); }
  std::int32_t SplitPartsCount() const { return SplitOfInput().parts; }
  double SplitPartSize() const { return static_cast<double>(SplitOfInput().partSize); }
  // The PartSizeLimit that fits a part whole on the medium or through the
  // service `name`: "FAT32", "CD", "DVD", "DVD DL", "BD" or "mail"; error 5
  // for another name.
  static double PresetLimit(const std::string& name);

  // Cuts InputFile into at most SubFilesNumber fragments. True when the file
  // was written out; false when InputFile is empty, fewer than two parts are
  // wanted, or the split failed (then after the "Error splitting file!" box,
  // with the reason on a second line when there is one). A missing InputFile
  // raises 53 (76 when its folder is missing) before SubFilesNumber is looked
  // at. Work cancelled through the Progress event raises 18, with no box.
  bool Split();
  // Cuts InputFile into the fewest fragments of at most PartSizeLimit bytes,
  // all of one size but the last; one fragment for a file that fits already.
  // Returns, shows and raises as Split does; raises error 5 when there is no
  // limit and error 6 past 32766 fragments, before anything is written.
  bool SplitToFit();
  // Rebuilds OutputFile from its fragments. True when it was written; false
  // when OutputFile is empty or the join failed (then after the "Error
  // joining files!" box, with the reason on a second line).
  bool Join();
  // Checks the set of OutputFile against its checksum file without joining
  // or writing anything, and shows no box: true when every fragment and the
  // whole file match; false when OutputFile is empty, the checksum file is
  // missing or damaged, or a fragment is missing or does not match, each
  // problem then a line of VerifyReport. Progress and cancel as for Join; a
  // failed read or open (other than of a missing fragment) raises its error.
  bool Verify();
  // What the last Verify found, a line per problem in set order; empty after
  // one that returned true, or that raised.
  std::string VerifyReport() const { return verifyReport_; }
  // The file that the set member `name` rebuilds (control::SetNameOf).
  static std::string SetNameOf(const std::string& name);
  // The workers: no box of their own, false when an open, a read or a write
  // failed. `newFileSizeBytes` is read, never changed.
  bool SplitFiles(const std::string& inputFilename, std::int32_t& newFileSizeBytes);
  bool JoinFiles(const std::string& inputFilename);
  void ShowAboutBox();

  platform::Status InitDefaults() override;
  platform::Status LoadProperties(platform::PropertyBag& bag,
                                  platform::ExceptionInfo* exception) override;
  platform::Status SaveProperties(platform::PropertyBag& bag,
                                  platform::ExceptionInfo* exception) override;

  platform::Status Advise(platform::PropertyNotifySink* sink) override;
  platform::Status Unadvise() override;

  // The events interface: Progress(Done, Total, Cancel) while Split, Join,
  // SplitFiles, JoinFiles or Verify runs. A host that sets Cancel stops the work,
  // which then removes what it wrote and raises error 18 (no box: the host
  // asked for it).
  platform::Status Advise(const platform::Guid& outgoing, platform::Dispatch* sink) override;
  platform::Status Unadvise(const platform::Guid& outgoing) override;

  const platform::ClassInfo& GetClassInfo() override;

 protected:
  platform::Variant InvokeMember(const platform::MemberInfo& member,
                                 std::span<platform::Variant> arguments) override;

 private:
  ~FileSplit();
  // Tells the host that property `id` changed; raises its error if it rejects.
  void PropertyChanged(platform::DispatchId id, std::string_view name);
  // How SplitToFit cuts InputFile with PartSizeLimit.
  control::FitPlan FitOfInput() const;
  // What Split makes of InputFile with SubFilesNumber.
  control::FitPlan SplitOfInput() const;
  // Cuts InputFile into fragments of `partSize` bytes, showing the failure
  // box when that was not done; true when it was.
  bool RunSplit(std::int64_t partSize);
  // Joins `path` with the Checksums setting and remembers what verified it.
  // Joins the set based on `setBase` (empty: on `path`) into `path`.
  control::Outcome RunJoin(const std::string& path, const std::string& setBase);
  // Runs `work`, one call of the engine, with the Checksums setting. While a
  // host is connected to the events, the engine runs on a worker thread and
  // Progress reaches the host on its own thread, often enough for it to
  // keep its window alive; otherwise the work runs on the caller's thread.
  control::Outcome RunEngine(const EngineWork& work);
  // Sends Progress to the connected host; true when it asked to cancel.
  bool FireProgress(std::int64_t done, std::int64_t total);
  // Shows the component's failure box: `what` failed, and why.
  static void ShowFailure(const char* what, const std::string& reason);

  platform::ReferenceCount references_;
  platform::ModuleUsage& usage_;
  std::string inputFile_;
  std::string outputFile_;
  std::int16_t subFilesNumber_ = 0;
  bool checksums_ = true;
  std::int64_t partSizeLimit_ = 0;
  std::string setFolder_;
  std::int16_t recovery_ = 0;
  std::string rebuilt_;
  std::string setBase_;  // not saved: it names one join's source
  bool replace_ = true;  // not saved: a host's answer for one join
  bool workerThread_ = true;
  std::string verifiedWith_;
  std::string verifyReport_;
  platform::Ref<platform::PropertyNotifySink> sink_;
  platform::Ref<platform::Dispatch> events_;
};

}  // namespace tessik
