#include <platform/component/activation.h>
#include <platform/component/registry.h>
#include <platform/file_rules.h>
#include <platform/runtime_error.h>

#include "test_files.h"

#include <gtest/gtest.h>

#include <pwd.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <set>
#include <stdexcept>
#include <tuple>
#include <vector>

namespace {

using namespace testing_support;
using platform::RegistryTree;

RegistryTree Parse(const std::string& text) { return RegistryTree::FromText(text, "test.reg"); }

mode_t ModeOf(const std::string& path) {
  struct stat status {};
  return stat(path.c_str(), &status) == 0 ? status.st_mode & 07777 : 0;
}

std::set<std::string> NamesIn(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.insert(entry.path().filename().string());
  }
  return names;
}


TEST(RegistryTree, FileFormKeepsAwkwardNamesAndValues) {
  const struct { const char* key; const char* name; const char* value; } entries[] = {
      {"CLSID\\{6B3F-01}\\InprocServer32", "", "/usr/lib/talhaz/Tessik.so"},
      {"CLSID\\{6B3F-01}\\InprocServer32", "ThreadingModel", "Apartment"},
      {"Odd]Key\\ with spaces ", "na\"me=\\]", "va\\lue \"quoted\" = ] [x] \\"},
      {"Ünïcödé\\Clé", "Größe", "日本語  "},
      {"Semi;colon", ";not a comment", ""},
      {"EmptyDefault", "", ""},
  };
  RegistryTree forwards, backwards;
  for (const auto& e : entries) forwards.SetValue(e.key, e.name, e.value);
  for (auto e = std::rbegin(entries); e != std::rend(entries); ++e) {
    backwards.SetValue(e->key, e->name, e->value);
  }
  const std::string text = forwards.ToText();
  EXPECT_EQ(text.rfind("; ", 0), 0u) << "the file starts with a comment line";
  EXPECT_EQ(backwards.ToText(), text) << "the file form depends on insertion order";
  const RegistryTree readBack = Parse(text);
  EXPECT_EQ(readBack, forwards);
  EXPECT_EQ(readBack.ToText(), text);
  for (const auto& e : entries) {
    SCOPED_TRACE(e.key);
    EXPECT_EQ(readBack.Value(e.key, e.name), e.value);
  }
  // A key with neither values nor sub-keys survives the file form.
  const RegistryTree empty = Parse("[Empty\\Leaf]\n");
  EXPECT_TRUE(Parse(empty.ToText()).HasKey("Empty\\Leaf"));
  EXPECT_EQ(Parse(empty.ToText()), empty);
}

TEST(RegistryTree, NamesCompareWithoutCaseAndKeepTheirFirstSpelling) {
  RegistryTree tree;
  tree.SetValue("Tessik.FileSplit\\CLSID", "", "{old}");
  tree.SetValue("TESSIK.filesplit\\clsid", "", "{new}");
  tree.SetValue("Tessik.FileSplit", "Version", "1");
  tree.SetValue("tessik.FILESPLIT", "VERSION", "2");
  tree.SetValue("b", "", "x");
  tree.SetValue("C", "", "x");
  tree.SetValue("É", "", "accented capital is not folded");
  tree.SetValue("é", "", "accented small");
  EXPECT_EQ(tree.Value("tessik.filesplit\\CLSID"), "{new}");
  EXPECT_EQ(tree.Value("Tessik.FileSplit", "version"), "2");
  EXPECT_EQ(tree.SubKeys(""), (std::vector<std::string>{"b", "C", "Tessik.FileSplit", "É", "é"}));
  EXPECT_EQ(tree.SubKeys("TESSIK.FILESPLIT"), std::vector<std::string>{"CLSID"});
  EXPECT_NE(tree.ToText().find("\"Version\"=\"2\""), std::string::npos);
  EXPECT_FALSE(tree.Value("Tessik.FileSplit", "Missing"));
  EXPECT_FALSE(tree.Value("Tessik.FileSplit\\\\CLSID"));
  EXPECT_TRUE(tree.SubKeys("Nowhere").empty());
}

