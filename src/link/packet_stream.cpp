// PacketStream: the held partial packet and the checks of each header.
#include "link/packet_stream.h"

#include <cstring>

namespace {

constexpr std::size_t kHeaderSize = 4;

std::size_t sizeOf(const std::uint8_t* header) { return static_cast<std::size_t>(header[0]) * 4; }

}  // namespace

const char* PacketStream::faultText() const {
  switch (fault_) {
    case Fault::ZeroSize:
      return "the stream holds a packet of size 0";
    case Fault::NoType:
      return "the stream holds a packet of type 0";
    case Fault::None:
      break;
  }
  return "";
}

void PacketStream::reset() {
  held_ = 0;
  fault_ = Fault::None;
}

bool PacketStream::checkHeader(const std::uint8_t* header) {
  // Size 0 would never advance the stream; type 0 is no packet at all. Either
  // means the stream is out of step, and nothing after it can be trusted.
  if (header[0] == 0)
    fault_ = Fault::ZeroSize;
  else if (header[1] == 0)
    fault_ = Fault::NoType;
  return fault_ == Fault::None;
}

const std::uint8_t* PacketStream::next(const std::uint8_t*& data, std::size_t& length, std::size_t& size) {
  if (fault_ != Fault::None) return nullptr;
  if (held_ > 0) {
    // Complete the header first, then the packet it announces.
    std::size_t wanted = held_ < kHeaderSize ? kHeaderSize : sizeOf(buffer_.data());
    while (length > 0) {
      std::size_t take = wanted - held_ < length ? wanted - held_ : length;
      std::memcpy(buffer_.data() + held_, data, take);
      held_ += take;
      data += take;
      length -= take;
      if (held_ < wanted) return nullptr;
      if (wanted == kHeaderSize) {
        if (!checkHeader(buffer_.data())) return nullptr;
        wanted = sizeOf(buffer_.data());
        if (held_ < wanted) continue;
      }
      size = held_;
      held_ = 0;
      return buffer_.data();
    }
    return nullptr;
  }
  if (length == 0) return nullptr;
  if (length >= kHeaderSize) {
    if (!checkHeader(data)) return nullptr;
    const std::size_t whole = sizeOf(data);
    if (length >= whole) {
      const std::uint8_t* packet = data;
      size = whole;
      data += whole;
      length -= whole;
      return packet;
    }
  } else if (data[0] == 0) {
    // Known at once: a zero Size byte cannot start a packet.
    fault_ = Fault::ZeroSize;
    return nullptr;
  }
  std::memcpy(buffer_.data(), data, length);
  held_ = length;
  data += length;
  length = 0;
  return nullptr;
}
