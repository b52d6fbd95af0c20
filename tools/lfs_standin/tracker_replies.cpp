// Decoding of the three packets a tracker sends: ISI (24 bytes), a request
// (8 bytes: ID and a 32-bit value) and MST (68 bytes of chat command).
#include "tracker_replies.h"

#include <cstdio>
#include <cstring>

namespace {

bool hasId(const std::uint8_t* bytes, std::size_t length, const char* id) {
  return length >= 4 && std::memcmp(bytes, id, 4) == 0;
}

// A fixed-width text up to its NUL (or the whole width), quoted; quotes and
// backslashes are escaped so a script can name the text exactly.
std::string quotedText(const std::uint8_t* bytes, std::size_t width) {
  std::string text = "\"";
  for (std::size_t i = 0; i < width && bytes[i] != 0; ++i) {
    char c = static_cast<char>(bytes[i]);
    if (c == '"' || c == '\\') text += '\\';
    text += c;
  }
  return text + "\"";
}

std::uint32_t littleEndian(const std::uint8_t* bytes, std::size_t width) {
  std::uint32_t value = 0;
  for (std::size_t i = width; i > 0; --i) value = (value << 8) | bytes[i - 1];
  return value;
}

bool isRequestId(const std::uint8_t* bytes) {
  for (int i = 0; i < 3; ++i) {
    if (bytes[i] < 'A' || bytes[i] > 'Z') return false;
  }
  return bytes[3] == 0;
}

}  // namespace

std::optional<std::uint16_t> isiClientPort(const std::uint8_t* bytes, std::size_t length) {
  if (length != 24 || !hasId(bytes, length, "ISI")) return std::nullopt;
  return static_cast<std::uint16_t>(littleEndian(bytes + 4, 2));
}

std::string describeReply(const std::uint8_t* bytes, std::size_t length) {
  char number[64];
  if (length == 24 && hasId(bytes, length, "ISI")) {
    std::snprintf(number, sizeof number, "ISI port=%u flags=0x%02X byte7=%u password=",
                  static_cast<unsigned>(littleEndian(bytes + 4, 2)), bytes[6], bytes[7]);
    return number + quotedText(bytes + 8, 16);
  }
  if (length == 8 && isRequestId(bytes)) {
    std::snprintf(number, sizeof number, " %u", static_cast<unsigned>(littleEndian(bytes + 4, 4)));
    return std::string(reinterpret_cast<const char*>(bytes), 3) + number;
  }
  if (length == 68 && hasId(bytes, length, "MST")) return "MST " + quotedText(bytes + 4, 64);
  std::string text = "unknown " + std::to_string(length) + "-byte datagram:";
  for (std::size_t i = 0; i < length && i < 32; ++i) {
    std::snprintf(number, sizeof number, " %02x", bytes[i]);
    text += number;
  }
  return length > 32 ? text + " ..." : text;
}
