// Builds the stats document with the XML writer from the race model.
#include "output/stats_document.h"

#include "output/xml_writer.h"

#include <algorithm>
#include <charconv>
#include <vector>

namespace {

const char kMissingBestLap[] = "00:00:00:00";

// One field of a time as "%02u" prints it: at least two digits. Written by
// hand, as a race's document holds thousands of times.
void appendTimeField(std::string& text, unsigned value) {
  if (value < 10) text += '0';
  char digits[8];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  text.append(digits, end);
}

template <typename Value>
void element(XmlWriter& writer, const char* name, const Value& value) {
  writer.write(startTag(name)).write(beginContent()).write(value).write(endTag());
}

void emptyElement(XmlWriter& writer, const char* name) { writer.write(startTag(name)).write(endTag()); }

void writeLap(XmlWriter& writer, const PlayerStats& player, LapRecord& lap, std::size_t index, bool qualifying) {
  const bool finishingLap = index + 1 == player.laps.size() && player.result && !qualifying;
  // The closed-lap mark is not a time; the record keeps the 0 from now on.
  if (lap.time.minutes == kClosedLapMinutes) lap.time.minutes = 0;

  writer.write(startTag("LAP"));
  element(writer, "LAPNUMBER", static_cast<std::uint32_t>(player.firstLap + index));
  element(writer, "LAPPOSITION", finishingLap ? player.result->position : lap.position);
  element(writer, "LAPTIME", formatRaceTime(lap.time));
  element(writer, "LAPSPEED", lap.speed);
  writer.write(startTag("SPLITS"));
  for (const SplitRecord& split : lap.splits) {
    writer.write(startTag("SPLIT"));
    element(writer, "SPLITPOSITION", split.position);
    element(writer, "SPLITTIME", formatRaceTime(split.time));
    element(writer, "SPLITSPEED", split.speed);
    writer.write(endTag());
  }
  writer.write(endTag("LAP"));
}

void writePlayer(XmlWriter& writer, PlayerStats& player, std::optional<unsigned> racePosition, bool qualifying) {
  writer.write(startTag("PLAYER"));
  element(writer, "NAME", player.name);
  if (player.userName.empty()) {
    emptyElement(writer, "UNAME");
  } else {
    element(writer, "UNAME", player.userName);
  }
  if (player.startOrder == kRejoinedStartOrder) {
    element(writer, "STARTORDER", "Rejoined");
  } else {
    element(writer, "STARTORDER", static_cast<std::uint32_t>(player.startOrder + 1));
  }
  element(writer, "LFSID", player.id);
  element(writer, "CARNAME", player.carName);

  if (player.result) {
    element(writer, "TOTALTIME", formatTotalTime(*player.result));
  } else {
    emptyElement(writer, "TOTALTIME");
  }
  if (racePosition) {
    element(writer, "OVERALLPOS", static_cast<std::uint32_t>(*racePosition));
  } else if (player.result) {
    element(writer, "OVERALLPOS", player.result->position);
  } else {
    emptyElement(writer, "OVERALLPOS");
  }

  // The first lap decides whether a best lap exists, not the best lap itself.
  const bool hasBestLap = !player.laps.empty() && !player.laps.front().time.isZero();
  element(writer, "BESTLAP", hasBestLap ? formatRaceTime(player.bestLap) : std::string(kMissingBestLap));
  element(writer, "BESTSPEED", player.bestSpeed);
  const std::size_t laps = lapCount(player, qualifying);
  element(writer, "PLLAPCOUNT", static_cast<std::uint32_t>(laps));
  if (player.result) {
    element(writer, "PITCOUNT", player.result->pitStops);
    element(writer, "PENALTYFLAGS", player.result->penaltyFlags);
  } else {
    emptyElement(writer, "PITCOUNT");
    emptyElement(writer, "PENALTYFLAGS");
  }
  element(writer, "PLAYERFLAGS", player.flags);

  writer.write(startTag("LAPS"));
  for (std::size_t j = 0; j < laps; ++j) writeLap(writer, player, player.laps[j], j, qualifying);
  writer.write(endTag("PLAYER"));
}

}  // namespace

std::string formatRaceTime(const RaceTime& time) {
  std::string text;
  appendTimeField(text, time.hours);
  text += ':';
  appendTimeField(text, time.minutes);
  text += ':';
  appendTimeField(text, time.seconds);
  text += ':';
  appendTimeField(text, time.hundredths);
  return text;
}

std::string formatTotalTime(const ResultRecord& result) {
  std::string text;
  appendTimeField(text, result.totalTimeLead);
  text += ':';
  return text + formatRaceTime(result.totalTime);
}

