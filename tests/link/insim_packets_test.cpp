// Recognition of received datagrams, field reads and the exact bytes of the
// packets the program sends.
#include "link/insim_packets.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::vector<std::uint8_t> datagram(std::size_t length, const char* id) {
  std::vector<std::uint8_t> bytes(length, 0);
  const std::size_t idLength = std::min(length, std::strlen(id));
  if (idLength > 0) std::memcpy(bytes.data(), id, idLength);
  return bytes;
}

PacketType recognise(const std::vector<std::uint8_t>& bytes) {
  return recognisePacket(bytes.data(), bytes.size());
}

struct KnownPacket {
  std::size_t length;
  const char* id;
  PacketType type;
  bool acked;
};

constexpr KnownPacket kKnownPackets[] = {
    {8, "REN", PacketType::Ren, true},    {8, "CLR", PacketType::Clr, true},
    {8, "RTP", PacketType::Rtp, false},   {8, "VTA", PacketType::Vta, false},
    {12, "SP1", PacketType::Split, true}, {20, "RST", PacketType::Rst, true},
    {20, "VER", PacketType::Ver, false},  {28, "STA", PacketType::Sta, false},
    {40, "ISM", PacketType::Ism, false},  {56, "CNL", PacketType::Cnl, true},
    {60, "NCN", PacketType::Ncn, true},   {60, "PLP", PacketType::Plp, true},
    {60, "PLL", PacketType::Pll, true},   {64, "REO", PacketType::Reo, true},
    {88, "CPR", PacketType::Cpr, true},   {92, "LAP", PacketType::Lap, true},
    {100, "NPL", PacketType::Npl, true},  {108, "RES", PacketType::Res, true},
    {132, "MSO", PacketType::Mso, false}, {204, "MCI", PacketType::Mci, false},
};

TEST(InsimRecognition, EveryIdIsRecognisedAtItsOwnLengthOnly) {
  for (const KnownPacket& packet : kKnownPackets) {
    for (std::size_t length = 0; length <= 300; ++length) {
      const PacketType expected = length == packet.length ? packet.type : PacketType::None;
      EXPECT_EQ(recognise(datagram(length, packet.id)), expected)
          << "ID " << packet.id << " in a datagram of " << length << " bytes";
    }
  }
}

