// Preloaded into a program (LD_PRELOAD) to make reads, writes and kernel
// copies on regular files transfer fewer bytes than asked, as a file system
// may: a caller that does not continue after a short transfer loses data.
//   SHORT_IO=1      every call transfers at most one byte
//   SHORT_IO=mix    a varying part of the request, often a single byte
//   SHORT_IO_LOG=F  at exit, appends "shortened N" to F (N calls cut short)
//   SHORT_IO_PACE=MS  a slow disk: every call waits MS milliseconds first and
//                   moves at most 64 KiB (read at each call, so a test may
//                   change it while it runs)
//   SHORT_IO_FLUSH=MS   a slow flush: every fsync and fdatasync waits MS
//                   milliseconds first; short_io_flush_time() tells a test
//                   for how many milliseconds so far at least one flush
//                   was under way, short_io_flushing() how many are now
// Pipes, terminals and sockets pass through untouched. Only the calls the
// programs make are wrapped (nm -D lists read, write, pread, copy_file_range).
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

static unsigned long shortened;

// The count to pass on instead of `count`.
static size_t Shorten(int fd, size_t count) {
  static unsigned long calls;
  static unsigned int state = 2463534242u;
  const char* mode = getenv("SHORT_IO");
  const char* pace = getenv("SHORT_IO_PACE");
  struct stat status;
  if (count <= 1 || (mode == NULL && pace == NULL) || fstat(fd, &status) != 0 ||
      !S_ISREG(status.st_mode)) {
    return count;
  }
  if (mode == NULL) {
    usleep((useconds_t)atoi(pace) * 1000u);
    return count < 65536 ? count : 65536;
  }
  size_t result = 1;
  if (strcmp(mode, "mix") == 0 && __atomic_fetch_add(&calls, 1, __ATOMIC_RELAXED) % 3 != 0) {
    state ^= state << 13;  // xorshift: the same sequence on every run
    state ^= state >> 17;
    state ^= state << 5;
    result = 1 + state % count;
  }
  if (result < count) __atomic_fetch_add(&shortened, 1, __ATOMIC_RELAXED);
  return result;
}

// next_NAME: the function that NAME would be without this library.
#define NEXT(name)                      \
  static __typeof__(&name) next_##name; \
  if (next_##name == NULL) *(void**)&next_##name = dlsym(RTLD_NEXT, #name)

ssize_t read(int fd, void* buffer, size_t count) {
  NEXT(read);
  return next_read(fd, buffer, Shorten(fd, count));
}

ssize_t write(int fd, const void* buffer, size_t count) {
  NEXT(write);
  return next_write(fd, buffer, Shorten(fd, count));
}

ssize_t pread(int fd, void* buffer, size_t count, off_t offset) {
  NEXT(pread);
  return next_pread(fd, buffer, Shorten(fd, count), offset);
}

ssize_t copy_file_range(int in, off64_t* inOffset, int out, off64_t* outOffset, size_t count,
                        unsigned int flags) {
  NEXT(copy_file_range);
  return next_copy_file_range(in, inOffset, out, outOffset, Shorten(in, count), flags);
}

static pthread_mutex_t flushes = PTHREAD_MUTEX_INITIALIZER;
static int flushing;
static double flushStart, flushTime;  // milliseconds

// Counts a flush beginning (+1), ending (-1) or none (0); the milliseconds
// so far for which at least one was under way.
static double CountFlush(int change) {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  const double ms = (double)now.tv_sec * 1000 + (double)now.tv_nsec / 1e6;
  pthread_mutex_lock(&flushes);
  if (flushing == 0 && change > 0) flushStart = ms;
  flushing += change;
  if (flushing == 0 && change < 0) flushTime += ms - flushStart;
  const double time = flushTime + (flushing > 0 ? ms - flushStart : 0);
  pthread_mutex_unlock(&flushes);
  return time;
}

double short_io_flush_time(void) { return CountFlush(0); }
int short_io_flushing(void) { return __atomic_load_n(&flushing, __ATOMIC_RELAXED); }

// Runs one flush, slowed as SHORT_IO_FLUSH says.
static int SlowFlush(int (*flush)(int), int fd) {
  const char* delay = getenv("SHORT_IO_FLUSH");
  if (delay == NULL) return flush(fd);
  CountFlush(1);
  usleep((useconds_t)atoi(delay) * 1000u);
  const int result = flush(fd);
  const int error = errno;
  CountFlush(-1);
  errno = error;
  return result;
}

int fsync(int fd) {
  NEXT(fsync);
  return SlowFlush(next_fsync, fd);
}

int fdatasync(int fd) {
  NEXT(fdatasync);
  return SlowFlush(next_fdatasync, fd);
}

__attribute__((destructor)) static void Report(void) {
  const char* log = getenv("SHORT_IO_LOG");
  if (log == NULL) return;
  char line[64];
  const int length = snprintf(line, sizeof line, "shortened %lu\n", shortened);
  const int fd = open(log, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return;
  NEXT(write);
  next_write(fd, line, (size_t)length);
  close(fd);
}
