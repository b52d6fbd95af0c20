// Cuts a TCP byte stream from the simulator into whole binary InSim packets
// by their Size byte, whatever the reads' boundaries: a packet split over
// several reads is held until it is whole, many packets in one read come out
// one by one. Used by the link thread that owns the connection; one stream
// per connection, not shared between threads.
#pragma once

#include "link/insim9_packets.h"

#include <array>
#include <cstddef>
#include <cstdint>

class PacketStream {
 public:
  enum class Fault : std::uint8_t { None, ZeroSize, NoType };

  // Hands each whole packet to onPacket(const std::uint8_t* bytes,
  // std::size_t size) in stream order; the bytes are valid during the call
  // only. A packet that arrives whole is handed over where it lies, without
  // a copy. Returns false once the stream has a fault: from then on nothing
  // more is cut until reset(), and the caller ends the connection.
  template <typename OnPacket>
  bool feed(const void* data, std::size_t length, OnPacket&& onPacket) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    if (bytes == nullptr) length = 0;
    std::size_t size = 0;
    while (const std::uint8_t* packet = next(bytes, length, size)) onPacket(packet, size);
    return fault_ == Fault::None;
  }

  Fault fault() const { return fault_; }
  // A sentence for the log, empty without a fault.
  const char* faultText() const;
  // Bytes of an incomplete packet held for the next read.
  std::size_t pending() const { return held_; }
  // Forgets held bytes and the fault, for a new connection.
  void reset();

 private:
  // The next whole packet, from the held bytes or straight from the input
  // (which is advanced past what was used); null when the input is used up
  // or the stream is faulty.
  const std::uint8_t* next(const std::uint8_t*& data, std::size_t& length, std::size_t& size);
  // False (and the fault set) when the header cannot begin a packet.
  bool checkHeader(const std::uint8_t* header);

  // Room for the longest packet the Size byte can announce.
  std::array<std::uint8_t, insim9::kMaxPacketSize> buffer_{};
  std::size_t held_ = 0;
  Fault fault_ = Fault::None;
};
