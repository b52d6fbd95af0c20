// SVG charts of the race report. Coordinates are in the viewBox; the page
// scales the whole picture to its width.
#include "output/report_charts.h"

#include "output/report_text.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// Kelly's colours of greatest contrast, light ones left out for a white page.
const char* const kColours[] = {
    "#e6194b", "#3cb44b", "#4363d8", "#f58231", "#911eb4", "#42a5b5", "#f032e6",
    "#808000", "#800000", "#000075", "#9a6324", "#469990", "#c79a00", "#2f4f4f",
    "#ff6f61", "#6b8e23", "#b03060", "#1e90ff", "#8b4513", "#555555",
};
constexpr std::size_t kColourCount = sizeof kColours / sizeof kColours[0];
const char* const kDashes[] = {"", "7 4", "2 3"};

constexpr double kWidth = 960;
constexpr double kLeft = 48;
constexpr double kRight = 150;  // room for the names at the lines' ends
constexpr double kTop = 16;
constexpr double kBottom = 36;

std::string number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", value);
  return text;
}

struct LapRange {
  std::uint32_t first = 0;
  std::uint32_t last = 0;
  bool empty = true;
};

LapRange lapRange(const RaceReport& report) {
  LapRange range;
  for (const ReportPlayer& player : report.players) {
    for (const ReportLap& lap : player.laps) {
      if (range.empty || lap.number < range.first) range.first = lap.number;
      if (range.empty || lap.number > range.last) range.last = lap.number;
      range.empty = false;
    }
  }
  return range;
}

std::string strokeAttributes(std::size_t index) {
  const LineStyle style = lineStyle(index);
  std::string attributes = " stroke=\"" + std::string(style.colour) + "\"";
  if (*style.dashes) attributes += " stroke-dasharray=\"" + std::string(style.dashes) + "\"";
  return attributes;
}

// A polyline that breaks where a point is missing: "M x y L x y ... M ...".
class BrokenLine {
 public:
  void point(double x, double y) {
    if (penDown_) {
      path_ += " L" + number(x) + " " + number(y);
      runLength_++;
    } else {
      endRun();
      path_ += " M" + number(x) + " " + number(y);
      runLength_ = 1;
    }
    penDown_ = true;
    lastX_ = x;
    lastY_ = y;
    any_ = true;
  }
  void gap() { penDown_ = false; }
  const std::string& path() {
    endRun();
    return path_;
  }
  bool any() const { return any_; }
  double lastX() const { return lastX_; }
  double lastY() const { return lastY_; }

 private:
  std::string path_;
  // A lone point between gaps is drawn as a short dash across it.
  void endRun() {
    if (runLength_ == 1) path_ += " m-4 0 l8 0";
    runLength_ = 0;
  }
  bool penDown_ = false;
  bool any_ = false;
  unsigned runLength_ = 0;
  double lastX_ = 0;
  double lastY_ = 0;
};

std::string svgOpen(const char* label, double height) {
  return "<svg class=\"chart\" viewBox=\"0 0 " + number(kWidth) + " " + number(height) +
         "\" role=\"img\" aria-label=\"" + label + "\" preserveAspectRatio=\"xMinYMin meet\">";
}

std::string lineElement(const ReportPlayer& player, std::size_t index, const std::string& path,
                        bool crowded) {
  // A path needs at least one segment; "M x y" alone draws nothing.
  return std::string(
             "<path class=\"line\" fill=\"none\" stroke-linecap=\"round\" stroke-linejoin=\"round\" "
             "stroke-width=\"") +
         (crowded ? "1.3" : "2") + "\"" + strokeAttributes(index) + " d=\"" +
         (path.empty() ? std::string("M0 0") : path.substr(1)) + "\"><title>" +
         htmlText(plainName(player.name)) + "</title></path>";
}

std::string endLabel(const ReportPlayer& player, std::size_t index, const BrokenLine& line) {
  if (!line.any()) return "";
  return "<text class=\"end\" x=\"" + number(line.lastX() + 5) + "\" y=\"" + number(line.lastY() + 4) +
         "\" fill=\"" + lineStyle(index).colour + "\">" + htmlText(plainName(player.name)) + "</text>";
}