TEST(InsimRecognition, UnknownOrMisspelledIdsAreDropped) {
  struct Case {
    std::size_t length;
    const char* id;
  };
  const Case cases[] = {
      {8, "ren"},  {8, "REX"},  {8, "SP1"},  {12, "SX1"}, {12, "S"},    {12, "REN"},  {20, "STA"},
      {20, "VEX"}, {60, "PLX"}, {60, "NCL"}, {92, "LAX"}, {204, "MCX"}, {204, "mci"}, {16384, "MCI"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(recognise(datagram(c.length, c.id)), PacketType::None) << c.id << " / " << c.length;
  }
}

TEST(InsimRecognition, SplitPacketIgnoresItsThirdCharacter) {
  for (int third = 0; third < 256; ++third) {
    auto bytes = datagram(12, "SP");
    bytes[2] = static_cast<std::uint8_t>(third);
    bytes[3] = 0xAA;  // the terminator is not compared either
    EXPECT_EQ(recognise(bytes), PacketType::Split) << "third character " << third;
  }
}

TEST(InsimRecognition, IdsSharingALengthAreTriedInTableOrder) {
  // VER shares its length with RST and is still found after RST failed to match.
  EXPECT_EQ(recognise(datagram(20, "VER")), PacketType::Ver);
  EXPECT_EQ(recognise(datagram(20, "RST")), PacketType::Rst);
  EXPECT_EQ(recognisePacket(nullptr, 8), PacketType::None);
}

TEST(InsimRecognition, AckWordsBelongToTheAcknowledgedPacketsOnly) {
  for (const KnownPacket& packet : kKnownPackets) {
    EXPECT_EQ(hasAckWord(packet.type), packet.acked) << packet.id;
  }
  EXPECT_FALSE(hasAckWord(PacketType::None));
}

TEST(InsimRecognition, AckWordIsTheLittleEndianLastTwoBytes) {
  for (const KnownPacket& packet : kKnownPackets) {
    if (!packet.acked) continue;
    auto bytes = datagram(packet.length, packet.id);
    bytes[packet.length - 2] = 0x34;
    bytes[packet.length - 1] = 0x12;
    EXPECT_EQ(ackWord(Datagram(bytes.data(), bytes.size())), 0x1234) << packet.id;
  }
}

TEST(InsimFields, ReadsPastTheEndGiveZeroAndTextsStopAtTheEnd) {
  const std::uint8_t bytes[] = {'A', 'B', 'C', 'D', 0x01, 0x02, 0x03};
  const Datagram view(bytes, sizeof bytes);
  EXPECT_EQ(view.u8(6), 0x03);
  EXPECT_EQ(view.u8(7), 0);
  EXPECT_EQ(view.u16(6), 0x0003);  // the missing high byte reads as 0
  EXPECT_EQ(view.u32(4), 0x00030201u);
  EXPECT_EQ(view.u32(1000), 0u);
  EXPECT_EQ(view.text(0, 32), std::string_view("ABCD\x01\x02\x03", 7));
  EXPECT_EQ(view.text(2, 2), "CD");
  EXPECT_EQ(view.text(7, 4), "");
  const RaceTime time = view.raceTime(5);
  EXPECT_EQ(time, (RaceTime{0x02, 0x03, 0, 0}));
}

TEST(InsimFields, ResultFields) {
  auto bytes = datagram(108, "RES");
  bytes[84] = 0x02;
  bytes[85] = 0x01;
  bytes[92] = 0x40;
  bytes[93] = 3;
  bytes[95] = 17;
  const std::uint8_t total[] = {1, 2, 3, 4}, best[] = {0, 1, 30, 99};
  std::memcpy(&bytes[96], total, 4);
  std::memcpy(&bytes[100], best, 4);
  bytes[104] = 0;
  const ResPacket res{Datagram(bytes.data(), bytes.size())};
  EXPECT_EQ(res.totalTimeLead(), 0x0102);
  EXPECT_EQ(res.penaltyFlags(), 0x40);
  EXPECT_EQ(res.pitStops(), 3);
  EXPECT_EQ(res.playerId(), 17);
  EXPECT_EQ(res.totalTime(), (RaceTime{1, 2, 3, 4}));
  EXPECT_EQ(res.bestLap(), (RaceTime{0, 1, 30, 99}));
  EXPECT_EQ(res.position(), 0);
}

TEST(InsimFields, NewPlayerTextsStopAtNulOrFieldEnd) {
  auto bytes = datagram(100, "NPL");
  std::memcpy(&bytes[4], "user", 4);
  std::memset(&bytes[28], 'N', 32);  // no terminator inside the field
  std::memcpy(&bytes[60], "XF GTI", 6);
  bytes[92] = 0x09;
  bytes[93] = 0x80;
  bytes[95] = 42;
  bytes[96] = 5;
  const NplPacket npl{Datagram(bytes.data(), bytes.size())};
  EXPECT_EQ(npl.userName(), "user");
  EXPECT_EQ(npl.playerName(), std::string(32, 'N'));
  EXPECT_EQ(npl.carName(), "XF GTI");
  EXPECT_EQ(npl.flags(), 0x8009);
  EXPECT_EQ(npl.playerId(), 42);
  EXPECT_EQ(npl.startOrder(), 5);
}

TEST(InsimFields, RaceSettingsLapsSplitsAndTexts) {
  auto rst = datagram(20, "RST");
  rst[4] = 5;
  rst[5] = 0;
  std::memcpy(&rst[8], "BL1R\0\0", 6);
  rst[14] = 2;
  rst[15] = 1;
  const RstPacket start{Datagram(rst.data(), rst.size())};
  EXPECT_EQ(start.laps(), 5);
  EXPECT_EQ(start.qualifyMinutes(), 0);
  EXPECT_EQ(start.track(), "BL1R");
  EXPECT_EQ(start.weather(), 2);
  EXPECT_EQ(start.wind(), 1);

  auto sta = datagram(28, "STA");
  sta[14] = 4;
  sta[16] = 20;
  sta[17] = 0;
  std::memcpy(&sta[20], "AS7XYZ", 6);  // full width, no terminator
  sta[26] = 3;
  sta[27] = 2;
  const StaPacket state{Datagram(sta.data(), sta.size())};
  EXPECT_EQ(state.finishedCount(), 4);
  EXPECT_EQ(state.qualifyMinutes(), 20);
  EXPECT_EQ(state.laps(), 0);
  EXPECT_EQ(state.track(), "AS7XYZ");
  EXPECT_EQ(state.weather(), 3);
  EXPECT_EQ(state.wind(), 2);

  auto lap = datagram(92, "LAP");
  lap[84] = 0;
  lap[85] = 1;
  lap[86] = 2;
  lap[87] = 3;
  lap[89] = 7;
  const LapPacket lapPacket{Datagram(lap.data(), lap.size())};
  EXPECT_EQ(lapPacket.lapTime(), (RaceTime{0, 1, 2, 3}));
  EXPECT_EQ(lapPacket.playerId(), 7);

  auto sp = datagram(12, "SP2");
  sp[4] = 0;
  sp[5] = 0;
  sp[6] = 31;
  sp[7] = 50;
  sp[9] = 8;
  const SplitPacket split{Datagram(sp.data(), sp.size())};
  EXPECT_EQ(split.splitTime(), (RaceTime{0, 0, 31, 50}));
  EXPECT_EQ(split.playerId(), 8);

  auto ism = datagram(40, "ISM");
  std::memcpy(&ism[8], "My Host", 7);
  EXPECT_EQ((IsmPacket{Datagram(ism.data(), ism.size())}.hostName()), "My Host");

  auto ver = datagram(20, "VER");
  std::memcpy(&ver[4], "0.6Uabcd", 8);  // fills the field: the text ends at the field
  ver[12] = 'X';
  EXPECT_EQ((VerPacket{Datagram(ver.data(), ver.size())}.version()), "0.6Uabcd");

  auto mso = datagram(132, "MSO");
  std::memcpy(&mso[4], "!save", 6);
  EXPECT_EQ((MsoPacket{Datagram(mso.data(), mso.size())}.text()), "!save");

  auto plp = datagram(60, "PLP");
  plp[52] = 99;
  EXPECT_EQ((PlayerLeavePacket{Datagram(plp.data(), plp.size())}.playerId()), 99);

  auto vta = datagram(8, "VTA");
  std::memset(&vta[4], 0xFF, 4);
  EXPECT_EQ((VtaPacket{Datagram(vta.data(), vta.size())}.action()), -1);
  vta[4] = 2;
  vta[5] = vta[6] = vta[7] = 0;
  EXPECT_EQ((VtaPacket{Datagram(vta.data(), vta.size())}.action()), 2);
}

void putCar(std::vector<std::uint8_t>& mci, std::size_t index, std::uint16_t word, std::uint8_t lapLow,
            std::uint8_t playerId, std::uint16_t speed) {
  const std::size_t at = 12 + 24 * index;
  mci[at] = static_cast<std::uint8_t>(word & 0xFF);
  mci[at + 1] = static_cast<std::uint8_t>(word >> 8);
  mci[at + 2] = lapLow;
  mci[at + 3] = playerId;
  mci[at + 16] = static_cast<std::uint8_t>(speed & 0xFF);
  mci[at + 17] = static_cast<std::uint8_t>(speed >> 8);
}

TEST(InsimCarInfo, LapTakesTheTopThreeBitsOfTheNodeWord) {
  struct Case {
    std::uint16_t word;
    std::uint8_t lapLow;
    std::uint16_t lap;
    std::uint16_t node;
  };
  const Case cases[] = {
      {0x2005, 0x03, 259, 5},  {0x0005, 0x03, 3, 5},      {0xFFFF, 0xFF, 2047, 0x1FFF},
      {0xE000, 0x01, 1793, 0}, {0x1FFF, 0x01, 1, 0x1FFF},
  };
  for (const Case& c : cases) {
    auto mci = datagram(204, "MCI");
    putCar(mci, 0, c.word, c.lapLow, 12, 0x1234);
    const CarInfo car = MciPacket{Datagram(mci.data(), mci.size())}.car(0);
    EXPECT_EQ(car.lap, c.lap) << std::hex << c.word;
    EXPECT_EQ(car.node, c.node) << std::hex << c.word;
    EXPECT_EQ(car.playerId, 12);
    EXPECT_EQ(car.speed, 0x1234);
  }
}

TEST(InsimCarInfo, HeaderAndTheListOfCarsEndAtAZeroLapByte) {
  auto mci = datagram(204, "MCI");
  mci[4] = 0x10;
  mci[5] = 0x02;
  mci[6] = 0x05;
  mci[8] = 3;
  const MciPacket header{Datagram(mci.data(), mci.size())};
  EXPECT_EQ(header.nodeCount(), 0x0210);
  EXPECT_EQ(header.finishNode(), 5);
  EXPECT_EQ(header.playerCount(), 3);
  EXPECT_EQ(header.carCount(), 0u);  // first entry's lap byte is zero

  putCar(mci, 0, 10, 1, 1, 50);
  putCar(mci, 1, 20, 1, 2, 60);
  putCar(mci, 3, 30, 1, 4, 70);  // after the zero entry: never read
  EXPECT_EQ((MciPacket{Datagram(mci.data(), mci.size())}.carCount()), 2u);

  for (std::size_t i = 0; i < 8; ++i) putCar(mci, i, 1, 1, static_cast<std::uint8_t>(i), 1);
  const MciPacket full{Datagram(mci.data(), mci.size())};
  EXPECT_EQ(full.carCount(), 8u);
  EXPECT_EQ(full.car(7).playerId, 7);
}

std::vector<std::uint8_t> bytesOf(const std::uint8_t* data, std::size_t length) {
  return std::vector<std::uint8_t>(data, data + length);
}

TEST(InsimSentPackets, InitialisationCutsALongPasswordToFifteenCharacters) {
  const IsiPacket isi = buildIsiPacket(29999, "abcdefghijklmnopqrst");
  const std::vector<std::uint8_t> expected = {
      'I', 'S', 'I', 0,   0x2F, 0x75, 0x23, 0x01, 'a', 'b', 'c', 'd',
      'e', 'f', 'g', 'h', 'i',  'j',  'k',  'l',  'm', 'n', 'o', 0,
  };
  EXPECT_EQ(bytesOf(isi.data(), isi.size()), expected);
}

TEST(InsimSentPackets, InitialisationWithShortAndEmptyPasswords) {
  const IsiPacket isi = buildIsiPacket(0x0102, "pw");
  EXPECT_EQ(isi.size(), 24u);
  EXPECT_EQ(isi[4], 0x02);
  EXPECT_EQ(isi[5], 0x01);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&isi[8])), "pw");
  EXPECT_EQ(buildIsiPacket(1, "")[8], 0);
  const IsiPacket exact = buildIsiPacket(1, "123456789012345");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&exact[8])), "123456789012345");
  EXPECT_EQ(exact[23], 0);
}

