// Binary InSim packets: recognition by type and size, field views checked
// against packets captured from the simulator, the exact bytes of the
// packets the program sends, and the unit conversions.
#include "link/insim9_packets.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace insim9;
using ByteVector = std::vector<std::uint8_t>;

// "0b 01 01 00 ..." as bytes.
ByteVector hex(const std::string& text) {
  ByteVector bytes;
  std::istringstream words(text);
  std::string word;
  while (words >> word) bytes.push_back(static_cast<std::uint8_t>(std::strtoul(word.c_str(), nullptr, 16)));
  return bytes;
}

Bytes view(const ByteVector& bytes) { return Bytes(bytes.data(), bytes.size()); }

Type recogniseAll(const ByteVector& bytes) { return recognise(bytes.data(), bytes.size()); }

// A zero-filled packet of this length with a Size byte that matches it.
ByteVector packet(Type type, std::size_t length) {
  ByteVector bytes(length, 0);
  if (length > 0) bytes[0] = static_cast<std::uint8_t>(length / 4);
  if (length > 1) bytes[1] = static_cast<std::uint8_t>(type);
  return bytes;
}

struct SizeCase {
  Type type;
  std::size_t smallest;
  std::size_t largest;
};

const SizeCase kSizes[] = {
    {Type::Isi, 44, 44},  {Type::Ver, 20, 20}, {Type::Tiny, 4, 4},    {Type::Small, 8, 8},
    {Type::Sta, 28, 28},  {Type::Ism, 40, 40}, {Type::Mso, 12, 136},  {Type::Mst, 68, 68},
    {Type::Mtc, 12, 136}, {Type::Rst, 28, 28}, {Type::Ncn, 56, 56},   {Type::Cnl, 8, 8},
    {Type::Cpr, 36, 36},  {Type::Npl, 76, 76}, {Type::Plp, 4, 4},     {Type::Pll, 4, 4},
    {Type::Lap, 20, 20},  {Type::Spx, 16, 16}, {Type::Toc, 8, 8},     {Type::Res, 84, 84},
    {Type::Reo, 44, 44},  {Type::Mci, 4, 452}, {Type::Msl, 132, 132}, {Type::Crs, 4, 4},
};

TEST(Insim9Recognition, EachTypeAtTheSizesItAllowsOnly) {
  for (const SizeCase& c : kSizes) {
    SCOPED_TRACE("type " + std::to_string(static_cast<int>(c.type)));
    for (std::size_t length = 0; length <= kMaxPacketSize; ++length) {
      const bool allowed = length % 4 == 0 && length >= c.smallest && length <= c.largest;
      EXPECT_EQ(recogniseAll(packet(c.type, length)), allowed ? c.type : Type::None) << length << " bytes";
    }
  }
}

TEST(Insim9Recognition, TheSizeByteMustMatchTheLength) {
  // A LAP is 20 bytes: Size 5.
  const std::uint8_t sizes[] = {0, 1, 4, 6, 255};
  for (std::uint8_t size : sizes) {
    SCOPED_TRACE(static_cast<int>(size));
    ByteVector lap = packet(Type::Lap, 20);
    lap[0] = size;
    EXPECT_EQ(recogniseAll(lap), Type::None);
  }
  // The same bytes sent with the pre-0.7A size in bytes are not a packet.
  ByteVector oldStyle = packet(Type::Lap, 20);
  oldStyle[0] = 20;
  EXPECT_EQ(recogniseAll(oldStyle), Type::None);
}

TEST(Insim9Recognition, UnknownTypesAndTooShortBytesAreNoPacket) {
  const std::uint8_t unknown[] = {0, 6, 7, 26, 37, 69, 70, 200, 255};
  for (std::uint8_t type : unknown) {
    SCOPED_TRACE(static_cast<int>(type));
    for (std::size_t length = 4; length <= 136; length += 4) {
      ByteVector bytes = packet(Type::None, length);
      bytes[1] = type;
      EXPECT_EQ(recogniseAll(bytes), Type::None);
    }
  }
  const ByteVector tiny = hex("01 03 00 00");
  for (std::size_t length = 0; length < tiny.size(); ++length) {
    EXPECT_EQ(recognise(tiny.data(), length), Type::None) << length << " bytes";
  }
  EXPECT_EQ(recognise(nullptr, 4), Type::None);
}

