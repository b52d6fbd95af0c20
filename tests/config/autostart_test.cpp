// The "systemstart" key against the platform's real autostart store: '1'
// registers the quoted executable path, '0' removes it, anything else leaves
// the store as it was.
#include "config/autostart.h"
#include "config/ini_file.h"
#include "system/executable_path.h"
#include "system/program_folder.h"

#include "autostart_probe.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <ostream>

namespace {

const std::string kEarlierEntry = "earlier-entry";

std::string quoted(const std::string& path) { return "\"" + path + "\""; }

struct SystemstartCase {
  std::string name;
  std::string file;  // settings file text
  bool presentBefore;
  enum { Registered, Removed, Untouched } outcome;
};

void PrintTo(const SystemstartCase& c, std::ostream* out) { *out << c.name; }

class Autostart : public testing::TestWithParam<SystemstartCase> {
 protected:
  TempFolder folder;
  AutostartSandbox sandbox;
};

TEST_P(Autostart, FollowsFirstCharacterOfSystemstart) {
  const SystemstartCase& c = GetParam();
  if (c.presentBefore) {
    ASSERT_TRUE(writeAutostartEntry(kEarlierEntry));
    ASSERT_EQ(sandbox.command(), quoted(kEarlierEntry));
  } else {
    ASSERT_TRUE(removeAutostartEntry());
    ASSERT_EQ(sandbox.command(), std::nullopt);
  }

  const std::string path = folder.file("trbk.ini");
  writeBytes(path, c.file);
  IniFile ini;
  ini.load(path);
  applyAutostart(ini);

  switch (c.outcome) {
    case SystemstartCase::Registered:
      EXPECT_EQ(sandbox.command(), quoted(executablePath()));
      break;
    case SystemstartCase::Removed:
      EXPECT_EQ(sandbox.command(), std::nullopt);
      break;
    case SystemstartCase::Untouched:
      EXPECT_EQ(sandbox.command(),
                c.presentBefore ? std::optional<std::string>(quoted(kEarlierEntry)) : std::nullopt);
      break;
  }
}

TEST(AutostartFolder, AChosenProgramFolderIsStartedAgainWithIt) {
  TempFolder program;
  AutostartSandbox sandbox;
  const std::string path = program.file("trbk.ini");
  writeBytes(path, "[main]\nsystemstart = 1");
  IniFile ini;
  ini.load(path);
  setProgramFolder(program.path().string());
  applyAutostart(ini);
  setProgramFolder("");
  EXPECT_EQ(sandbox.command(),
            quoted(executablePath()) + " " + quoted("--folder") + " " + quoted(program.path().string()));
}

INSTANTIATE_TEST_SUITE_P(
    Values, Autostart,
    testing::Values(
        SystemstartCase{"OneRegisters", "[main]\nsystemstart = 1", false, SystemstartCase::Registered},
        SystemstartCase{"OneReplacesEarlierEntry", "[main]\nsystemstart = 1", true,
                        SystemstartCase::Registered},
        SystemstartCase{"OnlyFirstCharacterCounts", "[main]\nsystemstart = 1abc", false,
                        SystemstartCase::Registered},
        SystemstartCase{"ZeroRemoves", "[main]\nsystemstart = 0", true, SystemstartCase::Removed},
        SystemstartCase{"ZeroWithoutEntryIsFine", "[main]\nsystemstart = 0", false, SystemstartCase::Removed},
        SystemstartCase{"OtherTextLeavesEntry", "[main]\nsystemstart = yes", true,
                        SystemstartCase::Untouched},
        SystemstartCase{"OtherTextAddsNothing", "[main]\nsystemstart = yes", false,
                        SystemstartCase::Untouched},
        SystemstartCase{"EmptyValueLeavesEntry", "[main]\nsystemstart = \"\"", true,
                        SystemstartCase::Untouched},
        SystemstartCase{"MissingKeyLeavesEntry", "[network]\nsystemstart = 1", true,
                        SystemstartCase::Untouched}),
    [](const testing::TestParamInfo<SystemstartCase>& info) { return info.param.name; });

}  // namespace
