// The race report's page: its frame, heading, results and lap tables; the
// charts come from report_charts and the texts from report_text.
#include "output/html_report.h"

#include "output/report_charts.h"
#include "output/report_text.h"

#include <algorithm>
#include <vector>

namespace {

const char kStyle[] =
    ":root{color-scheme:light;--line:#d7dbe0;--head:#eef1f4;--ink:#1d2329;--muted:#5d6770}"
    "*{box-sizing:border-box}"
    "body{margin:0;font:15px/1.4 system-ui,'DejaVu Sans',Arial,sans-serif;color:var(--ink);background:#fff}"
    "header,main,footer{max-width:1100px;margin:0 auto;padding:0 14px}"
    "header{padding-top:14px}h1{font-size:1.5em;margin:.2em 0}h2{font-size:1.2em;margin:1.4em 0 .4em}"
    "h3{font-size:1em;margin:1.1em 0 .3em}.meta{color:var(--muted);margin:.2em 0}"
    ".meta b{color:var(--ink);font-weight:600}"
    ".scroll{overflow-x:auto;-webkit-overflow-scrolling:touch}"
    "table{border-collapse:collapse;font-variant-numeric:tabular-nums;white-space:nowrap}"
    "th,td{padding:3px 8px;border-bottom:1px solid var(--line);text-align:left}"
    "th{background:var(--head);font-weight:600}td.n,th.n{text-align:right}"
    "tbody tr:nth-child(even){background:#f8f9fa}"
    "td.best{font-weight:700;color:#7a1fa2}td.fastest::after{content:\" \\2605\";color:#c58a00}"
    "td.none{color:var(--muted)}.pen{color:#b00020}"
    ".c0{color:#000}.c1{color:#d50000}.c2{color:#1b8f1b}.c3{color:#b58d00}"
    ".c4{color:#1a3fd0}.c5{color:#b000b0}.c6{color:#008f9f}.c7{color:#fff;background:#69727b;border-radius:"
    "2px;padding:0 1px}"
    ".figure{overflow-x:auto}.figure svg.chart{display:block;width:100%;min-width:640px;height:auto}"
    "svg.chart{font:12px system-ui,'DejaVu Sans',Arial,sans-serif}svg .grid{stroke:#e3e6ea;stroke-width:1}"
    "svg .axis{fill:#5d6770;font-size:11px}svg .end{font-size:11px}"
    ".legend{display:flex;flex-wrap:wrap;gap:2px 14px;list-style:none;padding:0;margin:.4em 0;font-size:.9em}"
    ".legend li{display:flex;align-items:center;gap:5px}.note{color:var(--muted);font-size:.9em}"
    "footer{color:var(--muted);font-size:.85em;padding:24px 14px}"
    "@media (max-width:600px){body{font-size:14px}th,td{padding:2px 5px}}"
    "@media print{body{font-size:10pt}.scroll,.figure{overflow:visible}.figure svg.chart{min-width:0}"
    "section.player{break-inside:avoid}tbody tr:nth-child(even){background:none}}";

std::string sessionText(const RaceReport& report) {
  if (!report.info) return "Session";
  if (report.isQualifying()) return "Qualifying, " + std::to_string(report.info->qualifyMinutes) + " minutes";
  if (report.isLappedRace()) {
    return "Race, " + std::to_string(report.info->laps) + (report.info->laps == 1 ? " lap" : " laps");
  }
  return "Practice";
}

std::string trackText(const RaceReport& report) {
  // Decided on the text shown: the stats file leaves out what HTML cannot show.
  const std::string track = report.info ? htmlText(report.info->track) : std::string();
  return track.empty() ? std::string("Unknown track") : track;
}

std::string cell(const char* kind, const std::string& html) {
  return std::string("<td class=\"") + kind + "\">" + html + "</td>";
}

// The place and the gap of one player in the results table.
struct Standing {
  const ReportPlayer* player;
  std::string position;
  std::string gap;
};

bool hasTime(const ReportLap& lap) { return !lap.time.isZero(); }

// Race order is the document's; qualifying and practice go by best lap, the
// players without a time at the end in document order.
std::vector<Standing> standings(const RaceReport& report) {
  std::vector<Standing> list;
  const bool byBestLap = report.info && !report.isLappedRace();
  if (!byBestLap) {
    const ReportPlayer* leader = report.players.empty() ? nullptr : &report.players.front();
    for (const ReportPlayer& player : report.players) {
      Standing standing{&player, player.overallPosition ? std::to_string(*player.overallPosition) : "", ""};
      const std::size_t laps = player.laps.size();
      const std::size_t leaderLaps = leader->laps.size();
      if (&player == leader) {
      } else if (laps < leaderLaps) {
        standing.gap = lapsBehindText(static_cast<std::uint32_t>(leaderLaps - laps));
      } else if (player.result && leader->result && laps == leaderLaps &&
                 player.result->totalTimeLead == leader->result->totalTimeLead) {
        standing.gap =
            gapText(hundredthsOf(player.result->totalTime) - hundredthsOf(leader->result->totalTime));
      }
      list.push_back(standing);
    }
    return list;
  }
  std::vector<const ReportPlayer*> order;
  for (const ReportPlayer& player : report.players) order.push_back(&player);
  std::stable_sort(order.begin(), order.end(), [](const ReportPlayer* a, const ReportPlayer* b) {
    if (!a->bestLap || !b->bestLap) return a->bestLap.has_value() && !b->bestLap.has_value();
    return *a->bestLap < *b->bestLap;
  });
  for (std::size_t i = 0; i < order.size(); ++i) {
    const ReportPlayer& player = *order[i];
    Standing standing{&player, player.bestLap ? std::to_string(i + 1) : "", ""};
    if (player.bestLap && i > 0) {
      standing.gap = gapText(hundredthsOf(*player.bestLap) - hundredthsOf(*order.front()->bestLap));
    }
    list.push_back(standing);
  }
  return list;
}

std::optional<RaceTime> fastestLap(const RaceReport& report) {
  std::optional<RaceTime> fastest;
  for (const ReportPlayer& player : report.players) {
    if (player.bestLap && (!fastest || *player.bestLap < *fastest)) fastest = player.bestLap;
  }
  return fastest;
}

std::string heading(const RaceReport& report) {
  std::string html =
      "<header><h1>" + trackText(report) + " &#8211; " + sessionText(report) + "</h1><p class=\"meta\">";
  std::vector<std::string> parts;
  const std::string host = report.info ? colouredName(report.info->host) : std::string();
  if (!host.empty()) parts.push_back("Host <b>" + host + "</b>");
  if (!report.savedAt.empty()) parts.push_back("Saved <b><time>" + htmlText(report.savedAt) + "</time></b>");
  const std::string version = report.info ? htmlText(report.info->version) : std::string();
  if (!version.empty()) parts.push_back("LFS <b>" + version + "</b>");
  parts.push_back(std::to_string(report.players.size()) +
                  (report.players.size() == 1 ? " player" : " players"));
  for (std::size_t i = 0; i < parts.size(); ++i) html += (i ? " &#183; " : "") + parts[i];
  return html + "</p></header>";
}

std::string resultsTable(const RaceReport& report) {
  const bool byBestLap = report.info && !report.isLappedRace();
  const std::optional<RaceTime> fastest = fastestLap(report);
  std::string html =
      "<section id=\"results\"><h2>Results</h2><div class=\"scroll\"><table class=\"results\"><thead><tr>"
      "<th class=\"n\">Pos</th><th>Name</th><th>User</th><th>Car</th><th class=\"n\">Laps</th>"
      "<th class=\"n\">Total time</th><th class=\"n\">" +
      std::string(report.isQualifying() ? "Gap to pole"
                  : byBestLap           ? "Gap to fastest"
                                        : "Gap") +
      "</th><th class=\"n\">Best lap</th><th class=\"n\">Pits</th><th>Penalties</th></tr></thead><tbody>";
  for (const Standing& standing : standings(report)) {
    const ReportPlayer& player = *standing.player;
    const bool isFastest = player.bestLap && fastest && *player.bestLap == *fastest;
    html +=
        "<tr>" + cell("pos n", standing.position) + cell("name", colouredName(player.name)) +
        cell("user", htmlText(player.userName)) + cell("car", htmlText(player.carName)) +
        cell("laps n", std::to_string(player.laps.size())) +
        cell("total n", player.result ? totalTimeText(*player.result) : "") + cell("gap n", standing.gap) +
        cell(isFastest ? "best n fastest" : "best n", player.bestLap ? lapTimeText(*player.bestLap) : "") +
        cell("pits n", player.result ? std::to_string(player.result->pitStops) : "") +
        cell("pen", player.result
                        ? "<span class=\"pen\">" + penaltyText(player.result->penaltyFlags) + "</span>"
                        : "") +
        "</tr>";
  }
  html += "</tbody></table></div>";
  if (fastest) html += "<p class=\"note\">&#9733; fastest lap of the session</p>";
  return html + "</section>";
}

std::string chartSection(const char* id, const char* title, const std::string& svg,
                         const RaceReport& report) {
  return std::string("<section id=\"") + id + "\"><h2>" + title + "</h2><div class=\"figure\">" + svg +
         "</div>" + chartLegend(report) + "</section>";
}

std::string lapTable(const ReportPlayer& player, const std::string& position) {
  std::size_t splitColumns = 0;
  std::optional<RaceTime> bestLap;
  for (const ReportLap& lap : player.laps) {
    splitColumns = std::max(splitColumns, lap.splits.size());
    if (hasTime(lap) && (!bestLap || lap.time < *bestLap)) bestLap = lap.time;
  }
  std::vector<std::optional<RaceTime>> bestSplits(splitColumns);
  for (const ReportLap& lap : player.laps) {
    for (std::size_t k = 0; k < lap.splits.size(); ++k) {
      const RaceTime& time = lap.splits[k].time;
      if (!time.isZero() && (!bestSplits[k] || time < *bestSplits[k])) bestSplits[k] = time;
    }
  }

  const std::string userName = htmlText(player.userName);
  std::string html = "<section class=\"player\"><h3>" + (position.empty() ? std::string() : position + ". ") +
                     colouredName(player.name) + " <span class=\"meta\">" + userName +
                     (userName.empty() ? "" : ", ") + htmlText(player.carName) + "</span></h3>";
  if (player.laps.empty()) return html + "<p class=\"note\">No laps.</p></section>";
  html +=
      "<div class=\"scroll\"><table class=\"laps\"><thead><tr><th class=\"n\">Lap</th><th "
      "class=\"n\">Pos</th>";
  for (std::size_t k = 0; k < splitColumns; ++k)
    html += "<th class=\"n\">Split " + std::to_string(k + 1) + "</th>";
  html += "<th class=\"n\">Lap time</th></tr></thead><tbody>";
  for (const ReportLap& lap : player.laps) {
    html += "<tr>" + cell("lap n", std::to_string(lap.number)) +
            cell("pos n", lap.position == 0 || lap.position == 255 ? "" : std::to_string(lap.position));
    for (std::size_t k = 0; k < splitColumns; ++k) {
      if (k >= lap.splits.size() || lap.splits[k].time.isZero()) {
        html += cell("split n none", "");
        continue;
      }
      const RaceTime& time = lap.splits[k].time;
      html += cell(bestSplits[k] && time == *bestSplits[k] ? "split n best" : "split n", lapTimeText(time));
    }
    if (!hasTime(lap)) {
      html += cell("time n none", "no time");
    } else {
      html += cell(bestLap && lap.time == *bestLap ? "time n best" : "time n", lapTimeText(lap.time));
    }
    html += "</tr>";
  }
  return html + "</tbody></table></div></section>";
}

}  // namespace

std::string renderHtmlReport(const RaceReport& report) {
  std::string html =
      "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"/>"
      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\"/>"
      "<title>" +
      trackText(report) + " &#8211; " + sessionText(report) + "</title><style>" + kStyle +
      "</style></head><body>" + heading(report) + "<main>" + resultsTable(report);
  if (!report.isQualifying()) {
    html += chartSection("lap-chart", "Lap chart", lapChartSvg(report), report);
  }
  html += chartSection("lap-times", "Lap times", lapTimeChartSvg(report), report);
  html +=
      "<section id=\"laps\"><h2>Laps</h2><p class=\"note\">Best lap and best split times of each player in "
      "bold.</p>";
  for (const Standing& standing : standings(report)) html += lapTable(*standing.player, standing.position);
  return html + "</section></main><footer>Race report written by Tarnbeck.</footer></body></html>\n";
}

void writeHtmlReport(std::ostream& out, const RaceReport& report) { out << renderHtmlReport(report); }