// Samples captured from the simulator (see the reference's sample list).
const char* const kVer = "05 02 01 00 30 2e 37 46 00 00 00 00 53 33 00 00 00 00 09 00";
const char* const kVerDemo = "05 02 01 00 30 2e 36 48 00 00 00 00 44 45 4d 4f 00 00 08 00";
const char* const kSta =
    "07 05 fa 00 00 00 80 3f c5 48 00 36 0d 14 00 01 00 21 00 00 4c 41 31 58 00 00 00 01";
const char* const kIsm =
    "0a 0a 00 00 00 00 00 00 5e 30 5b 5e 37 4d 52 5e 30 63 5d 5e 37 20 45 2d 43 68 61 6c 6c 65 6e "
    "67 65 00 00 00 00 00 00 00";
const char* const kNcn =
    "0e 12 00 04 42 6f 6b 75 6a 69 73 68 69 6e 00 00 00 00 00 00 00 00 00 00 00 00 00 00 5e 37 43 "
    "79 6b 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 01 02 04 00";
const char* const kNpl =
    "13 15 fa 3e 1d 04 81 00 5e 37 32 31 20 43 2e 42 69 73 73 65 79 00 00 00 00 00 00 00 00 00 00 "
    "00 2d 20 32 31 20 2d 00 70 c9 2d 94 00 45 43 48 5f 32 31 00 00 00 00 00 00 00 00 00 00 01 01 "
    "01 01 00 0e 1e 00 00 00 00 00 00 0f 00 64";
const char* const kRst =
    "07 11 00 00 0a 00 02 42 42 4c 31 00 00 00 01 01 63 34 92 01 6d 01 5f 00 ff 00 ff ff";
const char* const kRes =
    "15 23 00 3a 42 6f 6b 75 6a 69 73 68 69 6e 00 00 00 00 00 00 00 00 00 00 00 00 00 00 5e 34 34 "
    "32 20 5e 37 43 79 6b 00 00 00 00 00 00 00 00 00 00 00 00 00 00 34 32 00 00 00 00 00 00 50 8a "
    "89 00 ec 2c 73 00 fa 68 01 00 00 01 02 00 4d 00 01 02 08 0b 00 00";
const char* const kReo =
    "0b 24 00 0f 19 05 0b 25 34 35 36 12 37 17 30 09 38 3a 43 00 00 00 00 00 00 00 00 00 00 00 00 "
    "00 00 00 00 00 00 00 00 00 00 00 00 00";
const char* const kMci =
    "0f 26 01 02 00 00 01 00 03 01 40 00 34 10 16 fd e7 3f ff fe e9 1e 02 00 00 00 00 00 01 98 33 "
    "00 00 00 01 00 02 02 80 00 1f c0 11 fd d6 9f fc fe 59 1f 02 00 00 00 00 00 ff 97 30 00";
const char* const kMso =
    "0d 0b 00 00 01 02 01 0e 5e 37 5e 37 43 79 6b 20 5e 37 3a 20 5e 38 5e 30 57 5e 31 4f 5e 32 57 "
    "5e 33 21 5e 34 21 5e 35 21 5e 36 21 5e 37 21 5e 39 21 00 00 00";

TEST(Insim9Samples, EverySampleIsRecognisedAsItsType) {
  const std::pair<const char*, Type> cases[] = {
      {kVer, Type::Ver},
      {kVerDemo, Type::Ver},
      {kSta, Type::Sta},
      {kIsm, Type::Ism},
      {kNcn, Type::Ncn},
      {kNpl, Type::Npl},
      {kRst, Type::Rst},
      {kRes, Type::Res},
      {kReo, Type::Reo},
      {kMci, Type::Mci},
      {kMso, Type::Mso},
      {"01 03 ff 15", Type::Tiny},
      {"02 04 02 06 af 18 00 00", Type::Small},
      {"02 13 00 1f 01 17 00 00", Type::Cnl},
      {"01 16 00 1e", Type::Plp},
      {"01 17 00 3a", Type::Pll},
      {"05 18 00 3e dc 04 01 00 a6 c4 03 00 02 00 81 00 00 00 00 af", Type::Lap},
      {"04 19 00 36 26 0f 02 00 26 0f 02 00 01 00 00 c5", Type::Spx},
      {"03 0e 00 00 00 00 00 00 6d 69 6e 00", Type::Mtc},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.first);
    EXPECT_EQ(recogniseAll(hex(c.first)), c.second);
  }
}

