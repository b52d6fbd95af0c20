// Packet recognition and field access over any bytes of any length: the
// recognised type must be the one the length and ID call for, and no field
// view may read outside the datagram or return a text past its field.
#include "fuzz_support.h"
#include "link/insim_packets.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

struct KnownPacket {
  std::size_t length;
  const char* id;
  std::size_t compared;
  PacketType type;
};

// Table order within a length decides, so the first row that matches is the answer.
const KnownPacket kKnownPackets[] = {
    {8, "REN", 3, PacketType::Ren},   {8, "CLR", 3, PacketType::Clr},   {8, "RTP", 3, PacketType::Rtp},
    {8, "VTA", 3, PacketType::Vta},   {12, "SP", 2, PacketType::Split}, {20, "RST", 3, PacketType::Rst},
    {20, "VER", 3, PacketType::Ver},  {28, "STA", 3, PacketType::Sta},  {40, "ISM", 3, PacketType::Ism},
    {56, "CNL", 3, PacketType::Cnl},  {60, "NCN", 3, PacketType::Ncn},  {60, "PLP", 3, PacketType::Plp},
    {60, "PLL", 3, PacketType::Pll},  {64, "REO", 3, PacketType::Reo},  {88, "CPR", 3, PacketType::Cpr},
    {92, "LAP", 3, PacketType::Lap},  {100, "NPL", 3, PacketType::Npl}, {108, "RES", 3, PacketType::Res},
    {132, "MSO", 3, PacketType::Mso}, {204, "MCI", 3, PacketType::Mci},
};

PacketType expectedType(const std::uint8_t* data, std::size_t size) {
  for (const KnownPacket& known : kKnownPackets) {
    if (known.length == size && std::memcmp(data, known.id, known.compared) == 0) return known.type;
  }
  return PacketType::None;
}

// A text view must lie inside both the datagram and its field and hold no NUL.
void checkText(const Datagram& datagram, const std::uint8_t* data, std::string_view text, std::size_t offset,
               std::size_t width) {
  if (text.empty()) return;
  const auto* start = reinterpret_cast<const std::uint8_t*>(text.data());
  FUZZ_CHECK(start == data + offset, "a text starts at its field");
  FUZZ_CHECK(text.size() <= width, "a text stays inside its field");
  FUZZ_CHECK(offset + text.size() <= datagram.length(), "a text stays inside the datagram");
  FUZZ_CHECK(text.find('\0') == std::string_view::npos, "a text ends before its NUL");
}

// Every view reads its fields whatever the datagram is; the sanitizers watch
// the reads, the checks watch the texts and the car list.
void readEveryField(const Datagram& datagram, const std::uint8_t* data) {
  volatile unsigned sink = 0;
  const ResPacket res{datagram};
  sink = sink + res.totalTimeLead() + res.penaltyFlags() + res.pitStops() + res.playerId() +
         res.totalTime().hours + res.bestLap().hundredths + res.position();
  const NplPacket npl{datagram};
  checkText(datagram, data, npl.userName(), 4, 24);
  checkText(datagram, data, npl.playerName(), 28, 32);
  checkText(datagram, data, npl.carName(), 60, 32);
  sink = sink + npl.flags() + npl.playerId() + npl.startOrder();
  sink = sink + LapPacket{datagram}.lapTime().minutes + LapPacket{datagram}.playerId();
  sink = sink + SplitPacket{datagram}.splitTime().seconds + SplitPacket{datagram}.playerId();
  const RstPacket rst{datagram};
  checkText(datagram, data, rst.track(), 8, 6);
  sink = sink + rst.laps() + rst.qualifyMinutes() + rst.weather() + rst.wind();
  const StaPacket sta{datagram};
  checkText(datagram, data, sta.track(), 20, 6);
  sink = sink + sta.finishedCount() + sta.qualifyMinutes() + sta.laps() + sta.weather() + sta.wind();
  checkText(datagram, data, IsmPacket{datagram}.hostName(), 8, 32);
  checkText(datagram, data, VerPacket{datagram}.version(), 4, 8);
  checkText(datagram, data, MsoPacket{datagram}.text(), 4, 128);
  sink = sink + PlayerLeavePacket{datagram}.playerId() + static_cast<unsigned>(VtaPacket{datagram}.action());
  sink = sink + ackWord(datagram);

  const MciPacket mci{datagram};
  sink = sink + mci.nodeCount() + mci.finishNode() + mci.playerCount();
  const std::size_t cars = mci.carCount();
  FUZZ_CHECK(cars <= MciPacket::kMaxCars, "at most 8 cars");
  for (std::size_t index = 0; index < cars; ++index) {
    const CarInfo car = mci.car(index);
    FUZZ_CHECK(car.lap != 0 && car.lap < 2048, "a listed car has an 11-bit lap that is not 0");
    FUZZ_CHECK(car.node < 8192, "a node index has 13 bits");
    sink = sink + car.playerId + car.speed;
  }
  if (cars < MciPacket::kMaxCars) {
    FUZZ_CHECK(datagram.u8(12 + 24 * cars + 2) == 0, "the car list ends at a zero lap byte");
  }
}

void checkBuiltPackets(FuzzInput& input) {
  const std::string password = input.shortText();
  const IsiPacket isi = buildIsiPacket(input.u16(), password);
  FUZZ_CHECK(std::memcmp(isi.data(), "ISI", 4) == 0 && isi[6] == 0x23 && isi[7] == 1, "ISI header");
  FUZZ_CHECK(isi[23] == 0, "the admin password keeps its terminator");

  const std::string id = input.bytes(4);
  const std::uint32_t value = input.u16() | (static_cast<std::uint32_t>(input.u16()) << 16);
  const RequestPacket request = buildRequestPacket(id, value);
  FUZZ_CHECK(request[3] == 0, "a request ID is three characters and a NUL");
  const Datagram requestView(request.data(), request.size());
  FUZZ_CHECK(requestView.u32(4) == value, "a request carries its value little-endian");

  const std::string message = input.shortText();
  const MstPacket mst = buildMstPacket(message);
  FUZZ_CHECK(std::memcmp(mst.data(), "MST\0/echo ", 10) == 0, "MST header and echo command");
  FUZZ_CHECK(mst[67] == 0, "the chat text keeps its terminator");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // An exact copy, so reading one byte past the datagram is caught.
  const std::vector<std::uint8_t> bytes(data, data + size);
  const std::uint8_t* copy = bytes.empty() ? nullptr : bytes.data();

  const PacketType type = recognisePacket(copy, size);
  FUZZ_CHECK(type == expectedType(copy, size), "recognition by exact length, then ID in table order");
  const Datagram datagram(copy, size);
  FUZZ_CHECK(datagram.length() == size, "a view covers the whole datagram");
  if (hasAckWord(type)) {
    FUZZ_CHECK(ackWord(datagram) == (copy[size - 2] | (copy[size - 1] << 8)),
               "the ack word is the last two bytes");
  }
  readEveryField(datagram, copy);

  FuzzInput input(data, size);
  checkBuiltPackets(input);
  return 0;
}
