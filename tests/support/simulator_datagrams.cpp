// Simulator datagrams for tests, written byte by byte (little-endian).
#include "support/simulator_datagrams.h"

PacketBytes::PacketBytes(std::string_view id, std::size_t length) : bytes_(length, '\0') {
  bytes_.replace(0, id.size(), id);
}

PacketBytes& PacketBytes::u8(std::size_t offset, std::uint8_t value) {
  bytes_.at(offset) = static_cast<char>(value);
  return *this;
}

PacketBytes& PacketBytes::u16(std::size_t offset, std::uint16_t value) {
  u8(offset, static_cast<std::uint8_t>(value & 0xFF));
  return u8(offset + 1, static_cast<std::uint8_t>(value >> 8));
}

PacketBytes& PacketBytes::u32(std::size_t offset, std::uint32_t value) {
  u16(offset, static_cast<std::uint16_t>(value & 0xFFFF));
  return u16(offset + 2, static_cast<std::uint16_t>(value >> 16));
}

PacketBytes& PacketBytes::text(std::size_t offset, std::string_view value) {
  for (std::size_t i = 0; i < value.size(); ++i) u8(offset + i, static_cast<std::uint8_t>(value[i]));
  return *this;
}

PacketBytes& PacketBytes::time(std::size_t offset, RaceTime value) {
  return u8(offset, value.hours)
      .u8(offset + 1, value.minutes)
      .u8(offset + 2, value.seconds)
      .u8(offset + 3, value.hundredths);
}

PacketBytes& PacketBytes::ack(std::uint16_t value) { return u16(bytes_.size() - 2, value); }

RaceTime raceTime(std::uint8_t hours, std::uint8_t minutes, std::uint8_t seconds, std::uint8_t hundredths) {
  return RaceTime{hours, minutes, seconds, hundredths};
}

std::string renPacket(std::uint16_t ack) { return PacketBytes("REN", 8).ack(ack); }
std::string clrPacket(std::uint16_t ack) { return PacketBytes("CLR", 8).ack(ack); }
std::string rtpPacket() { return PacketBytes("RTP", 8); }
std::string vtaPacket(std::int32_t action) {
  return PacketBytes("VTA", 8).u32(4, static_cast<std::uint32_t>(action));
}

std::string splitPacket(std::uint8_t playerId, RaceTime time, std::uint16_t ack, char number) {
  return PacketBytes("SP", 12)
      .u8(2, static_cast<std::uint8_t>(number))
      .time(4, time)
      .u8(9, playerId)
      .ack(ack);
}

std::string rstPacket(std::uint8_t laps, std::uint8_t qualifyMinutes, std::string_view track,
                      std::uint16_t ack, std::uint8_t weather, std::uint8_t wind) {
  return PacketBytes("RST", 20)
      .u8(4, laps)
      .u8(5, qualifyMinutes)
      .text(8, track)
      .u8(14, weather)
      .u8(15, wind)
      .ack(ack);
}

std::string verPacket(std::string_view version) { return PacketBytes("VER", 20).text(4, version); }

std::string staPacket(std::uint8_t finishedCount, std::uint8_t qualifyMinutes, std::uint8_t laps,
                      std::string_view track, std::uint8_t weather, std::uint8_t wind) {
  return PacketBytes("STA", 28)
      .u8(14, finishedCount)
      .u8(16, qualifyMinutes)
      .u8(17, laps)
      .text(20, track)
      .u8(26, weather)
      .u8(27, wind);
}

std::string ismPacket(std::string_view host) { return PacketBytes("ISM", 40).text(8, host); }
std::string cnlPacket(std::uint16_t ack) { return PacketBytes("CNL", 56).ack(ack); }
std::string ncnPacket(std::uint16_t ack) { return PacketBytes("NCN", 60).ack(ack); }
std::string plpPacket(std::uint8_t playerId, std::uint16_t ack) {
  return PacketBytes("PLP", 60).u8(52, playerId).ack(ack);
}
std::string pllPacket(std::uint8_t playerId, std::uint16_t ack) {
  return PacketBytes("PLL", 60).u8(52, playerId).ack(ack);
}
std::string reoPacket(std::uint16_t ack) { return PacketBytes("REO", 64).ack(ack); }
std::string cprPacket(std::uint16_t ack) { return PacketBytes("CPR", 88).ack(ack); }

std::string lapPacket(std::uint8_t playerId, RaceTime lapTime, std::uint16_t ack) {
  return PacketBytes("LAP", 92).time(84, lapTime).u8(89, playerId).ack(ack);
}

std::string msoPacket(std::string_view line) { return PacketBytes("MSO", 132).text(4, line); }

std::string nplPacket(const Joining& player, std::uint16_t ack) {
  return PacketBytes("NPL", 100)
      .text(4, player.userName)
      .text(28, player.name)
      .text(60, player.carName)
      .u16(92, player.flags)
      .u8(95, player.playerId)
      .u8(96, player.startOrder)
      .ack(ack);
}

std::string resPacket(const Finishing& result, std::uint16_t ack) {
  return PacketBytes("RES", 108)
      .u16(84, result.totalTimeLead)
      .u8(92, result.penaltyFlags)
      .u8(93, result.pitStops)
      .u8(95, result.playerId)
      .time(96, result.totalTime)
      .time(100, result.bestLap)
      .u8(104, result.position)
      .ack(ack);
}

std::string mciPacket(std::uint16_t nodeCount, std::uint16_t finishNode, std::uint8_t playerCount,
                      const std::vector<Car>& cars) {
  PacketBytes packet("MCI", 204);
  packet.u16(4, nodeCount).u16(6, finishNode).u8(8, playerCount);
  for (std::size_t i = 0; i < cars.size() && i < 8; ++i) {
    const std::size_t at = 12 + 24 * i;
    const Car& car = cars[i];
    packet.u16(at, static_cast<std::uint16_t>((car.node & 0x1FFF) | ((car.lap >> 8) << 13)))
        .u8(at + 2, static_cast<std::uint8_t>(car.lap & 0xFF))
        .u8(at + 3, car.playerId)
        .u16(at + 16, car.speed);
  }
  return packet;
}
