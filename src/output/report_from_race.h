// The race report of the race in memory, with the values and the player
// order of the stats document written from the same model. Network thread,
// where the race model lives.
#pragma once

#include "output/report_model.h"
#include "race/race_model.h"

#include <list>
#include <optional>
#include <string>

// The players are marked and numbered while the order is worked out and put
// back afterwards, as writeStatsDocument leaves them.
RaceReport buildRaceReport(std::list<PlayerStats>& players, const std::optional<RaceInfo>& info,
                           const std::string& savedAt);

// The clock's local date and time as RaceReport::savedAt holds it.
std::string reportTimestamp();
