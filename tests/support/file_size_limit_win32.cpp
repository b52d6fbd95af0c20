// Windows has no per-process file size limit; tests that need one are skipped
// there (the stream failure test covers the same path).
#include "support/file_size_limit.h"

FileSizeLimit::FileSizeLimit(std::size_t) {}

FileSizeLimit::~FileSizeLimit() = default;
