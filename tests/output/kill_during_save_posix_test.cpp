// A process killed while it saves a big stats file leaves the earlier file
// whole: the new text only takes the file's place once it is complete.
#include "output/stats_file.h"
#include "support/scratch_folder.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

namespace {

// About 600 kB, the size of a long race's document, ending in a mark.
std::string bigText(char letter) {
  std::string text;
  for (int line = 0; line < 20000; ++line) text += std::string(29, letter) + "\n";
  return text + "end\n";
}

TEST(KillDuringSave, TheFileIsAlwaysAWholeEarlierOrNewerText) {
  ScratchFolder folder;
  const std::string path = (folder.path() / "race.xml").string();
  const std::string first = bigText('a');
  const std::string second = bigText('b');
  ASSERT_TRUE(saveTextFile(path, [&](std::ostream& out) { out << first; }));

  for (int attempt = 0; attempt < 8; ++attempt) {
    SCOPED_TRACE(attempt);
    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
      for (int round = 0;; ++round) {
        const std::string& text = round % 2 ? first : second;
        saveTextFile(path, [&](std::ostream& out) { out << text; });
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2 + 3 * attempt));
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    const std::string stored = readFileBytes(path);
    EXPECT_TRUE(stored == first || stored == second) << "a file of " << stored.size() << " bytes";
  }
}

}  // namespace