TEST(RegistryTree, RemoveKeyPrunesOnlyWhatItEmptied) {
  const RegistryTree before =
      Parse("[Shared]\n@=\"keep\"\n[Shared\\Sibling]\n\"x\"=\"1\"\n[EmptyLeaf]\n");
  const struct { const char* set; const char* remove; } cases[] = {
      {"Shared\\New\\Deep", "Shared\\New"},
      {"Shared\\New\\Deep", "Shared\\New\\Deep"},
      {"Fresh\\A\\B", "Fresh\\A\\B"},
      {"Fresh\\A\\B", "FRESH"},
      {"Shared\\Sibling\\Child", "shared\\SIBLING\\child"},
      {nullptr, "EmptyLeaf\\Missing"},  // must not prune the empty key on the way
      {nullptr, "Nowhere\\At\\All"},
      {nullptr, "Shared\\\\Sibling"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.set ? c.set : "-") + " then remove " + c.remove);
    RegistryTree tree = before;
    if (c.set != nullptr) tree.SetValue(c.set, "n", "v");
    tree.RemoveKey(c.remove);
    EXPECT_EQ(tree, before);
    EXPECT_EQ(tree.ToText(), before.ToText());
  }
  RegistryTree tree = before;
  tree.RemoveKey("Shared\\Sibling");
  EXPECT_TRUE(tree.HasKey("Shared")) << "an ancestor with a value was pruned";
  EXPECT_FALSE(tree.HasKey("Shared\\Sibling"));
}

TEST(RegistryTree, DamagedTextNamesTheLineAndTheFault) {
  const std::string longLine = "[A]\n\"x\"=\"" + std::string(std::size_t{1} << 20, 'x');
  std::string deepKey = "[A";  // deeper than a tree may nest: refused, not overflowing the stack
  for (int depth = 1; depth <= 100000; ++depth) deepKey += "\\k";
  deepKey += "]\n";
  const struct { std::string text; int line; const char* fault; } cases[] = {
      {"[A]\n\"x\"=\"open\n", 2, "quote that is not closed"},
      {"[A]\n\"x\"=\"ends in an escaped quote\\\"\n", 2, "quote that is not closed"},
      {"[A]\n\"x\" \"y\"\n", 2, "without '='"},
      {"; comment\n\n[]\n", 3, "an empty key name"},
      {"[A]\n@=\"v\" extra\n", 2, "text after the closing quote"},
      {"; header\n\n\n\n\n\n@=\"v\"\n", 7, "a value outside any [key] section"},
      {"[A\\\\B]\n", 1, "empty part"},
      {"[OK]\n[A\\]\n", 2, "empty part"},
      {"[A]x\n", 1, "text after the closing ']'"},
      {"[A\n", 1, "without its closing ']'"},
      {"[A]\n@=unquoted\n", 2, "not in quotes"},
      {"[A]\n@=\"a\\nb\"\n", 2, "an escape other than"},
      {"[A]\nname=\"v\"\n", 2, "neither a [key], a value nor a comment"},
      {std::string("\x7f" "ELF\x02\x01\x01\x00\x00", 9), 1, "neither"},
      {longLine, 2, "quote that is not closed"},
      {deepKey, 1, "more than 512 keys deep"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 40));
    try {
      Parse(c.text);
      ADD_FAILURE() << "damaged text was accepted";
    } catch (const platform::RuntimeError& error) {
      EXPECT_EQ(error.number(), 75);
      EXPECT_EQ(error.path(), "test.reg");
      const std::string where =
          "The component registry is damaged at line " + std::to_string(c.line) + ": ";
      EXPECT_EQ(error.description().rfind(where, 0), 0u) << error.description();
      EXPECT_NE(error.description().find(c.fault), std::string::npos) << error.description();
    }
  }
  for (std::uint32_t seed = 1; seed <= 64; ++seed) {
    SCOPED_TRACE(seed);
    const int number = ErrorNumberOf([&] { Parse(PatternBytes(4096, seed)); });
    EXPECT_TRUE(number == 0 || number == 75) << number;
  }
}

TEST(RegistryLocation, FollowsTheEnvironment) {
  const passwd* user = getpwuid(getuid());
  ASSERT_NE(user, nullptr);
  const std::string underHome = "/.local/share/components/registry.reg";
  const struct {
    const char* explicitPath;
    const char* dataHome;
    const char* home;
    std::string expected;
  } cases[] = {
      {"/r/mine.reg", "/data", "/home/u", "/r/mine.reg"},
      {"", "/data", "/home/u", "/data/components/registry.reg"},
      {nullptr, "/data/", "/home/u", "/data/components/registry.reg"},
      {nullptr, "relative/data", "/home/u", "/home/u" + underHome},
      {nullptr, nullptr, "/home/u", "/home/u" + underHome},
      {nullptr, nullptr, nullptr, user->pw_dir + underHome},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expected);
    ScopedEnvironment explicitPath("COMPONENT_REGISTRY", c.explicitPath);
    ScopedEnvironment dataHome("XDG_DATA_HOME", c.dataHome);
    ScopedEnvironment home("HOME", c.home);
    EXPECT_EQ(platform::RegistryLocation(), c.expected);
  }
}

