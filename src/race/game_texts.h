// Every text the program shows in the game's chat, and the chat commands it
// obeys. The texts are sent through the echo command, so each stays within
// 57 characters.
#pragma once

#include <string_view>

constexpr std::string_view kStatsSavedText = "^2race stats were saved!";
constexpr std::string_view kStatsNotSavedText = "^1race stats were not saved";
constexpr std::string_view kStatsDeletedText = "^2race stats were deleted!";
constexpr std::string_view kDeactivatedText = "^3program deactivated. Reactivate with !activate.";
constexpr std::string_view kReactivatedText = "^3 Tarnbeck was reactivated!";
// "sucessfully" is how players have always seen it; kept as it is.
constexpr std::string_view kUploadSucceededText = "^2race Stats were uploaded sucessfully!";
constexpr std::string_view kUploadFailedText = "^1uploading race Stats failed!";

// A chat line is a command only when it is exactly one of these, letter case
// included, with nothing before or after it.
constexpr std::string_view kSaveCommand = "!save";
constexpr std::string_view kDeactivateCommand = "!deactivate";
constexpr std::string_view kDeleteCommand = "!delete";
constexpr std::string_view kActivateCommand = "!activate";
