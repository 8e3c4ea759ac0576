// The registry tree, its file form and the user's registry file. The file's
// modes, failed writes, layers and trust are component_tool_test's, through
// the real tool; random text is registry_fuzz's.
#include <platform/component/registry.h>
#include <platform/runtime_error.h>

#include "test_files.h"

#include <gtest/gtest.h>

#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>
#include <vector>

namespace {

using namespace testing_support;
using platform::RegistryTree;

RegistryTree Parse(const std::string& text) { return RegistryTree::FromText(text, "test.reg"); }

// Escaping and the round trip through the file form are registry_fuzz's
// (its "escapes" seed); the order of keys in the file is that of SubKeys.
TEST(RegistryTree, NamesCompareWithoutCaseAndKeepTheirFirstSpelling) {
  RegistryTree tree;
  tree.SetValue("Tessik.FileSplit\\CLSID", "", "{old}");
  tree.SetValue("TESSIK.filesplit\\clsid", "", "{new}");
  tree.SetValue("Tessik.FileSplit", "Version", "1");
  tree.SetValue("tessik.FILESPLIT", "VERSION", "2");
  for (const char* key : {"b", "C", "É", "é"}) tree.SetValue(key, "", "x");  // accents are not folded
  EXPECT_EQ(tree.Value("tessik.filesplit\\CLSID"), "{new}");
  EXPECT_EQ(tree.SubKeys(""), (std::vector<std::string>{"b", "C", "Tessik.FileSplit", "É", "é"}));
  EXPECT_EQ(tree.SubKeys("TESSIK.FILESPLIT"), std::vector<std::string>{"CLSID"});
  EXPECT_NE(tree.ToText().find("\"Version\"=\"2\""), std::string::npos);
  EXPECT_FALSE(tree.Value("Tessik.FileSplit\\\\CLSID"));
}

TEST(RegistryTree, RemoveKeyPrunesOnlyWhatItEmptied) {
  const RegistryTree before =
      Parse("[Shared]\n@=\"keep\"\n[Shared\\Sibling]\n\"x\"=\"1\"\n[EmptyLeaf]\n");
  const struct { const char *set, *remove, *after; } cases[] = {
      {"Shared\\New\\Deep", "Shared\\New", nullptr},
      {"Shared\\New\\Deep", "Shared\\New\\Deep", nullptr},
      {"Fresh\\A\\B", "FRESH", nullptr},
      {"Shared\\Sibling\\Child", "shared\\SIBLING\\child", nullptr},
      {nullptr, "EmptyLeaf\\Missing", nullptr},  // must not prune the empty key on the way
      {nullptr, "Shared\\\\Sibling", nullptr},
      {nullptr, "Shared\\Sibling", "[Shared]\n@=\"keep\"\n[EmptyLeaf]\n"},  // Shared has a value
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.remove);
    RegistryTree tree = before;
    if (c.set != nullptr) tree.SetValue(c.set, "n", "v");
    tree.RemoveKey(c.remove);
    EXPECT_EQ(tree, c.after == nullptr ? before : Parse(c.after));
  }
}

TEST(RegistryTree, DamagedTextNamesTheLineAndTheFault) {
  std::string deepKey = "[A";  // deeper than a tree may nest: refused, not overflowing the stack
  for (int depth = 1; depth <= 100000; ++depth) deepKey += "\\k";
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
      {"[A]\n\"x\"=\"" + std::string(std::size_t{1} << 20, 'x'), 2, "quote that is not closed"},
      {deepKey + "]\n", 1, "more than 512 keys deep"},
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
}

TEST(RegistryLocation, FollowsTheEnvironment) {
  const std::string underHome = "/.local/share/components/registry.reg";
  const struct {
    const char *explicitPath, *dataHome, *home;
    std::string expected;
  } cases[] = {
      {"/r/mine.reg", "/data", "/home/u", "/r/mine.reg"},
      {"", "/data", "/home/u", "/data/components/registry.reg"},
      {nullptr, "/data/", "/home/u", "/data/components/registry.reg"},
      {nullptr, "relative/data", "/home/u", "/home/u" + underHome},
      {nullptr, nullptr, "/home/u", "/home/u" + underHome},
      {nullptr, nullptr, nullptr, getpwuid(getuid())->pw_dir + underHome},
  };
  for (const auto& c : cases) {
    ScopedEnvironment explicitPath("COMPONENT_REGISTRY", c.explicitPath);
    ScopedEnvironment dataHome("XDG_DATA_HOME", c.dataHome);
    ScopedEnvironment home("HOME", c.home);
    EXPECT_EQ(platform::RegistryLocation(), c.expected);
  }
}

// Updates from many processes at once all arrive; a change that throws
// leaves the file as it was.
TEST(RegistryFile, UpdatesLoseNothingAndAFailedOneChangesNothing) {
  const TempDir dir;
  const std::string registry = dir / "registry.reg";
  const ScopedEnvironment location("COMPONENT_REGISTRY", registry.c_str());
  constexpr int kWorkers = 8, kRounds = 20;
  std::vector<pid_t> children;
  for (int worker = 0; worker < kWorkers; ++worker) {
    const std::string key = "Worker" + std::to_string(worker);
    if (const pid_t child = fork(); child != 0) {
      children.push_back(child);
      continue;
    }
    for (int round = 0; round < kRounds; ++round) {
      platform::UpdateRegistry(
          [&](RegistryTree& tree) { tree.SetValue(key + "\\" + std::to_string(round), "", "v"); });
    }
    _exit(0);
  }
  for (const pid_t child : children) {
    int status = -1;
    EXPECT_TRUE(waitpid(child, &status, 0) == child && WIFEXITED(status) && !WEXITSTATUS(status));
  }
  const RegistryTree tree = platform::ReadRegistry();
  EXPECT_EQ(tree.SubKeys("").size(), std::size_t{kWorkers});
  for (int worker = 0; worker < kWorkers; ++worker) {
    const std::string key = "Worker" + std::to_string(worker);
    EXPECT_EQ(tree.SubKeys(key).size(), std::size_t{kRounds}) << "an update was lost";
  }
  const std::string before = ReadBytes(registry);
  EXPECT_THROW(platform::UpdateRegistry([](RegistryTree& tree) {
                 tree.SetValue("Half", "", "done");
                 throw std::logic_error("change refused");
               }),
               std::logic_error);
  EXPECT_EQ(ReadBytes(registry), before);
}

}  // namespace
