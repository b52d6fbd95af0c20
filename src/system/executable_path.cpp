// The portable half of the executable-path seam.
#include "system/executable_path.h"

std::string executableFolder() {
  std::string path = executablePath();
  std::string::size_type last = path.find_last_of(pathSeparator());
  return last == std::string::npos ? std::string() : path.substr(0, last + 1);
}
