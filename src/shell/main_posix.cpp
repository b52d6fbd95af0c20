// Entry point of the Linux console program: single instance, settings file,
// settings, autostart, optional simulator start, then the 6-second tick on
// the main thread until SIGINT, SIGTERM or SIGHUP. On the way out the link is
// ended (so the race in memory is written) and every saved stats file is
// uploaded or logged.
#include "config/ini_file.h"
#include "link/link_thread.h"
#include "net/socket_library.h"
#include "shell/console_reports.h"
#include "shell/launcher.h"
#include "shell/launcher_posix.h"
#include "shell/program.h"
#include "shell/single_instance_posix.h"
#include "shell/stop_signals_posix.h"
#include "shell/tick_period.h"
#include "shell/timer_tick.h"
#include "system/executable_path.h"

#include <chrono>
#include <cstdio>
#include <string>

namespace {

const char usage[] =
    "usage: tarnbeck [-startlfs]\n"
    "\n"
    "Records Live for Speed races as XML stats files. Runs in the foreground\n"
    "until Ctrl+C, SIGTERM or SIGHUP; settings are in trbk.ini beside the\n"
    "executable (written from the template on the first start).\n"
    "  -startlfs  also start the simulator named by lfs in [main]\n"
    "Environment: TARNBECK_TICK_MS=N  tick every N ms (1-6000) instead of 6000.\n";

}  // namespace

int main(int argc, char** argv) {
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
  IniFile ini;
  if (!startProgram(settingsPath, ini)) {
    std::fprintf(stderr, "The ini file could not be created\n");
    return 1;
  }
  reportSkippedSettingsLines(stderr, settingsPath, ini);
  static ConsoleSocketReports socketReports(stderr);
  setNetworkLogSink(&socketReports);

  if (argc > 1 && wantsSimulatorStart(argv[1])) launchSimulator(ini);

  const unsigned period = tickPeriodMs();
  std::printf("Tarnbeck is running (settings %s, a tick every %u ms). Ctrl+C stops it.\n",
              settingsPath.c_str(), period);
  std::fflush(stdout);
  while (!stopSignals.waitFor(std::chrono::milliseconds(period))) onTimerTick();

  std::printf("Tarnbeck is stopping: the race in memory is written and the saved stats files are\n"
              "uploaded (at most %lld s; a second Ctrl+C or SIGTERM stops at once).\n",
              static_cast<long long>(kStopUploadBudget.count()));
  std::fflush(stdout);
  stopProgram([&](std::chrono::milliseconds wait) { return stopSignals.waitForAnother(wait); });
  std::printf("Tarnbeck stopped.\n");
  return 0;
}
