// The race report of a 40-player, 100-lap race with 3 splits a lap: built
// from the model and rendered, as at every save with htmlreport on, beside
// the stats document of the same race written into memory.
#include "output/html_report.h"
#include "output/report_from_race.h"
#include "output/stats_document.h"
#include "support/report_races.h"

#include <benchmark/benchmark.h>

#include <sstream>
#include <string>

namespace {

void reportOfTheBigRace(benchmark::State& state) {
  ModelRace race = bigRace(40, 100);
  std::size_t bytes = 0;
  for (auto _ : state) {
    const std::string page = renderHtmlReport(buildRaceReport(race.players, race.info, "2006-11-21 12:06"));
    bytes = page.size();
    benchmark::DoNotOptimize(page.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
  state.counters["page_bytes"] = static_cast<double>(bytes);
}

void statsDocumentOfTheBigRace(benchmark::State& state) {
  ModelRace race = bigRace(40, 100);
  std::size_t bytes = 0;
  for (auto _ : state) {
    std::ostringstream document;
    writeStatsDocument(document, race.players, race.info);
    bytes = document.str().size();
    benchmark::DoNotOptimize(bytes);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
  state.counters["document_bytes"] = static_cast<double>(bytes);
}

}  // namespace

BENCHMARK(reportOfTheBigRace)->Unit(benchmark::kMillisecond);
BENCHMARK(statsDocumentOfTheBigRace)->Unit(benchmark::kMillisecond);
