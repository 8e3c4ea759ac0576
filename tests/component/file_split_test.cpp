// FileSplit called through dispatch on an instance of the real module, as a
// host calls it: what a host hears of changes, persistence, the workers'
// by-reference size, progress and cancel; and the module's lifetime and
// apartment. Errors and results a script sees are component_tool_test's.
#include "tessik_host.h"

#include <gtest/gtest.h>

#include <platform/component/connection.h>
#include <platform/file_rules.h>

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <thread>

namespace {

using platform::InvokeKind;
using platform::Status;
using platform::Variant;
using testing_support::ErrorNumberOf;
using testing_support::TessikHost;

using namespace testing_support::file_split;

// A host's property-change sink that records every announcement and, when
// told to, vetoes them with error 380. The object holds it as it is given.
struct RecordingSink : platform::PropertyNotifySink {
  Status QueryInterface(const platform::Guid&, void** object) override {
    *object = nullptr;
    return Status::NoInterface;
  }
  std::uint32_t AddRef() override { return 2; }
  std::uint32_t Release() override { return 1; }
  Status OnChanged(platform::DispatchId, std::string_view name,
                   platform::ExceptionInfo* veto) override {
    changes.emplace_back(name);
    if (reject) *veto = {380, "Invalid property value", "host"};
    return reject ? Status::Exception : Status::Ok;
  }
  std::vector<std::string> changes;
  bool reject = false;
};

class FileSplitTest : public testing::Test {
 protected:
  TessikHost host;
  RecordingSink sink;  // outlives the objects it listens to
  platform::Ref<platform::Dispatch> object = host.Create();
  std::string file = host.folder() / "film avi";

