// A fresh folder under the system's temporary folder, removed with everything
// in it when the test is done; plus whole-file helpers that bypass text mode.
#pragma once

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

class TempFolder {
 public:
  TempFolder() {
    std::mt19937_64 random(
        std::random_device{}() ^
        static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count()));
    std::error_code error;
    do {
      path_ = std::filesystem::temp_directory_path() / ("tarnbeck-test-" + std::to_string(random()));
    } while (!std::filesystem::create_directory(path_, error));
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  ~TempFolder() {
    std::error_code error;
    std::filesystem::remove_all(path_, error);
  }

  const std::filesystem::path& path() const { return path_; }
  std::string file(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

inline void writeBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

inline std::string readBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The line end a text-mode stream writes on this platform.
inline std::string textLineEnd() { return TEXT_LINE_END_CRLF ? "\r\n" : "\n"; }

// text with every '\n' replaced by the platform's text line end.
inline std::string withTextLineEnds(const std::string& text) {
  std::string converted;
  for (char c : text) {
    if (c == '\n') {
      converted += textLineEnd();
    } else {
      converted += c;
    }
  }
  return converted;
}
