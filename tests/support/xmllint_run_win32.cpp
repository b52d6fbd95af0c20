// Runs the Linux xmllint from a Windows test under Wine. Wine starts a Linux
// program through CreateProcess but gives no handle to wait on, so a small
// shell script runs xmllint and then publishes its exit code by renaming a
// file, which the test waits for. Wine's drive Z: is the Linux root folder,
// which gives both sides the same files.
#include "support/xml_check.h"

#include <windows.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>
#include <thread>

namespace {

constexpr auto kRunTimeout = std::chrono::seconds(60);

std::string readAll(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// One argument for the shell, safe whatever it holds.
std::string shellQuoted(const std::string& word) {
  std::string quoted = "'";
  for (char c : word) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

struct RunFolder {
  std::string windowsPath;  // Z:\tmp\...
  ~RunFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(windowsPath, ignored);
  }
};

}  // namespace

XmllintRun runXmllint(const std::string& document, const std::vector<std::string>& arguments) {
  static std::atomic<unsigned> counter{0};
  const std::string name = "tarnbeck-xmllint-" + std::to_string(GetCurrentProcessId()) + "-" +
                           std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) + "-" +
                           std::to_string(counter++);
  const std::string unixFolder = "/tmp/" + name;
  RunFolder folder{"Z:\\tmp\\" + name};
  XmllintRun run;
  std::error_code error;
  std::filesystem::create_directories(folder.windowsPath, error);
  if (error) {
    run.err = "cannot create " + folder.windowsPath;
    return run;
  }
  {
    std::ofstream file(folder.windowsPath + "\\document.xml", std::ios::binary);
    file << document;
  }
  {
    std::ofstream script(folder.windowsPath + "\\run.sh", std::ios::binary);
    script << "cd " << shellQuoted(unixFolder) << " || exit 1\n";
    script << "xmllint";
    for (const std::string& argument : arguments) script << ' ' << shellQuoted(argument);
    script << " document.xml >out 2>err\n";
    script << "echo $? >status.part && mv status.part status\n";
  }

  std::string commandLine = "sh " + unixFolder + "/run.sh";
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA("Z:\\bin\\sh", commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    run.err = "the shell could not be started (error " + std::to_string(GetLastError()) + ")";
    return run;
  }
  if (process.hProcess) CloseHandle(process.hProcess);
  if (process.hThread) CloseHandle(process.hThread);

  const std::string statusPath = folder.windowsPath + "\\status";
  const auto deadline = std::chrono::steady_clock::now() + kRunTimeout;
  while (!std::filesystem::exists(statusPath, error)) {
    if (std::chrono::steady_clock::now() > deadline) {
      run.err = "xmllint did not finish";
      return run;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  run.exitCode = std::stoi("0" + readAll(statusPath));
  run.ran = run.exitCode != 127;
  run.out = readAll(folder.windowsPath + "\\out");
  run.err = readAll(folder.windowsPath + "\\err");
  if (!run.ran) run.err += "xmllint was not found";
  return run;
}
