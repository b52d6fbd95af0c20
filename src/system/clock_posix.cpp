// Date and time text on Linux: the Windows pictures are turned into strftime
// formats and applied to localtime_r, or to the fixed test time.
#include "system/clock.h"

#include <ctime>
#include <time.h>

namespace {

std::tm currentTime() {
  std::tm time = {};
  if (std::optional<LocalTime> fixed = fixedLocalTime()) {
    time.tm_year = fixed->year - 1900;
    time.tm_mon = fixed->month - 1;
    time.tm_mday = fixed->day;
    time.tm_hour = fixed->hour;
    time.tm_min = fixed->minute;
    time.tm_sec = fixed->second;
    time.tm_isdst = -1;
  } else {
    std::time_t now = std::time(nullptr);
    localtime_r(&now, &time);
  }
  return time;
}

// One picture element, a run of the same letter, as a strftime conversion.
// Single letters have no leading zero in the Windows pictures; strftime's
// "%-" flag drops it the same way.
std::string conversionFor(char letter, std::string::size_type run) {
  switch (letter) {
    case 'y':
      return run >= 3 ? "%Y" : "%y";
    case 'M':
      return run == 1 ? "%-m" : "%m";
    case 'd':
      return run == 1 ? "%-d" : "%d";
    case 'H':
      return run == 1 ? "%-H" : "%H";
    case 'm':
      return run == 1 ? "%-M" : "%M";
    case 's':
      return run == 1 ? "%-S" : "%S";
    default:
      return std::string();
  }
}

std::string format(const std::string& picture, const std::string& letters) {
  std::string conversions;
  for (std::string::size_type i = 0; i < picture.size();) {
    char c = picture[i];
    std::string::size_type run = 1;
    while (i + run < picture.size() && picture[i + run] == c) ++run;
    if (letters.find(c) != std::string::npos) {
      conversions += conversionFor(c, run);
    } else {
      for (std::string::size_type k = 0; k < run; ++k) conversions += c == '%' ? "%%" : std::string(1, c);
    }
    i += run;
  }
  std::tm time = currentTime();
  char text[64] = {};
  std::size_t length = std::strftime(text, sizeof text, conversions.c_str(), &time);
  return std::string(text, length);
}

}  // namespace

std::string localDateText(const std::string& picture) { return format(picture, "yMd"); }

std::string localTimeText(const std::string& picture) { return format(picture, "Hms"); }
