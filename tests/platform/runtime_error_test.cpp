#include <platform/runtime_error.h>

#include <gtest/gtest.h>

#include <cerrno>

namespace {

using platform::RuntimeError;

TEST(RuntimeError, EachNumberKeepsItsDescription) {
  const struct { int number; const char* description; } cases[] = {
      {5, "Invalid procedure call or argument"}, {6, "Overflow"},
      {7, "Out of memory"}, {13, "Type mismatch"},
      {52, "Bad file name or number"}, {53, "File not found"},
      {57, "Device I/O error"}, {61, "Disk full"},
      {62, "Input past end of file"}, {70, "Permission denied"},
      {75, "Path/File access error"}, {76, "Path not found"},
      {9999, "Application-defined or object-defined error"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.number);
    EXPECT_EQ(platform::DescribeError(c.number), c.description);
  }
}

TEST(RuntimeError, FileFailuresMapToTheRuntimeNumbers) {
  const struct { int errnoValue; int number; } cases[] = {
      {ENOENT, 53}, {ENOTDIR, 76}, {EACCES, 70}, {EPERM, 70}, {EWOULDBLOCK, 70},
      {EROFS, 75}, {EISDIR, 75}, {ENOSPC, 61}, {EFBIG, 61}, {EIO, 57},
      {ENAMETOOLONG, 52},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.errnoValue);
    EXPECT_EQ(platform::FileError(c.errnoValue, "x").number(), c.number);
  }
}

TEST(RuntimeError, MessageNamesNumberDescriptionAndFile) {
  const RuntimeError error(platform::ErrorNumber::FileNotFound, "/data/film.avi");
  EXPECT_EQ(error.description(), "File not found");
  EXPECT_EQ(error.path(), "/data/film.avi");
  EXPECT_STREQ(error.what(), "error 53: File not found: /data/film.avi");
}

}  // namespace
