// Peak resident set size from getrusage (KiB on Linux).
#include "peak_memory.h"

#include <sys/resource.h>

std::uint64_t peakResidentKiB() {
  rusage usage{};
  if (getrusage(RUSAGE_SELF, &usage) != 0) return 0;
  return static_cast<std::uint64_t>(usage.ru_maxrss);
}
