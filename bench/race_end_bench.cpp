// From the race-end datagram to the stats file closed on disk, end to end:
// a REN sent over loopback UDP to a bound lfsReadSocket in the real
// SocketHandler loop, holding a race of 40 players, 100 laps and 3 splits a
// lap, until the saved file's path is queued for upload (which writeStats does
// once the file is closed).
#include "bench_support.h"
#include "config/shared_state.h"
#include "support/simulator_datagrams.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace {

constexpr unsigned kPlayers = 40;
constexpr std::uint8_t kLaps = 100;

// Every driver through three splits and over the line, lap after lap, then
// the results: what the simulator sends during a race.
void driveRace(lfsReadSocket& tracker, std::uint16_t simulatorPort) {
  startRace(tracker, simulatorPort, kPlayers, kLaps);
  std::uint16_t ack = 1;
  for (unsigned lap = 0; lap < kLaps; ++lap) {
    for (unsigned id = 1; id <= kPlayers; ++id) {
      const auto player = static_cast<std::uint8_t>(id);
      for (char number = '1'; number <= '3'; ++number) {
        const auto seconds = static_cast<std::uint8_t>(20 * (number - '0'));
        feed(tracker, simulatorPort, splitPacket(player, raceTime(0, 0, seconds, 0), ack++, number));
      }
      feed(tracker, simulatorPort,
           lapPacket(player, raceTime(0, 1, 30, static_cast<std::uint8_t>(lap)), ack++));
    }
  }
  for (unsigned id = 1; id <= kPlayers; ++id) {
    Finishing result;
    result.playerId = static_cast<std::uint8_t>(id);
    result.totalTime = raceTime(2, 30, 0, 0);
    result.bestLap = raceTime(0, 1, 30, 0);
    result.position = static_cast<std::uint8_t>(id - 1);
    feed(tracker, simulatorPort, resPacket(result, ack++));
  }
}

void raceEndToStatsFile(benchmark::State& state) {
  SocketLibrary library;
  StatsScratch output;
  ReplySink simulator;
  SocketHandler handler;
  std::uint16_t port = 0;
  auto* tracker = addBoundTracker<lfsReadSocket>(handler, simulator.port(), port);
  if (tracker == nullptr) {
    state.SkipWithError("client port not bound");
    return;
  }
  // The race end comes from the simulator's own port, as the tracker expects.
  const LoopbackPort sender;
  socketConnect(sender.descriptor(), loopbackAddress(), port);
  const std::string raceEnd = renPacket(1);

  // The smallest file of the run: every round saves the whole race.
  std::uintmax_t fileBytes = UINTMAX_MAX;
  while (takePendingStatsFile()) {
  }
  for (auto _ : state) {
    driveRace(*tracker, sender.port());
    const auto start = std::chrono::steady_clock::now();
    socketSend(sender.descriptor(), raceEnd.data(), static_cast<int>(raceEnd.size()), 0);
    std::optional<std::string> saved;
    while (!(saved = takePendingStatsFile())) {
      // A second without the file: the datagram or the save was lost.
      if (selectOnce(handler, 1, 0) < 0 || secondsSince(start) > 1.0) {
        state.SkipWithError("no stats file after the race end");
        return;
      }
    }
    state.SetIterationTime(secondsSince(start));
    fileBytes = std::min(fileBytes, std::filesystem::file_size(*saved));
  }
  state.counters["file_bytes"] = static_cast<double>(fileBytes);
}

}  // namespace

// Each round first feeds a whole race through OnDatagram (some 16,000
// datagrams), outside the time measured.
BENCHMARK(raceEndToStatsFile)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(30);
