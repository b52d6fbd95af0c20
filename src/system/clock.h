// Local date and time as text, in the Windows date and time picture language
// ("yyMMdd", "HHmm", "dd.MM", " HH:mm:ss"), with the same digits on every
// platform. Tests may fix the time the clock reports.
#pragma once

#include <optional>
#include <string>

struct LocalTime {
  int year = 0;    // e.g. 2006
  int month = 0;   // 1-12
  int day = 0;     // 1-31
  int hour = 0;    // 0-23
  int minute = 0;  // 0-59
  int second = 0;  // 0-59
};

// Pictures understood: yy, yyyy, M, MM, d, dd, H, HH, m, mm, s, ss; any other
// character is copied. The US English locale is used, so no text depends on
// the user's regional settings.
std::string localDateText(const std::string& picture);
std::string localTimeText(const std::string& picture);

// Makes the clock report the given time until it is called with no value.
void setFixedLocalTime(std::optional<LocalTime> time);
std::optional<LocalTime> fixedLocalTime();
