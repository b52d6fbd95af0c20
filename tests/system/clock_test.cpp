// Date and time texts of the clock, with a fixed time and with the real one.
#include "system/clock.h"

#include <gtest/gtest.h>

#include <ctime>

namespace {

class FixedClock : public ::testing::Test {
 protected:
  void TearDown() override { setFixedLocalTime(std::nullopt); }
};

struct PictureCase {
  const char* picture;
  bool date;
  const char* expected;
};

TEST_F(FixedClock, PicturesGiveZeroFilledDigits) {
  setFixedLocalTime(LocalTime{2006, 3, 5, 7, 4, 9});
  const PictureCase cases[] = {
      {"yyMMdd", true, "060305"},  // stats file names
      {"dd.MM", true, "05.03"},    // log time stamp
      {"yyyy-MM-dd", true, "2006-03-05"},
      {"d.M", true, "5.3"},               // single letters: no leading zero
      {"HHmm", false, "0704"},            // stats file names
      {" HH:mm:ss", false, " 07:04:09"},  // log time stamp
      {"H.m.s", false, "7.4.9"},
  };
  for (const PictureCase& c : cases) {
    EXPECT_EQ(c.date ? localDateText(c.picture) : localTimeText(c.picture), c.expected) << c.picture;
  }
}

TEST_F(FixedClock, AfternoonHoursUseTheTwentyFourHourClock) {
  setFixedLocalTime(LocalTime{2006, 11, 21, 23, 59, 58});
  EXPECT_EQ(localDateText("yyMMdd"), "061121");
  EXPECT_EQ(localTimeText("HHmm"), "2359");
  EXPECT_EQ(localTimeText(" HH:mm:ss"), " 23:59:58");
}

std::string cLibraryText(const std::tm& time, const char* format) {
  char text[32] = {};
  return std::string(text, std::strftime(text, sizeof text, format, &time));
}

TEST_F(FixedClock, WithoutAFixedTimeTheClockShowsTheLocalTime) {
  setFixedLocalTime(std::nullopt);
  // Read twice around the clock in case a minute changes in between.
  for (int attempt = 0; attempt < 2; ++attempt) {
    std::time_t now = std::time(nullptr);
    std::tm before = *std::localtime(&now);
    std::string date = localDateText("yyMMdd");
    std::string time = localTimeText("HHmm");
    if (date == cLibraryText(before, "%y%m%d") && time == cLibraryText(before, "%H%M")) return;
  }
  ADD_FAILURE() << "clock text differs from the C library's local time: " << localDateText("yyMMdd") << " "
                << localTimeText("HHmm");
}

}  // namespace
