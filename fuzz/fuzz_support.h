// Shared pieces of the fuzz targets: a reader that turns the fuzzer's bytes
// into values, a scratch folder of the process's own, whole-file reads, the
// check that stops a run with a message, and an XML parser (libxml2) that
// tells whether a document is well-formed.
#pragma once

#include <libxml/tree.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

// Stops the run as a finding when the condition does not hold.
#define FUZZ_CHECK(condition, message)                                            \
  do {                                                                            \
    if (!(condition)) fuzzCheckFailed(#condition, (message), __FILE__, __LINE__); \
  } while (0)

[[noreturn]] void fuzzCheckFailed(const char* condition, const std::string& message, const char* file,
                                  int line);

// Consumes the input from the front; once it is used up every read gives 0
// or an empty text, so a short input is still a valid one.
class FuzzInput {
 public:
  FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  bool empty() const { return position_ >= size_; }
  std::size_t remaining() const { return empty() ? 0 : size_ - position_; }
  std::uint8_t byte() { return empty() ? 0 : data_[position_++]; }
  std::uint16_t u16() {
    const std::uint8_t low = byte();
    return static_cast<std::uint16_t>(low | (byte() << 8));
  }
  // Up to `count` bytes (fewer at the end of the input).
  std::string bytes(std::size_t count);
  // Exactly `count` bytes: what the input lacks is zero.
  std::string paddedBytes(std::size_t count);
  // A text whose length is given by the next byte.
  std::string shortText() { return bytes(byte()); }
  std::string rest() { return bytes(remaining()); }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t position_ = 0;
};

// A folder under the system's temporary folder that lives as long as the
// process; every fuzzing process has its own.
const std::string& scratchFolder();

std::string readWholeFile(const std::string& path);
void writeWholeFile(const std::string& path, const std::string& bytes);

struct XmlDocFree {
  void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};
using XmlDocument = std::unique_ptr<xmlDoc, XmlDocFree>;

// Parses a whole document without any network access; null when it is not
// well-formed, with the parser's message in `error`. `extraOptions` are
// further libxml2 parser options.
XmlDocument parseXml(const std::string& bytes, std::string& error, int extraOptions = 0);

// Elements of this name in the subtree, the node itself included.
std::size_t countElements(const xmlNode* node, std::string_view name);
