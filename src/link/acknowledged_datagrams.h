// The last datagrams the read socket acknowledged, kept byte for byte. The
// simulator sends a packet with an ack word again when our ACK is lost; such a
// repeat must be acknowledged once more but must not change the race a second
// time. A fixed ring: remembering and looking up never allocate. Network
// thread only (owned by the read socket).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

class AcknowledgedDatagrams {
 public:
  // How many datagrams are remembered; the oldest makes room for the newest.
  static constexpr std::size_t kCapacity = 64;
  // The longest packet that carries an ack word (RES); longer datagrams are
  // never remembered, so they never count as repeats.
  static constexpr std::size_t kMaxLength = 108;

  // Whether these exact bytes are one of the remembered datagrams.
  bool contains(const void* data, std::size_t length) const;
  void remember(const void* data, std::size_t length);

 private:
  struct Entry {
    std::size_t length = 0;  // 0: unused
    std::array<unsigned char, kMaxLength> bytes{};
  };
  std::array<Entry, kCapacity> entries_{};
  std::size_t next_ = 0;
};
