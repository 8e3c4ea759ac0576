#include "command_line.h"

#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace tessik {
namespace {

using Verb = Command::Verb;

// The verbs an option belongs to, as bits.
constexpr unsigned kSplit = 1, kJoin = 2, kCheck = 4, kRepair = 8, kAll = kSplit | kJoin | kCheck | kRepair;

struct Option {
  char shortName;  // 0 for none
  std::string_view longName;
  bool takesValue;
  unsigned verbs;
};

constexpr std::array<Option, 12> kOptions = {{
    {'n', "parts", true, kSplit},
    {0, "max-size", true, kSplit},
    {0, "fit", true, kSplit},
    {'C', "directory", true, kSplit},
    {0, "no-checksums", false, kSplit},
    {0, "dry-run", false, kSplit},
    {'r', "recovery", true, kSplit},
    {'o', "output", true, kJoin},
    {'f', "force", false, kJoin},
    {'q', "quiet", false, kAll},
    {'h', "help", false, kAll},
    {0, "version", false, kAll},
}};

// The media --fit knows, by the name people type and the component's name.
constexpr std::array<std::pair<std::string_view, std::string_view>, 6> kMedia = {{
    {"fat32", "FAT32"}, {"cd", "CD"}, {"dvd", "DVD"}, {"dvd-dl", "DVD DL"}, {"bd", "BD"}, {"mail", "mail"},
}};

constexpr double kLargestExactCount = 9007199254740992.0;  // 2^53

unsigned VerbBit(Verb verb) {
  switch (verb) {
    case Verb::Split: return kSplit;
    case Verb::Join: return kJoin;
    case Verb::Repair: return kRepair;
    default: return kCheck;
  }
}

int PartsFromText(const std::string& text) {
  int parts = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), parts);
  if (error != std::errc() || end != text.data() + text.size()) {
    throw UsageError("'" + text + "' is not a number of parts");
  }
  if (parts < 2 || parts > 32767) throw UsageError("the number of parts is from 2 to 32767");
  return parts;
}

int RecoveryFromText(const std::string& text) {
  int count = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), count);
  if (error != std::errc() || end != text.data() + text.size() || count < 0 || count > 32766) {
    throw UsageError("'" + text + "' is not a number of recovery fragments (0 to the number of parts)");
  }
  return count;
}

std::string MediumName(const std::string& text) {
  for (const auto& [typed, name] : kMedia) {
    if (text == typed) return std::string(name);
  }
  throw UsageError("unknown medium '" + text + "' (fat32, cd, dvd, dvd-dl, bd or mail)");
}

// Takes one option, with its value when it has one, into `command`.
void Take(Command& command, const Option& option, const std::string& value) {
  const std::string_view name = option.longName;
  const bool sizing = name == "parts" || name == "max-size" || name == "fit";
  if (sizing && (command.parts || command.maxSize || !command.fit.empty())) {
    throw UsageError("give one of -n, --max-size and --fit");
  }
  if (name == "parts") command.parts = PartsFromText(value);
  if (name == "max-size") {
    command.maxSize = SizeFromText(value);
    if (!command.maxSize) throw UsageError("'" + value + "' is not a size (such as 700M, 4.7GB or 25000000)");
    if (*command.maxSize < 1) throw UsageError("a part holds at least 1 byte");
  }
  if (name == "fit") command.fit = MediumName(value);
  if (name == "directory") command.folder = value;
  if (name == "no-checksums") command.checksums = false;
  if (name == "dry-run") command.dryRun = true;
  if (name == "recovery") command.recovery = RecoveryFromText(value);
  if (name == "output") command.output = value;
  if (name == "force") command.force = true;
  if (name == "quiet") command.quiet = true;
  if (name == "help") command.verb = Verb::Help;
  if (name == "version") command.verb = Verb::Version;
}

const Option& Known(const Option* found, const std::string& word, unsigned verb) {
  if (found == nullptr) throw UsageError("unknown option '" + word + "'");
  if ((found->verbs & verb) == 0) throw UsageError("'" + word + "' is not an option of this command");
  return *found;
}

