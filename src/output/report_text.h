// Texts of the race report: the stats file's ISO-8859-1 bytes as escaped
// UTF-8 for HTML, player names with the simulator's colour codes and escapes,
// and race times as people read them. Pure functions, any thread.
#pragma once

#include "output/report_model.h"

#include <cstdint>
#include <optional>
#include <string>

// ISO-8859-1 bytes as UTF-8, with the HTML markup characters as character
// references. Control characters, which HTML does not allow, are left out.
std::string htmlText(const std::string& latin1);

// The name as the game shows it, without its colour codes, escapes decoded,
// still in ISO-8859-1.
std::string plainName(const std::string& latin1);

// The name as HTML: runs of text in the colour classes c0..c7 (^8 and ^9, the
// default colour, give no class), escapes decoded, everything escaped.
std::string colouredName(const std::string& latin1);

// A time in hundredths: hours, minutes, seconds and hundredths added up.
std::int64_t hundredthsOf(const RaceTime& time);
// "1:04.40", "0:59.99", "1:02:03.45".
std::string lapTimeText(const RaceTime& time);
std::string durationText(std::int64_t hundredths);
// The total time of a result; a leading count goes ahead of the rest.
std::string totalTimeText(const ReportResult& result);
// "+0.50", "+1:02.30".
std::string gapText(std::int64_t hundredths);
// "+1 lap", "+3 laps".
std::string lapsBehindText(std::uint32_t laps);

// The penalty flags in words ("drive-through, 30 s"); empty for none.
std::string penaltyText(std::uint32_t flags);
