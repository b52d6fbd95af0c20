// The binary InSim (version 9) packets the program uses: recognition of a
// whole packet by its header and size, read-only field views over its bytes,
// builders for the packets the program sends, and the conversions from the
// packets' units to the race model's. Pure functions and views over borrowed
// bytes; usable from any thread, nothing here allocates.
//
// Every packet starts with four bytes: Size (the packet's length divided by
// 4), Type, ReqI (non-zero in requests and their replies) and one data byte.
// Numbers are little-endian; texts are NUL-padded inside fixed widths.
#pragma once

#include "race/race_time.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace insim9 {

constexpr std::uint8_t kVersion = 9;
// The Size byte counts 4-byte units, so no packet is longer than this.
constexpr std::size_t kMaxPacketSize = 255 * 4;

// Packet types (the second header byte) the program reads or writes.
enum class Type : std::uint8_t {
  None = 0,
  Isi = 1,
  Ver = 2,
  Tiny = 3,
  Small = 4,
  Sta = 5,
  Ism = 10,
  Mso = 11,
  Mst = 13,
  Mtc = 14,
  Rst = 17,
  Ncn = 18,
  Cnl = 19,
  Cpr = 20,
  Npl = 21,
  Plp = 22,
  Pll = 23,
  Lap = 24,
  Spx = 25,
  Toc = 31,
  Res = 35,
  Reo = 36,
  Mci = 38,
  Msl = 40,
  Crs = 41,
};

// Sub-types of IS_TINY (the fourth header byte).
namespace tiny {
constexpr std::uint8_t None = 0;  // keep-alive, both ways
constexpr std::uint8_t Ver = 1;
constexpr std::uint8_t Close = 2;
constexpr std::uint8_t Ping = 3;
constexpr std::uint8_t Reply = 4;
constexpr std::uint8_t Vtc = 5;
constexpr std::uint8_t Sst = 7;
constexpr std::uint8_t Mpe = 9;  // multiplayer ended
constexpr std::uint8_t Ism = 10;
constexpr std::uint8_t Ren = 11;  // race ended
constexpr std::uint8_t Clr = 12;  // all players cleared
constexpr std::uint8_t Ncn = 13;
constexpr std::uint8_t Npl = 14;
constexpr std::uint8_t Res = 15;
constexpr std::uint8_t Reo = 18;
constexpr std::uint8_t Rst = 19;
}  // namespace tiny

// Sub-types of IS_SMALL.
namespace small {
constexpr std::uint8_t Vta = 3;  // vote action
constexpr std::uint8_t Rtp = 6;
constexpr std::uint8_t Nli = 7;  // car information interval
}  // namespace small

// IS_ISI option flag: car information (IS_MCI) at the given interval.
constexpr std::uint16_t kFlagMci = 32;

// IS_MSO UserType values.
namespace mso {
constexpr std::uint8_t System = 0;
constexpr std::uint8_t User = 1;
constexpr std::uint8_t Prefix = 2;
constexpr std::uint8_t O = 3;
}  // namespace mso

// A borrowed, read-only view of one packet. Reads outside it give 0 and
// texts never leave it, whatever the offsets.
class Bytes {
 public:
  Bytes(const void* data, std::size_t length)
      : bytes_(static_cast<const unsigned char*>(data)), length_(data ? length : 0) {}

  std::size_t length() const { return length_; }
  const unsigned char* data() const { return bytes_; }

  std::uint8_t u8(std::size_t offset) const { return offset < length_ ? bytes_[offset] : 0; }
  // An offset past the end reads 0 at once, so offset + 1 cannot wrap
  // round to the packet's start.
  std::uint16_t u16(std::size_t offset) const {
    if (offset >= length_) return 0;
    return static_cast<std::uint16_t>(u8(offset) | (u8(offset + 1) << 8));
  }
  std::int16_t i16(std::size_t offset) const { return static_cast<std::int16_t>(u16(offset)); }
  std::uint32_t u32(std::size_t offset) const {
    if (offset >= length_) return 0;
    return static_cast<std::uint32_t>(u16(offset)) | (static_cast<std::uint32_t>(u16(offset + 2)) << 16);
  }
  std::int32_t i32(std::size_t offset) const { return static_cast<std::int32_t>(u32(offset)); }
  // A text field of `width` bytes: up to its first NUL, never beyond the
  // field or the packet.
  std::string_view text(std::size_t offset, std::size_t width) const;

