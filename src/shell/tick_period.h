// How often the timer tick runs. Normally every 6 seconds; the environment
// variable TARNBECK_TICK_MS may shorten it (end-to-end checks use it).
#pragma once

// 6000 by default; a positive whole number of milliseconds (at most 6000)
// from TARNBECK_TICK_MS instead when the variable holds one.
unsigned tickPeriodMs();

// The rule behind tickPeriodMs, for a given variable text (null when unset).
unsigned tickPeriodFrom(const char* variable);
