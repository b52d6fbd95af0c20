// The simulator check on Linux: a live process named "LFS.exe" or "DCon.exe"
// counts; other names, names that only start alike, and a simulator that has
// ended (even before it was reaped) do not.
#include "system/simulator_detect.h"

#include "support/named_process_posix.h"

#include <gtest/gtest.h>

namespace {

TEST(SimulatorDetectTest, NoSimulatorProcessMeansNotRunning) { EXPECT_FALSE(simulatorWindowExists()); }

class SimulatorNames : public testing::TestWithParam<const char*> {};

TEST_P(SimulatorNames, ALiveProcessOfThatNameCounts) {
  NamedProcess simulator(GetParam());
  EXPECT_TRUE(simulatorWindowExists());
  simulator.end();
  EXPECT_FALSE(simulatorWindowExists()) << "an ended, unreaped process still counted";
  simulator.reap();
  EXPECT_FALSE(simulatorWindowExists());
}

INSTANTIATE_TEST_SUITE_P(Names, SimulatorNames, testing::Values("LFS.exe", "DCon.exe"));

class OtherNames : public testing::TestWithParam<const char*> {};

TEST_P(OtherNames, DoNotCount) {
  NamedProcess other(GetParam());
  EXPECT_FALSE(simulatorWindowExists());
}

INSTANTIATE_TEST_SUITE_P(Names, OtherNames,
                         testing::Values("lfs.exe", "LFS.ex", "LFS.exe2", "LFS", "xLFS.exe", "LFS.exe) S 1 (",
                                         "DCon"));

}  // namespace