// The lap numbers along the bottom, at most about 25 of them.
std::string lapAxis(std::uint32_t first, std::uint32_t last, bool startColumn, double height, double x0,
                    double step) {
  std::string axis;
  const std::uint32_t every = std::max<std::uint32_t>(1, (last - first + 1 + 24) / 25);
  for (std::uint32_t lap = first; lap <= last; ++lap) {
    if ((lap - first) % every != 0 && lap != last) continue;
    const double x = x0 + step * (lap - first);
    axis += "<text class=\"axis\" x=\"" + number(x) + "\" y=\"" + number(height - kBottom + 18) +
            "\" text-anchor=\"middle\">" +
            (lap == first && startColumn ? std::string("S") : std::to_string(lap)) + "</text>";
  }
  axis += "<text class=\"axis\" x=\"" + number(kLeft) + "\" y=\"" + number(height - 4) + "\">Lap</text>";
  return axis;
}

}  // namespace

LineStyle lineStyle(std::size_t index) {
  return LineStyle{kColours[index % kColourCount], kDashes[(index / kColourCount) % 3]};
}

std::string lapChartSvg(const RaceReport& report) {
  const LapRange laps = lapRange(report);
  std::uint32_t rows = static_cast<std::uint32_t>(report.players.size());
  for (const ReportPlayer& player : report.players) {
    for (const ReportLap& lap : player.laps) {
      if (lap.position < 255) rows = std::max(rows, lap.position);
    }
  }
  rows = std::max<std::uint32_t>(rows, 1);
  // A few players get taller rows, so the chart does not shrink to a strip.
  const double rowHeight = std::max(18.0, 180.0 / rows);
  const double height = kTop + kBottom + rowHeight * (rows - 1) + 8;
  // The start order stands one column before the first lap.
  const std::uint32_t first = laps.empty ? 0 : laps.first - (laps.first > 0 ? 1 : 0);
  const std::uint32_t last = laps.empty ? 1 : std::max(laps.last, first + 1);
  const double step = (kWidth - kLeft - kRight) / (last - first);
  auto xOf = [&](std::uint32_t lap) { return kLeft + step * (lap - first); };
  auto yOf = [&](std::uint32_t position) { return kTop + rowHeight * (position - 1); };

  std::string svg = svgOpen("Lap chart: position after every lap", height);
  for (std::uint32_t position = 1; position <= rows; ++position) {
    svg += "<line class=\"grid\" x1=\"" + number(kLeft) + "\" x2=\"" + number(kWidth - kRight) + "\" y1=\"" +
           number(yOf(position)) + "\" y2=\"" + number(yOf(position)) + "\"/>";
    svg += "<text class=\"axis\" x=\"" + number(kLeft - 8) + "\" y=\"" + number(yOf(position) + 4) +
           "\" text-anchor=\"end\">" + std::to_string(position) + "</text>";
  }
  svg += lapAxis(first, last, !laps.empty && first + 1 == laps.first, height, kLeft, step);
  std::string labels;
  for (std::size_t i = 0; i < report.players.size(); ++i) {
    const ReportPlayer& player = report.players[i];
    BrokenLine line;
    if (player.startOrder && *player.startOrder <= rows && first + 1 == laps.first && !player.laps.empty() &&
        player.laps.front().number == laps.first) {
      line.point(xOf(first), yOf(*player.startOrder));
    }
    std::uint32_t previous = first;
    for (const ReportLap& lap : player.laps) {
      // A position the table could not give (0 or 255), or a skipped lap number, breaks the line.
      if (lap.position == 0 || lap.position > rows || lap.number != previous + 1) line.gap();
      previous = lap.number;
      if (lap.position == 0 || lap.position > rows) continue;
      line.point(xOf(lap.number), yOf(lap.position));
    }
    svg += lineElement(player, i, line.path(), report.players.size() > 12);
    labels += endLabel(player, i, line);
  }
  return svg + labels + "</svg>";
}

