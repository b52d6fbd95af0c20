// The race tracker: holds the race model and makes every decision about it,
// whatever protocol the simulator speaks. A protocol adapter turns packets
// into the calls below and carries out what the tracker asks for through its
// RaceTrackerOutput. Network thread only.
#pragma once

#include "race/race_model.h"
#include "race/race_time.h"

#include <cstdint>
#include <list>
#include <optional>
#include <string_view>

// What the tracker asks of the link. Implemented by the protocol adapter
// that owns the tracker.
class RaceTrackerOutput {
 public:
  virtual ~RaceTrackerOutput() = default;
  // Shows the text in the game's chat.
  virtual void sendGameText(std::string_view text) = 0;
  // After a race end: the players still on track and the race state are to
  // be asked for again, so they carry over into the next race.
  virtual void requestRaceState() = 0;
  // The host's name is to be asked for.
  virtual void requestHostName() = 0;
  // Car information on (tracking) or off (deactivated).
  virtual void setCarInformation(bool on) = 0;
  // Writes the stats file; true when it was written.
  virtual bool saveRace(std::list<PlayerStats>& players, const std::optional<RaceInfo>& info) = 0;
};

struct PlayerJoin {
  std::uint8_t playerId = 0;
  std::string_view playerName;
  std::string_view userName;
  std::string_view carName;
  std::uint16_t flags = 0;
  std::uint8_t startOrder = 0;  // 0 = first
};

struct CarSample {
  std::uint8_t playerId = 0;
  std::uint16_t lap = 0;
  std::uint16_t node = 0;
  std::uint16_t speed = 0;
};

struct RaceResult {
  std::uint8_t playerId = 0;
  RaceTime totalTime;
  std::uint16_t totalTimeLead = 0;
  RaceTime bestLap;
  std::uint8_t pitStops = 0;
  std::uint8_t penaltyFlags = 0;
  std::uint8_t position = 0;  // 0 = first
};

struct RaceSetup {
  std::string_view track;
  std::uint8_t laps = 0;
  std::uint8_t weather = 0;
  std::uint8_t wind = 0;
  std::uint8_t qualifyMinutes = 0;
};

class RaceTracker {
 public:
  // The output must outlive the tracker.
  explicit RaceTracker(RaceTrackerOutput& output) : output_(output) {}
  RaceTracker(const RaceTracker&) = delete;
  RaceTracker& operator=(const RaceTracker&) = delete;

  // Tells the game how the uploads since the last announcement went; true
  // when there was something to tell.
  bool announceUploadOutcome();

  void playerJoins(const PlayerJoin& join);
  // One car's sample; the track's node count and finish node place it in
  // the running order.
  void carSample(const CarSample& car, std::uint16_t nodeCount, std::uint16_t finishNode);
  void split(std::uint8_t playerId, const RaceTime& time);
  void lap(std::uint8_t playerId, const RaceTime& time);
  void result(const RaceResult& result);
  // The result of a player who has left the race (the protocol gives no id
  // any more): the record of that name whose player has left takes it.
  void resultOfPlayerWhoLeft(std::string_view playerName, const RaceResult& result);
  // The player's place on the grid (0 = first), known after the join.
  void startPlace(std::uint8_t playerId, std::uint8_t place);
  // Another user now drives the player's car.
  void driverChanges(std::uint8_t playerId, std::string_view userName);
  void playerPits(std::uint8_t playerId);
  void playerLeaves(std::uint8_t playerId);
  // A race or qualifying session starts.
  void raceStarts(const RaceSetup& setup);
  // The simulator's state: a race joined while running takes its setup from it.
  void raceState(std::uint8_t finishedCount, const RaceSetup& setup);
  void hostName(std::string_view name);
  void simulatorVersion(std::string_view version);
  // The race is over: it is saved, the game told, the model cleared.
  void raceEnds();
  // A vote's action: 2 (end race), 3 (restart) and above end the race.
  void voteAction(std::int32_t action);
  // A chat line; exactly one of the commands acts, anything else is ignored.
  void chatLine(std::string_view line);
  // The link is gone: a race with players is written one last time, untold.
  void linkEnds();

  const RaceStats& stats() const { return stats_; }
  bool deactivated() const { return deactivated_; }

 private:
  // Players whose result is in and who race a lapped race change no more.
  bool frozen(const PlayerStats& player) const;
  void takeResult(PlayerStats& player, const RaceResult& result);
  // Saves the race if it has players; true when a stats file was written.
  bool saveRace();

  void chatLineWhileDeactivated(std::string_view line);
  void saveCommand();
  void deactivateCommand();
  void deleteCommand();
  void activateCommand();

  RaceTrackerOutput& output_;
  RaceStats stats_;
  bool deactivated_ = false;
};