TEST(InsimSentPackets, RequestsCarryIdAndLittleEndianValue) {
  struct Case {
    const char* id;
    std::uint32_t value;
    std::vector<std::uint8_t> bytes;
  };
  const Case cases[] = {
      {"NLI", 350, {'N', 'L', 'I', 0, 0x5E, 0x01, 0, 0}},
      {"ACK", 0xFFFF, {'A', 'C', 'K', 0, 0xFF, 0xFF, 0, 0}},
      {"GTH", 0, {'G', 'T', 'H', 0, 0, 0, 0, 0}},
      {"NPL", 0x01020304, {'N', 'P', 'L', 0, 0x04, 0x03, 0x02, 0x01}},
      {"VERSION", 7, {'V', 'E', 'R', 0, 7, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    const RequestPacket packet = buildRequestPacket(c.id, c.value);
    EXPECT_EQ(bytesOf(packet.data(), packet.size()), c.bytes) << c.id;
  }
}

TEST(InsimSentPackets, ChatMessageIsAnEchoCommand) {
  const MstPacket packet = buildMstPacket("^2race stats were saved!");
  std::vector<std::uint8_t> expected(68, 0);
  std::memcpy(expected.data(), "MST", 3);
  std::memcpy(expected.data() + 4, "/echo ^2race stats were saved!", 30);
  EXPECT_EQ(bytesOf(packet.data(), packet.size()), expected);
}

TEST(InsimSentPackets, ChatMessageIsCutToFitItsTerminator) {
  const std::string fits(57, 'a');
  const MstPacket full = buildMstPacket(fits);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&full[4])), "/echo " + fits);
  EXPECT_EQ(full[67], 0);

  const MstPacket cut = buildMstPacket(std::string(57, 'b') + "OVERFLOW");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&cut[4])), "/echo " + std::string(57, 'b'));
  EXPECT_EQ(cut[67], 0);
}

}  // namespace
