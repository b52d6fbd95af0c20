// Writing the stats document of a 40-player, 100-lap race with 3 splits a lap
// into a file, against writing the same bytes into a file with one fwrite,
// the two in turn in one run.
#include "output/stats_document.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <ctime>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <list>
#include <optional>
#include <sstream>
#include <string>

namespace {

std::list<PlayerStats> bigRace() {
  std::list<PlayerStats> players;
  for (int id = 1; id <= 40; ++id) {
    PlayerStats& player = players.emplace_back();
    player.id = static_cast<std::int16_t>(id);
    player.name = "Driver number " + std::to_string(id);
    player.userName = "driver" + std::to_string(id);
    player.carName = "FXO";
    player.startOrder = static_cast<std::uint8_t>(id - 1);
    player.bestSpeed = 180;
    player.firstLap = 1;
    player.bestLap = RaceTime{0, 1, 29, static_cast<std::uint8_t>(id)};
    for (int lap = 0; lap < 100; ++lap) {
      LapRecord& record = player.laps.emplace_back();
      record.time = RaceTime{0, 1, 30, static_cast<std::uint8_t>(lap % 100)};
      record.speed = 170;
      record.position = static_cast<std::uint8_t>(id);
      for (int split = 0; split < 3; ++split) {
        record.splits.push_back(SplitRecord{RaceTime{0, 0, static_cast<std::uint8_t>(20 * (split + 1)), 0},
                                            160, static_cast<std::uint8_t>(id)});
      }
    }
    player.result = ResultRecord{RaceTime{2, 30, 0, 0}, 0, 1, 0, static_cast<std::uint8_t>(id)};
  }
  return players;
}

std::optional<RaceInfo> raceInfo() {
  RaceInfo info;
  info.track = "BL1";
  info.laps = 100;
  info.host = "Benchmark host";
  info.version = "0.7F";
  return info;
}

std::string scratchFile(const char* name) { return (std::filesystem::temp_directory_path() / name).string(); }

struct Elapsed {
  double seconds = 0;
  double cpuSeconds = 0;
};

// Wall and processor time of the step.
template <typename Step>
Elapsed timed(const Step& step) {
  const auto start = std::chrono::steady_clock::now();
  const std::clock_t cpuStart = std::clock();
  step();
  const std::clock_t cpuEnd = std::clock();
  const auto end = std::chrono::steady_clock::now();
  return Elapsed{std::chrono::duration<double>(end - start).count(),
                 static_cast<double>(cpuEnd - cpuStart) / CLOCKS_PER_SEC};
}

// Each round writes the document into its file, then the same bytes into a
// file of their own with one fwrite, so both meet the same disk and the same
// load; each replaces the file it wrote the round before. The time measured
// is the document's; the counters give both and the ratio.
void documentAgainstOneFwrite(benchmark::State& state) {
  std::list<PlayerStats> players = bigRace();
  const std::optional<RaceInfo> info = raceInfo();
  std::ostringstream document;
  writeStatsDocument(document, players, info);
  const std::string bytes = document.str();
  const std::string documentPath = scratchFile("tarnbeck-bench-stats.xml");
  const std::string fwritePath = scratchFile("tarnbeck-bench-fwrite.xml");

  Elapsed documentTotal;
  Elapsed fwriteTotal;
  std::size_t written = 0;
  for (auto _ : state) {
    const Elapsed documentTime = timed([&] {
      std::ofstream file(documentPath, std::ios::out | std::ios::trunc);
      writeStatsDocument(file, players, info);
      file.close();
    });
    written = static_cast<std::size_t>(std::filesystem::file_size(documentPath));
    const Elapsed fwriteTime = timed([&] {
      std::FILE* file = std::fopen(fwritePath.c_str(), "w");
      std::fwrite(bytes.data(), 1, bytes.size(), file);
      std::fclose(file);
    });
    state.SetIterationTime(documentTime.seconds);
    documentTotal.seconds += documentTime.seconds;
    documentTotal.cpuSeconds += documentTime.cpuSeconds;
    fwriteTotal.seconds += fwriteTime.seconds;
    fwriteTotal.cpuSeconds += fwriteTime.cpuSeconds;
  }
  if (written != bytes.size()) state.SkipWithError("the file is not the document");
  const double rounds = static_cast<double>(state.iterations());
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
  state.counters["document_bytes"] = static_cast<double>(bytes.size());
  state.counters["document_ms"] = 1e3 * documentTotal.seconds / rounds;
  state.counters["document_cpu_ms"] = 1e3 * documentTotal.cpuSeconds / rounds;
  state.counters["fwrite_ms"] = 1e3 * fwriteTotal.seconds / rounds;
  state.counters["fwrite_cpu_ms"] = 1e3 * fwriteTotal.cpuSeconds / rounds;
  state.counters["document/fwrite"] = documentTotal.seconds / fwriteTotal.seconds;
  std::filesystem::remove(documentPath);
  std::filesystem::remove(fwritePath);
}

}  // namespace

BENCHMARK(documentAgainstOneFwrite)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);
