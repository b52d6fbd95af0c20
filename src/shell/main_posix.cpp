// Entry point of the Linux console program: command line and program folder,
// single instance, then the shared start-up (settings file, settings,
// autostart) with the console's own reports of what could not be read or
// cannot work, optional simulator start, then the 6-second tick on the main
// thread until SIGINT, SIGTERM or SIGHUP, and the shared stop sequence.
#include "config/ini_file.h"
#include "config/settings.h"
#include "config/settings_check.h"
#include "link/link_thread.h"
#include "net/socket_library.h"
#include "shell/command_line_posix.h"
#include "shell/console_reports.h"
#include "shell/launcher.h"
#include "shell/launcher_posix.h"
#include "shell/program.h"
#include "shell/report_command.h"
#include "shell/single_instance_posix.h"
#include "shell/stop_signals_posix.h"
#include "shell/tick_period.h"
#include "shell/timer_tick.h"
#include "system/program_folder.h"

#include <chrono>
#include <cstdio>
#include <string>

namespace {

const char kUsage[] =
    "usage: tarnbeck [--folder DIR] [-startlfs]\n"
    "       tarnbeck --report STATS.xml [OUT.html]\n"
    "\n"
    "Records Live for Speed races as XML stats files. Runs in the foreground\n"
    "until Ctrl+C, SIGTERM or SIGHUP; settings are in trbk.ini in the program\n"
    "folder (written from the template on the first start).\n"
    "  --folder DIR  the program folder: DIR/trbk.ini, DIR/tarnbeck.lock (one\n"
    "                Tarnbeck per folder) and the default stats folder\n"
    "                DIR/xmlstats; without it, the executable's folder\n"
    "  -startlfs     also start the simulator named by lfs in [main]\n"
    "  --report      write the HTML race report of a saved stats file (by\n"
    "                default beside it, named .html) and exit\n"
    "log.txt is written to the current folder.\n"
    "Environment: TARNBECK_TICK_MS=N  tick every N ms (1-6000) instead of 6000.\n";

}  // namespace

int main(int argc, char** argv) {
  // A report of a saved file needs nothing of the running program.
  if (isReportCommand(argc, argv)) return runReportCommand(argc, argv);
  const CommandLine command = readCommandLine(argc, argv);
  if (command.help) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (!command.error.empty()) {
    std::fprintf(stderr, "%s\n", command.error.c_str());
    return 2;
  }
  setProgramFolder(command.folder);
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

  const std::string settingsPath = programFolder() + "trbk.ini";
  IniFile ini;
  if (!startProgram(settingsPath, ini)) {
    std::fprintf(stderr, "The ini file could not be created\n");
    return 1;
  }
  reportSkippedSettingsLines(stderr, settingsPath, ini);
  for (const std::string& problem : networkSettingProblems(ini, settingsPath)) {
    std::fprintf(stderr, "%s\n", problem.c_str());
  }
  const std::string protocolProblem = linkProtocolProblem();
  if (!protocolProblem.empty())
    std::fprintf(stderr, "%s: %s\n", settingsPath.c_str(), protocolProblem.c_str());
  static ConsoleSocketReports socketReports(stderr);
  setNetworkLogSink(&socketReports);

  if (wantsSimulatorStart(command.firstArgument)) launchSimulator(ini);

  const unsigned period = tickPeriodMs();
  std::printf("Tarnbeck is running (settings %s, a tick every %u ms). Ctrl+C stops it.\n",
              settingsPath.c_str(), period);
  std::fflush(stdout);
  while (!stopSignals.waitFor(std::chrono::milliseconds(period))) onTimerTick();

  std::printf(
      "Tarnbeck is stopping: the race in memory is written and the saved stats files are\n"
      "uploaded (at most %lld s; a second Ctrl+C or SIGTERM stops at once).\n",
      static_cast<long long>(kStopUploadBudget.count()));
  std::fflush(stdout);
  stopProgram([&](std::chrono::milliseconds wait) { return stopSignals.waitForAnother(wait); });
  std::printf("Tarnbeck stopped.\n");
  return 0;
}
