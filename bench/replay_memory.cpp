// Peak memory over a one-hour race of 40 players, replayed as fast as the
// tracker takes it (car information every 350 ms of race time, three splits
// and a lap line per lap, results and the race end with its stats file),
// against the same tracker linked and idle. Prints one line per figure.
#include "bench_support.h"
#include "config/shared_state.h"
#include "support/heap_counter.h"
#include "peak_memory.h"
#include "support/simulator_datagrams.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr unsigned kPlayers = 40;
constexpr int kRaceSeconds = 3600;
constexpr int kCarInfoMilliseconds = 350;
constexpr std::uint16_t kNodeCount = 400;
constexpr std::uint16_t kFinishNode = 10;

RaceTime asRaceTime(double seconds) {
  const auto hundredths = static_cast<unsigned>(seconds * 100.0 + 0.5);
  return RaceTime{
      static_cast<std::uint8_t>(hundredths / 360000), static_cast<std::uint8_t>(hundredths / 6000 % 60),
      static_cast<std::uint8_t>(hundredths / 100 % 60), static_cast<std::uint8_t>(hundredths % 100)};
}

// Where each car is: every driver has a lap time of their own.
struct Driver {
  std::uint8_t id;
  double lapSeconds;
  int lap = 1;       // the lap being driven
  int quarters = 0;  // lap quarters passed in this lap: 1-3 are the splits
};

// Feeds the whole race; returns the number of datagrams.
std::size_t replayRace(lfsReadSocket& tracker, std::uint16_t simulatorPort) {
  std::vector<Driver> drivers;
  for (unsigned id = 1; id <= kPlayers; ++id)
    drivers.push_back(Driver{static_cast<std::uint8_t>(id), 88.0 + id * 0.15});
  std::size_t datagrams = 0;
  std::uint16_t ack = 200;
  auto send = [&](const std::string& datagram) {
    feed(tracker, simulatorPort, datagram);
    ++datagrams;
  };
  for (int ms = kCarInfoMilliseconds; ms <= kRaceSeconds * 1000; ms += kCarInfoMilliseconds) {
    const double now = ms / 1000.0;
    std::vector<Car> cars;
    for (Driver& driver : drivers) {
      const double lapStart = (driver.lap - 1) * driver.lapSeconds;
      const double into = (now - lapStart) / driver.lapSeconds;
      const int quarters = static_cast<int>(into * 4);
      if (quarters > driver.quarters && quarters <= 3) {
        send(splitPacket(driver.id, asRaceTime(quarters * driver.lapSeconds / 4), ack++,
                         static_cast<char>('0' + quarters)));
        driver.quarters = quarters;
      }
      if (into >= 1.0) {
        send(lapPacket(driver.id, asRaceTime(driver.lapSeconds), ack++));
        ++driver.lap;
        driver.quarters = 0;
      }
      const double progress = (now - (driver.lap - 1) * driver.lapSeconds) / driver.lapSeconds;
      const auto node = static_cast<std::uint16_t>(
          (kFinishNode + 1 + static_cast<int>(progress * (kNodeCount - 1))) % kNodeCount);
      cars.push_back(Car{driver.id, static_cast<std::uint16_t>(driver.lap), node,
                         static_cast<std::uint16_t>(150 + driver.id)});
      if (cars.size() == 8) {
        send(mciPacket(kNodeCount, kFinishNode, kPlayers, cars));
        cars.clear();
      }
    }
  }
  for (const Driver& driver : drivers) {
    Finishing result;
    result.playerId = driver.id;
    result.totalTime = asRaceTime(kRaceSeconds);
    result.bestLap = asRaceTime(driver.lapSeconds);
    result.position = static_cast<std::uint8_t>(driver.id - 1);
    send(resPacket(result, ack++));
  }
  send(renPacket(ack++));
  return datagrams;
}

void printFigure(const char* name, std::uint64_t value, const char* unit) {
  std::printf("%-32s %12llu %s\n", name, static_cast<unsigned long long>(value), unit);
}

}  // namespace

int main() {
  SocketLibrary library;
  StatsScratch output;
  ReplySink simulator;
  SocketHandler handler;
  auto tracker = std::make_unique<lfsReadSocket>(handler);
  tracker->OpenServerLink("127.0.0.1", simulator.port());

  // Idle: linked, handshake done, nobody on track, a while of keep-alive traffic.
  feed(*tracker, simulator.port(), rtpPacket());
  feed(*tracker, simulator.port(), mciPacket(kNodeCount, kFinishNode, 0, {}));
  for (int i = 0; i < 1000; ++i) feed(*tracker, simulator.port(), rtpPacket());
  const std::uint64_t idleResident = peakResidentKiB();
  const HeapCounts idleHeap = heapCounts();

  startRace(*tracker, simulator.port(), kPlayers, 40);
  resetHeapPeak();
  const auto start = std::chrono::steady_clock::now();
  const std::size_t datagrams = replayRace(*tracker, simulator.port());
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const std::uint64_t replayResident = peakResidentKiB();
  const HeapCounts replayHeap = heapCounts();
  const bool saved = takePendingStatsFile().has_value();

  printFigure("datagrams replayed", datagrams, "");
  printFigure("replay time", static_cast<std::uint64_t>(seconds * 1000.0), "ms");
  printFigure("stats file saved at race end", saved ? 1 : 0, saved ? "(yes)" : "(NO)");
  printFigure("idle peak resident", idleResident, "KiB");
  printFigure("replay peak resident", replayResident, "KiB");
  std::printf("%-32s %12.3f\n", "peak resident ratio",
              static_cast<double>(replayResident) / static_cast<double>(idleResident));
  printFigure("idle live heap", idleHeap.liveBytes, "bytes");
  printFigure("replay peak heap", replayHeap.peakBytes, "bytes");
  printFigure("live heap after the race end", replayHeap.liveBytes, "bytes");
  return saved ? 0 : 1;
}
