// Stats file naming and saving.
#include "output/stats_file.h"

#include "config/settings.h"
#include "config/shared_state.h"
#include "output/report_file.h"
#include "output/report_from_race.h"
#include "output/stats_document.h"
#include "system/file_system.h"
#include "system/clock.h"
#include "system/executable_path.h"
#include "system/program_folder.h"

#include <cstdio>
#include <fstream>

namespace {

// The track code comes from the network: nothing in it may lead the file out
// of the stats folder or give a name Windows refuses.
std::string fileNameSafe(const std::string& text) {
  std::string safe = text;
  for (char& c : safe) {
    unsigned char code = static_cast<unsigned char>(c);
    if (code < 0x20 || code == 0x7F || std::string("\\/:*?\"<>|").find(c) != std::string::npos) c = '_';
  }
  // Dots alone would name the stats folder itself or its parent where the
  // track is the whole file name.
  if (safe.find_first_not_of('.') == std::string::npos) safe.assign(safe.size(), '_');
  return safe;
}

}  // namespace

bool writeStats(std::list<PlayerStats>& players, const std::optional<RaceInfo>& info) {
  if (players.empty() || splitCount(players) == 0) return false;
  std::string path = makeStatsFileName(outputName(), info);
  // The report is taken from the model before the document changes it.
  std::optional<RaceReport> report;
  if (htmlReport()) report = buildRaceReport(players, info, reportTimestamp());
  if (!saveTextFile(path, [&](std::ostream& out) { writeStatsDocument(out, players, info); })) return false;
  // A report that cannot be written is not there; the stats file still is.
  if (report) saveHtmlReport(reportPathBeside(path), *report);
  setPendingStatsFile(path);
  return true;
}

std::string makeStatsFileName(const std::string& nameTemplate, const std::optional<RaceInfo>& info) {
  std::string path = statsFolder();
  for (std::string::size_type i = 0; i < nameTemplate.size();) {
    if (nameTemplate[i] != '[') {
      path += nameTemplate[i++];
      continue;
    }
    // A tag runs to the next "]" or, unclosed, to the end of the template.
    std::string::size_type close = nameTemplate.find(']', i + 1);
    std::string::size_type end = close == std::string::npos ? nameTemplate.size() : close;
    path += expandTag(nameTemplate.substr(i + 1, end - i - 1), info);
    i = close == std::string::npos ? end : close + 1;
  }
  return path;
}

std::string statsFolder() {
  const char separator = pathSeparator();
  std::string folder = outputPath();
  if (!folder.empty()) {
    if (folder.back() != separator) folder += separator;
    if (!pathExists(folder)) folder.clear();
  }
  if (folder.empty()) folder = programFolder() + "xmlstats" + separator;
  if (!pathExists(folder)) makeDirectory(folder);
  return folder;
}

std::string expandTag(const std::string& tag, const std::optional<RaceInfo>& info) {
  if (tag == "DATE") return localDateText("yyMMdd");
  if (tag == "TIME") return localTimeText("HHmm");
  if (tag == "TRACK") return info ? fileNameSafe(info->track) : "NR";
  if (tag == "MODE") {
    if (!info) return "NR";
    if (isQualifying(info)) return "qualify";
    return info->laps != 0 ? "race" : "practice";
  }
  if (tag == "MODE+") {
    if (!info) return "";
    if (isQualifying(info)) return "qualify" + std::to_string(info->qualifyMinutes);
    return info->laps != 0 ? "race" + std::to_string(info->laps) : "practice";
  }
  if (tag == "PLAYER") return info ? std::to_string(info->laps) : "NR";
  return "[" + tag + "]";
}

bool saveTextFile(const std::string& path, const std::function<void(std::ostream&)>& write) {
  // Written beside the target and put in its place only when whole: a full
  // disk or a kill during the write leaves the earlier file as it was, and
  // an upload never reads a file being written.
  const std::string partial = path + kPartialFileSuffix;
  {
    std::ofstream file(partial, std::ios::out | std::ios::trunc);
    if (!file) return false;
    write(file);
    // A full disk may only show when the last buffered bytes go out at close.
    file.close();
    if (!file) {
      std::remove(partial.c_str());
      return false;
    }
  }
  if (replaceFile(partial, path)) return true;
  std::remove(partial.c_str());
  return false;
}
