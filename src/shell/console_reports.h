// Reports of the Linux console program on its error output: settings lines
// that could not be read, and the network layer's error reports, the latter
// limited so that a flood cannot fill a journal.
#pragma once

#include "net/socket_handler.h"

#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>

class IniFile;

// One line per line of the settings file that the last load passed over.
void reportSkippedSettingsLines(std::FILE* out, const std::string& path, const IniFile& ini);

// Writes each report as one line, at most `perSecond` a second; what is held
// back is counted and the count told with the next line written. Called on
// the network thread; safe from any thread.
class ConsoleSocketReports : public SocketLogSink {
 public:
  explicit ConsoleSocketReports(std::FILE* out, int perSecond = 5) : out_(out), perSecond_(perSecond) {}

  void OnLogError(SocketHandler& handler, Socket* socket, const char* context, int error, const char* text,
                  int level) override;

 private:
  std::FILE* out_;
  const int perSecond_;
  std::mutex mutex_;
  std::chrono::steady_clock::time_point windowStart_{};
  int writtenInWindow_ = 0;
  unsigned long heldBack_ = 0;
};
