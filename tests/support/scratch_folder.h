// Test helpers for files: a folder of the test's own that is removed again,
// optionally made the current folder meanwhile, and whole-file reads.
#pragma once

#include "system/executable_path.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>

class ScratchFolder {
 public:
  enum Mode { KeepCurrentFolder, MakeCurrent };

  explicit ScratchFolder(Mode mode = KeepCurrentFolder) {
    static std::atomic<unsigned> counter{0};
    auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    path_ = std::filesystem::temp_directory_path() /
            ("tarnbeck-test-" + std::to_string(stamp) + "-" + std::to_string(counter++));
    std::filesystem::create_directories(path_);
    if (mode == MakeCurrent) {
      previous_ = std::filesystem::current_path();
      std::filesystem::current_path(path_);
    }
  }
  ~ScratchFolder() {
    std::error_code ignored;
    if (!previous_.empty()) std::filesystem::current_path(previous_, ignored);
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // The folder as the program names folders: with a trailing separator.
  std::string withSeparator() const { return path_.string() + pathSeparator(); }

 private:
  std::filesystem::path path_;
  std::filesystem::path previous_;
};

// The whole file, byte for byte; empty when it cannot be read.
inline std::string readFileBytes(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

inline void writeFileBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << bytes;
}

// What a line feed becomes in a file written in text mode: CR LF on Windows
// (the platform whose folder separator is a backslash), LF elsewhere.
inline std::string textLineBreak() { return pathSeparator() == '\\' ? "\r\n" : "\n"; }

// Text with every line feed written as textLineBreak() does.
inline std::string asTextFile(const std::string& text) {
  std::string stored;
  for (char c : text) stored += c == '\n' ? textLineBreak() : std::string(1, c);
  return stored;
}
