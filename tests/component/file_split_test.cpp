// FileSplit's properties, persistence and operations, called through
// dispatch on an instance of the real module, as a host calls them.
#include "tessik_host.h"

#include <gtest/gtest.h>

#include <platform/component/connection.h>
#include <platform/file_rules.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <optional>

namespace {

using platform::InvokeKind;
using platform::Status;
using platform::Variant;
using testing_support::Invoke;
using testing_support::TessikHost;

using namespace testing_support::file_split;

class FileSplitTest : public testing::Test {
 protected:
  TessikHost host;
  platform::Ref<platform::Dispatch> object = host.Create();
  testing_support::RecordingSink sink;
  std::string file = host.folder() / "film avi";

  void Listen() { platform::Query<platform::PropertyNotifySource>(object.get())->Advise(&sink); }
  void TearDown() override {
    platform::Query<platform::PropertyNotifySource>(object.get())->Unadvise();
  }
};

TEST_F(FileSplitTest, DispatchFailuresCarryStatusesAndRuntimeErrors) {
  struct Case {
    const char* what;
    platform::DispatchId id;
    InvokeKind kind;
    std::vector<Variant> arguments;
    Status status;
    std::int32_t number;  // of the runtime error a host reports
  };
  const std::string missing = host.folder() / "missing";
  const Case cases[] = {
      {"unknown identifier", 0x60030005, InvokeKind::Method, {}, Status::MemberNotFound, 438},
      {"get of a method", kSplit, InvokeKind::PropertyGet, {}, Status::MemberNotFound, 438},
      {"too many arguments", kJoin, InvokeKind::Method, {1}, Status::BadArgumentCount, 450},
      {"too few arguments", kJoinFiles, InvokeKind::Method, {}, Status::BadArgumentCount, 450},
      {"text not a number", kSubFilesNumber, InvokeKind::PropertyPut, {"abc"},
       Status::TypeMismatch, 13},
      {"number too large", kSubFilesNumber, InvokeKind::PropertyPut, {40000}, Status::Overflow, 6},
      {"part size too large", kSplitFiles, InvokeKind::Method, {"x", 3e9}, Status::Overflow, 6},
      {"split of a missing file", kSplit, InvokeKind::Method, {}, Status::Exception, 53},
  };
  Put(*object, kInputFile, missing);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const auto invocation = Invoke(*object, c.id, c.kind, c.arguments);
    EXPECT_EQ(invocation.status, c.status);
    EXPECT_EQ(platform::ErrorOfStatus(invocation.status, invocation.exception).number(), c.number);
  }
  const auto missingFile = Invoke(*object, kSplit, InvokeKind::Method);
  EXPECT_EQ(missingFile.exception.description, "File not found");
  EXPECT_FALSE(platform::FileExists(missing + ".1"));
}

TEST_F(FileSplitTest, FragmentCounterOverflowArrivesAsError6) {
  const std::string base = host.folder() / "many";
  for (int i = 1; i <= 32767; ++i) testing_support::WriteBytes(base + "." + std::to_string(i), "");
  const auto invocation = Invoke(*object, kJoinFiles, InvokeKind::Method, {base});
  EXPECT_EQ(invocation.status, Status::Exception);
  EXPECT_EQ(invocation.exception.number, 6);
  EXPECT_EQ(invocation.exception.description, "Overflow");
}

