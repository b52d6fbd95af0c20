// Binary InSim recognition and field views over any bytes of any length: the
// type must be the one the header and the size rules call for, no view may
// read outside the packet, every text ends inside it, the car count never
// passes the packet; then the builders and conversions on values taken from
// the input.
#include "fuzz_support.h"
#include "link/insim9_packets.h"

#include <cstring>
#include <vector>

namespace {

using namespace insim9;

struct Rule {
  std::uint8_t type;
  std::size_t smallest;
  std::size_t largest;
};

// The layouts' sizes, written out again from the reference, not taken from
// the code under test.
const Rule kRules[] = {
    {1, 44, 44},   {2, 20, 20},  {3, 4, 4},     {4, 8, 8},    {5, 28, 28},    {10, 40, 40},
    {11, 12, 136}, {13, 68, 68}, {14, 12, 136}, {17, 28, 28}, {18, 56, 56},   {19, 8, 8},
    {20, 36, 36},  {21, 76, 76}, {22, 4, 4},    {23, 4, 4},   {24, 20, 20},   {25, 16, 16},
    {31, 8, 8},    {35, 84, 84}, {36, 44, 44},  {38, 4, 452}, {40, 132, 132}, {41, 4, 4},
};

Type expectedType(const std::uint8_t* data, std::size_t size) {
  if (size < 4 || size % 4 != 0 || data[0] * 4u != size) return Type::None;
  for (const Rule& rule : kRules) {
    if (rule.type == data[1]) {
      return size >= rule.smallest && size <= rule.largest ? static_cast<Type>(rule.type) : Type::None;
    }
  }
  return Type::None;
}

// A text view lies inside the packet and holds no NUL.
void checkText(const std::uint8_t* data, std::size_t size, std::string_view text) {
  if (text.empty()) return;
  const auto* start = reinterpret_cast<const std::uint8_t*>(text.data());
  FUZZ_CHECK(start >= data && start + text.size() <= data + size, "a text stays inside the packet");
  FUZZ_CHECK(text.find('\0') == std::string_view::npos, "a text ends before its NUL");
}

void readEveryView(const Bytes& bytes, const std::uint8_t* data, std::size_t size) {
  volatile unsigned sink = 0;
  const VerPacket ver{bytes};
  checkText(data, size, ver.version());
  checkText(data, size, ver.product());
  const StaPacket sta{bytes};
  checkText(data, size, sta.track());
  sink = sink + sta.flags() + sta.playerCount() + sta.raceLaps() + sta.weather() + sta.wind();
  checkText(data, size, IsmPacket{bytes}.hostName());
  const MsoPacket mso{bytes};
  checkText(data, size, mso.message());
  checkText(data, size, mso.typedText());
  const std::string_view line = mso.message();
  const std::string_view typed = mso.typedText();
  FUZZ_CHECK(typed.empty() || typed.data() + typed.size() == line.data() + line.size(),
             "the typed text is the end of the line");
  const RstPacket rst{bytes};
  checkText(data, size, rst.track());
  sink = sink + rst.nodeCount() + rst.finishNode() + rst.splitNode(1) + rst.splitNode(3);
  const NcnPacket ncn{bytes};
  checkText(data, size, ncn.userName());
  checkText(data, size, ncn.playerName());
  checkText(data, size, CprPacket{bytes}.playerName());
  checkText(data, size, CprPacket{bytes}.plate());
  const NplPacket npl{bytes};
  checkText(data, size, npl.playerName());
  checkText(data, size, npl.plate());
  checkText(data, size, npl.carName());
  checkText(data, size, npl.skinName());
  sink = sink + npl.flags() + npl.isJoinRequest();
  const LapPacket lap{bytes};
  sink = sink + lap.lapTime() + lap.elapsedTime() + lap.lapsDone();
  const SpxPacket spx{bytes};
  sink = sink + spx.splitTime() + spx.split();
  const ResPacket res{bytes};
  checkText(data, size, res.userName());
  checkText(data, size, res.playerName());
  checkText(data, size, res.carName());
  sink = sink + res.totalTime() + res.bestLap() + res.resultNumber() + res.penaltySeconds();
  const ReoPacket reo{bytes};
  FUZZ_CHECK(reo.playerCount() <= ReoPacket::kMaxPlayers, "at most 40 places");
  for (std::size_t place = 0; place <= ReoPacket::kMaxPlayers; ++place) sink = sink + reo.playerId(place);
  sink = sink + TocPacket{bytes}.newConnectionId() + PlayerPacket{bytes}.playerId();

  const MciPacket mci{bytes};
  const std::size_t cars = mci.carCount();
  FUZZ_CHECK(cars <= MciPacket::kMaxCars, "at most 16 cars");
  FUZZ_CHECK(cars <= mci.reportedCount(), "no more cars than NumC");
  FUZZ_CHECK(cars == 0 || size >= 4 + 28 * cars, "every car lies inside the packet");
  for (std::size_t i = 0; i <= cars; ++i) {
    const CompCar car = mci.car(i);
    sink = sink + car.node + car.lap + car.playerId + car.speed + static_cast<unsigned>(car.x);
  }
}

void checkBuilders(FuzzInput& input) {
  const std::string password = input.shortText();
  const IsiPacket isi = buildIsi(input.u16(), password);
  FUZZ_CHECK(recognise(isi.data(), isi.size()) == Type::Isi, "the ISI is an ISI");
  FUZZ_CHECK(isi[27] == 0 && std::memcmp(isi.data() + 28, "Tarnbeck", 9) == 0, "password NUL and IName");
  FUZZ_CHECK(isi[2] == 1 && isi[8] == kVersion, "ReqI 1 and version 9");

  const std::string text = input.bytes(input.byte() * 2u);
  const MtcPacket mtc = buildMtc(input.byte(), text);
  FUZZ_CHECK(recognise(mtc.data(), mtc.size) == Type::Mtc, "an MTC of any text is an MTC");
  FUZZ_CHECK(mtc.bytes[mtc.size - 1] == 0, "the MTC text ends inside the packet");
  const std::size_t copied = text.size() < kMaxMessageLength ? text.size() : kMaxMessageLength;
  FUZZ_CHECK(mtc.size == 8 + (copied + 4) / 4 * 4, "the MTC is as long as its text and NUL, rounded to 4");
  const std::string_view kept = Bytes(mtc.data(), mtc.size).text(8, 128);
  FUZZ_CHECK(kept == std::string_view(text).substr(0, copied).substr(0, kept.size()) &&
                 (kept.size() == copied || text[kept.size()] == '\0'),
             "the MTC carries the text, cut to 127 characters");
  const MslPacket msl = buildMsl(text);
  FUZZ_CHECK(msl[131] == 0 && recognise(msl.data(), msl.size()) == Type::Msl, "the MSL keeps its NUL");

  const std::uint32_t ms = input.u16() | (static_cast<std::uint32_t>(input.u16()) << 16);
  const RaceTime time = raceTimeFromMs(ms);
  FUZZ_CHECK(time.minutes < 60 && time.seconds < 60 && time.hundredths < 100, "a time's parts stay in range");
  if (ms < 256u * 3600000u) {
    const std::uint32_t back =
        ((time.hours * 60u + time.minutes) * 60u + time.seconds) * 1000u + time.hundredths * 10u;
    FUZZ_CHECK(back <= ms && ms - back < 10, "rounded down to the hundredth");
  }
  const RaceLength length = decodeRaceLaps(input.byte());
  FUZZ_CHECK(length.count <= 1000, "at most 1000 laps or 48 hours");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // An exact copy, so reading one byte past the packet is caught.
  const std::vector<std::uint8_t> bytes(data, data + size);
  const std::uint8_t* copy = bytes.empty() ? nullptr : bytes.data();
  FUZZ_CHECK(recognise(copy, size) == expectedType(copy, size), "recognition by header and size rule");
  readEveryView(Bytes(copy, size), copy, size);

  FuzzInput input(data, size);
  checkBuilders(input);
  return 0;
}
