// The file size limit on Linux: RLIMIT_FSIZE, with SIGXFSZ ignored so that a
// write beyond it fails with EFBIG instead of ending the process.
#include "support/file_size_limit.h"

#include <signal.h>
#include <sys/resource.h>

FileSizeLimit::FileSizeLimit(std::size_t bytes) {
  rlimit limit;
  if (::getrlimit(RLIMIT_FSIZE, &limit) != 0) return;
  previous_ = limit.rlim_cur;
  ::signal(SIGXFSZ, SIG_IGN);
  limit.rlim_cur = bytes;
  active_ = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
}

FileSizeLimit::~FileSizeLimit() {
  if (!active_) return;
  rlimit limit;
  ::getrlimit(RLIMIT_FSIZE, &limit);
  limit.rlim_cur = static_cast<rlim_t>(previous_);
  ::setrlimit(RLIMIT_FSIZE, &limit);
}