TEST_F(FileSplitTest, PropertiesKeepWhatIsPutAndAnnounceEveryPut) {
  EXPECT_EQ(Get(*object, kInputFile), Variant(""));
  EXPECT_EQ(Get(*object, kOutputFile), Variant(""));
  EXPECT_EQ(Get(*object, kSubFilesNumber), Variant(std::int16_t{2}));
  EXPECT_EQ(Get(*host.Create(false), kSubFilesNumber), Variant(std::int16_t{0}))
      << "before the host initialises it";

  Listen();
  const std::pair<Variant, std::int16_t> numbers[] = {
      {std::int16_t{0}, 0}, {-5, -5}, {"3", 3}, {2.5, 2}, {3.5, 4}, {true, -1}, {32767, 32767}};
  for (const auto& [put, kept] : numbers) {
    SCOPED_TRACE(put.ToText());
    Put(*object, kSubFilesNumber, put);
    EXPECT_EQ(Get(*object, kSubFilesNumber), Variant(kept));
  }
  for (const char* text : {"", " spaced name ", "/tmp/a.1", "ümlaut"}) {
    Put(*object, kInputFile, text);
    EXPECT_EQ(Get(*object, kInputFile), Variant(text));
  }
  sink.changes.clear();
  Put(*object, kOutputFile, "same");
  Put(*object, kOutputFile, "same");
  EXPECT_EQ(sink.changes, (std::vector<std::string>{"OutputFile", "OutputFile"}));
}

TEST_F(FileSplitTest, ARejectedAnnouncementRaisesTheHostsErrorAndKeepsTheValue) {
  Listen();
  sink.reject = true;
  const auto invocation = Invoke(*object, kInputFile, InvokeKind::PropertyPut, {"kept"});
  EXPECT_EQ(invocation.status, Status::Exception);
  EXPECT_EQ(invocation.exception.number, 380);
  EXPECT_EQ(invocation.exception.description, "Invalid property value");
  sink.reject = false;
  EXPECT_EQ(Get(*object, kInputFile), Variant("kept"));
}

TEST_F(FileSplitTest, PersistenceStoresOnlyWhatDiffersAndLoadsSilently) {
  const auto persist = platform::Query<platform::PersistProperties>(object.get());
  platform::ExceptionInfo exception;
  platform::MemoryPropertyBag defaults;
  persist->SaveProperties(defaults, &exception);
  EXPECT_TRUE(defaults.Keys().empty());

  Put(*object, kInputFile, "/data/film.avi");
  platform::MemoryPropertyBag onlyInput;
  persist->SaveProperties(onlyInput, &exception);
  EXPECT_EQ(onlyInput.Keys(), std::vector<std::string>{"InputFile"});

  Put(*object, kSubFilesNumber, std::int16_t{0});
  Put(*object, kChecksums, false);
  platform::MemoryPropertyBag zero;
  persist->SaveProperties(zero, &exception);
  EXPECT_EQ(zero.Read("SubFilesNumber", Variant()), Variant(std::int16_t{0}));
  EXPECT_EQ(zero.Read("Checksums", Variant()), Variant(false));
  const auto reloaded = host.Create(false);
  platform::Query<platform::PersistProperties>(reloaded.get())->LoadProperties(zero, &exception);
  EXPECT_EQ(Get(*reloaded, kChecksums), Variant(false));

  struct Load {
    Variant stored;
    Status status;
    std::int32_t number;
    std::int16_t loaded;
  };
  const Load loads[] = {
      {"7", Status::Ok, 0, 7},   {2.5, Status::Ok, 0, 2},        {3.5, Status::Ok, 0, 4},
      {0, Status::Ok, 0, 0},     {"seven", Status::Exception, 13, 0},
      {40000, Status::Exception, 6, 0},
  };
  for (const Load& load : loads) {
    SCOPED_TRACE(load.stored.ToText());
    Listen();
    sink.changes.clear();
    const auto fresh = host.Create(false);
    platform::MemoryPropertyBag bag;
    bag.Store("InputFile", "/data/film.avi");
    bag.Store("SubFilesNumber", load.stored);
    platform::ExceptionInfo failure;
    EXPECT_EQ(platform::Query<platform::PersistProperties>(fresh.get())->LoadProperties(bag, &failure),
              load.status);
    EXPECT_EQ(failure.number, load.number);
    EXPECT_EQ(Get(*fresh, kInputFile), Variant("/data/film.avi")) << "keys read before stay";
    EXPECT_EQ(Get(*fresh, kSubFilesNumber), Variant(load.loaded));
  }
  platform::MemoryPropertyBag empty;
  const auto fresh = host.Create(false);
  platform::Query<platform::PersistProperties>(fresh.get())->LoadProperties(empty, &exception);
  EXPECT_EQ(Get(*fresh, kSubFilesNumber), Variant(std::int16_t{2}));
  EXPECT_EQ(Get(*fresh, kChecksums), Variant(true));
  EXPECT_TRUE(sink.changes.empty()) << "loading announces nothing";
}

