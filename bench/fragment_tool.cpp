// Drives the fragment-set engine from the command line for the benchmark:
//   fragment-tool [OPTIONS] split FILE PARTS   cuts FILE into at most PARTS fragments
//   fragment-tool [OPTIONS] join FILE          rebuilds FILE from FILE.1, FILE.2, ...
// With --plain no checksum file is written or checked; with --progress each
// progress report is written to standard output as "DONE TOTAL"; with --exact
// a split makes exactly PARTS fragments of ceil(length / PARTS) bytes (the
// last one shorter) instead of taking the component's part size, and is bad
// usage when the file cannot be cut into exactly PARTS; with --recovery=K a
// split writes recovery data that rebuilds any K fragments.
// Exit status: 0 done, 1 the engine reported failure (the reason on standard
// error), 2 a runtime error, 3 bad usage.
#include <control/fragment_set.h>
#include <control/split_join.h>

#include <platform/file_rules.h>
#include <platform/runtime_error.h>

#include <charconv>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

namespace {

int Usage() {
  std::fputs("usage: fragment-tool [--plain] [--progress] [--exact] [--recovery=K] split FILE PARTS\n"
             "       fragment-tool [--plain] [--progress] join FILE\n",
             stderr);
  return 3;
}

int Report(const control::Outcome& outcome) {
  if (outcome) return 0;
  std::fprintf(stderr, "fragment-tool: not done%s%s\n", outcome.reason.empty() ? "" : ": ",
               outcome.reason.c_str());
  return 1;
}

// The part size that cuts `fileLength` bytes into exactly `parts` fragments,
// all but the last of that size; nothing when no size does (an empty file,
// or one too short: 9 bytes give 3, 3 and 3 for 4 parts).
std::optional<std::int64_t> ExactPartSize(std::int64_t fileLength, int parts) {
  if (fileLength <= 0) return std::nullopt;
  const std::int64_t size = (fileLength + parts - 1) / parts;
  if ((fileLength + size - 1) / size != parts) return std::nullopt;
  return size;
}

int Run(int argc, char** argv) {
  control::SetOptions options;
  bool exact = false;
  for (; argc > 1 && std::string_view(argv[1]).starts_with("--"); --argc, ++argv) {
    const std::string_view option = argv[1];
    if (option == "--plain") {
      options.checksums = false;
    } else if (option == "--exact") {
      exact = true;
    } else if (option.starts_with("--recovery=")) {
      const std::string_view count = option.substr(option.find('=') + 1);
      const auto [end, error] = std::from_chars(count.begin(), count.end(), options.recovery);
      if (error != std::errc() || end != count.end()) return Usage();
    } else if (option == "--progress") {
      options.progress = [](std::int64_t done, std::int64_t total) {
        std::printf("%lld %lld\n", static_cast<long long>(done), static_cast<long long>(total));
        return false;
      };
    } else {
      return Usage();
    }
  }
  const std::string_view command = argc > 1 ? argv[1] : "";
  if (command == "join" && argc == 3) return Report(control::JoinFiles(argv[2], options));
  if (command != "split" || argc != 4) return Usage();
  const std::string_view partsText = argv[3];
  int parts = 0;
  const auto [end, error] = std::from_chars(partsText.begin(), partsText.end(), parts);
  if (error != std::errc() || end != partsText.end() || parts < 2) return Usage();
  const std::string input = argv[2];
  const std::int64_t length = platform::FileLength(input);
  if (!exact) return Report(control::SplitFiles(input, control::PartSize(length, parts), options));
  const std::optional<std::int64_t> partSize = ExactPartSize(length, parts);
  if (!partSize) {
    std::fprintf(stderr, "fragment-tool: %lld bytes cannot be cut into exactly %d fragments\n",
                 static_cast<long long>(length), parts);
    return 3;
  }
  return Report(control::SplitFiles(input, *partSize, options));
}

}  // namespace

int main(int argc, char** argv) {
  platform::ReportFileSizeLimitAsFailure();
  try {
    return Run(argc, argv);
  } catch (const platform::RuntimeError& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return 2;
  }
}
