// Heap use of a program, counted by its own global operator new and delete:
// how many allocations were made, and how many bytes are live now and were at
// most. Linked into the fault tests and the benchmarks.
#pragma once

#include <cstdint>

struct HeapCounts {
  std::uint64_t allocations = 0;
  std::uint64_t liveBytes = 0;
  std::uint64_t peakBytes = 0;
};

HeapCounts heapCounts();

// Starts a new peak from the bytes live now.
void resetHeapPeak();
