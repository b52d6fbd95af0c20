// The tracker's decisions for each event of a race: joins and rejoins, car
// samples, splits, laps, results, pit stops, race start and end, and when to
// save. Network thread only.
#include "race/race_tracker.h"

#include "config/shared_state.h"
#include "race/game_texts.h"

bool RaceTracker::announceUploadOutcome() {
  const std::uint8_t outcome = takeUploadOutcome();
  if (outcome == UploadNone) return false;
  output_.sendGameText(outcome == UploadSucceeded ? kUploadSucceededText : kUploadFailedText);
  return true;
}

bool RaceTracker::frozen(const PlayerStats& player) const {
  return player.result.has_value() && stats_.isLappedRace();
}

void RaceTracker::carSample(const CarSample& car, std::uint16_t nodeCount, std::uint16_t finishNode) {
  PlayerStats* player = stats_.findPlayer(car.playerId);
  if (player == nullptr) return;
  if (!stats_.isQualifying()) {
    stats_.updatePosition(car.playerId, car.lap, car.node, nodeCount, finishNode);
  }
  LapRecord* newest = player->lastLap();
  // A lap just completed takes the speed of the first sample after it,
  // even from a player whose result is in.
  if (newest != nullptr && newest->speed == kSpeedFromNextSample) newest->speed = car.speed;
  if (frozen(*player)) return;
  if (car.speed > player->bestSpeed) player->bestSpeed = car.speed;
  if (newest != nullptr && !newest->splits.empty() && newest->splits.back().speed == 0) {
    newest->splits.back().speed = car.speed;
  }
  if (player->firstLap == 0 && car.speed != 0) player->firstLap = car.lap;
}

void RaceTracker::playerJoins(const PlayerJoin& join) {
  if (PlayerStats* known = stats_.findPlayer(join.playerId)) {
    known->setCarName(join.carName);
    return;
  }
  // Names are kept cut to the record's width, so a rejoining player is
  // looked up the same way. Only a record whose player has left is taken
  // over: a second driver of the same name racing alongside gets his own.
  const std::string_view name = join.playerName.substr(0, kPlayerNameWidth - 1);
  PlayerStats* record = stats_.findLeftPlayerByName(name);
  if (record != nullptr) {
    // Qualifying keeps every lap a driver set; a race starts the rejoined
    // driver afresh.
    if (!stats_.isQualifying()) {
      stats_.resetPlayer(*record);
      record->startOrder = kRejoinedStartOrder;
    }
    record->id = join.playerId;
  } else {
    record = &stats_.addPlayer(join.playerId, name);
    record->startOrder = join.startOrder;
  }
  record->flags = join.flags;
  record->setCarName(join.carName);
  record->setUserName(join.userName);
}

void RaceTracker::split(std::uint8_t playerId, const RaceTime& time) {
  PlayerStats* player = stats_.findPlayer(playerId);
  if (player == nullptr || frozen(*player)) return;
  SplitRecord& record = stats_.openSplit(*player);
  record.time = time;
  record.position = stats_.isQualifying() ? 0 : stats_.positionOf(playerId);
}

void RaceTracker::lap(std::uint8_t playerId, const RaceTime& time) {
  PlayerStats* player = stats_.findPlayer(playerId);
  if (player == nullptr || frozen(*player)) return;
  if (player->laps.empty()) stats_.openLap(*player);
  LapRecord& newest = player->laps.back();
  newest.time = time;
  newest.speed = kSpeedFromNextSample;
  if (stats_.isQualifying()) return;
  if (player->laps.size() == 1 || time < player->bestLap) player->bestLap = time;
  newest.position = stats_.positionOf(playerId);
}

void RaceTracker::result(const RaceResult& result) {
  if (PlayerStats* player = stats_.findPlayer(result.playerId)) takeResult(*player, result);
}

void RaceTracker::resultOfPlayerWhoLeft(std::string_view playerName, const RaceResult& result) {
  const std::string_view name = playerName.substr(0, kPlayerNameWidth - 1);
  for (PlayerStats& player : stats_.players) {
    if (player.id == -1 && player.name == name) {
      takeResult(player, result);
      return;
    }
  }
}

void RaceTracker::startPlace(std::uint8_t playerId, std::uint8_t place) {
  if (PlayerStats* player = stats_.findPlayer(playerId)) player->startOrder = place;
}

void RaceTracker::driverChanges(std::uint8_t playerId, std::string_view userName) {
  if (PlayerStats* player = stats_.findPlayer(playerId)) player->setUserName(userName);
}

void RaceTracker::takeResult(PlayerStats& target, const RaceResult& result) {
  PlayerStats* player = &target;
  const bool qualifying = stats_.isQualifying();
  const auto resultPosition = static_cast<std::uint8_t>(result.position + 1);
  if (!player->result) {
    ResultRecord record;
    record.totalTime = result.totalTime;
    record.totalTimeLead = result.totalTimeLead;
    record.pitStops = result.pitStops;
    record.penaltyFlags = result.penaltyFlags;
    player->bestLap = result.bestLap;
    if (qualifying) {
      if (player->laps.empty()) stats_.openLap(*player);
      record.position = kUnplacedPosition;
    } else {
      record.position = resultPosition;
    }
    player->result = record;
  }
  if (!qualifying) return;
  // Qualifying reports every improvement as a new result: the newest lap
  // takes its position and the best lap its time.
  if (LapRecord* newest = player->lastLap()) newest->position = resultPosition;
  if (result.bestLap < player->bestLap) player->bestLap = result.bestLap;
}

void RaceTracker::playerPits(std::uint8_t playerId) {
  PlayerStats* player = stats_.findPlayer(playerId);
  if (player == nullptr) return;
  if (stats_.isLappedRace()) {
    // Before anyone has finished, a driver who pits in a lapped race is out;
    // afterwards the record is the finished race's and stays.
    if (stats_.finishedCount == 0) stats_.resetPlayer(*player);
  } else {
    stats_.closeLap(*player);
  }
}

void RaceTracker::playerLeaves(std::uint8_t playerId) {
  if (PlayerStats* player = stats_.findPlayer(playerId)) player->id = -1;
}

void RaceTracker::raceStarts(const RaceSetup& setup) {
  stats_.setRaceInfo(setup.track, setup.laps, setup.weather, setup.wind, setup.qualifyMinutes);
}

void RaceTracker::raceState(std::uint8_t finishedCount, const RaceSetup& setup) {
  stats_.finishedCount = finishedCount;
  if (stats_.players.empty() || stats_.info) return;
  raceStarts(setup);
  output_.requestHostName();
}

void RaceTracker::hostName(std::string_view name) {
  if (stats_.info) stats_.info->setHost(name);
}

void RaceTracker::simulatorVersion(std::string_view version) {
  if (stats_.info) stats_.info->setVersion(version);
}

bool RaceTracker::saveRace() {
  return !stats_.players.empty() && output_.saveRace(stats_.players, stats_.info);
}

void RaceTracker::raceEnds() {
  output_.sendGameText(saveRace() ? kStatsSavedText : kStatsNotSavedText);
  stats_.clear();
  output_.requestRaceState();
}

void RaceTracker::voteAction(std::int32_t action) {
  if (action >= 2) raceEnds();
}

void RaceTracker::linkEnds() {
  saveRace();
  stats_.clear();
}
