// The cross-thread slots and flags, each access one lock-copy-unlock step.
#include "config/shared_state.h"

#include <deque>

std::mutex StatsLock;

namespace {
std::deque<std::string> pendingStatsFiles;
std::uint8_t uploadOutcome = UploadNone;
bool simulatorRunningFlag = false;
bool networkThreadRunningFlag = false;
}  // namespace

void setPendingStatsFile(const std::string& path) {
  std::lock_guard<std::mutex> lock(StatsLock);
  // A file saved again before its upload is uploaded once, in its first place.
  for (const std::string& waiting : pendingStatsFiles) {
    if (waiting == path) return;
  }
  pendingStatsFiles.push_back(path);
}

std::optional<std::string> takePendingStatsFile() {
  std::lock_guard<std::mutex> lock(StatsLock);
  if (pendingStatsFiles.empty()) return std::nullopt;
  std::string oldest = std::move(pendingStatsFiles.front());
  pendingStatsFiles.pop_front();
  return oldest;
}

void recordUploadOutcome(std::uint8_t outcome) {
  std::lock_guard<std::mutex> lock(StatsLock);
  uploadOutcome = combinedUploadOutcome(uploadOutcome, outcome);
}

std::uint8_t combinedUploadOutcome(std::uint8_t earlier, std::uint8_t later) {
  if (later == UploadNone) return earlier;
  return earlier == UploadNone || earlier == UploadSucceeded ? later : earlier;
}

std::uint8_t takeUploadOutcome() {
  std::lock_guard<std::mutex> lock(StatsLock);
  std::uint8_t outcome = uploadOutcome;
  uploadOutcome = UploadNone;
  return outcome;
}

void setSimulatorRunning(bool running) {
  std::lock_guard<std::mutex> lock(StatsLock);
  simulatorRunningFlag = running;
}

bool simulatorRunning() {
  std::lock_guard<std::mutex> lock(StatsLock);
  return simulatorRunningFlag;
}

void setNetworkThreadRunning(bool running) {
  std::lock_guard<std::mutex> lock(StatsLock);
  networkThreadRunningFlag = running;
}

bool networkThreadRunning() {
  std::lock_guard<std::mutex> lock(StatsLock);
  return networkThreadRunningFlag;
}
