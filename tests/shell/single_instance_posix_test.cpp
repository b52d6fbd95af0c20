// The Linux single-instance lock: a second holder is refused while the first
// lives, the lock is free again once it is gone, and a program started by
// the first instance never inherits it.
#include "shell/single_instance_posix.h"

#include "support/scratch_folder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

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

TEST(SingleInstanceLockTest, LockLivesInTheRuntimeFolderElseTmp) {
  const char* saved = std::getenv("XDG_RUNTIME_DIR");
  std::string previous = saved != nullptr ? saved : "";
  setenv("XDG_RUNTIME_DIR", "/run/user/1000", 1);
  EXPECT_EQ(instanceLockPath(), "/run/user/1000/tarnbeck.lock");
  setenv("XDG_RUNTIME_DIR", "/run/user/1000/", 1);
  EXPECT_EQ(instanceLockPath(), "/run/user/1000/tarnbeck.lock");
  setenv("XDG_RUNTIME_DIR", "", 1);
  EXPECT_EQ(instanceLockPath(), "/tmp/tarnbeck.lock");
  unsetenv("XDG_RUNTIME_DIR");
  EXPECT_EQ(instanceLockPath(), "/tmp/tarnbeck.lock");
  if (saved != nullptr) setenv("XDG_RUNTIME_DIR", previous.c_str(), 1);
}

}  // namespace
