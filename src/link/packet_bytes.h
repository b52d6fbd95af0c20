// The field reads and writes both protocols share: texts of received packets
// (up to their first NUL, never beyond the field or the packet) and the
// little-endian numbers and NUL-padded texts of the packets the program
// sends. Any thread.
#pragma once

#include <cstddef>
#include <cstdint>
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

inline void putU16(std::uint8_t* at, std::uint16_t value) {
  at[0] = static_cast<std::uint8_t>(value & 0xFF);
  at[1] = static_cast<std::uint8_t>(value >> 8);
}

inline void putU32(std::uint8_t* at, std::uint32_t value) {
  putU16(at, static_cast<std::uint16_t>(value & 0xFFFF));
  putU16(at + 2, static_cast<std::uint16_t>(value >> 16));
}

// Copies at most `maxLength` characters and returns how many; the rest of
// the zero-filled field terminates the text.
inline std::size_t putText(std::uint8_t* field, std::string_view text, std::size_t maxLength) {
  const std::size_t count = text.size() < maxLength ? text.size() : maxLength;
  if (count > 0) std::memcpy(field, text.data(), count);
  return count;
}
