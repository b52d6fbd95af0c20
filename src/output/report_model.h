// The race report's own picture of one race: the heading and every player
// with results, laps and splits in the order the stats document lists them.
// Built from the race model when a race is saved, or read back from a stats
// file; the HTML report is drawn from it alone. Plain values, any thread.
#pragma once

#include "race/race_time.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Texts are as the stats file holds them: ISO-8859-1 bytes with the
// simulator's colour codes and escapes.
struct ReportRaceInfo {
  std::string track;
  std::string host;
  std::string version;
  std::uint32_t laps = 0;
  std::uint32_t weather = 0;
  std::uint32_t wind = 0;
  std::uint32_t qualifyMinutes = 0;
};

struct ReportSplit {
  RaceTime time;
  std::uint32_t speed = 0;
  std::uint32_t position = 0;
};

struct ReportLap {
  std::uint32_t number = 0;
  std::uint32_t position = 0;
  RaceTime time;  // zero: the lap was closed without a time
  std::uint32_t speed = 0;
  std::vector<ReportSplit> splits;
};

struct ReportResult {
  RaceTime totalTime;
  std::uint32_t totalTimeLead = 0;
  std::uint32_t pitStops = 0;
  std::uint32_t penaltyFlags = 0;
};

struct ReportPlayer {
  std::string name;
  std::string userName;
  std::string carName;
  std::optional<std::uint32_t> startOrder;  // 1 = first; none: the player rejoined
  std::int32_t lfsId = -1;
  std::optional<ReportResult> result;
  std::optional<std::uint32_t> overallPosition;
  std::optional<RaceTime> bestLap;  // none: no lap time known
  std::uint32_t bestSpeed = 0;
  std::uint32_t flags = 0;
  std::vector<ReportLap> laps;
};

struct RaceReport {
  std::optional<ReportRaceInfo> info;
  // Local date and time of the save as "yyyy-MM-dd HH:mm"; empty when unknown.
  std::string savedAt;
  std::vector<ReportPlayer> players;

  bool isQualifying() const { return info && info->qualifyMinutes != 0; }
  bool isLappedRace() const { return info && info->qualifyMinutes == 0 && info->laps != 0; }
};
