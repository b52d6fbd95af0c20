// Byte layouts of the InSim packets the program receives and sends: recognition
// of a datagram by its length and ID, read-only field views, and builders for
// the ISI, request and MST packets. Nothing here allocates or copies a datagram.
#pragma once

#include "race/race_time.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

// Packet IDs the program understands; `Split` is "SP" whatever its third character.
enum class PacketType : std::uint8_t {
  None,
  Ren,
  Clr,
  Rtp,
  Vta,
  Split,
  Rst,
  Ver,
  Sta,
  Ism,
  Cnl,
  Ncn,
  Plp,
  Pll,
  Reo,
  Cpr,
  Lap,
  Npl,
  Res,
  Mso,
  Mci,
};

// A borrowed, read-only view of one datagram. Every read is bounds-checked:
// bytes outside the datagram read as 0, so a field can never be read past its end.
class Datagram {
 public:
  Datagram(const void* data, std::size_t length)
      : bytes_(static_cast<const unsigned char*>(data)), length_(data ? length : 0) {}

  std::size_t length() const { return length_; }

  std::uint8_t u8(std::size_t offset) const { return offset < length_ ? bytes_[offset] : 0; }
  std::uint16_t u16(std::size_t offset) const {
    return static_cast<std::uint16_t>(u8(offset) | (u8(offset + 1) << 8));
  }
  std::uint32_t u32(std::size_t offset) const {
    return static_cast<std::uint32_t>(u16(offset)) | (static_cast<std::uint32_t>(u16(offset + 2)) << 16);
  }
  std::int32_t i32(std::size_t offset) const { return static_cast<std::int32_t>(u32(offset)); }
  RaceTime raceTime(std::size_t offset) const {
    return RaceTime{u8(offset), u8(offset + 1), u8(offset + 2), u8(offset + 3)};
  }
  // A text field of `width` bytes: up to its first NUL, never beyond the field
  // or the datagram.
  std::string_view text(std::size_t offset, std::size_t width) const;

 private:
  const unsigned char* bytes_;
  std::size_t length_;
};

// Exact length first, then the ID in table order; PacketType::None when nothing matches.
PacketType recognisePacket(const void* data, std::size_t length);

// Whether the simulator expects an ACK for this packet.
bool hasAckWord(PacketType type);
// The ack word sits in the last two bytes of every packet that carries one.
inline std::uint16_t ackWord(const Datagram& packet) {
  return packet.length() >= 2 ? packet.u16(packet.length() - 2) : 0;
}

// Field views, one per received packet. Each is only meaningful for a datagram
// that recognisePacket identified as that packet.
struct ResPacket {
  Datagram bytes;
  std::uint16_t totalTimeLead() const { return bytes.u16(84); }
  std::uint8_t penaltyFlags() const { return bytes.u8(92); }
  std::uint8_t pitStops() const { return bytes.u8(93); }
  std::uint8_t playerId() const { return bytes.u8(95); }
  RaceTime totalTime() const { return bytes.raceTime(96); }
  RaceTime bestLap() const { return bytes.raceTime(100); }
  std::uint8_t position() const { return bytes.u8(104); }  // 0 = first
};

struct NplPacket {
  Datagram bytes;
  std::string_view userName() const { return bytes.text(4, 24); }
  std::string_view playerName() const { return bytes.text(28, 32); }
  std::string_view carName() const { return bytes.text(60, 32); }
  std::uint16_t flags() const { return bytes.u16(92); }
  std::uint8_t playerId() const { return bytes.u8(95); }
  std::uint8_t startOrder() const { return bytes.u8(96); }  // 0 = first
};

struct LapPacket {
  Datagram bytes;
  RaceTime lapTime() const { return bytes.raceTime(84); }
  std::uint8_t playerId() const { return bytes.u8(89); }
};

struct SplitPacket {
  Datagram bytes;
  RaceTime splitTime() const { return bytes.raceTime(4); }
  std::uint8_t playerId() const { return bytes.u8(9); }
};

struct RstPacket {
  Datagram bytes;
  std::uint8_t laps() const { return bytes.u8(4); }
  std::uint8_t qualifyMinutes() const { return bytes.u8(5); }
  std::string_view track() const { return bytes.text(8, 6); }
  std::uint8_t weather() const { return bytes.u8(14); }
  std::uint8_t wind() const { return bytes.u8(15); }
};

struct StaPacket {
  Datagram bytes;
  std::uint8_t finishedCount() const { return bytes.u8(14); }
  std::uint8_t qualifyMinutes() const { return bytes.u8(16); }
  std::uint8_t laps() const { return bytes.u8(17); }
  std::string_view track() const { return bytes.text(20, 6); }
  std::uint8_t weather() const { return bytes.u8(26); }
  std::uint8_t wind() const { return bytes.u8(27); }
};

struct IsmPacket {
  Datagram bytes;
  std::string_view hostName() const { return bytes.text(8, 32); }
};

struct VerPacket {
  Datagram bytes;
  std::string_view version() const { return bytes.text(4, 8); }
};

struct MsoPacket {
  Datagram bytes;
  std::string_view text() const { return bytes.text(4, 128); }
};

// PLP (player pits) and PLL (player leaves) share one layout.
struct PlayerLeavePacket {
  Datagram bytes;
  std::uint8_t playerId() const { return bytes.u8(52); }
};

struct VtaPacket {
  Datagram bytes;
  std::int32_t action() const { return bytes.i32(4); }
};

// One car of an MCI packet, decoded: the lap number is 11 bits, its top three
// bits sharing a 16-bit word with the 13-bit node index.
struct CarInfo {
  std::uint16_t node = 0;
  std::uint16_t lap = 0;
  std::uint8_t playerId = 0;
  std::uint16_t speed = 0;
};

CarInfo decodeCarInfo(const Datagram& packet, std::size_t offset);

struct MciPacket {
  static constexpr std::size_t kMaxCars = 8;

  Datagram bytes;
  std::uint16_t nodeCount() const { return bytes.u16(4); }
  std::uint16_t finishNode() const { return bytes.u16(6); }
  std::uint8_t playerCount() const { return bytes.u8(8); }
  // Entries before the first one whose lap byte is zero, at most 8.
  std::size_t carCount() const;
  CarInfo car(std::size_t index) const { return decodeCarInfo(bytes, 12 + 24 * index); }
};

// Packets the program sends, each with its full length.
using IsiPacket = std::array<std::uint8_t, 24>;
using RequestPacket = std::array<std::uint8_t, 8>;
using MstPacket = std::array<std::uint8_t, 68>;

// The longest admin password the ISI field holds next to its NUL.
constexpr std::size_t kMaxAdminPasswordLength = 15;
// "/echo " plus the message plus NUL fill the MST text field.
constexpr std::size_t kMaxEchoMessageLength = 57;

// A longer password is cut to 15 characters.
IsiPacket buildIsiPacket(std::uint16_t clientPort, std::string_view adminPassword);
// `id` is the three-letter ID ("ACK", "NLI", ...); extra characters are ignored.
RequestPacket buildRequestPacket(std::string_view id, std::uint32_t value);
// "/echo " followed by the message, cut to 57 characters.
MstPacket buildMstPacket(std::string_view message);
