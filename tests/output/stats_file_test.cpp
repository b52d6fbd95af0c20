// Saving a race: the refusals, the output folder, the file name template and
// its tags, the file itself (complete or not at all) and the upload queue.
#include "config/settings.h"
#include "config/shared_state.h"
#include "support/file_size_limit.h"
#include "output/stats_document.h"
#include "output/stats_file.h"
#include "system/clock.h"
#include "system/executable_path.h"
#include "system/program_folder.h"
#include "support/scratch_folder.h"
#include "support/xml_check.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

namespace {

namespace fs = std::filesystem;

RaceInfo raceOnTrack(const std::string& track, std::uint8_t laps, std::uint8_t qualifyMinutes) {
  RaceInfo info;
  info.track = track;
  info.laps = laps;
  info.qualifyMinutes = qualifyMinutes;
  info.host = "host";
  info.version = "0.5W";
  return info;
}

const std::optional<RaceInfo> kRace = raceOnTrack("BL1", 5, 0);
const std::optional<RaceInfo> kQualifying = raceOnTrack("BL1", 5, 20);
const std::optional<RaceInfo> kPractice = raceOnTrack("BL1", 0, 0);
const std::optional<RaceInfo> kNoInfo;

// One player who has driven one lap through one split.
std::list<PlayerStats> onePlayer(std::size_t splits = 1) {
  PlayerStats player;
  player.id = 3;
  player.name = "Racer";
  player.carName = "XRT";
  player.laps.emplace_back();
  player.laps.back().time = RaceTime{0, 1, 2, 3};
  for (std::size_t i = 0; i < splits; ++i)
    player.laps.back().splits.push_back(SplitRecord{RaceTime{0, 0, 31, 0}, 120, 1});
  return {player};
}

void drainPendingFiles() {
  while (takePendingStatsFile()) {
  }
}

class StatsFile : public ::testing::Test {
 protected:
  void SetUp() override {
    setFixedLocalTime(LocalTime{2006, 11, 21, 12, 6, 46});
    drainPendingFiles();
    removeDefaultFolder();
    useSettings(output.path().string(), "stats_[DATE]_[TIME]_[TRACK]_[MODE+].xml");
  }
  void TearDown() override {
    setFixedLocalTime(std::nullopt);
    replaceSettings(Settings());
    drainPendingFiles();
    removeDefaultFolder();
  }

  static void useSettings(const std::string& outputpath, const std::string& outputname) {
    Settings settings;
    settings.outputpath = outputpath;
    settings.outputname = outputname;
    replaceSettings(settings);
  }

  static std::string defaultFolder() { return executableFolder() + "xmlstats" + pathSeparator(); }
  static void removeDefaultFolder() {
    std::error_code ignored;
    fs::remove_all(defaultFolder(), ignored);
  }

  // What writeStatsDocument gives, stored as a text file.
  static std::string expectedFile(std::list<PlayerStats> players, const std::optional<RaceInfo>& info) {
    std::ostringstream document;
    writeStatsDocument(document, players, info);
    return asTextFile(document.str());
  }

