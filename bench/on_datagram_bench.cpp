// Time and heap allocations per packet of OnDatagram, packet kind by kind, on
// a tracker that follows a 40-player race: the steady state of a race under way.
#include "bench_support.h"
#include "support/heap_counter.h"
#include "support/simulator_datagrams.h"

#include <benchmark/benchmark.h>

#include <functional>
#include <string>
#include <vector>

namespace {

constexpr unsigned kPlayers = 40;

// The datagrams one benchmark feeds in turn, made for the tracker's state.
using Datagrams = std::vector<std::string>;

Finishing finishing(std::uint8_t id) {
  Finishing result;
  result.playerId = id;
  result.totalTime = raceTime(0, 59, 0, 0);
  result.bestLap = raceTime(0, 1, 30, 0);
  result.position = static_cast<std::uint8_t>(id - 1);
  return result;
}

void runPackets(benchmark::State& state, const std::function<Datagrams(LinkedTracker&)>& prepare) {
  LinkedTracker race(kPlayers);
  // Every car on track once, so the running order and speeds are filled.
  for (unsigned first = 1; first <= kPlayers; first += 8) race.feed(carInfo(first, 8, 1, 100, 150, kPlayers));
  const Datagrams datagrams = prepare(race);
  // One pass first: whatever grows once (a lap's split list, a text) has grown.
  for (const std::string& datagram : datagrams) race.feed(datagram);

  const std::uint64_t before = heapCounts().allocations;
  std::size_t next = 0;
  for (auto _ : state) {
    race.feed(datagrams[next]);
    if (++next == datagrams.size()) next = 0;
  }
  const double allocations = static_cast<double>(heapCounts().allocations - before);
  state.counters["allocs/packet"] = benchmark::Counter(allocations / static_cast<double>(state.iterations()));
  state.SetItemsProcessed(state.iterations());
}

Datagrams carInformation(LinkedTracker&) {
  Datagrams datagrams;
  // Five packets cover the 40 cars; the cars move on between rounds.
  for (std::uint16_t node = 120; node < 400; node += 40) {
    for (unsigned first = 1; first <= kPlayers; first += 8)
      datagrams.push_back(carInfo(first, 8, 2, node, 160, kPlayers));
  }
  return datagrams;
}

Datagrams acknowledgedOnly(LinkedTracker&) {
  return {clrPacket(1), cnlPacket(2), ncnPacket(3), reoPacket(4), cprPacket(5)};
}

Datagrams trafficOnly(LinkedTracker&) { return {rtpPacket()}; }

Datagrams unrecognised(LinkedTracker&) {
  return {std::string(7, 'x'), std::string("XYZ\0....", 8), std::string(204, '\0'), std::string(1000, 'g')};
}

Datagrams splitsAndLaps(LinkedTracker&) {
  // Every driver through three splits and over the line, then again.
  Datagrams datagrams;
  std::uint16_t ack = 1;
  for (char number = '1'; number <= '3'; ++number) {
    for (unsigned id = 1; id <= kPlayers; ++id) {
      datagrams.push_back(splitPacket(static_cast<std::uint8_t>(id), raceTime(0, 0, 30, 0), ack++, number));
    }
  }
  for (unsigned id = 1; id <= kPlayers; ++id) {
    datagrams.push_back(lapPacket(static_cast<std::uint8_t>(id), raceTime(0, 1, 30, 0), ack++));
  }
  return datagrams;
}

Datagrams chatLines(LinkedTracker&) { return {msoPacket("good race everyone"), msoPacket("!sav")}; }

Datagrams knownPlayers(LinkedTracker&) {
  Datagrams datagrams;
  for (unsigned id = 1; id <= kPlayers; ++id) {
    Joining joining;
    joining.playerId = static_cast<std::uint8_t>(id);
    joining.name = "Driver " + std::to_string(id);
    joining.carName = "FXO";
    datagrams.push_back(nplPacket(joining, static_cast<std::uint16_t>(id)));
  }
  return datagrams;
}

Datagrams results(LinkedTracker&) {
  Datagrams datagrams;
  for (unsigned id = 1; id <= kPlayers; ++id)
    datagrams.push_back(resPacket(finishing(static_cast<std::uint8_t>(id)), 7));
  return datagrams;
}

Datagrams hostAndVersion(LinkedTracker&) {
  return {ismPacket("Tarnbeck test server"), verPacket("0.7F"), staPacket(0, 0, 40, "BL1")};
}

}  // namespace

BENCHMARK_CAPTURE(runPackets, MCI, carInformation);
BENCHMARK_CAPTURE(runPackets, CLR_CNL_NCN_REO_CPR, acknowledgedOnly);
BENCHMARK_CAPTURE(runPackets, RTP, trafficOnly);
BENCHMARK_CAPTURE(runPackets, unrecognised, unrecognised);
// Each lap stays in the race, so the run is bounded.
BENCHMARK_CAPTURE(runPackets, SP_and_LAP, splitsAndLaps)->Iterations(400000);
BENCHMARK_CAPTURE(runPackets, MSO_chat, chatLines);
BENCHMARK_CAPTURE(runPackets, NPL_known_player, knownPlayers);
BENCHMARK_CAPTURE(runPackets, RES_repeated, results);
BENCHMARK_CAPTURE(runPackets, ISM_VER_STA, hostAndVersion);
