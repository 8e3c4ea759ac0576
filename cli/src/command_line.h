#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tessik {

// What one run of tessik is asked to do.
struct Command {
  enum class Verb { Split, Join, Check, Repair, Help, Version };
  Verb verb = Verb::Help;
  std::string name;  // the file to split, or any member of the set to join or check

  // split
  std::optional<int> parts;        // -n
  std::optional<double> maxSize;   // --max-size, in bytes
  std::string fit;                 // --fit, the component's name for the medium
  std::string folder;              // -C
  bool checksums = true;           // --no-checksums clears it
  int recovery = 0;                // -r, recovery fragments' worth of PAR2 data
  bool dryRun = false;

  // join
  std::string output;  // -o
  bool force = false;  // -f

  bool quiet = false;  // -q
};

// Bad usage, in words for the person: the run ends with status 2.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The command the words after the program's name ask for. Options may come
// before or after the operand; "--" ends them. Raises UsageError.
Command ParseCommand(const std::vector<std::string>& words);

// A size as coreutils reads one: a number, a fraction allowed, and a unit: K,
// M, G, T (also KiB ...) are powers of 1024, KB, MB, GB, TB powers of 1000,
// none or B bytes; any letter case. Whole bytes, rounded down. Nothing for
// anything else or a size past 2^53.
std::optional<double> SizeFromText(std::string_view text);

}  // namespace tessik
