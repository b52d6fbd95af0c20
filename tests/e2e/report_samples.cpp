// Writes the stats files the race report pages are checked on: the small race,
// a qualifying session, 40 players over 100 laps and a race of hostile names,
// each through the program's own stats document. Usage: report_samples FOLDER
#include "output/stats_document.h"
#include "support/report_races.h"

#include <cstdio>
#include <fstream>
#include <string>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: report_samples FOLDER\n");
    return 2;
  }
  const struct {
    const char* name;
    ModelRace race;
  } samples[] = {
      {"race.xml", smallRace()},
      {"qualifying.xml", qualifying()},
      {"big.xml", bigRace(40, 100)},
      {"hostile.xml", hostileRace()},
  };
  for (const auto& sample : samples) {
    ModelRace race = sample.race;
    std::ofstream file(std::string(argv[1]) + "/" + sample.name, std::ios::binary);
    writeStatsDocument(file, race.players, race.info);
    if (!file.flush()) return 1;
  }
  return 0;
}
