// Builds the race report from the race model, using the stats document's own
// rules for the player order, qualifying positions and lap counts.
#include "output/report_from_race.h"

#include "output/stats_document.h"
#include "system/clock.h"

#include <algorithm>
#include <vector>

namespace {

ReportLap reportLap(const PlayerStats& player, const LapRecord& lap, std::size_t index, bool qualifying) {
  ReportLap written;
  written.number = static_cast<std::uint32_t>(player.firstLap + index);
  const bool finishingLap = index + 1 == player.laps.size() && player.result && !qualifying;
  written.position = finishingLap ? player.result->position : lap.position;
  written.time = lap.time;
  // The closed-lap mark is not a time; the document writes 0 minutes there.
  if (written.time.minutes == kClosedLapMinutes) written.time.minutes = 0;
  written.speed = lap.speed;
  for (const SplitRecord& split : lap.splits)
    written.splits.push_back(ReportSplit{split.time, split.speed, split.position});
  return written;
}

ReportPlayer reportPlayer(const PlayerStats& player, std::optional<unsigned> racePosition, bool qualifying) {
  ReportPlayer written;
  written.name = player.name;
  written.userName = player.userName;
  written.carName = player.carName;
  if (player.startOrder != kRejoinedStartOrder) written.startOrder = player.startOrder + 1u;
  // A player picked for a race position carries the pick in its id meanwhile.
  written.lfsId = player.id < -2 ? player.id + 500 : player.id;
  if (player.result) {
    const ResultRecord& result = *player.result;
    written.result =
        ReportResult{result.totalTime, result.totalTimeLead, result.pitStops, result.penaltyFlags};
  }
  if (racePosition) {
    written.overallPosition = *racePosition;
  } else if (player.result) {
    written.overallPosition = player.result->position;
  }
  // As in the document: the first lap decides whether a best lap exists.
  const bool hasBestLap = !player.laps.empty() && !player.laps.front().time.isZero();
  if (hasBestLap && !player.bestLap.isZero()) written.bestLap = player.bestLap;
  written.bestSpeed = player.bestSpeed;
  written.flags = player.flags;
  const std::size_t laps = lapCount(player, qualifying);
  for (std::size_t j = 0; j < laps; ++j)
    written.laps.push_back(reportLap(player, player.laps[j], j, qualifying));
  return written;
}

ReportRaceInfo reportInfo(const RaceInfo& info) {
  ReportRaceInfo written;
  written.track = info.track;
  written.host = info.host;
  written.version = info.version;
  written.laps = info.laps;
  written.weather = info.weather;
  written.wind = info.wind;
  written.qualifyMinutes = info.qualifyMinutes;
  return written;
}

}  // namespace

RaceReport buildRaceReport(std::list<PlayerStats>& players, const std::optional<RaceInfo>& info,
                           const std::string& savedAt) {
  RaceReport report;
  report.savedAt = savedAt;
  const bool qualifying = isQualifying(info);
  if (info) report.info = reportInfo(*info);
  if (qualifying) assignQualifyingPositions(players);
  for (const PlacedPlayer& placed : documentOrder(players, qualifying)) {
    report.players.push_back(reportPlayer(*placed.player, placed.position, qualifying));
  }
  restoreAfterBuild(players, qualifying);
  return report;
}

std::string reportTimestamp() { return localDateText("yyyy-MM-dd") + localTimeText(" HH:mm"); }
