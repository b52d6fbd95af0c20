// The one way both protocols read a text field of a received packet: up to
// its first NUL, never beyond the field or the packet. Any thread.
#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>

inline std::string_view packetText(const unsigned char* bytes, std::size_t length, std::size_t offset,
                                   std::size_t width) {
  if (bytes == nullptr || offset >= length) return {};
  const std::size_t available = length - offset;
  const std::size_t span = width < available ? width : available;
  const char* start = reinterpret_cast<const char*>(bytes + offset);
  const void* nul = std::memchr(start, 0, span);
  return std::string_view(start, nul ? static_cast<const char*>(nul) - start : span);
}
