// Chat commands typed in the game: save, delete, switch tracking off and on.
// Players see every answer in the chat.
#include "race/game_texts.h"
#include "race/read_socket.h"

void lfsReadSocket::chatCommand(std::string_view line) {
  if (line == kSaveCommand) {
    saveCommand();
  } else if (line == kDeactivateCommand) {
    deactivateCommand();
  } else if (line == kDeleteCommand) {
    deleteCommand();
  }
}

void lfsReadSocket::chatCommandWhileDeactivated(std::string_view line) {
  if (line == kActivateCommand) activateCommand();
}

void lfsReadSocket::saveCommand() {
  // The race stays in the model: its end writes it again.
  echoMessage(saveRace() ? kStatsSavedText : kStatsNotSavedText);
}

void lfsReadSocket::deactivateCommand() {
  stats_.clear();
  deactivated_ = true;
  echoMessage(kDeactivatedText);
  setCarInfoInterval(0);
}

void lfsReadSocket::deleteCommand() {
  stats_.clear();
  echoMessage(kStatsDeletedText);
}

void lfsReadSocket::activateCommand() {
  deactivated_ = false;
  echoMessage(kReactivatedText);
  setCarInfoInterval(CarInfoInterval);
}
