// Entry point of the Linux console program: single instance, settings file,
// settings, autostart, optional simulator start, then the 6-second tick on
// the main thread until SIGINT, SIGTERM or SIGHUP. On the way out the link is
// ended (so the race in memory is written) and every saved stats file is
// uploaded or logged.
#include "config/autostart.h"
#include "config/ini_file.h"
#include "config/settings.h"
#include "config/settings_template.h"
#include "config/shared_state.h"
#include "net/link_thread.h"
#include "net/socket_library.h"
#include "shell/executable_path.h"
#include "shell/launcher.h"
#include "shell/launcher_posix.h"
#include "shell/report_command.h"
#include "shell/single_instance_posix.h"
#include "shell/stop_signals_posix.h"
#include "shell/tick_period.h"
#include "shell/timer_tick.h"

#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <string>

namespace {

bool exists(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0;
}

const char usage[] =
    "usage: tarnbeck [-startlfs]\n"
    "       tarnbeck --report STATS.xml [OUT.html]\n"
    "\n"
    "Records Live for Speed races as XML stats files. Runs in the foreground\n"
    "until Ctrl+C, SIGTERM or SIGHUP; settings are in trbk.ini beside the\n"
    "executable (written from the template on the first start).\n"
    "  -startlfs  also start the simulator named by lfs in [main]\n"
    "  --report   write the HTML race report of a saved stats file (by default\n"
    "             beside it, named .html) and exit\n"
    "Environment: TARNBECK_TICK_MS=N  tick every N ms (1-6000) instead of 6000.\n";

}  // namespace

int main(int argc, char** argv) {
  // A report of a saved file needs nothing of the running program.
  if (isReportCommand(argc, argv)) return runReportCommand(argc, argv);
  if (argc > 1 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
    std::fputs(usage, stdout);
    return 0;
  }
  // Before any thread exists, so every thread inherits the blocked signals.
  StopSignals stopSignals;
  SocketLibrary sockets;
  if (!sockets.started()) return -1;

  SingleInstanceLock instanceLock;
  if (instanceLock.heldElsewhere()) {
    std::fprintf(stderr, "Tarnbeck is already running\n");
    return 0;
  }
  if (!instanceLock.held()) {
    std::fprintf(stderr, "Tarnbeck: %s cannot be locked; a second Tarnbeck would not be noticed.\n",
                 instanceLockPath().c_str());
  }

  const std::string settingsPath = executableFolder() + "trbk.ini";
  if (!exists(settingsPath) && !createSettingsFile(settingsPath)) {
    std::fprintf(stderr, "The ini file could not be created\n");
    return 1;
  }

  IniFile ini;
  ini.load(settingsPath);
  loadSettings(ini);
  applyAutostart(ini);

  if (argc > 1 && wantsSimulatorStart(argv[1])) launchSimulator(ini);

  const unsigned period = tickPeriodMs();
  std::printf("Tarnbeck is running (settings %s, a tick every %u ms). Ctrl+C stops it.\n",
              settingsPath.c_str(), period);
  std::fflush(stdout);
  while (!stopSignals.waitFor(std::chrono::milliseconds(period))) onTimerTick();

  // Stop the link and wait for it: its last act writes the race it holds.
  // Then every file saved meanwhile goes the usual way.
  setSimulatorRunning(false);
  waitForNetworkThread();
  handlePendingStatsFiles();
  std::printf("Tarnbeck stopped.\n");
  return 0;
}
