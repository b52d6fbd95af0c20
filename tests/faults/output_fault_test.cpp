// Saving when the output cannot take the stats file: a folder that refuses
// new files, and a disk that fills up while the document is written. The game
// is told the race was not saved, no file and no half file is offered for
// upload, and the race stays in memory, so the next save once the output
// works again holds all of it.
#include "config/settings.h"
#include "support/file_size_limit.h"
#include "output/stats_document.h"
#include "system/file_system.h"
#include "race/game_texts.h"
#include "support/tracker_fixture.h"
#include "system/executable_path.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <list>
#include <optional>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

// A folder that exists but takes no new file, not even from an administrator:
// the process file system of Linux, also as Wine shows it on drive Z:.
std::optional<std::string> folderThatRefusesFiles() {
  for (std::string candidate : {"/proc/", "Z:\\proc\\"}) {
    if (candidate.back() != pathSeparator() || !pathExists(candidate)) continue;
    std::ofstream probe(candidate + "tarnbeck-probe.xml");
    if (!probe) return candidate;
  }
  return std::nullopt;
}

// Two drivers with a lap and its splits each: a race worth saving.
class OutputFault : public TrackerTest {
 protected:
  void SetUp() override {
    TrackerTest::SetUp();
    startSession(5, 0);
    join(3, "Ann");
    join(7, "Bob", 1);
    feed(mciPacket(500, 0, 2, {{3, 1, 100, 120}, {7, 1, 90, 110}}));
    feed(splitPacket(3, raceTime(0, 0, 31, 0), 4));
    feed(splitPacket(7, raceTime(0, 0, 32, 0), 5));
    feed(lapPacket(3, raceTime(0, 1, 2, 0), 6));
    feed(lapPacket(7, raceTime(0, 1, 3, 0), 7));
    feed(splitPacket(3, raceTime(0, 0, 30, 50), 8));
    replies();
  }

  static void useOutputFolder(const std::string& folder) {
    Settings settings;
    settings.outputpath = folder;
    settings.outputname = "stats_[MODE+].xml";
    replaceSettings(settings);
  }

  // The document of the race as it is now, as a text file holds it.
  std::string expectedFile() {
    std::list<PlayerStats> players = race().players;
    std::ostringstream document;
    writeStatsDocument(document, players, race().info);
    return asTextFile(document.str());
  }

  // The race end saves everything, and the file holds exactly the race.
  void expectRaceEndSavesTheWholeRace(const std::string& expected) {
    feed(renPacket(20));
    EXPECT_THAT(replies(), ElementsAre(echoReply(kStatsSavedText), requestReply("ACK", 20)));
    const std::vector<std::string> saved = savedFiles();
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(readFileBytes(saved[0]), expected);
  }
};

TEST_F(OutputFault, AFolderThatRefusesFilesIsReportedAndTheRaceKeptForTheNextSave) {
  const std::optional<std::string> folder = folderThatRefusesFiles();
  if (!folder) GTEST_SKIP() << "no folder here refuses new files";
  const std::string expected = expectedFile();
  useOutputFolder(*folder);
  feed(msoPacket("!save"));
  EXPECT_THAT(replies(), ElementsAre(echoReply(kStatsNotSavedText)));
  EXPECT_THAT(savedFiles(), IsEmpty());
  EXPECT_EQ(race().players.size(), 2u);

  useOutputFolder(output.withSeparator());
  expectRaceEndSavesTheWholeRace(expected);
}

TEST_F(OutputFault, ADiskFillingUpGivesNoFalseSaveNoHalfFileAndKeepsTheRace) {
  const std::string expected = expectedFile();
  const fs::path path = output.path() / "stats_race5.xml";
  for (std::size_t room : {std::size_t{0}, expected.size() / 2, expected.size() - 1}) {
    {
      FileSizeLimit limit(room);
      if (!limit.active()) GTEST_SKIP() << "no file size limit on this platform";
      feed(msoPacket("!save"));
    }
    EXPECT_THAT(replies(), ElementsAre(echoReply(kStatsNotSavedText))) << room;
    EXPECT_FALSE(fs::exists(path)) << room;
    EXPECT_THAT(savedFiles(), IsEmpty()) << room;
  }
  EXPECT_EQ(race().players.size(), 2u);
  expectRaceEndSavesTheWholeRace(expected);
}

}  // namespace