  void Listen(platform::Dispatch& to) {
    platform::Query<platform::PropertyNotifySource>(&to)->Advise(&sink);
  }
};

// A host hears of every put, even of the value already there, and of
// SubFilesNumber when Split has a file to work on; a host that vetoes a put
// (its sink returns error 380) stops it with that error, the value kept.
TEST_F(FileSplitTest, AHostHearsOfEveryChangeAndMayVetoIt) {
  testing_support::WriteBytes(file, "0123456789");
  Listen(*object);
  using Names = std::vector<std::string>;
  const auto heard = [&](const std::function<void()>& action) {
    sink.changes.clear();
    if (const int error = ErrorNumberOf(action)) sink.changes.push_back(std::to_string(error));
    return sink.changes;
  };
  Put(*object, kOutputFile, "same");
  EXPECT_EQ(heard([&] { Put(*object, kOutputFile, "same"); }), Names{"OutputFile"});
  Put(*object, kInputFile, "");
  EXPECT_EQ(heard([&] { Call(*object, kSplit); }), Names{}) << "split without a file";
  Put(*object, kInputFile, file);
  EXPECT_EQ(heard([&] { Call(*object, kSplit); }), Names{"SubFilesNumber"});
  sink.reject = true;
  EXPECT_EQ(heard([&] { Put(*object, kInputFile, "vetoed"); }), (Names{"InputFile", "380"}));
  sink.reject = false;
  EXPECT_EQ(Get(*object, kInputFile), Variant("vetoed"));
}

// Saved: only what differs from a new control (zero and False included).
// Loaded: silently, key by key, a bad value stopping the load with 13 or 6
// and what was read before it kept; an empty bag gives a new control.
TEST_F(FileSplitTest, PersistenceStoresOnlyWhatDiffersAndLoadsSilently) {
  const auto saved = [&] {
    platform::MemoryPropertyBag bag;
    platform::Query<platform::PersistProperties>(object.get())->SaveProperties(bag, nullptr);
    return bag;
  };
  platform::MemoryPropertyBag empty = saved();
  Put(*object, kInputFile, "/data/film.avi");
  EXPECT_EQ(saved().Keys(), std::vector<std::string>{"InputFile"});
  Put(*object, kSubFilesNumber, std::int16_t{0});
  Put(*object, kChecksums, false);
  Put(*object, kPartSizeLimit, 4096.0);
  Put(*object, kSetFolder, "/media/stick");
  Put(*object, kRecovery, std::int16_t{2});
  const struct { Variant stored; std::int32_t error; std::int16_t loaded; } loads[] = {
      {Variant(), 0, 0},  // as saved
      {"7", 0, 7}, {2.5, 0, 2}, {3.5, 0, 4}, {"seven", 13, 0}, {40000, 6, 0},
  };
  for (const auto& load : loads) {
    SCOPED_TRACE(load.stored.ToText());
    platform::MemoryPropertyBag bag = saved();
    if (!load.stored.IsEmpty()) bag.Store("SubFilesNumber", load.stored);
    const auto fresh = host.Create(false);
    Listen(*fresh);
    sink.changes.clear();
    platform::ExceptionInfo failure;
    platform::Query<platform::PersistProperties>(fresh.get())->LoadProperties(bag, &failure);
    EXPECT_EQ(failure.number, load.error);
    EXPECT_EQ(Get(*fresh, kInputFile), Variant("/data/film.avi")) << "keys read before stay";
    EXPECT_EQ(Get(*fresh, kSubFilesNumber), Variant(load.loaded)) << "0 until the host sets it";
    if (load.error == 0) { EXPECT_EQ(Get(*fresh, kChecksums), Variant(false)); }
    if (load.error == 0) { EXPECT_EQ(Get(*fresh, kPartSizeLimit), Variant(4096.0)); }
    if (load.error == 0) { EXPECT_EQ(Get(*fresh, kSetFolder), Variant("/media/stick")); }
    if (load.error == 0) { EXPECT_EQ(Get(*fresh, kRecovery), Variant(std::int16_t{2})); }
    EXPECT_TRUE(sink.changes.empty()) << "loading announces nothing";
  }
  const auto fresh = host.Create(false);
  platform::Query<platform::PersistProperties>(fresh.get())->LoadProperties(empty, nullptr);
  EXPECT_EQ(Get(*fresh, kSubFilesNumber), Variant(std::int16_t{2}));
  EXPECT_EQ(Get(*fresh, kChecksums), Variant(true));
}

// The size arrives through a reference to a reference: one to its target.
TEST_F(FileSplitTest, SplitFilesLeavesItsByReferenceSizeAlone) {
  testing_support::WriteBytes(file, "0123456789");
  Variant size(4), reference = Variant::Reference(size);
  std::vector<Variant> arguments = {file, Variant::Reference(reference)};
  EXPECT_EQ(platform::InvokeOrRaise(*object, kSplitFiles, InvokeKind::Method, arguments),
            Variant(true));
  EXPECT_EQ(size, Variant(4));
  EXPECT_EQ(testing_support::ReadBytes(file + ".3"), "89");
}

// Verify names every problem of a set on a line of its own, in set order,
// and says nothing after a set that matches.
TEST_F(FileSplitTest, VerifyReportsEveryProblemInSetOrder) {
  constexpr platform::DispatchId kVerify = 0x60030016, kVerifyReport = 0x68030017;
  const std::string sums = file + ".sha256";
  const auto overwrite = [](const std::string& path, std::size_t at, const std::string& bytes) {
    std::string content = testing_support::ReadBytes(path);
    testing_support::WriteBytes(path, content.replace(at, bytes.size(), bytes));
  };
  const struct { std::function<void()> change; const char* report; } cases[] = {
      {[] {}, ""},
      {[&] { std::filesystem::remove(file + ".2"), overwrite(file + ".3", 9, "~"); },
       "film avi.2 is missing\nfilm avi.3 does not match film avi.sha256"},
      {[&] { overwrite(sums, testing_support::ReadBytes(sums).size() - 75, "0000"); },  // the last line
       "film avi does not match film avi.sha256"},
      {[&] { std::filesystem::remove(sums); }, "film avi.sha256 is missing"},
      {[&] { overwrite(sums, 0, "#"); }, "film avi.sha256, line 2: expected film avi.1"},
  };
  Put(*object, kInputFile, file);
  Put(*object, kOutputFile, file);
  Put(*object, kSubFilesNumber, std::int16_t{4});
  for (const auto& c : cases) {
    SCOPED_TRACE(c.report);
    for (const char* name : {".1", ".2", ".3", ".4", ".sha256"}) std::filesystem::remove(file + name);
    testing_support::WriteBytes(file, testing_support::PatternBytes(300001));
    ASSERT_EQ(Call(*object, kSplit), Variant(true));
    c.change();
    EXPECT_EQ(Call(*object, kVerify), Variant(*c.report == 0));
    EXPECT_EQ(Get(*object, kVerifyReport), Variant(std::string(c.report)));
  }
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
  const std::string stick = host.folder() / "stick";
  std::filesystem::create_directory(stick);
  enum class At { Never, First, Middle, Last } cancelAt = At::Never;
  std::vector<std::pair<double, double>> reports;
  const platform::EventConnection events(*object, [&](const platform::MemberInfo& event,
                                                      std::span<Variant> arguments) {
    ASSERT_EQ(event.name, "Progress");
    const double done = arguments[0].ToDouble(), total = arguments[1].ToDouble();
    if (total == 0) return;  // the work has yet to measure itself
    reports.emplace_back(done, total);
    const At at = done == 0 ? At::First : done == total ? At::Last : At::Middle;
    if (at == cancelAt) arguments[2] = Variant(true);
  });
  Put(*object, kInputFile, file);
  Put(*object, kOutputFile, file);
  const auto run = [&](platform::DispatchId operation, At at) {
    cancelAt = at;
    reports.clear();
    return ErrorNumberOf([&] { Call(*object, operation); });
  };
  ASSERT_EQ(run(kSplit, At::Never), 0);
  const double total = static_cast<double>(kLength);
  ASSERT_GE(reports.size(), 3u);
  EXPECT_EQ(reports.front(), std::make_pair(0.0, total));
  EXPECT_EQ(reports.back(), std::make_pair(total, total));
  EXPECT_TRUE(std::ranges::is_sorted(reports));

  // What a cancel leaves: the set, and the joined file (a split keeps the
  // input). A split cancelled while it checks the older set has changed
  // nothing; one cancelled while it writes leaves no set; a join never
  // touches the older output. A split into another folder cleans up there.
  const struct { platform::DispatchId op; At at; bool older, setLeft, away = false; } cases[] = {
      {kSplit, At::First, true, true},   {kSplit, At::Middle, true, true},
      {kSplit, At::Middle, false, false}, {kSplit, At::Last, false, false},
      {kSplit, At::Last, false, false, true},
      {kSplit, At::Never, false, true},  {kJoin, At::First, true, true},
      {kJoin, At::Middle, true, true},   {kJoin, At::Last, true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << (c.op == kSplit ? "split" : "join") << " cancelled at "
                                    << static_cast<int>(c.at) << (c.older ? " over a set" : ""));
    if (c.op == kJoin) testing_support::WriteBytes(file, "old");
    Put(*object, kSetFolder, c.away ? stick : "");
    if (!c.older) {
      for (const char* name : {".1", ".2", ".3", ".sha256"}) std::filesystem::remove(file + name);
    }
    EXPECT_EQ(run(c.op, c.at), c.at == At::Never ? 0 : 18);
    if (c.at == At::Never) continue;
    EXPECT_TRUE(host.Boxes().empty());
    for (const char* fragment : {".1", ".2", ".sha256"}) {
      const std::string set = c.away ? stick + "/film avi" : file;
      EXPECT_EQ(platform::FileExists(set + fragment), c.setLeft) << fragment;
    }
    if (c.op == kSplit) {
      EXPECT_TRUE(testing_support::SameContent(file, kept)) << "the input changed";
    } else {
      EXPECT_EQ(testing_support::ReadBytes(file), "old");
    }
  }
  EXPECT_EQ(run(kJoin, At::Never), 0);
  EXPECT_TRUE(testing_support::SameContent(file, kept)) << "the fragments changed";
  EXPECT_EQ(run(0x60030016, At::Never), 0);  // Verify: the bytes hashed, to the total
  ASSERT_FALSE(reports.empty());
  EXPECT_EQ(reports.back(), std::make_pair(total, total));
  EXPECT_EQ(run(0x60030016, At::Middle), 18);
}

// An object refuses calls from another thread than its apartment's. The
// module stays loaded while anything of it lives (an object, a locked or a
// held class factory) and serves only its own class; once idle,
// FreeUnusedModules unloads it and the next creation loads it again.
TEST(TessikModule, KeepsToItsThreadAndStaysWhileAnythingOfItLives) {
  TessikHost host;
  auto object = host.Create();
  auto persist = platform::Query<platform::PersistProperties>(object.get());
  Status invoked = Status::Ok, initialised = Status::Ok;
  std::vector<Variant> seven = {7};
  std::thread([&] {
    invoked = object->Invoke(kSubFilesNumber, InvokeKind::PropertyPut, seven, nullptr, nullptr,
                             nullptr);
    initialised = persist->InitDefaults();
  }).join();
  EXPECT_EQ(invoked, Status::WrongThread);
  EXPECT_EQ(initialised, Status::WrongThread);
  EXPECT_EQ(Get(*object, kSubFilesNumber), Variant(std::int16_t{2}));

  void* const module = dlopen(TESSIK_MODULE, RTLD_NOW | RTLD_NOLOAD);
  ASSERT_NE(module, nullptr);
  const auto canUnloadNow =
      reinterpret_cast<platform::CanUnloadNowEntry>(dlsym(module, "DllCanUnloadNow"));
  EXPECT_EQ(canUnloadNow(), Status::False) << "an object is alive";
  persist.Reset();
  object.Reset();
  EXPECT_EQ(canUnloadNow(), Status::Ok);
  const platform::Guid& iid = platform::ClassFactory::kIid;
  platform::Ref<platform::ClassFactory> factory;
  EXPECT_EQ(reinterpret_cast<platform::GetClassObjectEntry>(dlsym(module, "DllGetClassObject"))(
                &iid, &iid, factory.Receive()),
            Status::ClassNotAvailable);
  EXPECT_FALSE(factory);
  factory = platform::GetClassObject(TESSIK_MODULE,
                                     platform::FindRegisteredClass("Tessik.FileSplit").clsid);
  factory->LockServer(true);
  EXPECT_EQ(canUnloadNow(), Status::False) << "the factory is locked";
  factory->LockServer(false);
  EXPECT_EQ(canUnloadNow(), Status::False) << "a factory reference is held";
  platform::FreeUnusedModules();
  EXPECT_TRUE(platform::IsModuleLoaded(TESSIK_MODULE));
  factory.Reset();
  dlclose(module);
  platform::FreeUnusedModules();
  EXPECT_FALSE(platform::IsModuleLoaded(TESSIK_MODULE));
  EXPECT_TRUE(host.Create()) << "loads again on the next creation";
}

// What a tiny split costs to start: in a host without a window system, a
// split without checksums, its failure box (on standard error) and the About
// box, refused, load nothing of the widget toolkit, nor the hash library.
TEST_F(FileSplitTest, APlainSplitLoadsNeitherTheWindowSystemNorTheHashLibrary) {
  const testing_support::ScopedEnvironment unlogged("MESSAGE_BOX_LOG", nullptr);
  testing_support::WriteBytes(file, "0123456789");
  testing_support::WriteBytes(file + ".3", "in the way");
  Put(*object, kChecksums, Variant(false));
  Put(*object, kInputFile, file);
  Put(*object, kSubFilesNumber, Variant(std::int16_t{3}));
  testing::internal::CaptureStderr();
  EXPECT_FALSE(Call(*object, kSplit).ToBoolean());
  EXPECT_EQ(testing::internal::GetCapturedStderr().rfind("Tessik: Error splitting file!", 0), 0u);
  EXPECT_EQ(ErrorNumberOf([&] { Call(*object, platform::kDispidAboutBox); }), 5);
  std::filesystem::remove(file + ".3");
  EXPECT_TRUE(Call(*object, kSplit).ToBoolean());
  for (const char* library : {"libQt6Widgets.so.6", "libQt6Core.so.6", "libcrypto.so.3"}) {
    EXPECT_EQ(dlopen(library, RTLD_LAZY | RTLD_NOLOAD), nullptr) << library;
  }
}

}  // namespace
