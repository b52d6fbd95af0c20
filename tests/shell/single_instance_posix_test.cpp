// The Linux single-instance lock: a second holder is refused while the first
// lives, the lock is free again once it is gone, a program started by the
// first instance never inherits it, and each program folder has its own.
#include "shell/single_instance_posix.h"

#include "system/executable_path.h"
#include "system/program_folder.h"

#include "support/scratch_folder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

TEST(SingleInstanceLockTest, SecondHolderIsRefusedUntilTheFirstIsGone) {
  ScratchFolder folder;
  const std::string path = (folder.path() / "tarnbeck.lock").string();
  {
    SingleInstanceLock first(path);
    ASSERT_TRUE(first.held());
    SingleInstanceLock second(path);
    EXPECT_TRUE(second.heldElsewhere());
    EXPECT_FALSE(second.held());
  }
  SingleInstanceLock again(path);
  EXPECT_TRUE(again.held());
  EXPECT_FALSE(again.heldElsewhere());
}

TEST(SingleInstanceLockTest, AStartedProgramDoesNotKeepTheLock) {
  ScratchFolder folder;
  const std::string path = (folder.path() / "tarnbeck.lock").string();
  pid_t child = -1;
  {
    SingleInstanceLock first(path);
    ASSERT_TRUE(first.held());
    // The pipe closes in the child at its exec: then the program runs.
    int started[2];
    ASSERT_EQ(pipe2(started, O_CLOEXEC), 0);
    child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      execl("/bin/sleep", "sleep", "30", static_cast<char*>(nullptr));
      _exit(127);
    }
    close(started[1]);
    char ignored;
    while (read(started[0], &ignored, 1) > 0) {
    }
    close(started[0]);
  }
  // The first holder is gone while the program it started still runs.
  SingleInstanceLock next(path);
  EXPECT_TRUE(next.held());
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
}

TEST(SingleInstanceLockTest, UnusableLockFileLeavesTheProgramUnguarded) {
  SingleInstanceLock lock("/nonexistent-folder/tarnbeck.lock");
  EXPECT_FALSE(lock.held());
  EXPECT_FALSE(lock.heldElsewhere());
}

TEST(SingleInstanceLockTest, LockLivesInTheProgramFolder) {
  EXPECT_EQ(instanceLockPath(), executableFolder() + "tarnbeck.lock");
  setProgramFolder("/var/lib/tarnbeck/league1");
  EXPECT_EQ(instanceLockPath(), "/var/lib/tarnbeck/league1/tarnbeck.lock");
  setProgramFolder("/var/lib/tarnbeck/league2/");
  EXPECT_EQ(instanceLockPath(), "/var/lib/tarnbeck/league2/tarnbeck.lock");
  setProgramFolder("");
  EXPECT_EQ(instanceLockPath(), executableFolder() + "tarnbeck.lock");
}

TEST(SingleInstanceLockTest, TrackersOfTwoFoldersRunSideBySide) {
  ScratchFolder league1;
  ScratchFolder league2;
  setProgramFolder(league1.path().string());
  SingleInstanceLock first;
  setProgramFolder(league2.path().string());
  SingleInstanceLock second;
  SingleInstanceLock third;
  setProgramFolder("");
  EXPECT_TRUE(first.held());
  EXPECT_TRUE(second.held());
  EXPECT_TRUE(third.heldElsewhere());
  EXPECT_TRUE(std::filesystem::exists(league1.path() / "tarnbeck.lock"));
  EXPECT_TRUE(std::filesystem::exists(league2.path() / "tarnbeck.lock"));
}

}  // namespace
