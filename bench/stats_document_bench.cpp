// Writing the stats document of a 40-player, 100-lap race with 3 splits a lap
// into a file, against writing the same bytes into a file with one fwrite.
#include "output/stats_document.h"

#include <benchmark/benchmark.h>

#include <chrono>
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
        record.splits.push_back(SplitRecord{RaceTime{0, 0, static_cast<std::uint8_t>(20 * (split + 1)), 0}, 160,
                                            static_cast<std::uint8_t>(id)});
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

std::string scratchFile() {
  return (std::filesystem::temp_directory_path() / "tarnbeck-bench-stats.xml").string();
}

void writeDocumentToFile(benchmark::State& state) {
  std::list<PlayerStats> players = bigRace();
  const std::optional<RaceInfo> info = raceInfo();
  const std::string path = scratchFile();
  std::size_t bytes = 0;
  for (auto _ : state) {
    std::ofstream file(path, std::ios::out | std::ios::trunc);
    writeStatsDocument(file, players, info);
    file.close();
    bytes = static_cast<std::size_t>(std::filesystem::file_size(path));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
  state.counters["document_bytes"] = static_cast<double>(bytes);
  std::filesystem::remove(path);
}

void writeSameBytesWithOneFwrite(benchmark::State& state) {
  std::list<PlayerStats> players = bigRace();
  std::ostringstream document;
  writeStatsDocument(document, players, raceInfo());
  const std::string bytes = document.str();
  const std::string path = scratchFile();
  for (auto _ : state) {
    std::FILE* file = std::fopen(path.c_str(), "w");
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
  state.counters["document_bytes"] = static_cast<double>(bytes.size());
  std::filesystem::remove(path);
}

}  // namespace

BENCHMARK(writeDocumentToFile)->Unit(benchmark::kMillisecond);
BENCHMARK(writeSameBytesWithOneFwrite)->Unit(benchmark::kMillisecond);
