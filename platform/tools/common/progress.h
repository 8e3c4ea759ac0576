#pragma once

#include <chrono>
#include <cstdio>
#include <string>

namespace cli {

// "812 B", "1.5 KiB", "130.0 MiB", "2.3 GiB": a byte count for people.
std::string Amount(double bytes);

// How `component call --progress` shows an operation's Progress events on
// standard error. On a terminal, one line rewritten in place: percentage,
// amount, speed and time left. Elsewhere (a log, a pipe), one line at each
// further tenth of the work, "NN%" first, the last one "100%".
class ProgressPrinter {
 public:
  ProgressPrinter(std::FILE* out, bool terminal) : out_(out), terminal_(terminal) {}

  // One Progress event: `done` bytes of `total`. The first one of an
  // operation starts its line and its clock.
  void Report(double done, double total);
  // Ends the operation's line, if one was started (a cancel or a failure
  // ends it early); the next report starts anew.
  void End();
  // The error of the first write that failed, after which nothing more is
  // written; 0 while every write got through.
  int writeError() const { return writeError_; }

 private:
  using Clock = std::chrono::steady_clock;

  void Write(const std::string& text);

  std::FILE* out_;
  bool terminal_;
  bool running_ = false;
  int tenths_ = 0;  // the last tenth printed
  int writeError_ = 0;
  Clock::time_point start_;
};

}  // namespace cli
