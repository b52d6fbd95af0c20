// The race report's charts as inline SVG: the lap chart (every player's
// position after each lap) and the lap-time chart, one line per player, and
// the legend that tells the lines apart. Pure functions, any thread.
#pragma once

#include "output/report_model.h"

#include <cstddef>
#include <string>

// How player i's line is drawn: a stroke colour and a dash pattern (empty for
// a solid line), so that 40 lines still differ.
struct LineStyle {
  const char* colour;
  const char* dashes;
};
LineStyle lineStyle(std::size_t index);

// Positions after each lap; the start order is the first point.
std::string lapChartSvg(const RaceReport& report);

// Lap times over the race. The scale ends a little above the usual lap, so a
// pit stop or a crash is drawn at the top edge, not flattening the rest; a lap
// closed without a time leaves a gap.
std::string lapTimeChartSvg(const RaceReport& report);

// One entry per player, in report order, with the line's colour and dashes.
std::string chartLegend(const RaceReport& report);
