// The fuzz targets' shared helpers.
#include "fuzz_support.h"

#include <libxml/parser.h>
#include <libxml/xmlerror.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <system_error>

namespace {

class ScratchFolder {
 public:
  ScratchFolder() {
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    const auto salt = std::random_device{}();
    path_ = (std::filesystem::temp_directory_path() /
             ("tarnbeck-fuzz-" + std::to_string(stamp) + "-" + std::to_string(salt)))
                .string();
    std::filesystem::create_directories(path_);
  }
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// The parser reports through the last-error record; nothing goes to stderr.
void silentParserErrors(void*, const char*, ...) {}

}  // namespace

void fuzzCheckFailed(const char* condition, const std::string& message, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: check failed: %s\n%s\n", file, line, condition, message.c_str());
  std::fflush(stderr);
  std::abort();
}

std::string FuzzInput::bytes(std::size_t count) {
  const std::size_t taken = count < remaining() ? count : remaining();
  std::string result(reinterpret_cast<const char*>(data_) + (empty() ? 0 : position_), taken);
  position_ += taken;
  return result;
}

std::string FuzzInput::paddedBytes(std::size_t count) {
  std::string result = bytes(count);
  result.resize(count, '\0');
  return result;
}

const std::string& scratchFolder() {
  static const ScratchFolder folder;
  return folder.path();
}

std::string readWholeFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void writeWholeFile(const std::string& path, const std::string& bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

XmlDocument parseXml(const std::string& bytes, std::string& error, int extraOptions) {
  static const bool quiet = [] {
    xmlSetGenericErrorFunc(nullptr, silentParserErrors);
    return true;
  }();
  (void)quiet;
  xmlResetLastError();
  XmlDocument doc(xmlReadMemory(bytes.data(), static_cast<int>(bytes.size()), "document.xml", nullptr,
                                XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | extraOptions));
  if (!doc) {
    const xmlError* last = xmlGetLastError();
    error = last && last->message ? last->message : "no document";
  }
  return doc;
}

std::size_t countElements(const xmlNode* node, std::string_view name) {
  std::size_t count = 0;
  for (; node != nullptr; node = node->next) {
    if (node->type != XML_ELEMENT_NODE) continue;
    if (name == reinterpret_cast<const char*>(node->name)) ++count;
    count += countElements(node->children, name);
  }
  return count;
}
