#include "progress.h"

#include <platform/conversions.h>

#include <cerrno>
#include <cstdio>

namespace cli {
namespace {

// Before this long, the speed says more about start-up than about the disk.
constexpr double kSecondsBeforeEstimate = 0.5;

}  // namespace

std::string Amount(double bytes) {
  static constexpr const char* kUnits[] = {"B", "KiB", "MiB", "GiB", "TiB"};
  int unit = 0;
  while (bytes >= 1024 && unit < 4) {
    bytes /= 1024;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", bytes, kUnits[unit]);
  return text;
}

void ProgressPrinter::Report(double done, double total) {
  if (!running_) {
    running_ = true;
    tenths_ = 0;
    start_ = Clock::now();
  }
  if (total <= 0) return;  // the work has yet to measure itself
  const double fraction = done / total;
  const int percent = static_cast<int>(fraction * 100);
  if (!terminal_) {
    const int tenths = static_cast<int>(fraction * 10);
    if (tenths <= tenths_) return;
    tenths_ = tenths;
    Write(std::to_string(tenths * 10) + "% " + Amount(done) + " of " + Amount(total) + "\n");
    return;
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start_).count();
  std::string line = std::to_string(percent) + "% " + Amount(done) + " of " + Amount(total);
  if (seconds >= kSecondsBeforeEstimate && done > 0) {
    const double speed = done / seconds;
    line += ", " + Amount(speed) + "/s, " + platform::ClockText((total - done) / speed) + " left";
  }
  // The line is rewritten from its start, and what a longer one left is cleared.
  Write("\r" + line + "\033[K");
}

void ProgressPrinter::End() {
  if (!running_) return;
  running_ = false;
  if (terminal_) Write("\n");
}

void ProgressPrinter::Write(const std::string& text) {
  if (writeError_ != 0) return;
  errno = 0;
  if (std::fputs(text.c_str(), out_) < 0 || std::fflush(out_) != 0) {
    writeError_ = errno != 0 ? errno : EIO;
  }
}

}  // namespace cli
