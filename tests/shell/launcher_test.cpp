// Tests of the simulator launcher's parameter expansion, working folder and
// start option.
#include "shell/launcher.h"

#include <gtest/gtest.h>

#include <ostream>

namespace {

struct ExpandCase {
  const char* parameters;
  unsigned port;
  const char* expected;
};

std::ostream& operator<<(std::ostream& out, const ExpandCase& c) {
  return out << '"' << c.parameters << "\" port " << c.port;
}

class ExpandInsimTagTest : public testing::TestWithParam<ExpandCase> {};

TEST_P(ExpandInsimTagTest, ReplacesEveryExactTag) {
  std::string parameters = GetParam().parameters;
  expandInsimTag(parameters, GetParam().port);
  EXPECT_EQ(parameters, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExpandInsimTagTest,
    testing::Values(ExpandCase{"[INSIM]", 35743, "/insim=35743"},
                    ExpandCase{"[INSIM] /windowed [INSIM]", 29999, "/insim=29999 /windowed /insim=29999"},
                    ExpandCase{"[insim]", 35743, "[insim]"}, ExpandCase{"", 35743, ""},
                    ExpandCase{"/windowed", 35743, "/windowed"},
                    ExpandCase{"[INSIM][INSIM]", 1, "/insim=1/insim=1"},
                    ExpandCase{"[[INSIM]]", 7, "[/insim=7]"}, ExpandCase{"[INSIM", 35743, "[INSIM"},
                    ExpandCase{"x[INSIM]", 0, "x/insim=0"}, ExpandCase{"[INSIM]", 65535, "/insim=65535"}));

struct FolderCase {
  const char* path;
  const char* expected;
};

std::ostream& operator<<(std::ostream& out, const FolderCase& c) { return out << '"' << c.path << '"'; }

class WorkingFolderTest : public testing::TestWithParam<FolderCase> {};

TEST_P(WorkingFolderTest, CutsAtTheLastSeparator) {
  EXPECT_EQ(simulatorWorkingFolder(GetParam().path), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, WorkingFolderTest,
                         testing::Values(FolderCase{"C:\\Games\\LFS\\LFS.exe", "C:\\Games\\LFS"},
                                         FolderCase{"C:\\LFS.exe", "C:"}, FolderCase{"LFS.exe", ""},
                                         FolderCase{"", ""},
                                         FolderCase{"/home/racer/lfs/LFS.exe", "/home/racer/lfs"},
                                         FolderCase{"C:/Games\\LFS/LFS.exe", "C:/Games\\LFS"}));

TEST(WantsSimulatorStartTest, OnlyTheExactPrefixCounts) {
  EXPECT_TRUE(wantsSimulatorStart("-startlfs"));
  EXPECT_TRUE(wantsSimulatorStart("-startlfsx"));
  EXPECT_TRUE(wantsSimulatorStart("-startlfs /other"));
  EXPECT_FALSE(wantsSimulatorStart("-StartLFS"));
  EXPECT_FALSE(wantsSimulatorStart(" -startlfs"));
  EXPECT_FALSE(wantsSimulatorStart("-startlf"));
  EXPECT_FALSE(wantsSimulatorStart(""));
}

}  // namespace
