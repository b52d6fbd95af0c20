// Recognition of binary InSim packets by type and size, the variable-size
// views, the builders of the packets the program sends, and unit conversions.
#include "link/insim9_packets.h"

#include "link/packet_bytes.h"

#include <cstring>

namespace insim9 {
namespace {

// The lengths a packet type may have; fixed-size packets have one.
struct SizeRule {
  Type type;
  std::size_t smallest;
  std::size_t largest;
};

constexpr SizeRule kSizeRules[] = {
    {Type::Isi, 44, 44},  {Type::Ver, 20, 20},         {Type::Tiny, 4, 4},    {Type::Small, 8, 8},
    {Type::Sta, 28, 28},  {Type::Ism, 40, 40},         {Type::Mso, 12, 136},  {Type::Mst, 68, 68},
    {Type::Mtc, 12, 136}, {Type::Rst, 28, 28},         {Type::Ncn, 56, 56},   {Type::Cnl, 8, 8},
    {Type::Cpr, 36, 36},  {Type::Npl, 76, 76},         {Type::Plp, 4, 4},     {Type::Pll, 4, 4},
    {Type::Lap, 20, 20},  {Type::Spx, 16, 16},         {Type::Toc, 8, 8},     {Type::Res, 84, 84},
    {Type::Reo, 44, 44},  {Type::Mci, 4, 4 + 16 * 28}, {Type::Msl, 132, 132}, {Type::Crs, 4, 4},
};

constexpr std::size_t kHeaderSize = 4;
constexpr std::size_t kMsoTextOffset = 8;

void putHeader(std::uint8_t* packet, std::size_t size, Type type, std::uint8_t requestId, std::uint8_t data) {
  packet[0] = static_cast<std::uint8_t>(size / 4);
  packet[1] = static_cast<std::uint8_t>(type);
  packet[2] = requestId;
  packet[3] = data;
}

}  // namespace

std::string_view Bytes::text(std::size_t offset, std::size_t width) const {
  return packetText(bytes_, length_, offset, width);
}

Type recognise(const void* data, std::size_t length) {
  if (data == nullptr || length < kHeaderSize || length > kMaxPacketSize) return Type::None;
  const auto* bytes = static_cast<const unsigned char*>(data);
  if (static_cast<std::size_t>(bytes[0]) * 4 != length) return Type::None;
  for (const SizeRule& rule : kSizeRules) {
    if (static_cast<std::uint8_t>(rule.type) != bytes[1]) continue;
    return length >= rule.smallest && length <= rule.largest ? rule.type : Type::None;
  }
  return Type::None;
}

std::string_view MsoPacket::message() const { return bytes.text(kMsoTextOffset, bytes.length()); }

std::string_view MsoPacket::typedText() const {
  const std::string_view line = message();
  const std::size_t start = textStart();
  return start < line.size() ? line.substr(start) : std::string_view();
}

std::size_t ReoPacket::playerCount() const {
  const std::size_t count = bytes.u8(3);
  return count < kMaxPlayers ? count : kMaxPlayers;
}

std::size_t MciPacket::carCount() const {
  const std::size_t room = bytes.length() > kHeaderSize ? (bytes.length() - kHeaderSize) / kCarSize : 0;
  std::size_t count = reportedCount();
  if (count > room) count = room;
  return count < kMaxCars ? count : kMaxCars;
}

CompCar MciPacket::car(std::size_t index) const {
  CompCar car;
  if (index >= kMaxCars) return car;
  const std::size_t at = kHeaderSize + kCarSize * index;
  car.node = bytes.u16(at);
  car.lap = bytes.u16(at + 2);
  car.playerId = bytes.u8(at + 4);
  car.position = bytes.u8(at + 5);
  car.info = bytes.u8(at + 6);
  car.x = bytes.i32(at + 8);
  car.y = bytes.i32(at + 12);
  car.z = bytes.i32(at + 16);
  car.speed = bytes.u16(at + 20);
  car.direction = bytes.u16(at + 22);
  car.heading = bytes.u16(at + 24);
  car.angularVelocity = bytes.i16(at + 26);
  return car;
}

IsiPacket buildIsi(std::uint16_t intervalMs, std::string_view adminPassword) {
  IsiPacket packet{};
  putHeader(packet.data(), packet.size(), Type::Isi, 1, 0);
  putU16(packet.data() + 4, 0);  // UDPPort 0: car information comes the way the link goes
  putU16(packet.data() + 6, kFlagMci);
  packet[8] = kVersion;
  packet[9] = 0;  // no host message prefix
  putU16(packet.data() + 10, intervalMs);
  putText(packet.data() + 12, adminPassword, kMaxAdminPasswordLength);
  putText(packet.data() + 28, "Tarnbeck", 15);
  return packet;
}

TinyBytes buildTiny(std::uint8_t requestId, std::uint8_t subType) {
  TinyBytes packet{};
  putHeader(packet.data(), packet.size(), Type::Tiny, requestId, subType);
  return packet;
}

SmallBytes buildSmall(std::uint8_t requestId, std::uint8_t subType, std::uint32_t value) {
  SmallBytes packet{};
  putHeader(packet.data(), packet.size(), Type::Small, requestId, subType);
  putU32(packet.data() + 4, value);
  return packet;
}

MtcPacket buildMtc(std::uint8_t connectionId, std::string_view text) {
  MtcPacket packet;
  const std::size_t length = putText(packet.bytes.data() + 8, text, kMaxMessageLength);
  // The NUL, then zero fill up to the next multiple of 4.
  packet.size = 8 + ((length + 1 + 3) / 4) * 4;
  putHeader(packet.bytes.data(), packet.size, Type::Mtc, 0, 0);  // Sound 0: silent
  packet.bytes[4] = connectionId;
  packet.bytes[5] = 0;  // PLID 0: the connection decides
  return packet;
}

MslPacket buildMsl(std::string_view text) {
  MslPacket packet{};
  putHeader(packet.data(), packet.size(), Type::Msl, 0, 0);  // Sound 0: silent
  putText(packet.data() + 4, text, kMaxMessageLength);
  return packet;
}

RaceTime raceTimeFromMs(std::uint32_t ms) {
  constexpr std::uint32_t kMsPerHour = 3600000;
  const std::uint32_t hours = ms / kMsPerHour;
  if (hours > 255) return RaceTime{255, 59, 59, 99};
  RaceTime time;
  time.hours = static_cast<std::uint8_t>(hours);
  time.minutes = static_cast<std::uint8_t>(ms / 60000 % 60);
  time.seconds = static_cast<std::uint8_t>(ms / 1000 % 60);
  time.hundredths = static_cast<std::uint8_t>(ms / 10 % 100);
  return time;
}

RaceLength decodeRaceLaps(std::uint8_t raceLaps) {
  RaceLength length;
  if (raceLaps == 0) {
    length.kind = RaceLength::Practice;
  } else if (raceLaps <= 99) {
    length.kind = RaceLength::Laps;
    length.count = raceLaps;
  } else if (raceLaps <= 190) {
    length.kind = RaceLength::Laps;
    length.count = static_cast<std::uint16_t>((raceLaps - 100) * 10 + 100);
  } else if (raceLaps <= 238) {
    length.kind = RaceLength::Hours;
    length.count = static_cast<std::uint16_t>(raceLaps - 190);
  } else {
    length.kind = RaceLength::Unknown;
  }
  return length;
}

}  // namespace insim9
