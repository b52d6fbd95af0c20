// The race models of report_races.h, built as the tracker fills the model.
#include "support/report_races.h"

#include <string>

namespace {

RaceTime time(unsigned minutes, unsigned seconds, unsigned hundredths) {
  return RaceTime{static_cast<std::uint8_t>(minutes / 60), static_cast<std::uint8_t>(minutes % 60),
                  static_cast<std::uint8_t>(seconds), static_cast<std::uint8_t>(hundredths)};
}

RaceTime fromHundredths(unsigned value) { return time(value / 6000, value / 100 % 60, value % 100); }

RaceInfo info(const char* track, std::uint8_t laps, std::uint8_t qualifyMinutes) {
  RaceInfo race;
  race.track = track;
  race.laps = laps;
  race.qualifyMinutes = qualifyMinutes;
  race.weather = 1;
  race.host = "^7Tarnbeck ^1demo";
  race.version = "0.7F";
  return race;
}

PlayerStats& addPlayer(ModelRace& race, std::int16_t id, const char* name, const char* user, const char* car,
                       std::uint8_t startOrder) {
  PlayerStats& player = race.players.emplace_back();
  player.id = id;
  player.name = name;
  player.userName = user;
  player.carName = car;
  player.startOrder = startOrder;
  player.firstLap = 1;
  return player;
}

// A lap with its split times (from the lap's start), its time and position.
void addLap(PlayerStats& player, std::initializer_list<unsigned> splits, unsigned lapHundredths,
            std::uint8_t position) {
  LapRecord& lap = player.laps.emplace_back();
  for (unsigned split : splits) lap.splits.push_back(SplitRecord{fromHundredths(split), 9000, position});
  lap.time = fromHundredths(lapHundredths);
  lap.speed = 8000;
  lap.position = position;
  if (!lap.time.isZero() && (player.bestLap.isZero() || lap.time < player.bestLap)) player.bestLap = lap.time;
}

void finish(PlayerStats& player, unsigned totalHundredths, std::uint8_t position, std::uint8_t pits = 0,
            std::uint16_t penalty = 0) {
  player.result = ResultRecord{fromHundredths(totalHundredths), 0, pits, penalty, position};
}

}  // namespace

ModelRace smallRace() {
  ModelRace race;
  race.info = info("BL1", 3, 0);
  PlayerStats& alice = addPlayer(race, 1, "Alice", "alice", "XFG", 0);
  addLap(alice, {2150, 4310}, 6520, 1);
  addLap(alice, {2190, 4340}, 6540, 2);
  addLap(alice, {2160, 4300}, 6510, 2);
  finish(alice, 19570, 2);
  PlayerStats& bob = addPlayer(race, 2, "Bob", "bob", "XRG", 1);
  addLap(bob, {2180, 4350}, 6570, 2);
  addLap(bob, {2130, 4290}, 6460, 1);
  addLap(bob, {2120, 4270}, 6440, 1);
  finish(bob, 19470, 1);
  PlayerStats& carol = addPlayer(race, 3, "Carol", "carol", "FBM", 2);
  addLap(carol, {2240, 4460}, 6710, 3);
  addLap(carol, {2220}, 0, 3);
  carol.laps.back().time.minutes = kClosedLapMinutes;  // pitted during the lap
  addLap(carol, {2230, 4400}, 6620, 3);
  finish(carol, 23980, 3, 1, 16);
  PlayerStats& dan = addPlayer(race, 4, "^1D\xE4^7n^v^^", "d\xE4n", "UF1", 3);
  addLap(dan, {2500, 5000}, 7400, 4);
  addLap(dan, {2510, 5020}, 7390, 4);
  return race;
}

ModelRace qualifying() {
  ModelRace race;
  race.info = info("AS3", 0, 20);
  const struct {
    const char* name;
    unsigned best;
  } drivers[] = {{"Anna", 9000}, {"Ben", 8950}, {"Cleo", 9000}};
  std::int16_t id = 1;
  for (const auto& driver : drivers) {
    PlayerStats& player = addPlayer(race, id, driver.name, "", "FZR", static_cast<std::uint8_t>(id - 1));
    addLap(player, {3000, 6000}, driver.best + 120, 0);
    addLap(player, {2990, 5990}, driver.best, 0);
    player.result = ResultRecord{fromHundredths(driver.best * 2 + 120), 0, 0, 0, kUnplacedPosition};
    ++id;
  }
  PlayerStats& late = addPlayer(race, 9, "Dora", "dora", "FZR", 3);
  late.laps.emplace_back().splits.push_back(SplitRecord{fromHundredths(3100), 0, 0});
  return race;
}

ModelRace bigRace(unsigned players, unsigned laps) {
  ModelRace race;
  race.info = info("WE1", static_cast<std::uint8_t>(laps > 255 ? 255 : laps), 0);
  for (unsigned p = 0; p < players; ++p) {
    PlayerStats& player =
        addPlayer(race, static_cast<std::int16_t>(p + 1),
                  ("^" + std::to_string(p % 8) + "Driver " + std::to_string(p + 1)).c_str(),
                  ("driver" + std::to_string(p + 1)).c_str(), "FXR", static_cast<std::uint8_t>(p));
    unsigned total = 0;
    for (unsigned lap = 0; lap < laps; ++lap) {
      // Positions swap in pairs every few laps; each driver pits once, one crashes.
      unsigned lapTime = 9000 + p * 7 + (lap * 37 + p * 13) % 90;
      if (lap % 10 == p % 10 && lap / 10 == p % 4 + 2) lapTime += 2500;
      if (p == 5 && lap == 40) lapTime += 9000;
      // Neighbours in pairs swap places every few laps.
      const unsigned partner = p ^ 1u;
      const bool swapped = partner < players && (lap / 5 + p / 2) % 3 == 0;
      const std::uint8_t position = static_cast<std::uint8_t>((swapped ? partner : p) + 1);
      addLap(player, {lapTime / 3, lapTime * 2 / 3, lapTime * 5 / 6}, lapTime, position);
      total += lapTime;
    }
    finish(player, total, static_cast<std::uint8_t>(p + 1), 1);
  }
  return race;
}

ModelRace hostileRace() {
  ModelRace race;
  race.info = info("<b>", 2, 0);
  race.info->host = "\"host\" & <i>";
  race.info->version = "<0.7>";
  const char* const names[] = {"<script>alert(1)</script>", "&amp;", "\"quoted\" 'single'", "^l^r^t^a^s"};
  std::int16_t id = 1;
  for (const char* name : names) {
    PlayerStats& player = addPlayer(race, id, name, "<u>", "&car;", static_cast<std::uint8_t>(id - 1));
    addLap(player, {3000}, 6000 + id, static_cast<std::uint8_t>(id));
    addLap(player, {3000}, 6000 + id, static_cast<std::uint8_t>(id));
    finish(player, 12000 + id * 2, static_cast<std::uint8_t>(id));
    ++id;
  }
  return race;
}