const Option* ByLongName(std::string_view name) {
  for (const Option& option : kOptions) {
    if (option.longName == name) return &option;
  }
  return nullptr;
}

const Option* ByShortName(char name) {
  for (const Option& option : kOptions) {
    if (option.shortName == name) return &option;
  }
  return nullptr;
}

}  // namespace

std::optional<double> SizeFromText(std::string_view text) {
  std::size_t digits = 0;
  while (digits < text.size() && (std::isdigit(static_cast<unsigned char>(text[digits])) || text[digits] == '.')) {
    ++digits;
  }
  const std::string number(text.substr(0, digits));
  std::string unit(text.substr(digits));
  for (char& letter : unit) letter = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
  if (number.empty() || number.front() == '.' || number.back() == '.' ||
      number.find('.') != number.rfind('.')) {
    return std::nullopt;
  }
  double power = 0, base = 1024;
  if (!unit.empty() && unit != "B") {
    const std::size_t letter = std::string_view("KMGT").find(unit[0]);
    if (letter == std::string_view::npos) return std::nullopt;
    power = static_cast<double>(letter + 1);
    const std::string rest = unit.substr(1);
    if (rest == "B") base = 1000;
    else if (!rest.empty() && rest != "IB") return std::nullopt;
  }
  const double bytes = std::floor(std::strtod(number.c_str(), nullptr) * std::pow(base, power));
  if (bytes > kLargestExactCount) return std::nullopt;
  return bytes;
}

Command ParseCommand(const std::vector<std::string>& words) {
  Command command;
  if (words.empty()) throw UsageError("no command given");
  const std::string& first = words[0];
  if (first == "--help" || first == "-h") return command;
  if (first == "--version") return command.verb = Verb::Version, command;
  if (first == "split") command.verb = Verb::Split;
  else if (first == "join") command.verb = Verb::Join;
  else if (first == "check") command.verb = Verb::Check;
  else if (first == "repair") command.verb = Verb::Repair;
  else throw UsageError("unknown command '" + first + "'");
  const Verb verb = command.verb;
  const unsigned bit = VerbBit(verb);

  std::vector<std::string> operands;
  bool options = true;
  for (std::size_t i = 1; i < words.size(); ++i) {
    const std::string& word = words[i];
    if (!options || word == "-" || word.size() < 2 || word[0] != '-') {
      operands.push_back(word);
    } else if (word == "--") {
      options = false;
    } else if (word.starts_with("--")) {
      const std::size_t equals = word.find('=');
      const Option& option = Known(ByLongName(std::string_view(word).substr(2, equals - 2)), word, bit);
      std::string value;
      if (option.takesValue && equals != std::string::npos) value = word.substr(equals + 1);
      else if (option.takesValue && i + 1 < words.size()) value = words[++i];
      else if (option.takesValue) throw UsageError("'" + word + "' needs a value");
      else if (equals != std::string::npos) throw UsageError("'" + word.substr(0, equals) + "' takes no value");
      Take(command, option, value);
    } else {
      // Short options, clustered as in "-fq"; a value follows its letter or
      // is the next word.
      for (std::size_t letter = 1; letter < word.size(); ++letter) {
        const Option& option = Known(ByShortName(word[letter]), std::string{'-', word[letter]}, bit);
        if (!option.takesValue) {
          Take(command, option, {});
          continue;
        }
        std::string value = word.substr(letter + 1);
        if (value.empty() && i + 1 >= words.size()) throw UsageError(std::string{'-', word[letter]} + " needs a value");
        if (value.empty()) value = words[++i];
        Take(command, option, value);
        break;
      }
    }
    if (command.verb == Verb::Help || command.verb == Verb::Version) return command;
  }
  if (operands.empty()) throw UsageError("name the file");
  if (operands.size() > 1) throw UsageError("one file at a time ('" + operands[1] + "' is one too many)");
  command.name = operands[0];
  return command;
}

}  // namespace tessik
