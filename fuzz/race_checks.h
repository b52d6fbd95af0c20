// What the OnDatagram fuzzer checks about the race model and the stats
// documents it saves: a full textual picture of the model (to tell whether a
// datagram changed it), the model's invariants, and the counts a document
// written from the model must show.
#pragma once

#include "race/race_model.h"

#include <cstddef>
#include <string>

// Every field of the model, players in list order.
std::string describeRace(const RaceStats& race);

// Stops the run when an invariant of the model does not hold: ids in
// -1..255, texts within their record widths, the running-order table filled
// from its first row with each car at most once.
void checkRaceInvariants(const RaceStats& race);

// What a document written from the model must contain.
struct DocumentCounts {
  std::size_t players = 0;
  std::size_t laps = 0;
  std::size_t splits = 0;
  std::string ids;  // the players' ids, sorted, as text
  bool worthSaving = false;
};
DocumentCounts expectedDocument(const RaceStats& race);

// Parses a saved stats file and compares it with the counts.
void checkSavedDocument(const std::string& bytes, const DocumentCounts& expected);
