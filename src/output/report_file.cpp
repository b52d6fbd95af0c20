// Naming and writing the race report file.
#include "output/report_file.h"

#include "output/html_report.h"
#include "output/stats_file.h"

#include <cctype>

namespace {
const char kHtml[] = ".html";

bool endsWithHtml(const std::string& path) {
  const std::string::size_type length = sizeof kHtml - 1;
  if (path.size() < length) return false;
  for (std::string::size_type i = 0; i < length; ++i) {
    if (std::tolower(static_cast<unsigned char>(path[path.size() - length + i])) != kHtml[i]) return false;
  }
  return true;
}
}  // namespace

std::string reportPathBeside(const std::string& statsPath) {
  if (endsWithHtml(statsPath)) return statsPath + kHtml;
  const std::string::size_type nameStart = statsPath.find_last_of("\\/");
  const std::string::size_type dot = statsPath.find_last_of('.');
  const bool hasExtension =
      dot != std::string::npos && (nameStart == std::string::npos || dot > nameStart + 1);
  return (hasExtension ? statsPath.substr(0, dot) : statsPath) + kHtml;
}

bool saveHtmlReport(const std::string& path, const RaceReport& report) {
  const std::string page = renderHtmlReport(report);
  return saveTextFile(path, [&](std::ostream& out) { out << page; });
}