TEST(Insim9Samples, VersionStateAndHost) {
  struct VerCase {
    const char* bytes;
    const char* version;
    const char* product;
    int inSimVersion;
  };
  const VerCase versions[] = {{kVer, "0.7F", "S3", 9}, {kVerDemo, "0.6H", "DEMO", 8}};
  for (const VerCase& c : versions) {
    SCOPED_TRACE(c.bytes);
    const ByteVector bytes = hex(c.bytes);
    const VerPacket ver{view(bytes)};
    EXPECT_EQ(ver.version(), c.version);
    EXPECT_EQ(ver.product(), c.product);
    EXPECT_EQ(ver.inSimVersion(), c.inSimVersion);
    EXPECT_EQ(requestId(ver.bytes), 1);
  }

  const ByteVector staBytes = hex(kSta);
  const StaPacket sta{view(staBytes)};
  EXPECT_EQ(requestId(sta.bytes), 250);
  EXPECT_EQ(sta.flags(), 18629);
  EXPECT_EQ(sta.viewedPlayer(), 54);
  EXPECT_EQ(sta.playerCount(), 13);
  EXPECT_EQ(sta.connectionCount(), 20);
  EXPECT_EQ(sta.finishedCount(), 0);
  EXPECT_EQ(sta.raceInProgress(), 1);
  EXPECT_EQ(sta.qualifyMinutes(), 0);
  EXPECT_EQ(sta.raceLaps(), 33);
  EXPECT_EQ(sta.track(), "LA1X");
  EXPECT_EQ(sta.weather(), 0);
  EXPECT_EQ(sta.wind(), 1);

  const ByteVector ismBytes = hex(kIsm);
  const IsmPacket ism{view(ismBytes)};
  EXPECT_FALSE(ism.isHost());
  EXPECT_EQ(ism.hostName(), "^0[^7MR^0c]^7 E-Challenge");
}

TEST(Insim9Samples, ConnectionsAndPlayers) {
  const ByteVector ncnBytes = hex(kNcn);
  const NcnPacket ncn{view(ncnBytes)};
  EXPECT_EQ(ncn.connectionId(), 4);
  EXPECT_EQ(ncn.userName(), "Bokujishin");
  EXPECT_EQ(ncn.playerName(), "^7Cyk");
  EXPECT_TRUE(ncn.isAdmin());
  EXPECT_EQ(ncn.connectionCount(), 2);
  EXPECT_EQ(ncn.flags(), 4);

  const ByteVector cnlBytes = hex("02 13 00 1f 01 17 00 00");
  const CnlPacket cnl{view(cnlBytes)};
  EXPECT_EQ(cnl.connectionId(), 31);
  EXPECT_EQ(cnl.reason(), 1);
  EXPECT_EQ(cnl.connectionCount(), 23);

  const ByteVector nplBytes = hex(kNpl);
  const NplPacket npl{view(nplBytes)};
  EXPECT_EQ(requestId(npl.bytes), 250);
  EXPECT_EQ(npl.playerId(), 62);
  EXPECT_EQ(npl.connectionId(), 29);
  EXPECT_EQ(npl.playerType(), 4);
  EXPECT_EQ(npl.flags(), 129);
  EXPECT_EQ(npl.playerName(), "^721 C.Bissey");
  EXPECT_EQ(npl.plate(), "- 21 -");
  EXPECT_EQ(npl.skinName(), "ECH_21");
  EXPECT_EQ(npl.playerCount(), 15);
  EXPECT_FALSE(npl.isJoinRequest());

  ByteVector joinRequest = nplBytes;
  joinRequest[73] = 0;
  EXPECT_TRUE(NplPacket{view(joinRequest)}.isJoinRequest());

  const std::pair<const char*, int> leaving[] = {{"01 16 00 01", 1}, {"01 17 00 37", 55}};
  for (const auto& c : leaving) {
    const ByteVector bytes = hex(c.first);
    EXPECT_EQ(PlayerPacket{view(bytes)}.playerId(), c.second) << c.first;
  }
}

