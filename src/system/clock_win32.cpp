// Date and time text on Windows: GetDateFormatA and GetTimeFormatA with the
// US English locale, on the current local time or on the fixed test time.
#include "system/clock.h"

#include <windows.h>

namespace {
constexpr LCID kUsEnglish = 0x0409;
constexpr int kTextSize = 20;

SYSTEMTIME currentTime() {
  SYSTEMTIME time = {};
  if (std::optional<LocalTime> fixed = fixedLocalTime()) {
    time.wYear = static_cast<WORD>(fixed->year);
    time.wMonth = static_cast<WORD>(fixed->month);
    time.wDay = static_cast<WORD>(fixed->day);
    time.wHour = static_cast<WORD>(fixed->hour);
    time.wMinute = static_cast<WORD>(fixed->minute);
    time.wSecond = static_cast<WORD>(fixed->second);
  } else {
    GetLocalTime(&time);
  }
  return time;
}
}  // namespace

std::string localDateText(const std::string& picture) {
  SYSTEMTIME time = currentTime();
  char text[kTextSize] = {};
  int length = GetDateFormatA(kUsEnglish, 0, &time, picture.c_str(), text, kTextSize);
  return length > 0 ? std::string(text) : std::string();
}

std::string localTimeText(const std::string& picture) {
  SYSTEMTIME time = currentTime();
  char text[kTextSize] = {};
  int length = GetTimeFormatA(kUsEnglish, 0, &time, picture.c_str(), text, kTextSize);
  return length > 0 ? std::string(text) : std::string();
}
