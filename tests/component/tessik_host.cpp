#include "tessik_host.h"

#include <fstream>

namespace testing_support {

platform::Ref<platform::Dispatch> TessikHost::Create(bool initialise) const {
  platform::Ref<platform::Dispatch> object = platform::CreateObject("Tessik.FileSplit");
  if (initialise) platform::Query<platform::PersistProperties>(object.get())->InitDefaults();
  return object;
}

std::vector<std::string> TessikHost::Boxes() const {
  std::vector<std::string> lines;
  std::ifstream log(folder_ / "boxes.log");
  for (std::string line; std::getline(log, line);) lines.push_back(line);
  return lines;
}

}  // namespace testing_support
