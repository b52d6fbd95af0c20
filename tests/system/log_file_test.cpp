// The log file: time stamp, the exact bytes of plain entries, where the file
// goes, and what happens when it cannot be written.
#include "system/clock.h"
#include "system/log_file.h"
#include "support/scratch_folder.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

class LogFile : public ::testing::Test {
 protected:
  void SetUp() override { setFixedLocalTime(LocalTime{2006, 3, 5, 7, 4, 9}); }
  void TearDown() override { setFixedLocalTime(std::nullopt); }

  ScratchFolder folder{ScratchFolder::MakeCurrent};
};

TEST_F(LogFile, TimestampIsDayMonthAndTwentyFourHourTime) {
  EXPECT_EQ(logTimestamp(), "05.03 07:04:09");
  setFixedLocalTime(LocalTime{2006, 11, 21, 12, 6, 46});
  EXPECT_EQ(logTimestamp(), "21.11 12:06:46");
}

TEST_F(LogFile, PlainEntryIsStampSpaceMessageAndAnEmptyLine) {
  writeLog("Couldn\xB4t log into ftp");
  EXPECT_EQ(readFileBytes("log.txt"), asTextFile("05.03 07:04:09 Couldn\xB4t log into ftp\n\n"));
}

TEST_F(LogFile, EntriesAreAppendedToWhatIsThere) {
  writeFileBytes("log.txt", asTextFile("earlier entry\n\n"));
  writeLog("Stats file /x/a.xml was saved");
  setFixedLocalTime(LocalTime{2006, 3, 5, 7, 5, 0});
  writeLog("Couldn\xB4t log into ftp");
  EXPECT_EQ(readFileBytes("log.txt"), asTextFile("earlier entry\n\n"
                                                 "05.03 07:04:09 Stats file /x/a.xml was saved\n\n"
                                                 "05.03 07:05:00 Couldn\xB4t log into ftp\n\n"));
}

TEST_F(LogFile, TheLogGoesToTheCurrentFolder) {
  std::filesystem::create_directory("elsewhere");
  std::filesystem::current_path("elsewhere");
  writeLog("here");
  std::filesystem::current_path(folder.path());
  EXPECT_FALSE(std::filesystem::exists("log.txt"));
  EXPECT_EQ(readFileBytes(folder.path() / "elsewhere" / "log.txt"), asTextFile("05.03 07:04:09 here\n\n"));
}

TEST_F(LogFile, ALogThatCannotBeOpenedIsReportedAndTheProgramGoesOn) {
  // A folder in the way of the file: it cannot be opened for appending.
  std::filesystem::create_directory("log.txt");
  ::testing::internal::CaptureStderr();
  writeLog("lost entry");
  bool appended = appendToLog("another lost entry\n");
  std::string errors = ::testing::internal::GetCapturedStderr();
  EXPECT_FALSE(appended);
  EXPECT_NE(errors.find("Tarnbeck: cannot write log.txt: "), std::string::npos) << errors;
  EXPECT_TRUE(std::filesystem::is_directory("log.txt"));
}

}  // namespace
