// The simulator's four-byte time (hours, minutes, seconds, hundredths), used
// for lap, split, best-lap and total times.
#pragma once

#include <cstdint>

struct RaceTime {
  std::uint8_t hours = 0;
  std::uint8_t minutes = 0;
  std::uint8_t seconds = 0;
  std::uint8_t hundredths = 0;

  bool isZero() const { return hours == 0 && minutes == 0 && seconds == 0 && hundredths == 0; }
};

// Byte by byte in field order, unsigned: the first differing byte decides.
inline bool operator<(const RaceTime& a, const RaceTime& b) {
  if (a.hours != b.hours) return a.hours < b.hours;
  if (a.minutes != b.minutes) return a.minutes < b.minutes;
  if (a.seconds != b.seconds) return a.seconds < b.seconds;
  return a.hundredths < b.hundredths;
}

inline bool operator==(const RaceTime& a, const RaceTime& b) {
  return a.hours == b.hours && a.minutes == b.minutes && a.seconds == b.seconds &&
         a.hundredths == b.hundredths;
}

inline bool operator!=(const RaceTime& a, const RaceTime& b) { return !(a == b); }