class RegistryFile : public ::testing::Test {
 protected:
  TempDir dir;
  std::string folder = dir / "made/here";
  std::string registry = folder + "/registry.reg";
  ScopedEnvironment location{"COMPONENT_REGISTRY", registry.c_str()};
};

TEST_F(RegistryFile, UpdateCreatesTheFileThatReadingGivesBack) {
  EXPECT_EQ(platform::ReadRegistry(), RegistryTree{});
  RegistryTree expected;
  expected.SetValue("Tessik.FileSplit\\CLSID", "", "{6B3F-01}");
  platform::UpdateRegistry(
      [](RegistryTree& tree) { tree.SetValue("Tessik.FileSplit\\CLSID", "", "{6B3F-01}"); });
  EXPECT_EQ(platform::ReadRegistry(), expected);
  EXPECT_EQ(ReadBytes(registry), expected.ToText());
  EXPECT_EQ(ModeOf(dir / "made"), 0700u);
  EXPECT_EQ(ModeOf(folder), 0700u);
  EXPECT_EQ(ModeOf(registry), 0644u);
  EXPECT_EQ(NamesIn(folder), (std::set<std::string>{"registry.reg", "registry.reg.lock"}));
}

// Runs `body` in a child process; its pid, for Succeeded().
pid_t Spawn(const std::function<bool()>& body) {
  const pid_t child = fork();
  if (child == 0) {
    bool ok = false;
    try {
      ok = body();
    } catch (...) {
    }
    _exit(ok ? 0 : 1);
  }
  return child;
}

bool Succeeded(pid_t child) {
  int status = 0;
  return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
}

TEST_F(RegistryFile, ConcurrentUpdatesLoseNothing) {
  constexpr int kWorkers = 8;
  constexpr int kRounds = 20;
  std::vector<pid_t> children;
  for (int worker = 0; worker < kWorkers; ++worker) {
    const std::string key = "Worker" + std::to_string(worker);
    children.push_back(Spawn([&] {
      for (int round = 0; round < kRounds; ++round) {
        platform::UpdateRegistry([&](RegistryTree& tree) {
          tree.SetValue(key, "Round", std::to_string(round));
          tree.SetValue(key + "\\" + std::to_string(round), "", "done");
        });
      }
      return true;
    }));
  }
  for (const pid_t child : children) EXPECT_TRUE(Succeeded(child));
  const RegistryTree tree = platform::ReadRegistry();
  EXPECT_EQ(tree.SubKeys("").size(), std::size_t{kWorkers});
  for (int worker = 0; worker < kWorkers; ++worker) {
    const std::string key = "Worker" + std::to_string(worker);
    SCOPED_TRACE(key);
    EXPECT_EQ(tree.Value(key, "Round"), std::to_string(kRounds - 1));
    EXPECT_EQ(tree.SubKeys(key).size(), std::size_t{kRounds}) << "an update was lost";
  }
}

TEST_F(RegistryFile, FailedUpdatesLeaveTheFileAsItWas) {
  platform::UpdateRegistry([](RegistryTree& tree) { tree.SetValue("Kept", "", "as it was"); });
  const std::string good = ReadBytes(registry);
  const std::set<std::string> onlyTheRegistry{"registry.reg", "registry.reg.lock"};
  EXPECT_THROW(platform::UpdateRegistry([](RegistryTree& tree) {
                 tree.SetValue("Half", "", "done");
                 throw std::logic_error("change refused");
               }),
               std::logic_error);
  EXPECT_EQ(ReadBytes(registry), good);
  EXPECT_EQ(NamesIn(folder), onlyTheRegistry);

  // A file size limit makes the write fail part way, as a full disk would.
  EXPECT_TRUE(Succeeded(Spawn([] {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{4096, 4096};
    setrlimit(RLIMIT_FSIZE, &limit);
    return ErrorNumberOf([] {
             platform::UpdateRegistry(
                 [](RegistryTree& tree) { tree.SetValue("Big", "", std::string(8192, 'x')); });
           }) == 61;
  }))) << "a failed write was not reported as a full disk";
  EXPECT_EQ(ReadBytes(registry), good);
  EXPECT_EQ(NamesIn(folder), onlyTheRegistry);

  const std::string damaged = good + "stray text\n";
  WriteBytes(registry, damaged);
  try {
    platform::UpdateRegistry([](RegistryTree&) {});
    ADD_FAILURE() << "a damaged registry was accepted";
  } catch (const platform::RuntimeError& error) {
    EXPECT_EQ(error.number(), 75);
    EXPECT_EQ(error.path(), registry);
  }
  EXPECT_EQ(ErrorNumberOf([] { platform::ReadRegistry(); }), 75);
  EXPECT_EQ(ReadBytes(registry), damaged);
}