TEST(Insim9Samples, CarNameAndPlateFillTheirFieldsWithoutNul) {
  // A CPR and an NPL whose plate and car name use every byte of their fields.
  ByteVector cpr = packet(Type::Cpr, 36);
  const std::string name = "^1Fast";
  std::copy(name.begin(), name.end(), cpr.begin() + 4);
  const std::string plate = "ABCDEFGH";
  std::copy(plate.begin(), plate.end(), cpr.begin() + 28);
  EXPECT_EQ(CprPacket{view(cpr)}.playerName(), "^1Fast");
  EXPECT_EQ(CprPacket{view(cpr)}.plate(), "ABCDEFGH");

  ByteVector npl = packet(Type::Npl, 76);
  const std::string car = "XFGZ";
  std::copy(car.begin(), car.end(), npl.begin() + 40);
  npl[44] = 'S';
  EXPECT_EQ(NplPacket{view(npl)}.carName(), "XFGZ");
}

TEST(Insim9Samples, LapAndSplitTimes) {
  struct LapCase {
    const char* bytes;
    int playerId;
    std::uint32_t lapTime, elapsed;
    int lapsDone, flags;
  };
  const LapCase laps[] = {
      {"05 18 00 3e dc 04 01 00 a6 c4 03 00 02 00 81 00 00 00 00 af", 62, 66780, 246950, 2, 129},
      {"05 18 00 2d 90 d1 02 00 90 d1 02 00 01 00 40 00 00 00 00 bc", 45, 184720, 184720, 1, 64},
  };
  for (const LapCase& c : laps) {
    SCOPED_TRACE(c.bytes);
    const ByteVector bytes = hex(c.bytes);
    const LapPacket lap{view(bytes)};
    EXPECT_EQ(lap.playerId(), c.playerId);
    EXPECT_EQ(lap.lapTime(), c.lapTime);
    EXPECT_EQ(lap.elapsedTime(), c.elapsed);
    EXPECT_EQ(lap.lapsDone(), c.lapsDone);
    EXPECT_EQ(lap.flags(), c.flags);
    EXPECT_EQ(lap.pitStops(), 0);
  }

  struct SplitCase {
    const char* bytes;
    int playerId;
    std::uint32_t splitTime, elapsed;
    int split;
  };
  const SplitCase splits[] = {
      {"04 19 00 36 26 0f 02 00 26 0f 02 00 01 00 00 c5", 54, 134950, 134950, 1},
      {"04 19 00 17 d8 5e 00 00 12 63 21 00 01 00 00 11", 23, 24280, 2188050, 1},
  };
  for (const SplitCase& c : splits) {
    SCOPED_TRACE(c.bytes);
    const ByteVector bytes = hex(c.bytes);
    const SpxPacket spx{view(bytes)};
    EXPECT_EQ(spx.playerId(), c.playerId);
    EXPECT_EQ(spx.splitTime(), c.splitTime);
    EXPECT_EQ(spx.elapsedTime(), c.elapsed);
    EXPECT_EQ(spx.split(), c.split);
  }
}

