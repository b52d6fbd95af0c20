// The simulator launcher on Linux: a detached process (a new session, its own
// folder, no terminal), so the simulator neither ends with Tarnbeck nor
// inherits its blocked stop signals or its lock.
#include "shell/launcher_posix.h"

#include "config/ini_file.h"
#include "config/settings.h"
#include "config/shared_state.h"
#include "shell/launcher.h"
#include "system/file_system.h"
#include "system/simulator_detect.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool isExecutableFile(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(path.c_str(), X_OK) == 0;
}

// "wine" or "wine64" on the PATH, else Debian's loader; empty without Wine.
std::string findWine() {
  const char* pathVariable = std::getenv("PATH");
  std::string searchPath = pathVariable != nullptr ? pathVariable : "/usr/bin:/bin";
  for (const char* name : {"wine", "wine64"}) {
    std::string::size_type start = 0;
    for (;;) {
      std::string::size_type end = searchPath.find(':', start);
      std::string folder = searchPath.substr(start, end == std::string::npos ? end : end - start);
      if (folder.empty()) folder = ".";
      std::string candidate = folder + "/" + name;
      if (isExecutableFile(candidate)) return candidate;
      if (end == std::string::npos) break;
      start = end + 1;
    }
  }
  return isExecutableFile("/usr/lib/wine/wine64") ? "/usr/lib/wine/wine64" : std::string();
}

bool endsWithExe(const std::string& path) {
  if (path.size() < 4) return false;
  std::string tail = path.substr(path.size() - 4);
  for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return tail == ".exe";
}

// Runs in the grandchild: only async-signal-safe calls until exec. A failed
// exec reports its errno through the pipe.
[[noreturn]] void execDetached(const std::vector<std::string>& command, const std::string& folder,
                               int reportPipe) {
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  int quiet = open("/dev/null", O_RDWR);
  if (quiet >= 0) {
    dup2(quiet, 0);
    dup2(quiet, 1);
    dup2(quiet, 2);
  }
  int error = 0;
  if (!folder.empty() && chdir(folder.c_str()) != 0) {
    error = errno;
  } else {
    std::vector<char*> argv;
    for (const std::string& word : command) argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    error = errno;
  }
  ssize_t written = write(reportPipe, &error, sizeof error);
  (void)written;
  _exit(127);
}

// Starts command detached (double fork: the simulator is adopted by init, so
// Tarnbeck never has to reap it). Returns 0, or the errno of what failed.
int startDetached(const std::vector<std::string>& command, const std::string& folder) {
  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) return errno;
  pid_t child = fork();
  if (child < 0) {
    int error = errno;
    close(report[0]);
    close(report[1]);
    return error;
  }
  if (child == 0) {
    close(report[0]);
    setsid();
    pid_t grandchild = fork();
    if (grandchild < 0) {
      int error = errno;
      ssize_t written = write(report[1], &error, sizeof error);
      (void)written;
      _exit(127);
    }
    if (grandchild > 0) _exit(0);
    execDetached(command, folder, report[1]);
  }
  close(report[1]);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  // The pipe closes without data when exec succeeded.
  int error = 0;
  ssize_t got;
  while ((got = read(report[0], &error, sizeof error)) < 0 && errno == EINTR) {
  }
  close(report[0]);
  return got == static_cast<ssize_t>(sizeof error) ? error : 0;
}

// The simulator is started in its own folder, so a relative path must be
// made absolute first.
std::string absolutePath(const std::string& path) {
  if (path.empty() || path[0] == '/') return path;
  char folder[PATH_MAX];
  if (getcwd(folder, sizeof folder) == nullptr) return path;
  return std::string(folder) + "/" + path;
}

}  // namespace

std::vector<std::string> splitArguments(const std::string& text) {
  std::vector<std::string> arguments;
  std::string word;
  bool inWord = false;
  char quote = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (quote == '\'') {
      if (c == '\'')
        quote = 0;
      else
        word += c;
    } else if (quote == '"') {
      if (c == '"')
        quote = 0;
      else if (c == '\\' && i + 1 < text.size() && (text[i + 1] == '"' || text[i + 1] == '\\'))
        word += text[++i];
      else
        word += c;
    } else if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
      if (inWord) arguments.push_back(word);
      word.clear();
      inWord = false;
    } else {
      inWord = true;
      if (c == '\'' || c == '"')
        quote = c;
      else if (c == '\\' && i + 1 < text.size())
        word += text[++i];
      else
        word += c;
    }
  }
  if (inWord) arguments.push_back(word);
  return arguments;
}

std::vector<std::string> simulatorCommand(const std::string& path, const std::vector<std::string>& arguments,
                                          const std::string& wine) {
  std::vector<std::string> command;
  if (endsWithExe(path) && !wine.empty()) command.push_back(wine);
  command.push_back(path);
  command.insert(command.end(), arguments.begin(), arguments.end());
  return command;
}

bool launchSimulator(const IniFile& ini) {
  std::string path = ini.getValue("main", "lfs");
  if (!pathExists(path)) {
    std::string where = "lfs in the [main] section of " + ini.path();
    if (path.empty()) {
      std::fprintf(stderr, "The simulator was not started: %s is empty. Set it to the path of LFS.exe.\n",
                   where.c_str());
    } else {
      std::fprintf(stderr,
                   "The simulator was not started: no file at \"%s\" (%s). Set it to the path of "
                   "LFS.exe.\n",
                   path.c_str(), where.c_str());
    }
    return false;
  }
  if (simulatorWindowExists()) return false;
  path = absolutePath(path);

  std::string parameters = ini.getValue("main", "lfsparameters");
  expandInsimTag(parameters, serverPort());
  std::string wine = endsWithExe(path) ? findWine() : std::string();
  if (endsWithExe(path) && wine.empty()) {
    std::fprintf(stderr, "Wine is not installed; starting %s directly.\n", path.c_str());
  }
  std::vector<std::string> command = simulatorCommand(path, splitArguments(parameters), wine);
  int error = startDetached(command, simulatorWorkingFolder(path));
  if (error != 0) {
    std::fprintf(stderr, "The simulator could not be started: %s: %s\n", command.front().c_str(),
                 std::strerror(error));
    return false;
  }
  setSimulatorRunning(false);
  return true;
}