TEST_F(RegistryFile, UnusableLocationsRaiseFileErrors) {
  WriteBytes(dir / "plain", "x");
  mkdir((dir / "folder.reg").c_str(), 0755);
  const struct { std::string path; int error; } cases[] = {
      {dir / "plain/registry.reg", 76},  // a file where a folder should be
      {dir / "folder.reg", 75},          // a folder where the file should be
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    ScopedEnvironment here("COMPONENT_REGISTRY", c.path.c_str());
    EXPECT_EQ(ErrorNumberOf([] { platform::ReadRegistry(); }), c.error);
    EXPECT_EQ(ErrorNumberOf([] { platform::UpdateRegistry([](RegistryTree&) {}); }), c.error);
  }
}

}  // namespace

// A registration of class `name` (class identifier number `n`) with `module`.
std::string Registration(const std::string& name, int n, const std::string& module) {
  const std::string clsid = "{00000000-0000-0000-0000-0000000000" + std::to_string(10 + n) + "}";
  return "[" + name + "\\CLSID]\n@=\"" + clsid + "\"\n[CLSID\\" + clsid + "\\ProgID]\n@=\"" + name +
         "\"\n[CLSID\\" + clsid + "\\InprocServer32]\n@=\"" + module + "\"\n";
}

// Hosts read the user's file first, then each $XDG_DATA_DIRS folder's
// drop-ins in order; a relative module path is resolved in its drop-in's
// folder and must stay in its prefix.
TEST_F(RegistryFile, LayersInTheirOrder) {
  const std::string one = dir / "one", two = dir / "two", dropIns = "/share/components/registry.d/";
  ScopedEnvironment dataFolders("XDG_DATA_DIRS", (one + "/share:relative:" + two + "/share/").c_str());
  for (const std::string& made : {folder, one + dropIns, two + dropIns}) {
    std::filesystem::create_directories(made);
  }
  WriteBytes(registry, Registration("T.User", 1, "/opt/user.so"));
  WriteBytes(one + dropIns + "b.reg", Registration("T.User", 1, "/opt/hidden.so") +
                                          Registration("T.First", 2, "../../../lib/first.so"));
  WriteBytes(two + dropIns + "c.reg", Registration("T.First", 2, "/opt/later.so") +
                                          Registration("T.Second", 3, "../../../../out.so"));
  const std::vector<std::tuple<std::string, std::string, std::string>> expected = {
      {"/opt/user.so", registry, ""},
      {one + "/lib/first.so", one + dropIns + "b.reg", ""},
      {dir / "out.so", two + dropIns + "c.reg", "the module path ../../../../out.so leaves " + two},
  };
  std::vector<std::tuple<std::string, std::string, std::string>> listed;
  for (const auto& entry : platform::RegisteredClasses()) {
    listed.emplace_back(entry.modulePath, entry.layer, entry.refusal);
  }
  EXPECT_EQ(listed, expected);
  EXPECT_EQ(ErrorNumberOf([] { platform::FindRegisteredClass("T.Second"); }), 429);
}

// Nothing that others than root and us could have changed is trusted: not
// the file, not a folder above it, not a link on the way. (What is ours, in
// our folders or in /tmp, every other test loads.)
TEST(Trust, OnlyRootAndTheUserMayHaveWrittenIt) {
  const struct { const char* what; mode_t folder, file; bool othersOwn, linked, trusted; } cases[] = {
      {"group-writable file", 0755, 0664, false, false, false},
      {"in a folder all may write", 0777, 0644, false, false, false},
      {"another user's in a sticky folder", 01777, 0644, true, false, false},
      {"through a link in a folder all may write", 0755, 0644, false, true, false},
  };
  for (const auto& c : cases) {
    if (c.othersOwn && geteuid() != 0) continue;  // giving a file away needs root
    SCOPED_TRACE(c.what);
    TempDir dir;
    const std::string file = dir / "f/x.so", link = dir / "open/x.so";
    std::filesystem::create_directories(dir / "f");
    std::filesystem::create_directories(dir / "open");
    WriteBytes(file, "");
    std::filesystem::create_symlink(file, link);
    SetMode(file, c.file);
    SetMode(dir / "f", c.folder);
    SetMode(dir / "open", 0777);
    if (c.othersOwn) {
      ASSERT_EQ(chown(file.c_str(), 65534, 65534), 0);
    }
    EXPECT_EQ(platform::WhyUntrusted(c.linked ? link : file).has_value(), !c.trusted);
  }
}
