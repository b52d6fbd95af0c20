// The timer tick: watch the simulator, start the link, hand every saved stats
// file to the upload worker. GUI/main thread only.
#include "shell/timer_tick.h"

#include "config/shared_state.h"
#include "link/link_thread.h"
#include "shell/upload_worker.h"

#include <string>
#include <vector>

void onTimerTick() {
  updateSimulatorRunning();
  // Every file waiting now, oldest first: two races saved within one period
  // are both handled.
  std::vector<std::string> saved;
  while (std::optional<std::string> path = takePendingStatsFile()) saved.push_back(std::move(*path));
  startNetworkThreadIfNeeded();
  for (const std::string& path : saved) uploadWorker().add(path);
}

void handlePendingStatsFiles() {
  while (std::optional<std::string> path = takePendingStatsFile()) uploadWorker().add(*path);
}
