// The most memory the process has held in RAM so far.
#pragma once

#include <cstdint>

// Peak resident set size in KiB; 0 when the system does not tell.
std::uint64_t peakResidentKiB();
