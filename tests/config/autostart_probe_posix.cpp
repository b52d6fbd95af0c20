// The autostart store on Linux: a temporary XDG_CONFIG_HOME for each test, so
// the user's own autostart folder is never touched.
#include "autostart_probe.h"

#include "temp_folder.h"

#include <cstdlib>
#include <fstream>

struct AutostartSandbox::Saved {
  TempFolder folder;
  std::optional<std::string> configHome;
};

AutostartSandbox::AutostartSandbox() : saved_(new Saved) {
  if (const char* old = std::getenv("XDG_CONFIG_HOME")) saved_->configHome = old;
  setenv("XDG_CONFIG_HOME", saved_->folder.path().c_str(), 1);
}

AutostartSandbox::~AutostartSandbox() {
  if (saved_->configHome) {
    setenv("XDG_CONFIG_HOME", saved_->configHome->c_str(), 1);
  } else {
    unsetenv("XDG_CONFIG_HOME");
  }
}

// The Exec value of the desktop entry, exactly as written in the file.
std::optional<std::string> AutostartSandbox::command() const {
  std::ifstream in(saved_->folder.file("autostart/tarnbeck.desktop"));
  if (!in.is_open()) return std::nullopt;
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("Exec=", 0) == 0) return line.substr(5);
  }
  return "<no Exec line>";
}