 private:
  const unsigned char* bytes_;
  std::size_t length_;
};

// The packet's type when the bytes are one whole packet of a type listed
// above: at least a header, the Size byte times 4 equal to the length, and
// the length one that type has (exact, or within its range for the packets
// of variable size: MSO, MTC, MCI). Type::None otherwise.
Type recognise(const void* data, std::size_t length);

// Header fields of any packet.
inline std::uint8_t requestId(const Bytes& packet) { return packet.u8(2); }
inline std::uint8_t subType(const Bytes& packet) { return packet.u8(3); }

// Field views, one per received packet. Each is only meaningful for bytes
// that recognise() identified as that packet; on other bytes they still
// read nothing outside.
struct VerPacket {
  Bytes bytes;
  std::string_view version() const { return bytes.text(4, 8); }
  std::string_view product() const { return bytes.text(12, 6); }
  std::uint8_t inSimVersion() const { return bytes.u8(18); }
};

// IS_TINY: ReqI and SubT only.
struct TinyPacket {
  Bytes bytes;
  std::uint8_t requestId() const { return bytes.u8(2); }
  std::uint8_t subType() const { return bytes.u8(3); }
};

struct SmallPacket {
  Bytes bytes;
  std::uint8_t subType() const { return bytes.u8(3); }
  std::uint32_t value() const { return bytes.u32(4); }
};

struct StaPacket {
  Bytes bytes;
  std::uint16_t flags() const { return bytes.u16(8); }
  std::uint8_t viewedPlayer() const { return bytes.u8(11); }
  std::uint8_t playerCount() const { return bytes.u8(12); }
  std::uint8_t connectionCount() const { return bytes.u8(13); }
  std::uint8_t finishedCount() const { return bytes.u8(14); }
  std::uint8_t raceInProgress() const { return bytes.u8(15); }  // 0 none, 1 race, 2 qualifying
  std::uint8_t qualifyMinutes() const { return bytes.u8(16); }
  std::uint8_t raceLaps() const { return bytes.u8(17); }  // see decodeRaceLaps
  std::uint8_t serverStatus() const { return bytes.u8(19); }
  std::string_view track() const { return bytes.text(20, 6); }
  std::uint8_t weather() const { return bytes.u8(26); }
  std::uint8_t wind() const { return bytes.u8(27); }
};

struct IsmPacket {
  Bytes bytes;
  bool isHost() const { return bytes.u8(4) != 0; }
  std::string_view hostName() const { return bytes.text(8, 32); }
};

// IS_MSO, 12 to 136 bytes: the text fills the packet from byte 8.
struct MsoPacket {
  Bytes bytes;
  std::uint8_t connectionId() const { return bytes.u8(4); }
  std::uint8_t playerId() const { return bytes.u8(5); }
  std::uint8_t userType() const { return bytes.u8(6); }
  std::uint8_t textStart() const { return bytes.u8(7); }
  // The whole line, the sender's name included.
  std::string_view message() const;
  // The line from TextStart on (after the sender's name); empty when
  // TextStart lies at or past the line's end.
  std::string_view typedText() const;
};

struct RstPacket {
  Bytes bytes;
  std::uint8_t raceLaps() const { return bytes.u8(4); }  // see decodeRaceLaps
  std::uint8_t qualifyMinutes() const { return bytes.u8(5); }
  std::uint8_t playerCount() const { return bytes.u8(6); }
  std::uint8_t timing() const { return bytes.u8(7); }
  std::string_view track() const { return bytes.text(8, 6); }
  std::uint8_t weather() const { return bytes.u8(14); }
  std::uint8_t wind() const { return bytes.u8(15); }
  std::uint16_t flags() const { return bytes.u16(16); }
  std::uint16_t nodeCount() const { return bytes.u16(18); }
  std::uint16_t finishNode() const { return bytes.u16(20); }
  std::uint16_t splitNode(int split) const {  // split 1 to 3
    return split >= 1 && split <= 3 ? bytes.u16(20 + 2 * static_cast<std::size_t>(split)) : 0;
  }
};

