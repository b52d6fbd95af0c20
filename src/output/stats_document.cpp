// Builds the stats document with the XML writer from the race model.
#include "output/stats_document.h"

#include "output/xml_writer.h"

#include <algorithm>
#include <charconv>
#include <string_view>
#include <vector>

namespace {

constexpr std::string_view kMissingBestLap = "00:00:00:00";

// The text of a time, as "%02u" prints each field (at least two digits), in a
// buffer of its own: a race's document holds thousands of times.
class TimeText {
 public:
  explicit TimeText(const RaceTime& time) { appendTime(time); }
  // The leading count of a total time, then the time.
  TimeText(std::uint16_t lead, const RaceTime& time) {
    appendField(lead);
    chars_[size_++] = ':';
    appendTime(time);
  }
  std::string_view view() const { return std::string_view(chars_, size_); }

 private:
  void appendTime(const RaceTime& time) {
    appendField(time.hours);
    chars_[size_++] = ':';
    appendField(time.minutes);
    chars_[size_++] = ':';
    appendField(time.seconds);
    chars_[size_++] = ':';
    appendField(time.hundredths);
  }
  void appendField(unsigned value) {
    if (value < 100) {
      chars_[size_++] = static_cast<char>('0' + value / 10);
      chars_[size_++] = static_cast<char>('0' + value % 10);
    } else {
      size_ =
          static_cast<std::size_t>(std::to_chars(chars_ + size_, chars_ + sizeof chars_, value).ptr - chars_);
    }
  }

  // "65535:255:255:255:255" at most.
  char chars_[24];
  std::size_t size_ = 0;
};

template <typename Value>
void element(XmlWriter& writer, std::string_view name, const Value& value) {
  writer.write(startTag(name)).write(beginContent()).write(value).write(endTag());
}

void element(XmlWriter& writer, std::string_view name, const TimeText& time) {
  writer.write(startTag(name)).write(beginContent()).write(time.view()).write(endTag());
}

void emptyElement(XmlWriter& writer, std::string_view name) { writer.write(startTag(name)).write(endTag()); }

void writeLap(XmlWriter& writer, const PlayerStats& player, LapRecord& lap, std::size_t index,
              bool qualifying) {
  const bool finishingLap = index + 1 == player.laps.size() && player.result && !qualifying;
  // The closed-lap mark is not a time; the record keeps the 0 from now on.
  if (lap.time.minutes == kClosedLapMinutes) lap.time.minutes = 0;

  writer.write(startTag("LAP"));
  element(writer, "LAPNUMBER", static_cast<std::uint32_t>(player.firstLap + index));
  element(writer, "LAPPOSITION", finishingLap ? player.result->position : lap.position);
  element(writer, "LAPTIME", TimeText(lap.time));
  element(writer, "LAPSPEED", lap.speed);
  writer.write(startTag("SPLITS"));
  for (const SplitRecord& split : lap.splits) {
    writer.write(startTag("SPLIT"));
    element(writer, "SPLITPOSITION", split.position);
    element(writer, "SPLITTIME", TimeText(split.time));
    element(writer, "SPLITSPEED", split.speed);
    writer.write(endTag());
  }
  writer.write(endTag("LAP"));
}

void writePlayer(XmlWriter& writer, PlayerStats& player, std::optional<unsigned> racePosition,
                 bool qualifying) {
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
    element(writer, "TOTALTIME", TimeText(player.result->totalTimeLead, player.result->totalTime));
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
  if (hasBestLap) {
    element(writer, "BESTLAP", TimeText(player.bestLap));
  } else {
    element(writer, "BESTLAP", kMissingBestLap);
  }
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

std::string formatRaceTime(const RaceTime& time) { return std::string(TimeText(time).view()); }

std::string formatTotalTime(const ResultRecord& result) {
  return std::string(TimeText(result.totalTimeLead, result.totalTime).view());
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

PlayerStats* playerAtPosition(std::list<PlayerStats>& players, unsigned position,
                              const PickedPlayers& picked) {
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
    if (std::find(picked.begin(), picked.end(), &player) == picked.end())
      order.push_back({&player, std::nullopt});
  }
  return order;
}

void restoreAfterBuild(std::list<PlayerStats>& players, bool qualifying) {
  if (!qualifying) return;
  for (PlayerStats& player : players) {
    if (player.result) player.result->position = kUnplacedPosition;
  }
}

void writeStatsDocument(std::ostream& out, std::list<PlayerStats>& players,
                        const std::optional<RaceInfo>& info) {
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
