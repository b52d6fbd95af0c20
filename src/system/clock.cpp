// The clock's fixed-time hook, shared by both platform clocks.
#include "system/clock.h"

#include <mutex>

namespace {
std::mutex fixedTimeLock;
std::optional<LocalTime> fixedTime;
}  // namespace

void setFixedLocalTime(std::optional<LocalTime> time) {
  std::lock_guard<std::mutex> lock(fixedTimeLock);
  fixedTime = time;
}

std::optional<LocalTime> fixedLocalTime() {
  std::lock_guard<std::mutex> lock(fixedTimeLock);
  return fixedTime;
}