TEST(Insim9Samples, RaceStartResultAndOrder) {
  const ByteVector rstBytes = hex(kRst);
  const RstPacket rst{view(rstBytes)};
  EXPECT_EQ(rst.raceLaps(), 10);
  EXPECT_EQ(rst.qualifyMinutes(), 0);
  EXPECT_EQ(rst.playerCount(), 2);
  EXPECT_EQ(rst.timing(), 66);
  EXPECT_EQ(rst.track(), "BL1");
  EXPECT_EQ(rst.weather(), 1);
  EXPECT_EQ(rst.wind(), 1);
  EXPECT_EQ(rst.flags(), 13411);
  EXPECT_EQ(rst.nodeCount(), 402);
  EXPECT_EQ(rst.finishNode(), 365);
  EXPECT_EQ(rst.splitNode(1), 95);
  EXPECT_EQ(rst.splitNode(2), 255);
  EXPECT_EQ(rst.splitNode(3), 65535);
  EXPECT_EQ(rst.splitNode(0), 0);
  EXPECT_EQ(rst.splitNode(4), 0);

  const ByteVector resBytes = hex(kRes);
  const ResPacket res{view(resBytes)};
  EXPECT_EQ(res.playerId(), 58);
  EXPECT_EQ(res.userName(), "Bokujishin");
  EXPECT_EQ(res.playerName(), "^442 ^7Cyk");
  EXPECT_EQ(res.plate(), "42");
  EXPECT_EQ(res.totalTime(), 7548140u);
  EXPECT_EQ(res.bestLap(), 92410u);
  EXPECT_EQ(res.pitStops(), 1);
  EXPECT_EQ(res.confirm(), 2);
  EXPECT_EQ(res.lapsDone(), 77);
  EXPECT_EQ(res.flags(), 513);
  EXPECT_EQ(res.resultNumber(), 8);
  EXPECT_EQ(res.resultCount(), 11);
  EXPECT_EQ(res.penaltySeconds(), 0);

  const ByteVector reoBytes = hex(kReo);
  const ReoPacket reo{view(reoBytes)};
  ASSERT_EQ(reo.playerCount(), 15u);
  const std::uint8_t order[] = {0x19, 0x05, 0x0b, 0x25, 0x34, 0x35, 0x36, 0x12,
                                0x37, 0x17, 0x30, 0x09, 0x38, 0x3a, 0x43};
  for (std::size_t place = 0; place < reo.playerCount(); ++place) {
    EXPECT_EQ(reo.playerId(place), order[place]) << "place " << place;
  }

  ByteVector tooMany = reoBytes;
  tooMany[3] = 200;
  EXPECT_EQ(ReoPacket{view(tooMany)}.playerCount(), 40u);
  EXPECT_EQ(ReoPacket{view(tooMany)}.playerId(40), 0);
}

TEST(Insim9Samples, CarInformation) {
  const ByteVector bytes = hex(kMci);
  const MciPacket mci{view(bytes)};
  ASSERT_EQ(mci.carCount(), 2u);
  struct CarCase {
    int node, lap, playerId, position, info;
    std::int32_t x, y, z;
    int heading, angularVelocity;
  };
  const CarCase cars[] = {
      {0, 1, 3, 1, 64, -48885708, -16826393, 138985, 38913, 51},
      {0, 1, 2, 2, 128, -49168353, -16998442, 139097, 38911, 48},
  };
  for (std::size_t i = 0; i < 2; ++i) {
    SCOPED_TRACE(i);
    const CompCar car = mci.car(i);
    EXPECT_EQ(car.node, cars[i].node);
    EXPECT_EQ(car.lap, cars[i].lap);
    EXPECT_EQ(car.playerId, cars[i].playerId);
    EXPECT_EQ(car.position, cars[i].position);
    EXPECT_EQ(car.info, cars[i].info);
    EXPECT_EQ(car.x, cars[i].x);
    EXPECT_EQ(car.y, cars[i].y);
    EXPECT_EQ(car.z, cars[i].z);
    EXPECT_EQ(car.speed, 0);
    EXPECT_EQ(car.heading, cars[i].heading);
    EXPECT_EQ(car.angularVelocity, cars[i].angularVelocity);
  }
}

// An MCI of `held` cars whose NumC says `reported`; car i has PLID i + 1 and
// speed 1000 * (i + 1), and every byte after the packet would read 0xEE.
ByteVector mciWith(std::size_t held, std::uint8_t reported) {
  ByteVector bytes = packet(Type::Mci, 4 + 28 * held);
  bytes[3] = reported;
  for (std::size_t i = 0; i < held; ++i) {
    bytes[4 + 28 * i + 4] = static_cast<std::uint8_t>(i + 1);
    const unsigned speed = 1000 * static_cast<unsigned>(i + 1);
    bytes[4 + 28 * i + 20] = static_cast<std::uint8_t>(speed & 0xFF);
    bytes[4 + 28 * i + 21] = static_cast<std::uint8_t>(speed >> 8);
  }
  return bytes;
}

