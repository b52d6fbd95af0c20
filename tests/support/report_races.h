// Race models the race report is tried on: a small race with every case the
// report draws differently, a qualifying session, a big race of 40 players
// and 100 laps, and a race of hostile names. Shared by the report's tests,
// the page checks in the browser and the benchmark.
#pragma once

#include "race/race_model.h"

#include <list>
#include <optional>

struct ModelRace {
  std::list<PlayerStats> players;
  std::optional<RaceInfo> info;
};

// BL1, 3 laps, 2 splits a lap. Bob wins ahead of Alice; Carol finishes
// third with a pit stop (a lap closed without a time) and a 30 s penalty;
// "^1Dä^7n^v^^" (colours, escapes, Latin-1) was lapped and has no result.
ModelRace smallRace();
// 20 minutes on AS3: three timed players in list order 1:30.00, 1:29.50,
// 1:30.00 and one without a time.
ModelRace qualifying();
// `players` players over `laps` laps, 3 splits a lap, positions changing,
// one pit stop lap in ten, one crash.
ModelRace bigRace(unsigned players, unsigned laps);
// Names and texts that are markup, entities or quotes.
ModelRace hostileRace();
