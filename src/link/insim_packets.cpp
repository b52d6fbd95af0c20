// Recognition of received InSim packets and the bytes of the packets the
// program sends.
#include "link/insim_packets.h"

#include "link/packet_bytes.h"

#include <cstring>

namespace {

struct Candidate {
  const char* id;
  std::size_t compared;  // "SP" is compared on two characters only
  PacketType type;
};

// One row per packet, grouped by datagram length; within a length the order
// decides which ID is tried first.
struct LengthRow {
  std::size_t length;
  Candidate candidates[4];
  std::size_t count;
};

constexpr LengthRow kLengthTable[] = {
    {8,
     {{"REN", 3, PacketType::Ren},
      {"CLR", 3, PacketType::Clr},
      {"RTP", 3, PacketType::Rtp},
      {"VTA", 3, PacketType::Vta}},
     4},
    {12, {{"SP", 2, PacketType::Split}}, 1},
    {20, {{"RST", 3, PacketType::Rst}, {"VER", 3, PacketType::Ver}}, 2},
    {28, {{"STA", 3, PacketType::Sta}}, 1},
    {40, {{"ISM", 3, PacketType::Ism}}, 1},
    {56, {{"CNL", 3, PacketType::Cnl}}, 1},
    {60, {{"NCN", 3, PacketType::Ncn}, {"PLP", 3, PacketType::Plp}, {"PLL", 3, PacketType::Pll}}, 3},
    {64, {{"REO", 3, PacketType::Reo}}, 1},
    {88, {{"CPR", 3, PacketType::Cpr}}, 1},
    {92, {{"LAP", 3, PacketType::Lap}}, 1},
    {100, {{"NPL", 3, PacketType::Npl}}, 1},
    {108, {{"RES", 3, PacketType::Res}}, 1},
    {132, {{"MSO", 3, PacketType::Mso}}, 1},
    {204, {{"MCI", 3, PacketType::Mci}}, 1},
};

}  // namespace

std::string_view Datagram::text(std::size_t offset, std::size_t width) const {
  return packetText(bytes_, length_, offset, width);
}

PacketType recognisePacket(const void* data, std::size_t length) {
  if (data == nullptr) return PacketType::None;
  const auto* bytes = static_cast<const unsigned char*>(data);
  for (const LengthRow& row : kLengthTable) {
    if (row.length != length) continue;
    for (std::size_t i = 0; i < row.count; ++i) {
      const Candidate& candidate = row.candidates[i];
      if (std::memcmp(bytes, candidate.id, candidate.compared) == 0) return candidate.type;
    }
    return PacketType::None;
  }
  return PacketType::None;
}

bool hasAckWord(PacketType type) {
  switch (type) {
    case PacketType::Ren:
    case PacketType::Clr:
    case PacketType::Split:
    case PacketType::Rst:
    case PacketType::Cnl:
    case PacketType::Ncn:
    case PacketType::Plp:
    case PacketType::Pll:
    case PacketType::Reo:
    case PacketType::Cpr:
    case PacketType::Lap:
    case PacketType::Npl:
    case PacketType::Res:
      return true;
    default:
      return false;
  }
}

CarInfo decodeCarInfo(const Datagram& packet, std::size_t offset) {
  const std::uint16_t word = packet.u16(offset);
  CarInfo car;
  car.node = static_cast<std::uint16_t>(word & 0x1FFF);
  car.lap = static_cast<std::uint16_t>(packet.u8(offset + 2) + 256 * (word >> 13));
  car.playerId = packet.u8(offset + 3);
  car.speed = packet.u16(offset + 16);
  return car;
}

std::size_t MciPacket::carCount() const {
  std::size_t count = 0;
  while (count < kMaxCars && bytes.u8(12 + 24 * count + 2) != 0) ++count;
  return count;
}

IsiPacket buildIsiPacket(std::uint16_t clientPort, std::string_view adminPassword) {
  IsiPacket packet{};
  putText(packet.data(), "ISI", 3);
  putU16(packet.data() + 4, clientPort);
  packet[6] = 0x23;
  packet[7] = 1;
  putText(packet.data() + 8, adminPassword, kMaxAdminPasswordLength);
  return packet;
}

RequestPacket buildRequestPacket(std::string_view id, std::uint32_t value) {
  RequestPacket packet{};
  putText(packet.data(), id, 3);
  putU32(packet.data() + 4, value);
  return packet;
}

MstPacket buildMstPacket(std::string_view message) {
  static constexpr std::string_view kEcho = "/echo ";
  MstPacket packet{};
  putText(packet.data(), "MST", 3);
  putText(packet.data() + 4, kEcho, kEcho.size());
  putText(packet.data() + 4 + kEcho.size(), message, kMaxEchoMessageLength);
  return packet;
}
