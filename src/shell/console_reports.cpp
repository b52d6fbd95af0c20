// The console program's error-output reports. GUI/main thread for the
// settings lines; the network thread for the socket reports.
#include "shell/console_reports.h"

#include "config/ini_file.h"

void reportSkippedSettingsLines(std::FILE* out, const std::string& path, const IniFile& ini) {
  for (const IniSkippedLine& line : ini.skippedLines()) {
    std::fprintf(out, "%s line %d was not read (%s): %s\n", path.c_str(), line.number, line.reason,
                 line.text.c_str());
  }
}

void ConsoleSocketReports::OnLogError(SocketHandler&, Socket*, const char* context, int error,
                                      const char* text, int level) {
  const std::lock_guard<std::mutex> lock(mutex_);
  const auto now = std::chrono::steady_clock::now();
  if (now - windowStart_ >= std::chrono::seconds(1)) {
    windowStart_ = now;
    writtenInWindow_ = 0;
  }
  if (writtenInWindow_ >= perSecond_) {
    ++heldBack_;
    return;
  }
  ++writtenInWindow_;
  if (heldBack_ > 0) {
    std::fprintf(out_, "Tarnbeck network: %lu more reports were not shown\n", heldBack_);
    heldBack_ = 0;
  }
  std::fprintf(out_, "Tarnbeck network: %s: %s (%d, level %d)\n", context, text != nullptr ? text : "", error,
               level);
  std::fflush(out_);
}
