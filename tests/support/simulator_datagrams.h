// Byte-exact datagrams as the simulator sends them, built field by field at
// the offsets of the InSim layouts, for feeding the tracker in tests.
#pragma once

#include "race/race_time.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// A packet of a fixed length: zero-filled, ID in its first bytes.
class PacketBytes {
 public:
  PacketBytes(std::string_view id, std::size_t length);
  PacketBytes& u8(std::size_t offset, std::uint8_t value);
  PacketBytes& u16(std::size_t offset, std::uint16_t value);
  PacketBytes& u32(std::size_t offset, std::uint32_t value);
  PacketBytes& text(std::size_t offset, std::string_view value);
  PacketBytes& time(std::size_t offset, RaceTime value);
  // The ack word in the last two bytes.
  PacketBytes& ack(std::uint16_t value);
  const std::string& bytes() const { return bytes_; }
  operator std::string() const { return bytes_; }

 private:
  std::string bytes_;
};

RaceTime raceTime(std::uint8_t hours, std::uint8_t minutes, std::uint8_t seconds, std::uint8_t hundredths);

std::string renPacket(std::uint16_t ack);
std::string clrPacket(std::uint16_t ack);
std::string rtpPacket();
std::string vtaPacket(std::int32_t action);
std::string splitPacket(std::uint8_t playerId, RaceTime time, std::uint16_t ack, char number = '1');
std::string rstPacket(std::uint8_t laps, std::uint8_t qualifyMinutes, std::string_view track,
                      std::uint16_t ack = 0, std::uint8_t weather = 0, std::uint8_t wind = 0);
std::string verPacket(std::string_view version);
std::string staPacket(std::uint8_t finishedCount, std::uint8_t qualifyMinutes, std::uint8_t laps,
                      std::string_view track, std::uint8_t weather = 0, std::uint8_t wind = 0);
std::string ismPacket(std::string_view host);
std::string cnlPacket(std::uint16_t ack);
std::string ncnPacket(std::uint16_t ack);
std::string plpPacket(std::uint8_t playerId, std::uint16_t ack);
std::string pllPacket(std::uint8_t playerId, std::uint16_t ack);
std::string reoPacket(std::uint16_t ack);
std::string cprPacket(std::uint16_t ack);
std::string lapPacket(std::uint8_t playerId, RaceTime lapTime, std::uint16_t ack);
// The whole 128-byte text field: the line, its NUL and zero fill.
std::string msoPacket(std::string_view line);

struct Joining {
  std::uint8_t playerId = 0;
  std::string name;
  std::string userName;
  std::string carName;
  std::uint16_t flags = 0;
  std::uint8_t startOrder = 0;
};
std::string nplPacket(const Joining& player, std::uint16_t ack);

struct Finishing {
  std::uint8_t playerId = 0;
  RaceTime totalTime;
  RaceTime bestLap;
  std::uint8_t position = 0;  // 0 = first
  std::uint16_t totalTimeLead = 0;
  std::uint8_t pitStops = 0;
  std::uint8_t penaltyFlags = 0;
};
std::string resPacket(const Finishing& result, std::uint16_t ack);

struct Car {
  std::uint8_t playerId = 0;
  std::uint16_t lap = 0;  // 11 bits; 0 ends the list of cars
  std::uint16_t node = 0;
  std::uint16_t speed = 0;
};
std::string mciPacket(std::uint16_t nodeCount, std::uint16_t finishNode, std::uint8_t playerCount,
                      const std::vector<Car>& cars);
