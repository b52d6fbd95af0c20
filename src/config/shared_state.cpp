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
  pendingStatsFiles.push_back(path);
}

std::optional<std::string> takePendingStatsFile() {
  std::lock_guard<std::mutex> lock(StatsLock);
  if (pendingStatsFiles.empty()) return std::nullopt;
  std::string oldest = std::move(pendingStatsFiles.front());
  pendingStatsFiles.pop_front();
  return oldest;
}

void setUploadOutcome(std::uint8_t outcome) {
  std::lock_guard<std::mutex> lock(StatsLock);
  uploadOutcome = outcome;
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
