// The console program's error-output reports: skipped settings lines named
// with their number and text, and socket reports held to a few a second.
#include "shell/console_reports.h"

#include "config/ini_file.h"
#include "support/scratch_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

namespace {

// Everything written to a temporary FILE*, read back as text.
class CapturedOutput {
 public:
  CapturedOutput() : file_(std::tmpfile()) {}
  ~CapturedOutput() { std::fclose(file_); }
  std::FILE* file() { return file_; }
  std::string text() {
    std::fflush(file_);
    std::rewind(file_);
    std::string result;
    char buffer[256];
    std::size_t count;
    while ((count = std::fread(buffer, 1, sizeof(buffer), file_)) > 0) result.append(buffer, count);
    return result;
  }

 private:
  std::FILE* file_;
};

TEST(ConsoleReports, EachSkippedSettingsLineIsNamedWithItsNumberAndWhy) {
  ScratchFolder folder;
  const std::string path = (folder.path() / "trbk.ini").string();
  std::ofstream(path) << "orphan = 1\n[network]\nserverip = 127.0.0.1\nclientport 35743\n; note\n";
  IniFile ini;
  ini.load(path);
  CapturedOutput out;
  reportSkippedSettingsLines(out.file(), path, ini);
  EXPECT_EQ(out.text(), path + " line 1 was not read (before the first [section]): orphan = 1\n" + path +
                            " line 4 was not read (not a \"key = value\" line): clientport 35743\n");
}

TEST(ConsoleReports, AFloodOfSocketReportsIsHeldToTheLimitAndCounted) {
  CapturedOutput out;
  ConsoleSocketReports reports(out.file(), 3);
  SocketHandler handler;
  for (int i = 0; i < 100; ++i) reports.OnLogError(handler, nullptr, "recvfrom", 10054, "reset", 1);
  std::string text = out.text();
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3) << text;
  EXPECT_NE(text.find("Tarnbeck network: recvfrom: reset (10054, level 1)\n"), std::string::npos);

  std::this_thread::sleep_for(std::chrono::milliseconds(1100));
  reports.OnLogError(handler, nullptr, "select", 9, "bad descriptor", 0);
  text = out.text();
  EXPECT_NE(text.find("Tarnbeck network: 97 more reports were not shown\n"
                      "Tarnbeck network: select: bad descriptor (9, level 0)\n"),
            std::string::npos)
      << text;
}

}  // namespace