std::string lapTimeChartSvg(const RaceReport& report) {
  const LapRange laps = lapRange(report);
  std::vector<std::int64_t> times;
  for (const ReportPlayer& player : report.players) {
    for (const ReportLap& lap : player.laps) {
      if (!lap.time.isZero()) times.push_back(hundredthsOf(lap.time));
    }
  }
  const double height = 380;
  std::string svg = svgOpen("Lap times of every player", height);
  if (times.empty() || laps.empty)
    return svg + "<text class=\"axis\" x=\"" + number(kLeft) + "\" y=\"40\">No lap times</text></svg>";

  std::sort(times.begin(), times.end());
  const std::int64_t fastest = times.front();
  // Nine laps in ten are usual ones; the slowest few (pit stops, crashes) may
  // lie far above and are drawn at the top edge instead.
  const std::int64_t usual = times[(times.size() - 1) * 9 / 10];
  std::int64_t top = std::min(times.back(), usual + std::max<std::int64_t>((usual - fastest) * 6 / 10, 100));
  std::int64_t bottom = std::max<std::int64_t>(0, fastest - std::max<std::int64_t>((top - fastest) / 20, 10));
  top += std::max<std::int64_t>((top - bottom) / 20, 10);
  const double plotHeight = height - kTop - kBottom;
  auto yOf = [&](std::int64_t t) {
    const std::int64_t clipped = std::min(t, top);
    return kTop + plotHeight * (1.0 - double(clipped - bottom) / double(top - bottom));
  };
  const std::uint32_t last = std::max(laps.last, laps.first + 1);
  const double step = (kWidth - kLeft - kRight) / (last - laps.first);
  auto xOf = [&](std::uint32_t lap) { return kLeft + step * (lap - laps.first); };

  // About six time lines at round steps.
  const std::int64_t steps[] = {10, 20, 50, 100, 200, 500, 1000, 2000, 5000, 10000, 30000, 60000, 360000};
  std::int64_t every = steps[sizeof steps / sizeof steps[0] - 1];
  for (std::int64_t candidate : steps) {
    if ((top - bottom) / candidate <= 6) {
      every = candidate;
      break;
    }
  }
  for (std::int64_t t = (bottom / every + 1) * every; t < top; t += every) {
    svg += "<line class=\"grid\" x1=\"" + number(kLeft) + "\" x2=\"" + number(kWidth - kRight) + "\" y1=\"" +
           number(yOf(t)) + "\" y2=\"" + number(yOf(t)) + "\"/><text class=\"axis\" x=\"" +
           number(kLeft - 6) + "\" y=\"" + number(yOf(t) + 4) + "\" text-anchor=\"end\">" + durationText(t) +
           "</text>";
  }
  svg += lapAxis(laps.first, last, false, height, kLeft, step);

  std::string marks;
  std::string labels;
  for (std::size_t i = 0; i < report.players.size(); ++i) {
    const ReportPlayer& player = report.players[i];
    BrokenLine line;
    std::uint32_t previous = 0;
    for (const ReportLap& lap : player.laps) {
      if (lap.time.isZero() || (previous != 0 && lap.number != previous + 1)) line.gap();
      previous = lap.number;
      if (lap.time.isZero()) continue;
      const std::int64_t t = hundredthsOf(lap.time);
      line.point(xOf(lap.number), yOf(t));
      if (t > top) {
        // Off the scale: a mark at the top edge tells the time.
        marks += "<path class=\"off\" d=\"M" + number(xOf(lap.number) - 5) + " " + number(kTop + 6) + " L" +
                 number(xOf(lap.number)) + " " + number(kTop) + " L" + number(xOf(lap.number) + 5) + " " +
                 number(kTop + 6) + " Z\" fill=\"" + lineStyle(i).colour + "\"><title>" +
                 htmlText(plainName(player.name)) + ", lap " + std::to_string(lap.number) + ": " +
                 lapTimeText(lap.time) + "</title></path>";
      }
    }
    svg += lineElement(player, i, line.path(), report.players.size() > 12);
    labels += endLabel(player, i, line);
  }
  return svg + marks + (report.players.size() <= 12 ? labels : std::string()) + "</svg>";
}

std::string chartLegend(const RaceReport& report) {
  std::string legend = "<ul class=\"legend\">";
  for (std::size_t i = 0; i < report.players.size(); ++i) {
    legend +=
        "<li><svg class=\"swatch\" viewBox=\"0 0 28 8\" width=\"28\" height=\"8\"><line x1=\"0\" y1=\"4\" "
        "x2=\"28\" y2=\"4\" stroke-width=\"3\"" +
        strokeAttributes(i) + "/></svg>" + colouredName(report.players[i].name) + "</li>";
  }
  return legend + "</ul>";
}
