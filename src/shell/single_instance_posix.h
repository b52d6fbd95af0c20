// One Tarnbeck per program folder on Linux: a lock on a file beside the
// settings file, held for the life of the process, so trackers with folders
// of their own run side by side. Main thread only.
#pragma once

#include <string>

// tarnbeck.lock in the program folder.
std::string instanceLockPath();

class SingleInstanceLock {
 public:
  // Tries to take the lock at path without waiting.
  explicit SingleInstanceLock(const std::string& path = instanceLockPath());
  ~SingleInstanceLock();
  SingleInstanceLock(const SingleInstanceLock&) = delete;
  SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;

  // Another process holds the lock.
  bool heldElsewhere() const { return heldElsewhere_; }
  // This process holds it (false also when the lock file cannot be opened;
  // the program then runs without the guard).
  bool held() const { return descriptor_ >= 0 && !heldElsewhere_; }

 private:
  int descriptor_ = -1;
  bool heldElsewhere_ = false;
};