struct NcnPacket {
  Bytes bytes;
  std::uint8_t connectionId() const { return bytes.u8(3); }
  std::string_view userName() const { return bytes.text(4, 24); }
  std::string_view playerName() const { return bytes.text(28, 24); }
  bool isAdmin() const { return bytes.u8(52) != 0; }
  std::uint8_t connectionCount() const { return bytes.u8(53); }
  std::uint8_t flags() const { return bytes.u8(54); }
};

struct CnlPacket {
  Bytes bytes;
  std::uint8_t connectionId() const { return bytes.u8(3); }
  std::uint8_t reason() const { return bytes.u8(4); }
  std::uint8_t connectionCount() const { return bytes.u8(5); }
};

struct CprPacket {
  Bytes bytes;
  std::uint8_t connectionId() const { return bytes.u8(3); }
  std::string_view playerName() const { return bytes.text(4, 24); }
  // The plate has no NUL when it fills its 8 bytes.
  std::string_view plate() const { return bytes.text(28, 8); }
};

struct NplPacket {
  Bytes bytes;
  std::uint8_t playerId() const { return bytes.u8(3); }
  std::uint8_t connectionId() const { return bytes.u8(4); }
  std::uint8_t playerType() const { return bytes.u8(5); }  // bit 1: AI, bit 2: remote
  std::uint16_t flags() const { return bytes.u16(6); }
  std::string_view playerName() const { return bytes.text(8, 24); }
  std::string_view plate() const { return bytes.text(32, 8); }
  std::string_view carName() const { return bytes.text(40, 4); }
  std::string_view skinName() const { return bytes.text(44, 16); }
  // Players in the race; 0 marks a join request, not a player.
  std::uint8_t playerCount() const { return bytes.u8(73); }
  bool isJoinRequest() const { return playerCount() == 0; }
};

// IS_PLP, IS_PLL and IS_CRS: the player id in the fourth header byte.
struct PlayerPacket {
  Bytes bytes;
  std::uint8_t playerId() const { return bytes.u8(3); }
};

struct LapPacket {
  Bytes bytes;
  std::uint8_t playerId() const { return bytes.u8(3); }
  std::uint32_t lapTime() const { return bytes.u32(4); }      // ms
  std::uint32_t elapsedTime() const { return bytes.u32(8); }  // ms
  std::uint16_t lapsDone() const { return bytes.u16(12); }
  std::uint16_t flags() const { return bytes.u16(14); }
  std::uint8_t penalty() const { return bytes.u8(17); }
  std::uint8_t pitStops() const { return bytes.u8(18); }
};

struct SpxPacket {
  Bytes bytes;
  std::uint8_t playerId() const { return bytes.u8(3); }
  std::uint32_t splitTime() const { return bytes.u32(4); }    // ms
  std::uint32_t elapsedTime() const { return bytes.u32(8); }  // ms
  std::uint8_t split() const { return bytes.u8(12); }         // 1 to 3
  std::uint8_t penalty() const { return bytes.u8(13); }
  std::uint8_t pitStops() const { return bytes.u8(14); }
};

struct TocPacket {
  Bytes bytes;
  std::uint8_t playerId() const { return bytes.u8(3); }
  std::uint8_t oldConnectionId() const { return bytes.u8(4); }
  std::uint8_t newConnectionId() const { return bytes.u8(5); }
};

struct ResPacket {
  Bytes bytes;
  // 0 when the player left before the result came; match by userName then.
  std::uint8_t playerId() const { return bytes.u8(3); }
  std::string_view userName() const { return bytes.text(4, 24); }
  std::string_view playerName() const { return bytes.text(28, 24); }
  std::string_view plate() const { return bytes.text(52, 8); }
  std::string_view carName() const { return bytes.text(60, 4); }
  std::uint32_t totalTime() const { return bytes.u32(64); }  // ms
  std::uint32_t bestLap() const { return bytes.u32(68); }    // ms
  std::uint8_t pitStops() const { return bytes.u8(73); }
  std::uint8_t confirm() const { return bytes.u8(74); }
  std::uint16_t lapsDone() const { return bytes.u16(76); }
  std::uint16_t flags() const { return bytes.u16(78); }
  std::uint8_t resultNumber() const { return bytes.u8(80); }  // 0 = first
  std::uint8_t resultCount() const { return bytes.u8(81); }
  std::uint16_t penaltySeconds() const { return bytes.u16(82); }
};