  ScratchFolder output;
};

struct TagCase {
  const char* tag;
  const std::optional<RaceInfo>* info;
  const char* expected;
};

TEST_F(StatsFile, TagsExpandFromClockAndRaceInfo) {
  const TagCase cases[] = {
      {"DATE", &kNoInfo, "061121"},
      {"TIME", &kNoInfo, "1206"},
      {"TRACK", &kRace, "BL1"},
      {"TRACK", &kNoInfo, "NR"},
      {"MODE", &kRace, "race"},
      {"MODE", &kQualifying, "qualify"},
      {"MODE", &kPractice, "practice"},
      {"MODE", &kNoInfo, "NR"},
      {"MODE+", &kRace, "race5"},
      {"MODE+", &kQualifying, "qualify20"},
      {"MODE+", &kPractice, "practice"},
      {"MODE+", &kNoInfo, ""},
      {"PLAYER", &kRace, "5"},
      {"PLAYER", &kNoInfo, "NR"},
      {"date", &kRace, "[date]"},  // tags are case-sensitive
      {"", &kRace, "[]"},
      {"TRACK ", &kRace, "[TRACK ]"},
  };
  for (const TagCase& c : cases) EXPECT_EQ(expandTag(c.tag, *c.info), c.expected) << "[" << c.tag << "]";
}

TEST_F(StatsFile, TrackCodesFromTheNetworkCannotLeaveTheFolder) {
  const struct {
    const char* track;
    const char* expected;
  } cases[] = {
      {"../x", ".._x"}, {"..\\x", ".._x"}, {"C:", "C_"}, {"*?\"<>", "_____"}, {"|\x01\t\x7F", "____"},
      {"AS3R", "AS3R"}, {"..", "__"},      {".", "_"},   {"a..", "a.."},
  };
  for (const auto& c : cases) {
    std::optional<RaceInfo> info = raceOnTrack(c.track, 5, 0);
    EXPECT_EQ(expandTag("TRACK", info), c.expected) << c.track;
    EXPECT_EQ(makeStatsFileName("[TRACK].xml", info), output.withSeparator() + c.expected + ".xml")
        << c.track;
    EXPECT_EQ(makeStatsFileName("[TRACK]", info), output.withSeparator() + c.expected) << c.track;
  }
}

struct NameCase {
  const char* nameTemplate;
  const std::optional<RaceInfo>* info;
  const char* expected;
};

TEST_F(StatsFile, TemplateIsScannedForTags) {
  const NameCase cases[] = {
      {"stats_[DATE]_[TIME]_[TRACK]_[MODE+].xml", &kRace, "stats_061121_1206_BL1_race5.xml"},
      {"stats_[DATE]_[TIME]_[TRACK]_[MODE+].xml", &kQualifying, "stats_061121_1206_BL1_qualify20.xml"},
      {"stats_[DATE]_[TIME]_[TRACK]_[MODE+].xml", &kPractice, "stats_061121_1206_BL1_practice.xml"},
      {"x_[MODE+].xml", &kNoInfo, "x_.xml"},
      {"x_[MODE].xml", &kNoInfo, "x_NR.xml"},
      {"plain name.xml", &kRace, "plain name.xml"},
      {"a[b", &kRace, "a[b]"},  // an unclosed tag runs to the end
      {"a_[TRACK", &kRace, "a_BL1"},
      {"[date]_[]_x.xml", &kRace, "[date]_[]_x.xml"},
      {"a[[b]c", &kRace, "a[[b]c"},  // no nesting: the tag's text is "[b"
      {"]x[PLAYER]].xml", &kRace, "]x5].xml"},
  };
  for (const NameCase& c : cases) {
    EXPECT_EQ(makeStatsFileName(c.nameTemplate, *c.info), output.withSeparator() + c.expected)
        << c.nameTemplate;
  }
}

TEST_F(StatsFile, AnExistingFolderIsUsedWithOrWithoutTrailingSeparator) {
  useSettings(output.path().string(), "x");
  EXPECT_EQ(statsFolder(), output.withSeparator());
  useSettings(output.withSeparator(), "x");
  EXPECT_EQ(statsFolder(), output.withSeparator());
  EXPECT_FALSE(fs::exists(defaultFolder()));
}

TEST_F(StatsFile, AMissingOrEmptyFolderSettingGivesTheDefaultFolderBesideTheProgram) {
  const std::string missing = (output.path() / "missing" / "deeper").string();
  for (const std::string& setting : {missing, std::string()}) {
    removeDefaultFolder();
    useSettings(setting, "x");
    EXPECT_EQ(statsFolder(), defaultFolder()) << setting;
    EXPECT_TRUE(fs::is_directory(defaultFolder())) << setting;
    EXPECT_FALSE(fs::exists(output.path() / "missing")) << setting;
  }
}

TEST_F(StatsFile, AChosenProgramFolderHoldsTheDefaultFolder) {
  ScratchFolder program;
  setProgramFolder(program.path().string());
  const std::string chosen = program.withSeparator() + "xmlstats" + pathSeparator();
  useSettings("", "x");
  EXPECT_EQ(statsFolder(), chosen);
  EXPECT_TRUE(fs::is_directory(chosen));
  // A folder setting that exists still wins.
  useSettings(output.path().string(), "x");
  EXPECT_EQ(statsFolder(), output.withSeparator());
  setProgramFolder("");
  EXPECT_FALSE(fs::exists(defaultFolder()));
}

TEST_F(StatsFile, TheFileHoldsTheDocumentAndIsQueuedForUpload) {
  std::list<PlayerStats> players = onePlayer();
  ASSERT_TRUE(writeStats(players, kRace));
  const std::string path = output.withSeparator() + "stats_061121_1206_BL1_race5.xml";
  std::string stored = readFileBytes(path);
  EXPECT_EQ(stored, expectedFile(onePlayer(), kRace));
  EXPECT_TRUE(isWellFormedXml(stored));
  EXPECT_EQ(xpathString(stored, "/TRBKSTATS/TRACK/TRACKNAME"), std::optional<std::string>("BL1"));
  EXPECT_EQ(xpathString(stored, "/TRBKSTATS/PLAYERS/PLAYER/NAME"), std::optional<std::string>("Racer"));
  EXPECT_EQ(takePendingStatsFile(), std::optional<std::string>(path));
  EXPECT_FALSE(takePendingStatsFile());
}

TEST_F(StatsFile, WithoutFolderSettingTheFileGoesIntoTheDefaultFolder) {
  useSettings("", "stats_[MODE].xml");
  std::list<PlayerStats> players = onePlayer();
  ASSERT_TRUE(writeStats(players, kNoInfo));
  EXPECT_EQ(readFileBytes(defaultFolder() + "stats_NR.xml"), expectedFile(onePlayer(), kNoInfo));
  EXPECT_EQ(takePendingStatsFile(), std::optional<std::string>(defaultFolder() + "stats_NR.xml"));
}

TEST_F(StatsFile, ASecondSaveInTheSameMinuteReplacesTheFile) {
  const fs::path path = output.path() / "stats_061121_1206_BL1_race5.xml";
  writeFileBytes(path, std::string(20000, 'x'));
  std::list<PlayerStats> players = onePlayer();
  ASSERT_TRUE(writeStats(players, kRace));
  EXPECT_EQ(readFileBytes(path), expectedFile(onePlayer(), kRace));
}

TEST_F(StatsFile, NothingToSaveCreatesNothing) {
  std::list<PlayerStats> noSplits = onePlayer(0);
  std::list<PlayerStats> nobody;
  // The folder setting names no folder: a save would create the default one.
  useSettings("", "stats.xml");
  EXPECT_FALSE(writeStats(nobody, kRace));
  EXPECT_FALSE(writeStats(noSplits, kRace));
  EXPECT_FALSE(fs::exists(defaultFolder()));
  EXPECT_FALSE(takePendingStatsFile());
}

TEST_F(StatsFile, AFileThatCannotBeCreatedIsNotReportedAsSaved) {
  std::list<PlayerStats> players = onePlayer();
  // A folder of the file's name is in the way.
  fs::create_directory(output.path() / "stats_061121_1206_BL1_race5.xml");
  EXPECT_FALSE(writeStats(players, kRace));
  // An empty template names the folder itself.
  useSettings(output.path().string(), "");
  EXPECT_FALSE(writeStats(players, kRace));
  EXPECT_FALSE(takePendingStatsFile());
  EXPECT_TRUE(fs::is_directory(output.path() / "stats_061121_1206_BL1_race5.xml"));
}

TEST_F(StatsFile, AnIncompleteFileIsRemoved) {
  const std::string path = output.withSeparator() + "broken.xml";
  bool saved = saveTextFile(path, [](std::ostream& out) {
    out << "<?xml version=\"1.0\"?>\n<TRBKSTATS>";
    out.setstate(std::ios::badbit);  // what a failing device does to the stream
    out << "</TRBKSTATS>";
  });
  EXPECT_FALSE(saved);
  EXPECT_FALSE(fs::exists(path));
  EXPECT_FALSE(fs::exists(path + kPartialFileSuffix));

  EXPECT_TRUE(saveTextFile(path, [](std::ostream& out) { out << "line\n"; }));
  EXPECT_EQ(readFileBytes(path), asTextFile("line\n"));
  EXPECT_FALSE(fs::exists(path + kPartialFileSuffix));
}

TEST_F(StatsFile, AFailedResaveLeavesTheEarlierFileWhole) {
  std::list<PlayerStats> players = onePlayer();
  ASSERT_TRUE(writeStats(players, kRace));
  ASSERT_TRUE(takePendingStatsFile());
  const fs::path path = output.path() / "stats_061121_1206_BL1_race5.xml";
  const std::string good = readFileBytes(path);
  std::list<PlayerStats> bigger = onePlayer(3);
  const std::size_t documentSize = expectedFile(onePlayer(3), kRace).size();
  for (std::size_t room : {std::size_t{0}, documentSize / 2}) {
    bool saved = true;
    {
      FileSizeLimit limit(room);
      if (!limit.active()) GTEST_SKIP() << "no file size limit on this platform";
      saved = writeStats(bigger, kRace);
    }
    EXPECT_FALSE(saved) << room;
    EXPECT_EQ(readFileBytes(path), good) << room;
    EXPECT_FALSE(fs::exists(path.string() + kPartialFileSuffix)) << room;
    EXPECT_FALSE(takePendingStatsFile()) << room;
  }
}

TEST_F(StatsFile, AFullDiskIsNotReportedAsSaved) {
  std::list<PlayerStats> players = onePlayer();
  const std::size_t documentSize = expectedFile(onePlayer(), kRace).size();
  const fs::path path = output.path() / "stats_061121_1206_BL1_race5.xml";
  for (std::size_t room : {std::size_t{0}, documentSize / 2}) {
    bool saved = true;
    {
      FileSizeLimit limit(room);
      if (!limit.active()) GTEST_SKIP() << "no file size limit on this platform";
      saved = writeStats(players, kRace);
    }
    EXPECT_FALSE(saved) << room;
    EXPECT_FALSE(fs::exists(path)) << room;
    EXPECT_FALSE(takePendingStatsFile()) << room;
  }
}

}  // namespace