TEST_F(FileSplitTest, SplitAndJoinReportWhetherTheWorkWasDone) {
  const std::string content = testing_support::PatternBytes(100'000);
  testing_support::WriteBytes(file, content);
  const std::string box = "Tessik\t16\t";
  struct Case {
    const char* what;
    std::function<void()> prepare;
    platform::DispatchId operation;
    bool result;
    std::vector<std::string> boxes;
  };
  std::optional<testing_support::LockHolder> lock;
  const Case cases[] = {
      {"split without input", [&] { Put(*object, kInputFile, ""); }, kSplit, false, {}},
      {"split into one part",
       [&] {
         Put(*object, kInputFile, file);
         Put(*object, kSubFilesNumber, 1);
       },
       kSplit, false, {}},
      {"split into three", [&] { Put(*object, kSubFilesNumber, 3); }, kSplit, true, {}},
      {"split of a locked input", [&] { lock.emplace(file); }, kSplit, false,
       {box + "Error splitting file!\\nfilm avi is in use by another program"}},
      {"join without output", [&] { lock.reset(); }, kJoin, false, {}},
      {"join without fragments", [&] { Put(*object, kOutputFile, file + "x"); }, kJoin, false,
       {box + "Error joining files!\\nthere is no film avix.1"}},
      {"join", [&] { Put(*object, kOutputFile, file); }, kJoin, true, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::size_t before = host.Boxes().size();
    c.prepare();
    EXPECT_EQ(Call(*object, c.operation), Variant(c.result));
    const auto boxes = host.Boxes();
    EXPECT_EQ(std::vector<std::string>(boxes.begin() + before, boxes.end()), c.boxes);
  }
  EXPECT_EQ(testing_support::ReadBytes(file), content);
  EXPECT_EQ(testing_support::ReadBytes(file + ".1").size(), 33'334u);
  EXPECT_FALSE(platform::FileExists(file + ".4"));
}

TEST_F(FileSplitTest, SplitAnnouncesSubFilesNumberOnceItHasAFile) {
  testing_support::WriteBytes(file, "0123456789");
  Listen();
  Put(*object, kInputFile, "");
  sink.changes.clear();
  Call(*object, kSplit);
  EXPECT_TRUE(sink.changes.empty());
  Put(*object, kInputFile, file);
  sink.changes.clear();
  Call(*object, kSplit);
  EXPECT_EQ(sink.changes, std::vector<std::string>{"SubFilesNumber"});
}

TEST_F(FileSplitTest, WorkersTakeTheirArgumentsAndLeaveThePartSizeUnchanged) {
  testing_support::WriteBytes(file, "0123456789");
  Variant size(4);
  std::vector<Variant> arguments = {file, Variant::Reference(size)};
  EXPECT_EQ(platform::InvokeOrRaise(*object, kSplitFiles, InvokeKind::Method, arguments),
            Variant(true));
  EXPECT_EQ(size, Variant(4));
  EXPECT_EQ(testing_support::ReadBytes(file + ".3"), "89");
  EXPECT_EQ(Call(*object, kJoinFiles, {file}), Variant(true));
  EXPECT_EQ(testing_support::ReadBytes(file), "0123456789");
  EXPECT_EQ(Call(*object, kJoinFiles, {host.folder() / "none"}), Variant(false));
}

// A host connected to the events: Progress runs from 0 to the total, and a
// Cancel at any report stops the work with error 18 and no box, removing what
// it wrote and leaving the input and the fragments as they were.
TEST_F(FileSplitTest, ProgressReachesTheTotalAndACancelUndoesTheWork) {
  constexpr std::int64_t kLength = (std::int64_t{130} << 20) + 7;  // two 64 MiB steps and more
  testing_support::WriteBytes(file, testing_support::PatternBytes(4096));
  ASSERT_EQ(truncate(file.c_str(), kLength), 0);
  const std::string kept = host.folder() / "kept";
  std::filesystem::copy_file(file, kept);
  enum class At { Never, First, Middle, Last };
  At cancelAt = At::Never;
  std::vector<std::pair<double, double>> reports;
  const platform::EventConnection events(*object, [&](const platform::MemberInfo& event,
                                                      std::span<Variant> arguments) {
    ASSERT_EQ(event.name, "Progress");
    const double done = arguments[0].ToDouble(), total = arguments[1].ToDouble();
    reports.emplace_back(done, total);
    const At at = done == 0 ? At::First : done == total ? At::Last : At::Middle;
    if (at == cancelAt) arguments[2] = Variant(true);
  });
  Put(*object, kInputFile, file);
  Put(*object, kOutputFile, file);
  Put(*object, kSubFilesNumber, 2);
  const auto run = [&](platform::DispatchId operation, At at) {
    cancelAt = at;
    reports.clear();
    return Invoke(*object, operation, InvokeKind::Method);
  };
  ASSERT_EQ(run(kSplit, At::Never).result, Variant(true));
  const double total = static_cast<double>(kLength);
  ASSERT_GE(reports.size(), 3u);
  EXPECT_EQ(reports.front(), std::make_pair(0.0, total));
  EXPECT_EQ(reports.back(), std::make_pair(total, total));
  EXPECT_TRUE(std::ranges::is_sorted(reports));

  const struct { platform::DispatchId operation; At at; bool setLeft; const char* outputLeft; }
      cases[] = {
          {kSplit, At::First, true, nullptr},  {kSplit, At::Middle, false, nullptr},
          {kSplit, At::Last, false, nullptr},  {kSplit, At::Never, true, nullptr},
          {kJoin, At::First, true, "old"},     {kJoin, At::Middle, true, "-"},
          {kJoin, At::Last, true, "-"},
      };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << (c.operation == kSplit ? "split" : "join") << " cancelled at "
                                    << static_cast<int>(c.at));
    if (c.operation == kJoin) testing_support::WriteBytes(file, "old");
    const auto invocation = run(c.operation, c.at);
    if (c.at == At::Never) continue;
    EXPECT_EQ(invocation.status, Status::Exception);
    EXPECT_EQ(invocation.exception.number, 18);
    EXPECT_EQ(invocation.exception.description, "User interrupt occurred");
    EXPECT_TRUE(host.Boxes().empty());
    EXPECT_EQ(platform::FileExists(file + ".1"), c.setLeft);
    EXPECT_EQ(platform::FileExists(file + ".2"), c.setLeft);
    EXPECT_EQ(platform::FileExists(file + ".sha256"), c.setLeft);
    if (c.outputLeft == nullptr) {
      EXPECT_TRUE(testing_support::SameContent(file, kept)) << "the input changed";
    } else {
      EXPECT_EQ(platform::FileExists(file) ? testing_support::ReadBytes(file) : "-", c.outputLeft);
    }
  }
  EXPECT_EQ(run(kJoin, At::Never).result, Variant(true)) << "the fragments changed";
  EXPECT_TRUE(testing_support::SameContent(file, kept));
}

TEST_F(FileSplitTest, AboutBoxNeedsAWindowSystem) {
  const auto invocation = Invoke(*object, platform::kDispidAboutBox, InvokeKind::Method);
  EXPECT_EQ(invocation.status, Status::Exception);
  EXPECT_EQ(invocation.exception.number, 5);
}

}  // namespace