struct ReoPacket {
  static constexpr std::size_t kMaxPlayers = 40;
  Bytes bytes;
  // NumP, at most the 40 places the packet has.
  std::size_t playerCount() const;
  std::uint8_t playerId(std::size_t place) const {  // place 0 starts first
    return place < kMaxPlayers ? bytes.u8(4 + place) : 0;
  }
};

// One car of an IS_MCI packet.
struct CompCar {
  std::uint16_t node = 0;
  std::uint16_t lap = 0;
  std::uint8_t playerId = 0;
  std::uint8_t position = 0;  // 1 = leader, 0 = unknown
  std::uint8_t info = 0;
  std::int32_t x = 0;
  std::int32_t y = 0;
  std::int32_t z = 0;
  std::uint16_t speed = 0;  // 32768 = 100 m/s; see documentSpeed
  std::uint16_t direction = 0;
  std::uint16_t heading = 0;
  std::int16_t angularVelocity = 0;
};

struct MciPacket {
  static constexpr std::size_t kMaxCars = 16;
  static constexpr std::size_t kCarSize = 28;
  Bytes bytes;
  std::uint8_t reportedCount() const { return bytes.u8(3); }
  // NumC, limited to the cars the packet holds and to 16.
  std::size_t carCount() const;
  CompCar car(std::size_t index) const;
};

// Packets the program sends, each with its full length.
using IsiPacket = std::array<std::uint8_t, 44>;
using TinyBytes = std::array<std::uint8_t, 4>;
using SmallBytes = std::array<std::uint8_t, 8>;
using MslPacket = std::array<std::uint8_t, 132>;

// IS_MTC is as long as its text: 8 header bytes and the text with its NUL,
// rounded up to a multiple of 4.
struct MtcPacket {
  std::array<std::uint8_t, 136> bytes{};
  std::size_t size = 0;
  const std::uint8_t* data() const { return bytes.data(); }
};

// The longest admin password the ISI field holds next to its NUL.
constexpr std::size_t kMaxAdminPasswordLength = 15;
// The longest text IS_MTC and IS_MSL carry next to their NUL.
constexpr std::size_t kMaxMessageLength = 127;
// IS_MTC to every connection.
constexpr std::uint8_t kAllConnections = 255;

// ReqI 1 (asks for IS_VER), UDPPort 0, Flags ISF_MCI, InSimVer 9, Prefix 0,
// the car information interval in ms, the admin password cut to 15
// characters, IName "Tarnbeck".
IsiPacket buildIsi(std::uint16_t intervalMs, std::string_view adminPassword);
TinyBytes buildTiny(std::uint8_t requestId, std::uint8_t subType);
SmallBytes buildSmall(std::uint8_t requestId, std::uint8_t subType, std::uint32_t value);
// The text is cut to 127 characters.
MtcPacket buildMtc(std::uint8_t connectionId, std::string_view text);
MslPacket buildMsl(std::string_view text);

// Milliseconds as the race model's time: hours, minutes, seconds and
// hundredths, each rounded down; hours go on past 24. Times of 256 hours or
// more (the hour byte's limit) read as 255:59:59.99.
RaceTime raceTimeFromMs(std::uint32_t ms);

// The RaceLaps byte of IS_RST and IS_STA.
struct RaceLength {
  enum Kind : std::uint8_t { Practice, Laps, Hours, Unknown };
  Kind kind = Practice;
  std::uint16_t count = 0;  // laps or hours; 0 for practice and unknown
};
// 0 practice; 1-99 laps; 100-190 (n-100)*10+100 laps; 191-238 n-190 hours;
// 239-255 unknown.
RaceLength decodeRaceLaps(std::uint8_t raceLaps);

// IS_MCI speed in the unit the stats documents show. The old protocol's car
// record carries the simulator's own speed word at bytes 16-17, after three
// 32-bit coordinates, exactly where CompCar has it, and that word's unit is
// the one CompCar still uses: 32768 = 100 m/s (so 9000 is about 99 km/h, the
// speeds of the sample race). The documents show that word unconverted, so
// the value passes through unchanged; documents from either protocol compare.
constexpr std::uint16_t documentSpeed(std::uint16_t mciSpeed) { return mciSpeed; }
// The same speed in metres per second, for texts meant for people.
constexpr double metresPerSecond(std::uint16_t mciSpeed) { return mciSpeed * (100.0 / 32768.0); }

}  // namespace insim9
