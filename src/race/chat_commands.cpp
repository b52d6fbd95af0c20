// Chat commands typed in the game: save, delete, switch tracking off and on.
// Players see every answer in the chat. Network thread only.
#include "race/game_texts.h"
#include "race/race_tracker.h"

void RaceTracker::chatLine(std::string_view line) {
  if (deactivated_) {
    chatLineWhileDeactivated(line);
  } else if (line == kSaveCommand) {
    saveCommand();
  } else if (line == kDeactivateCommand) {
    deactivateCommand();
  } else if (line == kDeleteCommand) {
    deleteCommand();
  }
}

void RaceTracker::chatLineWhileDeactivated(std::string_view line) {
  if (line == kActivateCommand) activateCommand();
}

void RaceTracker::saveCommand() {
  // The race stays in the model: its end writes it again.
  output_.sendGameText(saveRace() ? kStatsSavedText : kStatsNotSavedText);
}

void RaceTracker::deactivateCommand() {
  stats_.clear();
  deactivated_ = true;
  output_.sendGameText(kDeactivatedText);
  output_.setCarInformation(false);
}

void RaceTracker::deleteCommand() {
  stats_.clear();
  output_.sendGameText(kStatsDeletedText);
}

void RaceTracker::activateCommand() {
  deactivated_ = false;
  output_.sendGameText(kReactivatedText);
  output_.setCarInformation(true);
}
