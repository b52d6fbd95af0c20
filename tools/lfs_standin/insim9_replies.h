// What a tracker sends in binary InSim (version 9), as one readable line
// ("ISI ...", "TINY NCN reqi=2", "MTC ucid=255 \"text\"") and as the texts an
// expect line may name to match it. Besides its own forms, each reply matches
// the old protocol's wording of the same thing, so old scripts' expect lines
// keep working: MTC and MSL "text" match MST "/echo text", the ISI matches
// NLI <interval> (car information asked for) and VER 0 (version asked for),
// the TINY requests NPL 0, SST 0, ISM 0 and VER 0, SMALL_NLI v matches NLI v.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct Insim9Reply {
  std::uint8_t type = 0;
  std::uint8_t requestId = 0;
  std::uint8_t subType = 0;        // TINY and SMALL
  std::string text;                // printed
  std::vector<std::string> names;  // what expect lines match, text first
  // The old protocol's wordings. One reply may stand for several old ones
  // (the ISI for NLI 350 and VER 0), so each of these is used up alone.
  std::vector<std::string> oldNames;
};

Insim9Reply describeInsim9Reply(const std::uint8_t* bytes, std::size_t length);