TEST(Insim9CarInformation, TheCarCountNeverPassesThePacket) {
  struct Case {
    std::size_t held;
    std::uint8_t reported;
    std::size_t cars;
  };
  const Case cases[] = {
      {0, 0, 0}, {0, 5, 0}, {2, 2, 2}, {2, 1, 1}, {2, 9, 2}, {16, 16, 16}, {16, 255, 16}, {3, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("held " + std::to_string(c.held) + " reported " + std::to_string(c.reported));
    ByteVector bytes = mciWith(c.held, c.reported);
    ASSERT_EQ(recogniseAll(bytes), Type::Mci);
    bytes.resize(bytes.size() + 28, 0xEE);  // bytes the view must not reach
    const MciPacket mci{Bytes(bytes.data(), bytes.size() - 28)};
    ASSERT_EQ(mci.carCount(), c.cars);
    for (std::size_t i = 0; i < c.cars; ++i) {
      EXPECT_EQ(mci.car(i).playerId, i + 1);
      EXPECT_EQ(mci.car(i).speed, 1000 * (i + 1));
    }
  }
  // Past the packet every field reads 0, and past 16 cars nothing is read.
  const ByteVector two = mciWith(2, 2);
  const MciPacket mci{view(two)};
  EXPECT_EQ(mci.car(2).playerId, 0);
  EXPECT_EQ(mci.car(2).speed, 0);
  EXPECT_EQ(mci.car(16).playerId, 0);
}

TEST(Insim9CarInformation, SpeedKeepsTheUnitOfTheOldDocuments) {
  // 32768 = 100 m/s in both protocols' car records; the documents show the word.
  const std::pair<std::uint16_t, double> cases[] = {
      {0, 0.0}, {9000, 27.4658203125}, {32768, 100.0}, {65535, 199.9969482421875}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.first);
    ByteVector bytes = mciWith(1, 1);
    bytes[24] = static_cast<std::uint8_t>(c.first & 0xFF);
    bytes[25] = static_cast<std::uint8_t>(c.first >> 8);
    const std::uint16_t speed = MciPacket{view(bytes)}.car(0).speed;
    EXPECT_EQ(documentSpeed(speed), c.first);
    EXPECT_DOUBLE_EQ(metresPerSecond(speed), c.second);
  }
}

TEST(Insim9Chat, TheTypedTextStartsAtTextStart) {
  const ByteVector bytes = hex(kMso);
  const MsoPacket mso{view(bytes)};
  EXPECT_EQ(mso.connectionId(), 1);
  EXPECT_EQ(mso.playerId(), 2);
  EXPECT_EQ(mso.userType(), mso::User);
  EXPECT_EQ(mso.message(), "^7^7Cyk ^7: ^8^0W^1O^2W^3!^4!^5!^6!^7!^9!");
  EXPECT_EQ(mso.typedText(), "^0W^1O^2W^3!^4!^5!^6!^7!^9!");

  const ByteVector system = hex("04 0b 00 00 00 00 00 00 54 65 73 74 21 00 00 00");
  EXPECT_EQ(MsoPacket{view(system)}.typedText(), "Test!");
  EXPECT_EQ(MsoPacket{view(system)}.userType(), mso::System);
}

TEST(Insim9Chat, TextsWithoutNulOrOddStartsStayInsideThePacket) {
  struct Case {
    std::string text;    // bytes from offset 8, padded with NULs to a multiple of 4
    std::uint8_t start;  // TextStart
    std::string message;
    std::string typed;
  };
  const Case cases[] = {
      {"Name : !save", 7, "Name : !save", "!save"},
      {"abcd", 0, "abcd", "abcd"},          // fills the packet, no NUL
      {"abcdefgh", 4, "abcdefgh", "efgh"},  // no NUL either
      {"abcd", 4, "abcd", ""},              // TextStart at the end
      {"abcd", 200, "abcd", ""},            // TextStart far past it
      {"ab", 3, "ab", ""},                  // TextStart inside the NUL fill
      {std::string(128, 'x'), 100, std::string(128, 'x'), std::string(28, 'x')},  // longest
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 16) + " from " + std::to_string(c.start));
    const std::size_t length = 8 + (c.text.size() + 3) / 4 * 4;
    ByteVector bytes = packet(Type::Mso, length);
    std::copy(c.text.begin(), c.text.end(), bytes.begin() + 8);
    bytes[6] = mso::User;
    bytes[7] = c.start;
    ASSERT_EQ(recogniseAll(bytes), Type::Mso);
    bytes.push_back('!');  // a byte past the packet that must not show
    const MsoPacket mso{Bytes(bytes.data(), length)};
    EXPECT_EQ(mso.message(), c.message);
    EXPECT_EQ(mso.typedText(), c.typed);
  }
}

