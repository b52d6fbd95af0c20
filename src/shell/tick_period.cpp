// The timer tick's period and its override from the environment.
#include "shell/tick_period.h"

#include <cstdlib>

namespace {
const unsigned kNormalPeriodMs = 6000;
}  // namespace

unsigned tickPeriodFrom(const char* variable) {
  if (variable == nullptr || *variable < '0' || *variable > '9') return kNormalPeriodMs;
  char* end = nullptr;
  unsigned long value = std::strtoul(variable, &end, 10);
  if (*end != '\0' || value == 0 || value > kNormalPeriodMs) return kNormalPeriodMs;
  return static_cast<unsigned>(value);
}

unsigned tickPeriodMs() { return tickPeriodFrom(std::getenv("TARNBECK_TICK_MS")); }
