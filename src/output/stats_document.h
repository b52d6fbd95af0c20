// The XML stats document of one race: its element tree, the values and their
// formats, the order in which players are written and the qualifying positions.
#pragma once

#include "race/race_model.h"

#include <cstddef>
#include <list>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

// Writes the whole document. The players are changed while it is built and put
// back afterwards, except that a lap closed without a time keeps the 0 minutes
// written in its place. Players whose result position is left out by gaps or
// duplicates in the result positions are written after the others.
void writeStatsDocument(std::ostream& out, std::list<PlayerStats>& players,
                        const std::optional<RaceInfo>& info);

// The largest number of splits in one of the first 3 laps of the first 7
// players; nothing is worth saving when it is 0.
std::size_t splitCount(const std::list<PlayerStats>& players);

// Laps written for the player: a running last lap of a player with a result is
// left out outside qualifying.
std::size_t lapCount(const PlayerStats& player, bool qualifying);

// Numbers qualifying results 1, 2, 3 ... by ascending best lap, ties in list order.
void assignQualifyingPositions(std::list<PlayerStats>& players);

// The players a document has placed so far.
using PickedPlayers = std::vector<const PlayerStats*>;

// The player shown at race position `position`: the holder of that result
// position, else the unfinished player not in `picked` with the most laps
// (then most splits in the last lap, then list order). Nothing when no player
// is left for the position.
PlayerStats* playerAtPosition(std::list<PlayerStats>& players, unsigned position,
                              const PickedPlayers& picked);

// A player in the order the document lists them, with the race position
// shown for them (none in qualifying and for those listed after the others).
struct PlacedPlayer {
  PlayerStats* player;
  std::optional<unsigned> position;
};

// The document's order: in qualifying the list order; in a race position by
// position (playerAtPosition), then the players that gaps or duplicates in
// the result positions left out, in list order.
std::vector<PlacedPlayer> documentOrder(std::list<PlayerStats>& players, bool qualifying);

// In qualifying, sets every result position back to unplaced so the next
// document numbers them afresh.
void restoreAfterBuild(std::list<PlayerStats>& players, bool qualifying);

// "hh:mm:ss:hh", each field at least two digits.
std::string formatRaceTime(const RaceTime& time);
// The leading count of the total time, then its four fields.
std::string formatTotalTime(const ResultRecord& result);
