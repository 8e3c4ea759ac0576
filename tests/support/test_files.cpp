#include "test_files.h"

#include <platform/runtime_error.h>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>

namespace testing_support {

TempDir::TempDir(const std::string& parent) {
  const char* tmp = std::getenv("TMPDIR");
  const std::string base = !parent.empty() ? parent : tmp != nullptr && *tmp != '\0' ? tmp : "/tmp";
  std::string pattern = base + "/talhaz-test-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed in " + base);
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string PatternBytes(std::size_t length, std::uint32_t seed) {
  std::mt19937 generator(seed);
  std::string bytes(length, '\0');
  for (char& byte : bytes) byte = static_cast<char>(generator() & 0xFF);
  return bytes;
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out.flush()) throw std::runtime_error("cannot write " + path);
}

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void SetMode(const std::string& path, mode_t mode) {
  if (chmod(path.c_str(), mode) != 0) throw std::runtime_error("cannot chmod " + path);
}

bool SameContent(const std::string& left, const std::string& right) {
  return std::system(("cmp -s '" + left + "' '" + right + "'").c_str()) == 0;
}

int ErrorNumberOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const platform::RuntimeError& error) {
    return error.number();
  }
  return 0;
}

int OpenDescriptorCount() {
  DIR* folder = opendir("/proc/self/fd");
  int count = folder == nullptr ? -1 : 0;
  while (folder != nullptr && readdir(folder) != nullptr) ++count;
  if (folder != nullptr) closedir(folder);
  return count;
}

std::string WriteFakeOpener(const std::string& dir, const std::string& body, mode_t mode, int status) {
  const std::string bin = dir + "/bin", opener = bin + "/xdg-open";
  std::filesystem::create_directories(bin);
  const std::string record = "printf '%s\\n%s' \"$#\" \"$1\" > \"$D/tmp\"; mv \"$D/tmp\" \"$D/opened\"\nexit ";
  WriteBytes(opener,
             "#!/bin/sh\nPATH=/usr/bin:/bin\nD='" + dir + "'\n" + (body.empty() ? record + std::to_string(status) : body));
  SetMode(opener, mode);
  return bin;
}

bool WaitForFile(const std::string& path) {
  for (int i = 0; i < 500 && access(path.c_str(), F_OK) != 0; ++i) usleep(10'000);
  return access(path.c_str(), F_OK) == 0;
}

namespace {

// Takes a lock of `kind` over the whole open file; false when it failed.
bool TakeLock(int descriptor, LockKind kind) {
  if (kind == LockKind::Flock) return flock(descriptor, LOCK_EX) == 0;
  if (kind == LockKind::Lockf) return lockf(descriptor, F_LOCK, 0) == 0;
  struct flock range {};  // from the start, to the end however long
  range.l_type = kind == LockKind::SharedRecord ? F_RDLCK : F_WRLCK;
  return fcntl(descriptor, kind == LockKind::OpenFileDescription ? F_OFD_SETLKW : F_SETLKW, &range) == 0;
}

}  // namespace

LockHolder::LockHolder(const std::string& path, LockKind kind) {
  int ready[2];
  if (pipe(ready) != 0) throw std::runtime_error("pipe failed");
  child_ = fork();
  if (child_ == 0) {
    const int descriptor = open(path.c_str(), kind == LockKind::Flock || kind == LockKind::SharedRecord
                                                  ? O_RDONLY | O_CLOEXEC : O_RDWR | O_CLOEXEC);
    const char state = descriptor >= 0 && TakeLock(descriptor, kind) ? 'L' : 'E';
    (void)!write(ready[1], &state, 1);
    for (;;) pause();
  }
  close(ready[1]);
  char state = 'E';
  const bool told = read(ready[0], &state, 1) == 1;
  close(ready[0]);
  if (!told || state != 'L') throw std::runtime_error("cannot lock " + path);
}

ScopedEnvironment::ScopedEnvironment(const char* name, const char* value) : name_(name) {
  if (const char* old = std::getenv(name)) old_ = old;
  value != nullptr ? setenv(name, value, 1) : unsetenv(name);
}

ScopedEnvironment::~ScopedEnvironment() { old_ ? setenv(name_.c_str(), old_->c_str(), 1) : unsetenv(name_.c_str()); }

LockHolder::~LockHolder() {
  if (child_ > 0) kill(child_, SIGKILL), waitpid(child_, nullptr, 0);
}

}  // namespace testing_support