TEST(Insim9Views, TruncatedPacketsAreNoPacketAndReadZeroPastTheirEnd) {
  const char* const samples[] = {kVer, kSta, kNcn, kNpl, kRst, kRes, kReo, kMci, kMso};
  for (const char* sample : samples) {
    const ByteVector whole = hex(sample);
    for (std::size_t length = 0; length < whole.size(); ++length) {
      SCOPED_TRACE(std::string(sample).substr(0, 5) + " cut to " + std::to_string(length));
      EXPECT_EQ(recognise(whole.data(), length), Type::None);
      const Bytes cut(whole.data(), length);
      EXPECT_EQ(cut.u32(length), 0u);
      EXPECT_LE(NplPacket{cut}.playerName().size() + 8, std::max<std::size_t>(length, 8));
      EXPECT_LE(MciPacket{cut}.carCount() * 28 + 4, std::max<std::size_t>(length, 4));
      EXPECT_LE(MsoPacket{cut}.message().size() + 8, std::max<std::size_t>(length, 8));
    }
  }
  // Reads that straddle the end take only the bytes inside.
  const ByteVector three = {0x11, 0x22, 0x33};
  const Bytes bytes(three.data(), three.size());
  EXPECT_EQ(bytes.u16(2), 0x33);
  EXPECT_EQ(bytes.u32(0), 0x332211u);
  EXPECT_EQ(bytes.u32(~std::size_t(0) - 1), 0u);
  EXPECT_TRUE(bytes.text(3, 10).empty());
}

TEST(Insim9Builders, IsiCarriesTheHandshake) {
  const IsiPacket isi = buildIsi(350, "secret");
  ByteVector expected =
      hex("0b 01 01 00 00 00 20 00 09 00 5e 01 73 65 63 72 65 74 00 00 00 00 00 00 00 00 00 00 "
          "54 61 72 6e 62 65 63 6b 00 00 00 00 00 00 00 00");
  EXPECT_EQ(ByteVector(isi.begin(), isi.end()), expected);
  EXPECT_EQ(recognise(isi.data(), isi.size()), Type::Isi);

  struct PasswordCase {
    std::string given;
    std::string sent;
  };
  const PasswordCase passwords[] = {
      {"", ""},
      {"fifteen-chars!!", "fifteen-chars!!"},
      {"sixteen-chars!!!", "sixteen-chars!!"},
      {std::string(40, 'p'), std::string(15, 'p')},
  };
  for (const PasswordCase& c : passwords) {
    SCOPED_TRACE(c.given);
    const IsiPacket packet = buildIsi(350, c.given);
    const Bytes bytes(packet.data(), packet.size());
    EXPECT_EQ(bytes.text(12, 16), c.sent);
    EXPECT_EQ(packet[27], 0) << "the password keeps its NUL";
    EXPECT_EQ(bytes.text(28, 16), "Tarnbeck") << "IName is untouched";
  }
}

TEST(Insim9Builders, TinyAndSmall) {
  const TinyBytes keepAlive = buildTiny(0, tiny::None);
  EXPECT_EQ(ByteVector(keepAlive.begin(), keepAlive.end()), hex("01 03 00 00"));
  const TinyBytes request = buildTiny(7, tiny::Npl);
  EXPECT_EQ(ByteVector(request.begin(), request.end()), hex("01 03 07 0e"));
  const SmallBytes interval = buildSmall(0, small::Nli, 350);
  EXPECT_EQ(ByteVector(interval.begin(), interval.end()), hex("02 04 00 07 5e 01 00 00"));
  EXPECT_EQ(recognise(interval.data(), interval.size()), Type::Small);
}