std::size_t splitCount(const std::list<PlayerStats>& players) {
  std::size_t most = 0;
  std::size_t playersSeen = 0;
  for (const PlayerStats& player : players) {
    if (playersSeen++ == 7) break;
    const std::size_t laps = std::min<std::size_t>(player.laps.size(), 3);
    for (std::size_t j = 0; j < laps; ++j) most = std::max(most, player.laps[j].splits.size());
  }
  return most;
}

std::size_t lapCount(const PlayerStats& player, bool qualifying) {
  const std::size_t laps = player.laps.size();
  const bool runningLastLap = laps > 0 && player.laps.back().time.isZero();
  return runningLastLap && !qualifying && player.result ? laps - 1 : laps;
}

void assignQualifyingPositions(std::list<PlayerStats>& players) {
  unsigned position = 1;
  for (std::size_t round = 0; round < players.size(); ++round, ++position) {
    PlayerStats* candidate = nullptr;
    for (PlayerStats& player : players) {
      if (!player.result || player.result->position != kUnplacedPosition) continue;
      // A later player with an equal time does not replace the candidate.
      if (candidate == nullptr || player.bestLap < candidate->bestLap) candidate = &player;
    }
    if (candidate) candidate->result->position = static_cast<std::uint8_t>(position);
  }
}

PlayerStats* playerAtPosition(std::list<PlayerStats>& players, unsigned position, const PickedPlayers& picked) {
  for (PlayerStats& player : players) {
    if (player.result && player.result->position == position) return &player;
  }
  PlayerStats* pick = nullptr;
  std::size_t pickLaps = 0;
  std::size_t pickSplits = 0;
  for (PlayerStats& player : players) {
    if (player.result || std::find(picked.begin(), picked.end(), &player) != picked.end()) continue;
    const std::size_t laps = player.laps.size();
    const std::size_t splits = laps ? player.laps.back().splits.size() : 0;
    if (pick == nullptr || laps > pickLaps || (laps == pickLaps && splits > pickSplits)) {
      pick = &player;
      pickLaps = laps;
      pickSplits = splits;
    }
  }
  return pick;
}

std::vector<PlacedPlayer> documentOrder(std::list<PlayerStats>& players, bool qualifying) {
  std::vector<PlacedPlayer> order;
  if (qualifying) {
    for (PlayerStats& player : players) order.push_back({&player, std::nullopt});
    return order;
  }
  PickedPlayers picked;
  const unsigned count = static_cast<unsigned>(players.size());
  for (unsigned i = 1; i <= count; ++i) {
    PlayerStats* player = playerAtPosition(players, i, picked);
    if (player == nullptr) continue;  // no player for this position
    order.push_back({player, i});
    picked.push_back(player);
  }
  // Result positions with gaps or duplicates leave finished players without
  // a place above; they are still part of the race.
  for (PlayerStats& player : players) {
    if (std::find(picked.begin(), picked.end(), &player) == picked.end()) order.push_back({&player, std::nullopt});
  }
  return order;
}

void restoreAfterBuild(std::list<PlayerStats>& players, bool qualifying) {
  if (!qualifying) return;
  for (PlayerStats& player : players) {
    if (player.result) player.result->position = kUnplacedPosition;
  }
}

void writeStatsDocument(std::ostream& out, std::list<PlayerStats>& players, const std::optional<RaceInfo>& info) {
  const bool qualifying = isQualifying(info);
  {
    XmlWriter writer(out);
    writer.write(declaration());
    writer.write(startTag("TRBKSTATS")).write(attribute("output")).write("1.0");
    writer.write(attribute("program")).write("1.33b");
    if (info) {
      element(writer, "HOST", info->host);
      element(writer, "LFSVERSION", info->version);
    }
    writer.write(startTag("TRACK"));
    if (info) {
      if (qualifying) assignQualifyingPositions(players);
      element(writer, "TRACKNAME", info->track);
      element(writer, "TOTALLAPS", info->laps);
      element(writer, "WEATHER", info->weather);
      element(writer, "WIND", info->wind);
      element(writer, "QUALMINS", info->qualifyMinutes);
    }
    element(writer, "PLAYERCOUNT", static_cast<std::uint32_t>(players.size()));
    element(writer, "SPLITCOUNT", static_cast<std::uint32_t>(splitCount(players)));
    writer.write(endTag());
    writer.write(startTag("PLAYERS"));

    for (const PlacedPlayer& placed : documentOrder(players, qualifying)) {
      writePlayer(writer, *placed.player, placed.position, qualifying);
    }
    writer.write(endTag("TRBKSTATS"));
  }
  restoreAfterBuild(players, qualifying);
}
