// The report command on Linux: the stats file is read with libxml2 and the
// save time is the file's modification time.
#include "shell/report_command.h"

#include "output/report_file.h"
#include "output/stats_reader.h"

#include <sys/stat.h>

#include <cstdio>
#include <ctime>
#include <string>

namespace {

const char kOption[] = "--report";

// The file's modification time, local, as the report heading shows it.
std::string modificationTime(const std::string& path) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return "";
  std::tm local;
  if (localtime_r(&info.st_mtime, &local) == nullptr) return "";
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &local);
  return text;
}

bool isRegularFile(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace

bool isReportCommand(int argc, char** argv) { return argc > 1 && std::string(argv[1]) == kOption; }

int runReportCommand(int argc, char** argv) {
  if (argc < 3 || argc > 4) {
    std::fprintf(stderr, "usage: tarnbeck --report STATS.xml [OUT.html]\n");
    return 2;
  }
  const std::string input = argv[2];
  const std::string output = argc == 4 ? argv[3] : reportPathBeside(input);
  if (!isRegularFile(input)) {
    std::fprintf(stderr, "tarnbeck: %s: no such stats file\n", input.c_str());
    return 2;
  }
  RaceReport report;
  std::string error;
  if (!readStatsFile(input, report, error)) {
    std::fprintf(stderr, "tarnbeck: %s: %s\n", input.c_str(), error.c_str());
    return 2;
  }
  report.savedAt = modificationTime(input);
  if (!saveHtmlReport(output, report)) {
    std::fprintf(stderr, "tarnbeck: %s: the report could not be written\n", output.c_str());
    return 1;
  }
  std::printf("%s\n", output.c_str());
  return 0;
}
