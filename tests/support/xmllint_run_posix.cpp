// Runs xmllint as a child process on Linux, its output captured in files.
#include "support/xml_check.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

extern char** environ;

namespace {

std::string readAll(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// Removes the run's folder however the run ends.
struct RunFolder {
  std::filesystem::path path;
  ~RunFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
};

}  // namespace

XmllintRun runXmllint(const std::string& document, const std::vector<std::string>& arguments) {
  static std::atomic<unsigned> counter{0};
  RunFolder folder{std::filesystem::temp_directory_path() /
                   ("tarnbeck-xmllint-" + std::to_string(::getpid()) + "-" + std::to_string(counter++))};
  XmllintRun run;
  std::error_code error;
  std::filesystem::create_directories(folder.path, error);
  if (error) {
    run.err = "cannot create " + folder.path.string();
    return run;
  }
  const std::string documentPath = (folder.path / "document.xml").string();
  const std::string outPath = (folder.path / "out").string();
  const std::string errPath = (folder.path / "err").string();
  {
    std::ofstream file(documentPath, std::ios::binary);
    file << document;
  }

  std::vector<std::string> words = {"xmllint"};
  words.insert(words.end(), arguments.begin(), arguments.end());
  words.push_back(documentPath);
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  pid_t child = 0;
  const int spawned = posix_spawnp(&child, "xmllint", &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    run.err = "xmllint could not be started";
    return run;
  }
  int status = 0;
  if (::waitpid(child, &status, 0) != child || !WIFEXITED(status)) {
    run.err = "xmllint did not exit normally";
    return run;
  }
  run.exitCode = WEXITSTATUS(status);
  run.ran = run.exitCode != 127;
  run.out = readAll(outPath);
  run.err = readAll(errPath);
  return run;
}
