// The limits of the 16-bit fragment counter, on tmpfs where one is at hand:
// these sets have tens of thousands of fragments, each of them flushed.
#include <control/fragment_set.h>
#include <control/split_join.h>

#include <platform/file_rules.h>
#include <platform/runtime_error.h>

#include "test_files.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

using namespace testing_support;
using control::FragmentName;

std::string FastFolder() { return access("/dev/shm", W_OK) == 0 ? "/dev/shm" : ""; }

void WriteOneByteFragments(const std::string& base, int count) {
  for (int number = 1; number <= count; ++number) {
    WriteBytes(FragmentName(base, number), std::string(1, static_cast<char>('a' + number % 26)));
  }
}

TEST(FragmentLimits, JoinsTheLargestSet) {
  TempDir dir(FastFolder());
  WriteOneByteFragments(dir / "x", 32766);
  ASSERT_TRUE(control::JoinFiles(dir / "x"));
  const std::string joined = ReadBytes(dir / "x");
  ASSERT_EQ(joined.size(), 32766u);
  EXPECT_EQ(joined[0], 'b');
  EXPECT_EQ(joined[32765], static_cast<char>('a' + 32766 % 26));
}

TEST(FragmentLimits, OneFragmentTooManyOverflowsBeforeTheJoinedFileIsTouched) {
  TempDir dir(FastFolder());
  WriteOneByteFragments(dir / "x", 32767);
  WriteBytes(dir / "x", "older");
  EXPECT_EQ(ErrorNumberOf([&] { control::JoinFiles(dir / "x"); }), 6);
  EXPECT_EQ(ReadBytes(dir / "x"), "older");
}

TEST(FragmentLimits, ASplitIntoMoreThanAJoinCanTakeOverflowsBeforeWritingAnything) {
  TempDir dir(FastFolder());
  WriteBytes(dir / "x", PatternBytes(32767));
  WriteBytes(dir / "x.1", "older");
  const int descriptors = OpenDescriptorCount();
  EXPECT_EQ(ErrorNumberOf([&] { control::SplitFiles(dir / "x", 1); }), 6);
  EXPECT_EQ(OpenDescriptorCount(), descriptors);
  EXPECT_EQ(ReadBytes(dir / "x.1"), "older");
  EXPECT_TRUE(control::SplitFiles(dir / "x", 2));  // 16384 fragments
  EXPECT_EQ(control::CountFragments(dir / "x"), 16384);
}

}  // namespace
