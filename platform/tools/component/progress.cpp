#include "progress.h"

#include <platform/conversions.h>

#include <cstdio>

namespace component_tool {
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
  const double fraction = total > 0 ? done / total : 1.0;
  const int percent = static_cast<int>(fraction * 100);
  if (!terminal_) {
    const int tenths = static_cast<int>(fraction * 10);
    if (tenths <= tenths_) return;
    tenths_ = tenths;
    std::fprintf(out_, "%d%% %s of %s\n", tenths * 10, Amount(done).c_str(),
                 Amount(total).c_str());
    std::fflush(out_);
    return;
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start_).count();
  std::string line = std::to_string(percent) + "% " + Amount(done) + " of " + Amount(total);
  if (seconds >= kSecondsBeforeEstimate && done > 0) {
    const double speed = done / seconds;
    line += ", " + Amount(speed) + "/s, " + platform::ClockText((total - done) / speed) + " left";
  }
  // The line is rewritten from its start, and what a longer one left is cleared.
  std::fprintf(out_, "\r%s\033[K", line.c_str());
  std::fflush(out_);
}

void ProgressPrinter::End() {
  if (!running_) return;
  running_ = false;
  if (terminal_) {
    std::fputc('\n', out_);
    std::fflush(out_);
  }
}

}  // namespace component_tool
