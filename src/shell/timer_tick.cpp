// The timer tick: watch the simulator, start the link, hand every saved stats
// file to the upload step (or the log when no FTP address is set).
#include "shell/timer_tick.h"

#include "config/shared_state.h"
#include "config/settings.h"
#include "net/link_thread.h"
#include "output/report_file.h"
#include "output/stats_folder.h"
#include "output/upload.h"
#include "shell/log_file.h"

#include <string>
#include <vector>

namespace {

void handleSavedStatsFile(const std::string& path) {
  if (isFtpConfigured()) {
    uploadStatsFile(path);
  } else {
    writeLog("Stats file " + path + " was saved");
    const std::string report = reportPathBeside(path);
    if (htmlReport() && pathExists(report)) writeLog("Race report " + report + " was saved");
  }
}

}  // namespace

void onTimerTick() {
  updateSimulatorRunning();
  // Every file waiting now, oldest first: two races saved within one period
  // are both handled.
  std::vector<std::string> saved;
  while (std::optional<std::string> path = takePendingStatsFile()) saved.push_back(std::move(*path));
  startNetworkThreadIfNeeded();
  for (const std::string& path : saved) handleSavedStatsFile(path);
}

void handlePendingStatsFiles() {
  while (std::optional<std::string> path = takePendingStatsFile()) handleSavedStatsFile(*path);
}
