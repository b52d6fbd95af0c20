// Saving a race: whether there is anything to save, the output folder, the
// file name from the user's template, the file itself, and the hand-over of
// its path to the upload step.
#pragma once

#include "race/race_model.h"

#include <functional>
#include <list>
#include <optional>
#include <ostream>
#include <string>

// Writes the stats file of the race and queues its path for upload. False,
// with nothing queued, when there are no players, no split among the first
// laps, or the file could not be written completely (an earlier file of the
// same name is then left as it was). Runs on the network thread.
bool writeStats(std::list<PlayerStats>& players, const std::optional<RaceInfo>& info);

// The output folder followed by the template with its tags expanded. Picks
// and, when needed, creates the output folder.
std::string makeStatsFileName(const std::string& nameTemplate, const std::optional<RaceInfo>& info);

// The output folder with a trailing separator: the outputpath setting when
// that folder exists, else "xmlstats" beside the executable. A missing folder
// is created, one level deep; a failure shows when the file is created.
std::string statsFolder();

// The text of one template tag ("DATE", "TIME", "TRACK", "MODE", "MODE+",
// "PLAYER"); any other tag comes back in its brackets.
std::string expandTag(const std::string& tag, const std::optional<RaceInfo>& info);

// Creates or replaces the text file at path (line feeds stored as the
// platform's text files store them) and lets write fill it. The text goes to
// path + kPartialFileSuffix first and replaces the file at path only once it
// is complete. True only then; otherwise the partial file is removed and the
// file at path is as it was.
constexpr const char* kPartialFileSuffix = ".partial";
bool saveTextFile(const std::string& path, const std::function<void(std::ostream&)>& write);
