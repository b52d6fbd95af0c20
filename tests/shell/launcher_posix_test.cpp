// The Linux launcher: parameters split like a shell, Windows executables run
// through Wine, a missing path reported with the key and the settings file,
// and a real start: detached, in its folder, with "[INSIM]" expanded.
#include "shell/launcher_posix.h"

#include "config/ini_file.h"
#include "config/settings.h"
#include "config/shared_state.h"
#include "support/named_process_posix.h"
#include "support/scratch_folder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <sstream>
#include <thread>

namespace {

using Words = std::vector<std::string>;

struct SplitCase {
  const char* text;
  Words expected;
};

void PrintTo(const SplitCase& splitCase, std::ostream* out) { *out << "[" << splitCase.text << "]"; }

class SplitArgumentsTest : public testing::TestWithParam<SplitCase> {};

TEST_P(SplitArgumentsTest, SplitsLikeAShell) {
  EXPECT_EQ(splitArguments(GetParam().text), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SplitArgumentsTest,
    testing::Values(SplitCase{"", {}}, SplitCase{"   ", {}}, SplitCase{"/insim=35743", {"/insim=35743"}},
                    SplitCase{"  /insim=35743   /windowed ", {"/insim=35743", "/windowed"}},
                    SplitCase{"a\tb", {"a", "b"}},
                    SplitCase{"\"C:\\Games\\My LFS\\x.race\"", {"C:\\Games\\My LFS\\x.race"}},
                    SplitCase{"'it''s' x", {"its", "x"}}, SplitCase{"'a \"b\" c'", {"a \"b\" c"}},
                    SplitCase{"\"say \\\"hi\\\"\"", {"say \"hi\""}}, SplitCase{"a\\ b c", {"a b", "c"}},
                    SplitCase{"\"\"", {""}}, SplitCase{"x\"y z\"w", {"xy zw"}},
                    SplitCase{"\"open", {"open"}}));

struct CommandCase {
  const char* path;
  const char* wine;
  Words expected;
};

void PrintTo(const CommandCase& commandCase, std::ostream* out) {
  *out << commandCase.path << (*commandCase.wine != '\0' ? " with wine" : " without wine");
}

class SimulatorCommandTest : public testing::TestWithParam<CommandCase> {};

TEST_P(SimulatorCommandTest, WindowsExecutablesGoThroughWine) {
  EXPECT_EQ(simulatorCommand(GetParam().path, {"/insim=1"}, GetParam().wine), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SimulatorCommandTest,
    testing::Values(CommandCase{"/g/LFS.exe", "/usr/bin/wine", {"/usr/bin/wine", "/g/LFS.exe", "/insim=1"}},
                    CommandCase{"/g/LFS.EXE", "/usr/bin/wine", {"/usr/bin/wine", "/g/LFS.EXE", "/insim=1"}},
                    CommandCase{"/g/LFS.exe", "", {"/g/LFS.exe", "/insim=1"}},
                    CommandCase{"/g/lfs", "/usr/bin/wine", {"/g/lfs", "/insim=1"}},
                    CommandCase{"/g/lfs.exe.sh", "/usr/bin/wine", {"/g/lfs.exe.sh", "/insim=1"}}));

// A settings file with [main] lfs and lfsparameters, loaded.
IniFile settingsWith(const ScratchFolder& folder, const std::string& lfs, const std::string& parameters) {
  const std::string path = (folder.path() / "trbk.ini").string();
  writeFileBytes(path, "[main]\nlfs = \"" + lfs + "\"\nlfsparameters = " + parameters + "\n");
  IniFile ini;
  ini.load(path);
  return ini;
}

std::string waitForFile(const std::filesystem::path& path) {
  for (int i = 0; i < 100 && !std::filesystem::exists(path); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  return readFileBytes(path);
}

TEST(LaunchSimulatorTest, MissingProgramIsReportedAndNothingStarts) {
  ScratchFolder folder;
  for (const std::string& lfs : {std::string(), (folder.path() / "LFS.exe").string()}) {
    IniFile ini = settingsWith(folder, lfs, "[INSIM]");
    setSimulatorRunning(true);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(launchSimulator(ini));
    std::string message = testing::internal::GetCapturedStderr();
    EXPECT_NE(message.find("lfs in the [main] section of " + ini.path()), std::string::npos) << message;
    if (!lfs.empty()) {
      EXPECT_NE(message.find(lfs), std::string::npos) << message;
    }
    EXPECT_TRUE(simulatorRunning()) << "nothing started, so the link must not be reset";
  }
}

TEST(LaunchSimulatorTest, StartsDetachedInItsFolderWithExpandedParameters) {
  ScratchFolder folder;
  std::filesystem::create_directory(folder.path() / "game dir");
  const std::filesystem::path program = folder.path() / "game dir" / "fake-lfs";
  const std::filesystem::path note = folder.path() / "note.txt";
  // Notes its arguments, folder and session leader, one a line.
  writeFileBytes(program,
                 "#!/bin/sh\n{ for a in \"$@\"; do echo \"arg:$a\"; done; pwd; "
                 "cut -d' ' -f6 /proc/$$/stat; } > '" +
                     note.string() +
                     ".part'\n"
                     "mv '" +
                     note.string() + ".part' '" + note.string() + "'\n");
  chmod(program.c_str(), 0755);

  Settings settings;
  settings.serverport = 35743;
  replaceSettings(settings);
  // The settings file cannot hold a double quote inside a value: single
  // quotes keep words together.
  IniFile ini = settingsWith(folder, program.string(), "[INSIM] 'two words' /windowed");
  setSimulatorRunning(true);
  ASSERT_TRUE(launchSimulator(ini));
  EXPECT_FALSE(simulatorRunning()) << "a running link must start afresh";

  std::istringstream lines(waitForFile(note));
  std::string line;
  Words got;
  while (std::getline(lines, line)) got.push_back(line);
  ASSERT_EQ(got.size(), 5u);
  EXPECT_EQ(got[0], "arg:/insim=35743");
  EXPECT_EQ(got[1], "arg:two words");
  EXPECT_EQ(got[2], "arg:/windowed");
  EXPECT_EQ(got[3], (folder.path() / "game dir").string());
  EXPECT_NE(std::stoi(got[4]), static_cast<int>(getsid(0))) << "not detached from our session";
}

TEST(LaunchSimulatorTest, ARelativePathIsTakenFromTheCurrentFolder) {
  ScratchFolder folder(ScratchFolder::MakeCurrent);
  std::filesystem::create_directory(folder.path() / "sub");
  const std::filesystem::path note = folder.path() / "note.txt";
  writeFileBytes(folder.path() / "sub" / "run", "#!/bin/sh\npwd > '" + note.string() + ".part'\nmv '" +
                                                    note.string() + ".part' '" + note.string() + "'\n");
  chmod((folder.path() / "sub" / "run").c_str(), 0755);
  IniFile ini = settingsWith(folder, "sub/run", "");
  ASSERT_TRUE(launchSimulator(ini));
  EXPECT_EQ(waitForFile(note), (folder.path() / "sub").string() + "\n");
}

TEST(LaunchSimulatorTest, NothingStartsWhileTheSimulatorRuns) {
  ScratchFolder folder;
  const std::filesystem::path program = folder.path() / "fake-lfs";
  const std::filesystem::path note = folder.path() / "note.txt";
  writeFileBytes(program, "#!/bin/sh\ntouch '" + note.string() + "'\n");
  chmod(program.c_str(), 0755);
  IniFile ini = settingsWith(folder, program.string(), "");
  NamedProcess simulator("LFS.exe");
  setSimulatorRunning(true);
  EXPECT_FALSE(launchSimulator(ini));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_FALSE(std::filesystem::exists(note));
  EXPECT_TRUE(simulatorRunning());
}

TEST(LaunchSimulatorTest, AProgramThatCannotRunIsReported) {
  ScratchFolder folder;
  const std::filesystem::path program = folder.path() / "not-executable";
  writeFileBytes(program, "plain text");
  IniFile ini = settingsWith(folder, program.string(), "");
  setSimulatorRunning(true);
  testing::internal::CaptureStderr();
  EXPECT_FALSE(launchSimulator(ini));
  std::string message = testing::internal::GetCapturedStderr();
  EXPECT_NE(message.find("The simulator could not be started"), std::string::npos) << message;
  EXPECT_TRUE(simulatorRunning());
}

}  // namespace
