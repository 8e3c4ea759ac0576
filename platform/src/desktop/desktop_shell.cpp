#include <platform/desktop_shell.h>

#include <platform/runtime_error.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace platform {
namespace {

constexpr const char* kOpenerName = "xdg-open";
// Where the opener is looked for when PATH is not set at all.
constexpr const char* kDefaultSearchPath = "/usr/bin:/bin";
// How far the descriptor sweep goes on kernels without close_range().
constexpr rlim_t kDescriptorSweepLimit = 65536;

// Everything the started process needs, prepared before the fork: after it
// only async-signal-safe calls are allowed, so nothing is allocated there.
struct LaunchPlan {
  std::vector<std::string> candidates;  // the opener's possible full paths
  std::vector<const char*> candidatePointers;
  const char* argv[3] = {};
  char** envp = nullptr;
  int highestDescriptor = 0;
};

// Every place PATH lets the opener be, in search order; an empty entry is the
// current folder.
std::vector<std::string> OpenerCandidates() {
  const char* searchPath = std::getenv("PATH");
  const std::string path = searchPath != nullptr ? searchPath : kDefaultSearchPath;
  std::vector<std::string> candidates;
  std::size_t start = 0;
  while (true) {
    const std::size_t end = std::min(path.find(':', start), path.size());
    const std::string folder = path.substr(start, end - start);
    candidates.push_back((folder.empty() ? "." : folder) + "/" + kOpenerName);
    if (end == path.size()) break;
    start = end + 1;
  }
  return candidates;
}

int HighestDescriptor() {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
    return static_cast<int>(kDescriptorSweepLimit - 1);
  }
  return static_cast<int>(std::min(limit.rlim_cur, kDescriptorSweepLimit) - 1);
}

LaunchPlan PlanLaunch(const std::string& target) {
  LaunchPlan plan;
  plan.candidates = OpenerCandidates();
  for (const std::string& candidate : plan.candidates) {
    plan.candidatePointers.push_back(candidate.c_str());
  }
  plan.argv[0] = kOpenerName;
  plan.argv[1] = target.c_str();
  plan.envp = environ;
  plan.highestDescriptor = HighestDescriptor();
  return plan;
}

[[noreturn]] void ReportFailure(int errorPipe, int error) {
  ssize_t ignored = write(errorPipe, &error, sizeof error);
  (void)ignored;
  _exit(127);
}

// Gives a started process the signal state of a fresh one: nothing blocked,
// nothing ignored that the caller chose to ignore for itself, and none of
// the caller's handlers (the watcher runs the caller's code, never execs).
void ResetSignals() {
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  for (int signal = 1; signal < NSIG; ++signal) {
    struct sigaction current {};
    if (sigaction(signal, nullptr, &current) == 0 && current.sa_handler != SIG_DFL) {
      struct sigaction fallback {};
      fallback.sa_handler = SIG_DFL;
      sigaction(signal, &fallback, nullptr);
    }
  }
}

// Leaves the opener the standard streams only: every other descriptor of the
// caller is closed when the opener starts.
void KeepOnlyStandardStreams(int highestDescriptor) {
  if (close_range(STDERR_FILENO + 1, ~0U, CLOSE_RANGE_CLOEXEC) == 0) return;
  for (int fd = STDERR_FILENO + 1; fd <= highestDescriptor; ++fd) fcntl(fd, F_SETFD, FD_CLOEXEC);
}

// Closes the descriptors from `first` to `last` that are above the standard streams.
void CloseRange(int first, int last, int highestDescriptor) {
  first = std::max(first, STDERR_FILENO + 1);
  if (first > last || close_range(first, last, 0) == 0) return;
  for (int fd = first; fd <= std::min(last, highestDescriptor); ++fd) close(fd);
}

// Closes every descriptor of the caller but the standard streams and the two
// kept: a watcher that may live for hours holds none of the caller's files,
// locks or connections.
void KeepOnly(int kept, int keptToo, int highestDescriptor) {
  const int low = std::min(kept, keptToo), high = std::max(kept, keptToo);
  CloseRange(0, low - 1, highestDescriptor);
  CloseRange(low + 1, high - 1, highestDescriptor);
  CloseRange(high + 1, INT_MAX, highestDescriptor);
}