TEST(Insim9Builders, MtcIsAsLongAsItsTextAndNul) {
  struct Case {
    std::size_t textLength;
    std::size_t size;
  };
  const Case cases[] = {{0, 12}, {1, 12},    {3, 12},    {4, 16},    {7, 16},
                        {8, 20}, {126, 136}, {127, 136}, {128, 136}, {500, 136}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.textLength);
    const std::string text(c.textLength, 'm');
    const MtcPacket mtc = buildMtc(kAllConnections, text);
    ASSERT_EQ(mtc.size, c.size);
    EXPECT_EQ(mtc.bytes[0] * 4u, c.size);
    EXPECT_EQ(mtc.bytes[1], static_cast<std::uint8_t>(Type::Mtc));
    EXPECT_EQ(mtc.bytes[4], 255);
    EXPECT_EQ(mtc.bytes[5], 0);
    EXPECT_EQ(mtc.bytes[c.size - 1], 0) << "the text ends with a NUL inside the packet";
    EXPECT_EQ(Bytes(mtc.data(), mtc.size).text(8, 128), text.substr(0, 127));
    EXPECT_EQ(recognise(mtc.data(), mtc.size), Type::Mtc);
  }
  const MtcPacket sample = buildMtc(255, "Message to all connections!");
  EXPECT_EQ(ByteVector(sample.data(), sample.data() + sample.size),
            hex("09 0e 00 00 ff 00 00 00 4d 65 73 73 61 67 65 20 74 6f 20 61 6c 6c 20 63 6f 6e 6e 65 "
                "63 74 69 6f 6e 73 21 00"));
}

TEST(Insim9Builders, MslHoldsTheTextAndItsNul) {
  const MslPacket msl = buildMsl("^2race stats were saved!");
  ASSERT_EQ(recognise(msl.data(), msl.size()), Type::Msl);
  EXPECT_EQ(msl[0], 33);
  EXPECT_EQ(msl[3], 0) << "silent";
  EXPECT_EQ(Bytes(msl.data(), msl.size()).text(4, 128), "^2race stats were saved!");
  const MslPacket longest = buildMsl(std::string(300, 'z'));
  EXPECT_EQ(Bytes(longest.data(), longest.size()).text(4, 128), std::string(127, 'z'));
  EXPECT_EQ(longest[131], 0);
}

TEST(Insim9Units, MillisecondsBecomeRaceTimesRoundedDown) {
  struct Case {
    std::uint32_t ms;
    RaceTime time;
  };
  const Case cases[] = {
      {0, {0, 0, 0, 0}},
      {9, {0, 0, 0, 0}},
      {19, {0, 0, 0, 1}},
      {66780, {0, 1, 6, 78}},
      {59999, {0, 0, 59, 99}},
      {3599999, {0, 59, 59, 99}},
      {3600000, {1, 0, 0, 0}},
      {7548140, {2, 5, 48, 14}},
      {90000000, {25, 0, 0, 0}},
      {255u * 3600000u + 3599999u, {255, 59, 59, 99}},
      {256u * 3600000u, {255, 59, 59, 99}},
      {0xFFFFFFFFu, {255, 59, 59, 99}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ms);
    const RaceTime time = raceTimeFromMs(c.ms);
    EXPECT_EQ(time.hours, c.time.hours);
    EXPECT_EQ(time.minutes, c.time.minutes);
    EXPECT_EQ(time.seconds, c.time.seconds);
    EXPECT_EQ(time.hundredths, c.time.hundredths);
  }
}

TEST(Insim9Units, RaceLapsByRange) {
  struct Case {
    std::uint8_t raceLaps;
    RaceLength::Kind kind;
    std::uint16_t count;
  };
  const Case cases[] = {
      {0, RaceLength::Practice, 0},  {1, RaceLength::Laps, 1},      {33, RaceLength::Laps, 33},
      {99, RaceLength::Laps, 99},    {100, RaceLength::Laps, 100},  {101, RaceLength::Laps, 110},
      {150, RaceLength::Laps, 600},  {190, RaceLength::Laps, 1000}, {191, RaceLength::Hours, 1},
      {200, RaceLength::Hours, 10},  {238, RaceLength::Hours, 48},  {239, RaceLength::Unknown, 0},
      {255, RaceLength::Unknown, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.raceLaps));
    const RaceLength length = decodeRaceLaps(c.raceLaps);
    EXPECT_EQ(length.kind, c.kind);
    EXPECT_EQ(length.count, c.count);
  }
}

}  // namespace
