// The single-instance lock: flock on a file. The kernel drops the lock when
// the process ends in any way, so a crash never leaves a stale lock behind.
#include "shell/single_instance_posix.h"

#include "system/program_folder.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

std::string instanceLockPath() { return programFolder() + "tarnbeck.lock"; }

SingleInstanceLock::SingleInstanceLock(const std::string& path) {
  // Close-on-exec: a simulator started by the launcher must not inherit the
  // lock and keep it after Tarnbeck ends. A lock file of another user can
  // still be opened for reading, which is all flock needs.
  descriptor_ = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (descriptor_ < 0) descriptor_ = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (descriptor_ < 0) return;
  while (flock(descriptor_, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    heldElsewhere_ = errno == EWOULDBLOCK;
    if (!heldElsewhere_) {
      close(descriptor_);
      descriptor_ = -1;
    }
    return;
  }
}

SingleInstanceLock::~SingleInstanceLock() {
  if (descriptor_ >= 0) close(descriptor_);
}
