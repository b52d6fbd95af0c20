// The shared start-up and stop sequence. The order of stopping matters: the
// running flag first, so the network thread leaves its loop; then the wait,
// so its last save is queued; then the queue, within its budget. GUI/main
// thread only.
#include "shell/program.h"

#include "config/autostart.h"
#include "config/ini_file.h"
#include "config/settings.h"
#include "config/settings_template.h"
#include "config/shared_state.h"
#include "link/link_thread.h"
#include "shell/timer_tick.h"
#include "shell/upload_worker.h"
#include "system/file_system.h"

bool startProgram(const std::string& settingsPath, IniFile& ini) {
  if (!pathExists(settingsPath) && !createSettingsFile(settingsPath)) return false;
  // Its thread from the start, so the program's threads stay the same all along.
  uploadWorker();
  ini.load(settingsPath);
  loadSettings(ini);
  applyAutostart(ini);
  return true;
}

void stopProgram(const SecondStopWait& secondStop) {
  setSimulatorRunning(false);
  waitForNetworkThread();
  handlePendingStatsFiles();
  const auto deadline = std::chrono::steady_clock::now() + kStopUploadBudget;
  constexpr std::chrono::milliseconds kSlice{100};
  while (!uploadWorker().waitUntilDone(kSlice)) {
    if (std::chrono::steady_clock::now() >= deadline || secondStop(kSlice)) {
      uploadWorker().abandon();
      uploadWorker().waitUntilDone(std::chrono::seconds(5));
      return;
    }
  }
}
