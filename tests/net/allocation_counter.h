// Counts the program's operator new calls while counting is switched on, so
// a test can show that a code path does not allocate.
#pragma once

#include <cstddef>

void startCountingAllocations();
// Switches counting off and returns the count since the start.
std::size_t stopCountingAllocations();