// Runs in the detached process: becomes a session of its own and replaces
// itself with the first opener on the search path that starts. Reports the
// reason through `errorPipe` when none does.
[[noreturn]] void ExecOpener(const LaunchPlan& plan, int errorPipe) {
  setsid();
  ResetSignals();
  KeepOnlyStandardStreams(plan.highestDescriptor);
  int failure = ENOENT;  // stays so unless an opener was found but refused
  for (const char* candidate : plan.candidatePointers) {
    execve(candidate, const_cast<char* const*>(plan.argv), plan.envp);
    if (errno != ENOENT && errno != ENOTDIR && failure == ENOENT) failure = errno;
  }
  ReportFailure(errorPipe, failure);
}

// The watcher: starts the opener as its own child, waits for it to end and
// writes its exit status, one byte, into `statusPipe`; nothing when it was
// killed or could not be waited for. Its end closes the pipe either way. A
// caller that stopped listening ends it at the write (SIGPIPE), its last step.
[[noreturn]] void WatchOpener(const LaunchPlan& plan, int errorPipe, int statusPipe) {
  ResetSignals();
  KeepOnly(errorPipe, statusPipe, plan.highestDescriptor);
  const pid_t opener = _Fork();
  if (opener < 0) ReportFailure(errorPipe, errno);
  if (opener == 0) ExecOpener(plan, errorPipe);
  close(errorPipe);  // the opener's copy alone tells the caller it started
  int status = 0;
  pid_t waited;
  do {
    waited = waitpid(opener, &status, 0);
  } while (waited < 0 && errno == EINTR);
  if (waited == opener && WIFEXITED(status)) {
    const auto code = static_cast<unsigned char>(WEXITSTATUS(status));
    ssize_t ignored = write(statusPipe, &code, sizeof code);
    (void)ignored;
  }
  _exit(0);
}

// The intermediate process: starts the detached one, the opener or, when
// `statusPipe` is open, its watcher, and ends at once, so that one is
// adopted by init (no zombie of ours) and outlives the caller.
[[noreturn]] void StartDetached(const LaunchPlan& plan, int errorPipe, int statusPipe) {
  const pid_t child = _Fork();  // no fork handlers: other threads' locks are gone
  if (child < 0) ReportFailure(errorPipe, errno);
  if (child == 0 && statusPipe < 0) ExecOpener(plan, errorPipe);
  if (child == 0) WatchOpener(plan, errorPipe, statusPipe);
  _exit(0);
}

// Waits for the opener to have started; 0 when it has, else why not. The
// pipe's write end closes on a successful exec, so end-of-file means started.
int AwaitStart(int errorPipe) {
  int error = 0;
  ssize_t received;
  do {
    received = read(errorPipe, &error, sizeof error);
  } while (received < 0 && errno == EINTR);
  return received == static_cast<ssize_t>(sizeof error) ? error : 0;
}

void Reap(pid_t child) {
  while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
  }
}

// Starts the opener detached, through a watcher that reports into
// `statusPipe` when that is open; returns once it has started, or raises why
// it could not.
void Launch(const std::string& target, int statusPipe) {
  if (target.find('\0') != std::string::npos) throw FileError(EINVAL, target);
  const LaunchPlan plan = PlanLaunch(target);
  int errorPipe[2];
  if (pipe2(errorPipe, O_CLOEXEC) != 0) throw FileError(errno, kOpenerName);
  const pid_t child = fork();
  if (child == 0) StartDetached(plan, errorPipe[1], statusPipe);
  const int forkError = errno;
  close(errorPipe[1]);
  if (child < 0) {
    close(errorPipe[0]);
    throw FileError(forkError, kOpenerName);
  }
  Reap(child);
  const int startError = AwaitStart(errorPipe[0]);
  close(errorPipe[0]);
  if (startError != 0) throw FileError(startError, kOpenerName);
}

}  // namespace

void OpenWithDesktop(const std::string& target) { Launch(target, -1); }

int OpenWithDesktopWatched(const std::string& target) {
  int statusPipe[2];
  if (pipe2(statusPipe, O_CLOEXEC) != 0) throw FileError(errno, kOpenerName);
  try {
    Launch(target, statusPipe[1]);
  } catch (...) {
    close(statusPipe[0]);
    close(statusPipe[1]);
    throw;
  }
  close(statusPipe[1]);
  return statusPipe[0];
}

std::optional<int> OpenerExitStatus(int descriptor) {
  unsigned char code = 0;
  ssize_t received;
  do {
    received = read(descriptor, &code, sizeof code);
  } while (received < 0 && errno == EINTR);
  if (received != static_cast<ssize_t>(sizeof code)) return std::nullopt;
  return code;
}

}  // namespace platform
