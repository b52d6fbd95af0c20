// Makes the disk "full" for this process: files cannot grow beyond a size
// while the limit is held, so writes fail the way they do on a full disk.
#pragma once

#include <cstddef>

class FileSizeLimit {
 public:
  explicit FileSizeLimit(std::size_t bytes);
  ~FileSizeLimit();
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

  // False where the platform offers no such limit.
  bool active() const { return active_; }

 private:
  bool active_ = false;
  unsigned long long previous_ = 0;
};
