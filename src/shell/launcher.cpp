// The portable part of the simulator launcher.
#include "shell/launcher.h"

namespace {
const std::string insimTag = "[INSIM]";
const std::string startOption = "-startlfs";
}  // namespace

void expandInsimTag(std::string& parameters, unsigned port) {
  std::string expanded;
  expanded.reserve(parameters.size());
  std::string::size_type at = 0;
  while (at < parameters.size()) {
    if (parameters.compare(at, insimTag.size(), insimTag) == 0) {
      expanded += "/insim=" + std::to_string(port);
      at += insimTag.size();
    } else {
      expanded += parameters[at];
      ++at;
    }
  }
  parameters = std::move(expanded);
}

std::string simulatorWorkingFolder(const std::string& path) {
  std::string::size_type last = path.find_last_of("\\/");
  return last == std::string::npos ? std::string() : path.substr(0, last);
}

bool wantsSimulatorStart(const std::string& commandLine) {
  return commandLine.compare(0, startOption.size(), startOption) == 0;
}
