// The log file: time stamps and appending entries to "log.txt".
#include "system/log_file.h"

#include "system/clock.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>

namespace {
const char kLogFileName[] = "log.txt";
}  // namespace

std::string logTimestamp() { return localDateText("dd.MM") + localTimeText(" HH:mm:ss"); }

void writeLog(const std::string& message) { appendToLog(logTimestamp() + " " + message + "\n\n"); }

bool appendToLog(const std::string& text) {
  // A log that cannot be written must not end the program: the race being
  // tracked is worth more than one log entry.
  errno = 0;
  std::ofstream log(kLogFileName, std::ios::out | std::ios::app);
  if (log) {
    log << text;
    log.close();
    if (log) return true;
  }
  int error = errno;
  std::cerr << "Tarnbeck: cannot write " << kLogFileName << ": "
            << (error != 0 ? std::strerror(error) : "unknown error") << '\n';
  return false;
}
