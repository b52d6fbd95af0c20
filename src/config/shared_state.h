// The values the GUI (main) thread and the network thread share, each access
// guarded by the one lock, StatsLock, and held only for one copy.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

// Guards every value below and the Settings record. Never held across a call
// into other code, a file or a network operation.
extern std::mutex StatsLock;

// Saved stats files waiting for the upload step, oldest first. Every saved
// file is queued, so none is lost when two are saved within one timer period;
// a path already waiting is not queued a second time (the upload reads the
// file as it is then).
void setPendingStatsFile(const std::string& path);
std::optional<std::string> takePendingStatsFile();

// 0 nothing to report, 1 every upload since the last announcement succeeded,
// any other value one of them failed.
enum : std::uint8_t { UploadNone = 0, UploadSucceeded = 1, UploadFailed = 2 };
// Adds one upload's outcome to those not yet announced: a failure among them
// is what the game hears.
void recordUploadOutcome(std::uint8_t outcome);
// The outcome to announce after `earlier`, then `later`.
std::uint8_t combinedUploadOutcome(std::uint8_t earlier, std::uint8_t later);
// Reads and resets the outcome in one locked step, so an outcome set between
// a read and a reset can never be lost.
std::uint8_t takeUploadOutcome();

void setSimulatorRunning(bool running);
bool simulatorRunning();

void setNetworkThreadRunning(bool running);
bool networkThreadRunning();
