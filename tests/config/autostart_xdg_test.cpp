// The XDG autostart entry: where it goes, what it holds, and how the
// executable's path is quoted in Exec so that any path starts the right file.
#include "config/autostart.h"

#include "temp_folder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <ostream>

namespace {

// Sets or clears one environment variable for the length of a test.
class EnvironmentVariable {
 public:
  EnvironmentVariable(const char* name, const std::optional<std::string>& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    set(value);
  }
  ~EnvironmentVariable() { set(old_); }

 private:
  void set(const std::optional<std::string>& value) {
    if (value) {
      setenv(name_, value->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

  const char* name_;
  std::optional<std::string> old_;
};

class XdgAutostart : public testing::Test {
 protected:
  TempFolder folder;
  std::string entryIn(const std::string& configHome) const {
    return folder.file(configHome + "/autostart/tarnbeck.desktop");
  }
};

TEST_F(XdgAutostart, EntryIsADesktopApplicationStartingTheExecutable) {
  EnvironmentVariable config("XDG_CONFIG_HOME", folder.path().string());
  ASSERT_TRUE(writeAutostartEntry("/opt/tarnbeck/tarnbeck"));
  EXPECT_EQ(readBytes(folder.file("autostart/tarnbeck.desktop")),
            "[Desktop Entry]\n"
            "Type=Application\n"
            "Name=Tarnbeck\n"
            "Comment=Records race statistics from Live for Speed\n"
            "Exec=\"/opt/tarnbeck/tarnbeck\"\n"
            "Terminal=false\n");
  EXPECT_TRUE(removeAutostartEntry());
  EXPECT_FALSE(std::filesystem::exists(folder.file("autostart/tarnbeck.desktop")));
  EXPECT_TRUE(removeAutostartEntry());
}

TEST_F(XdgAutostart, ArgumentsFollowTheExecutableEachQuoted) {
  EnvironmentVariable config("XDG_CONFIG_HOME", folder.path().string());
  ASSERT_TRUE(writeAutostartEntry("/usr/bin/tarnbeck", {"--folder", "/home/me/league 1/"}));
  const std::string entry = readBytes(folder.file("autostart/tarnbeck.desktop"));
  EXPECT_NE(entry.find("\nExec=\"/usr/bin/tarnbeck\" \"--folder\" \"/home/me/league 1/\"\n"),
            std::string::npos)
      << entry;
}

TEST_F(XdgAutostart, WithoutUsableConfigHomeTheEntryGoesUnderHome) {
  EnvironmentVariable home("HOME", folder.path().string());
  for (const std::optional<std::string>& configHome :
       {std::optional<std::string>(), std::optional<std::string>(""),
        std::optional<std::string>("relative/config")}) {
    EnvironmentVariable config("XDG_CONFIG_HOME", configHome);
    ASSERT_TRUE(writeAutostartEntry("/opt/tarnbeck/tarnbeck"));
    EXPECT_TRUE(std::filesystem::exists(entryIn(".config")));
    EXPECT_TRUE(removeAutostartEntry());
    EXPECT_FALSE(std::filesystem::exists(entryIn(".config")));
  }
}

struct ExecCase {
  std::string path;
  std::string exec;  // as written after "Exec="
};

void PrintTo(const ExecCase& c, std::ostream* out) {
  for (char ch : c.path) *out << (ch == '\t' ? std::string("\\t") : std::string(1, ch));
}

class XdgExecQuoting : public XdgAutostart, public testing::WithParamInterface<ExecCase> {};

TEST_P(XdgExecQuoting, PathIsOneQuotedArgument) {
  EnvironmentVariable config("XDG_CONFIG_HOME", folder.path().string());
  ASSERT_TRUE(writeAutostartEntry(GetParam().path));
  const std::string entry = readBytes(folder.file("autostart/tarnbeck.desktop"));
  EXPECT_NE(entry.find("\nExec=" + GetParam().exec + "\n"), std::string::npos) << entry;
}

INSTANTIATE_TEST_SUITE_P(Paths, XdgExecQuoting,
                         testing::Values(ExecCase{"/opt/Tarn beck/tarnbeck", R"("/opt/Tarn beck/tarnbeck")"},
                                         ExecCase{R"(/opt/a"b/t)", R"("/opt/a\\"b/t")"},
                                         ExecCase{"/opt/$HOME/`t`", R"("/opt/\\$HOME/\\`t\\`")"},
                                         ExecCase{R"(/opt/back\slash/t)", R"("/opt/back\\\\slash/t")"},
                                         ExecCase{"/opt/100%/t %f", R"("/opt/100%%/t %%f")"},
                                         ExecCase{"/opt/tab\there", R"("/opt/tab\there")"}));

}  // namespace
