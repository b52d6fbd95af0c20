// Operations on the race model: player lookup and lifecycle, laps and splits,
// race info and the running-order table.
#include "race/race_model.h"

#include <algorithm>

std::string fieldText(std::string_view text, std::size_t width) {
  const std::size_t nul = text.find('\0');
  if (nul != std::string_view::npos) text = text.substr(0, nul);
  const std::size_t keep = width == 0 ? 0 : width - 1;
  return std::string(text.substr(0, keep));
}

bool isQualifying(const std::optional<RaceInfo>& info) {
  return info.has_value() && info->qualifyMinutes != 0;
}

bool isLappedRace(const std::optional<RaceInfo>& info) {
  return info.has_value() && info->qualifyMinutes == 0 && info->laps != 0;
}

PlayerStats* RaceStats::findPlayer(std::uint8_t id) {
  for (PlayerStats& player : players) {
    if (player.id == id) return &player;
  }
  return nullptr;
}

PlayerStats* RaceStats::findPlayerByName(std::string_view name) {
  for (PlayerStats& player : players) {
    if (player.name == name) return &player;
  }
  return nullptr;
}

PlayerStats* RaceStats::findLeftPlayerByName(std::string_view name) {
  for (PlayerStats& player : players) {
    if (player.id == -1 && player.name == name) return &player;
  }
  return nullptr;
}

PlayerStats& RaceStats::addPlayer(std::uint8_t id, std::string_view name) {
  // A new race starts with its first player, except in qualifying, where the
  // running order is not used.
  if (players.empty() && !isQualifying()) positions.fill(PositionEntry{});
  PlayerStats& player = players.emplace_back();
  player.id = id;
  player.setName(name);
  return player;
}

void RaceStats::resetPlayer(PlayerStats& player) {
  player.laps.clear();
  player.result.reset();
  player.id = -1;
}

void RaceStats::removePlayer(PlayerStats& player) {
  resetPlayer(player);
  for (auto it = players.begin(); it != players.end(); ++it) {
    if (&*it == &player) {
      players.erase(it);
      return;
    }
  }
}

void RaceStats::clear() {
  while (!players.empty()) removePlayer(players.front());
  info.reset();
}

LapRecord& RaceStats::openLap(PlayerStats& player) { return player.laps.emplace_back(); }

SplitRecord& RaceStats::openSplit(PlayerStats& player) {
  LapRecord* lap = player.lastLap();
  if (lap == nullptr || !lap->time.isZero()) lap = &openLap(player);
  return lap->splits.emplace_back();
}

void RaceStats::closeLap(PlayerStats& player) {
  LapRecord* lap = player.lastLap();
  if (lap != nullptr && !lap->splits.empty() && lap->time.isZero()) lap->time.minutes = kClosedLapMinutes;
}

void RaceStats::setRaceInfo(std::string_view track, std::uint8_t laps, std::uint8_t weather,
                            std::uint8_t wind, std::uint8_t qualifyMinutes) {
  if (!info) info.emplace();
  info->laps = laps;
  info->qualifyMinutes = qualifyMinutes;
  info->track = fieldText(track, kTrackWidth);
  info->weather = weather;
  info->wind = wind;
  info->host.clear();
}

void RaceStats::updatePosition(std::uint8_t id, std::uint16_t lap, std::uint16_t node,
                               std::uint16_t nodeCount, std::uint16_t finishNode) {
  // Nodes up to the finish line count as the end of the lap, so the node grows
  // steadily through one lap.
  if (node <= finishNode) node = static_cast<std::uint16_t>(node + nodeCount);
  for (PositionEntry& row : positions) {
    if (row.playerId != id && row.lap != 0) continue;
    row.playerId = id;
    if (lap <= row.lap || node <= nodeCount) row.lap = lap;
    row.node = node;
    return;
  }
  // Every row belongs to another car: the sample is dropped.
}

std::uint8_t RaceStats::positionOf(std::uint8_t id) const {
  std::array<PositionEntry, kPositionRows> order{};
  std::size_t filled = 0;
  while (filled < positions.size() && positions[filled].lap != 0) {
    order[filled] = positions[filled];
    ++filled;
  }
  std::sort(order.begin(), order.begin() + filled, [](const PositionEntry& a, const PositionEntry& b) {
    if (a.lap != b.lap) return a.lap > b.lap;
    if (a.node != b.node) return a.node > b.node;
    return a.playerId < b.playerId;
  });
  for (std::size_t i = 0; i < filled; ++i) {
    if (order[i].playerId == id) return static_cast<std::uint8_t>(i + 1);
  }
  return kNoPosition;
}
