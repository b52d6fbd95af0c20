// The in-memory record of the race being watched: race settings, every player
// seen with laps, splits, best lap, best speed and result, and the running-order
// table that lap and split positions are taken from.
#pragma once

#include "race/race_time.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Record field widths in bytes, terminator included: copied texts keep at most
// width - 1 characters.
constexpr std::size_t kTrackWidth = 6;
constexpr std::size_t kHostWidth = 32;
constexpr std::size_t kVersionWidth = 8;
constexpr std::size_t kPlayerNameWidth = 24;
constexpr std::size_t kUserNameWidth = 24;
constexpr std::size_t kCarNameWidth = 32;

// The text as a record field of `width` bytes holds it: up to the first NUL,
// at most width - 1 characters.
std::string fieldText(std::string_view text, std::size_t width);

// Marks a lap closed without a time (the player pitted during it).
constexpr std::uint8_t kClosedLapMinutes = 0xFE;
// startOrder of a player who came back under a new id.
constexpr std::uint8_t kRejoinedStartOrder = 255;
// Result position of a qualifying result before the stats document numbers it.
constexpr std::uint8_t kUnplacedPosition = 255;

struct RaceInfo {
  std::string track;
  std::uint8_t laps = 0;  // 0 = no lap count
  std::uint8_t weather = 0;
  std::uint8_t wind = 0;
  std::uint8_t qualifyMinutes = 0;  // non-zero marks a qualifying session
  std::string host;                 // empty until an ISM packet arrives
  std::string version;              // empty until a VER packet arrives

  void setHost(std::string_view text) { host = fieldText(text, kHostWidth); }
  void setVersion(std::string_view text) { version = fieldText(text, kVersionWidth); }
};

struct SplitRecord {
  RaceTime time;
  std::uint16_t speed = 0;    // 0 until the next car sample fills it
  std::uint8_t position = 0;  // 0 in qualifying
};

// The lap speed value that asks the next car sample to supply the speed.
constexpr std::uint16_t kSpeedFromNextSample = 1;

struct LapRecord {
  std::vector<SplitRecord> splits;
  RaceTime time;  // zero while the lap is running
  std::uint16_t speed = 0;
  std::uint8_t position = 0;
};

struct ResultRecord {
  RaceTime totalTime;
  std::uint16_t totalTimeLead = 0;
  std::uint8_t pitStops = 0;
  std::uint16_t penaltyFlags = 0;
  std::uint8_t position = 0;  // 1 = first; 255 in qualifying until numbered
};

struct PlayerStats {
  std::int16_t id = -1;  // -1 once the player left or was reset
  std::string name;
  std::string userName;
  std::string carName;
  std::uint8_t startOrder = 0;  // 255 = rejoined
  std::uint16_t flags = 0;
  std::uint16_t bestSpeed = 0;
  std::uint16_t firstLap = 0;
  RaceTime bestLap;
  std::vector<LapRecord> laps;  // oldest first
  std::optional<ResultRecord> result;

  LapRecord* lastLap() { return laps.empty() ? nullptr : &laps.back(); }
  const LapRecord* lastLap() const { return laps.empty() ? nullptr : &laps.back(); }

  void setName(std::string_view text) { name = fieldText(text, kPlayerNameWidth); }
  void setUserName(std::string_view text) { userName = fieldText(text, kUserNameWidth); }
  void setCarName(std::string_view text) { carName = fieldText(text, kCarNameWidth); }
};

// One row of the running-order table; a row whose lap is 0 is empty.
struct PositionEntry {
  std::uint8_t playerId = 0;
  std::uint16_t node = 0;  // unwrapped past the finish line
  std::uint16_t lap = 0;
};

constexpr std::size_t kPositionRows = 30;
constexpr std::uint8_t kNoPosition = 255;

// Session predicates over the race info, used wherever only the info is at hand.
bool isQualifying(const std::optional<RaceInfo>& info);
bool isLappedRace(const std::optional<RaceInfo>& info);

struct RaceStats {
  // In order of first arrival; a list, so a player's record stays where it is
  // while others are appended.
  std::list<PlayerStats> players;
  std::optional<RaceInfo> info;
  std::array<PositionEntry, kPositionRows> positions{};
  std::uint8_t finishedCount = 0;

  bool isQualifying() const { return ::isQualifying(info); }
  bool isLappedRace() const { return ::isLappedRace(info); }

  PlayerStats* findPlayer(std::uint8_t id);
  PlayerStats* findPlayerByName(std::string_view name);
  // The first record of this name whose player has left (id -1): the one a
  // player coming back under a new id takes over.
  PlayerStats* findLeftPlayerByName(std::string_view name);
  PlayerStats& addPlayer(std::uint8_t id, std::string_view name);
  void resetPlayer(PlayerStats& player);
  void removePlayer(PlayerStats& player);
  // Players and race info go; the running-order table and finishedCount stay.
  void clear();

  LapRecord& openLap(PlayerStats& player);
  // The returned split stays valid until the player's next lap or split is opened.
  SplitRecord& openSplit(PlayerStats& player);
  void closeLap(PlayerStats& player);

  void setRaceInfo(std::string_view track, std::uint8_t laps, std::uint8_t weather, std::uint8_t wind,
                   std::uint8_t qualifyMinutes);

  void updatePosition(std::uint8_t id, std::uint16_t lap, std::uint16_t node, std::uint16_t nodeCount,
                      std::uint16_t finishNode);
  // 1-based running position; 255 when the player has no row.
  std::uint8_t positionOf(std::uint8_t id) const;
};
