// The race report as one self-contained HTML page: heading, results table,
// lap chart, lap-time chart and every player's laps, with inline CSS and SVG,
// no script and nothing fetched. Any thread; keeps no state.
#pragma once

#include "output/report_model.h"

#include <ostream>
#include <string>

// UTF-8, declared in the page; every text from the race is escaped.
std::string renderHtmlReport(const RaceReport& report);

void writeHtmlReport(std::ostream& out, const RaceReport& report);
