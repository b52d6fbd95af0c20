// The stand-in's race scripts: each packet line lands at the byte offsets the
// simulator uses, faults are named with their line, and the tracker's
// replies read back as the scripts expect them.
#include "race_script.h"
#include "simulator_packets.h"
#include "tracker_replies.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes packetOf(const std::string& line) {
  std::vector<ScriptStep> steps;
  std::string error;
  EXPECT_TRUE(parseRaceScript(line, steps, error)) << error;
  if (steps.size() != 1 || steps[0].kind != ScriptStep::Send) return {};
  return steps[0].packet;
}

std::uint16_t u16At(const Bytes& bytes, std::size_t offset) {
  return static_cast<std::uint16_t>(bytes[offset] | bytes[offset + 1] << 8);
}

std::string textAt(const Bytes& bytes, std::size_t offset, std::size_t width) {
  const char* start = reinterpret_cast<const char*>(bytes.data() + offset);
  return std::string(start, strnlen(start, width));
}

Bytes raceTime(std::uint8_t hours, std::uint8_t minutes, std::uint8_t seconds,
               std::uint8_t hundredths) {
  return {hours, minutes, seconds, hundredths};
}

Bytes slice(const Bytes& bytes, std::size_t offset, std::size_t length) {
  return Bytes(bytes.begin() + static_cast<long>(offset),
               bytes.begin() + static_cast<long>(offset + length));
}

TEST(StandInPacketsTest, NplFillsTheJoinLayout) {
  Bytes npl = packetOf("NPL id=3 user=alice name=\"Alice ^1B\" car=XFG flags=513 start=2 ack=7");
  ASSERT_EQ(npl.size(), 100u);
  EXPECT_EQ(textAt(npl, 0, 4), "NPL");
  EXPECT_EQ(textAt(npl, 4, 24), "alice");
  EXPECT_EQ(textAt(npl, 28, 32), "Alice ^1B");
  EXPECT_EQ(textAt(npl, 60, 32), "XFG");
  EXPECT_EQ(u16At(npl, 92), 513);
  EXPECT_EQ(npl[95], 3);
  EXPECT_EQ(npl[96], 2);
  EXPECT_EQ(u16At(npl, 98), 7);
}

TEST(StandInPacketsTest, TimedPacketsPutTheirTimesWhereTheSimulatorDoes) {
  Bytes split = packetOf("SP id=4 split=2 time=0:31.05 ack=9");
  ASSERT_EQ(split.size(), 12u);
  EXPECT_EQ(slice(split, 0, 4), (Bytes{'S', 'P', '2', 0}));
  EXPECT_EQ(slice(split, 4, 4), raceTime(0, 0, 31, 5));
  EXPECT_EQ(split[9], 4);
  EXPECT_EQ(u16At(split, 10), 9);

  Bytes lap = packetOf("LAP id=5 time=1:02.03 ack=300");
  ASSERT_EQ(lap.size(), 92u);
  EXPECT_EQ(slice(lap, 84, 4), raceTime(0, 1, 2, 3));
  EXPECT_EQ(lap[89], 5);
  EXPECT_EQ(u16At(lap, 90), 300);

  Bytes result = packetOf("RES id=6 total=1:02:03.04 best=1:01.50 lead=2 penalty=4 pits=1 pos=0 ack=11");
  ASSERT_EQ(result.size(), 108u);
  EXPECT_EQ(u16At(result, 84), 2);
  EXPECT_EQ(result[92], 4);
  EXPECT_EQ(result[93], 1);
  EXPECT_EQ(result[95], 6);
  EXPECT_EQ(slice(result, 96, 4), raceTime(1, 2, 3, 4));
  EXPECT_EQ(slice(result, 100, 4), raceTime(0, 1, 1, 50));
  EXPECT_EQ(result[104], 0);
  EXPECT_EQ(u16At(result, 106), 11);
}

TEST(StandInPacketsTest, RaceStateLayouts) {
  Bytes start = packetOf("RST laps=5 qual=0 track=BL1 weather=2 wind=1 ack=3");
  ASSERT_EQ(start.size(), 20u);
  EXPECT_EQ(start[4], 5);
  EXPECT_EQ(start[5], 0);
  EXPECT_EQ(textAt(start, 8, 6), "BL1");
  EXPECT_EQ(start[14], 2);
  EXPECT_EQ(start[15], 1);
  EXPECT_EQ(u16At(start, 18), 3);

  Bytes state = packetOf("STA finished=2 qual=20 laps=0 track=AS5R weather=3 wind=2");
  ASSERT_EQ(state.size(), 28u);
  EXPECT_EQ(state[14], 2);
  EXPECT_EQ(state[16], 20);
  EXPECT_EQ(state[17], 0);
  EXPECT_EQ(textAt(state, 20, 6), "AS5R");
  EXPECT_EQ(state[26], 3);
  EXPECT_EQ(state[27], 2);
}

struct AckCase {
  const char* line;
  std::size_t length;
  std::size_t ackAt;
};

void PrintTo(const AckCase& ackCase, std::ostream* out) { *out << ackCase.line; }

class AckWordTest : public testing::TestWithParam<AckCase> {};

TEST_P(AckWordTest, SitsInTheLastTwoBytes) {
  Bytes packet = packetOf(GetParam().line);
  ASSERT_EQ(packet.size(), GetParam().length);
  EXPECT_EQ(u16At(packet, GetParam().ackAt), 0x1234);
  EXPECT_EQ(simulatorAckWord(packet), std::optional<std::uint16_t>(0x1234)) << "what a resend waits for";
}

TEST(StandInPacketsTest, OnlyPacketsWithAnAckWordAwaitAnAck) {
  const struct {
    const char* line;
    std::optional<std::uint16_t> ack;
  } cases[] = {
      {"SP id=1 split=3 time=0:21.00 ack=9", 9}, {"LAP id=1 time=1:00.00 ack=10", 10},
      {"NPL id=1 name=\"A\" ack=11", 11},      {"RES id=1 ack=12", 12},
      {"RST laps=3 track=BL1 ack=0", 0},          {"RTP", std::nullopt},
      {"VTA action=2", std::nullopt},             {"MSO \"!save\"", std::nullopt},
      {"MCI nodes=600 players=1", std::nullopt},  {"STA laps=3", std::nullopt},
      {"ISM host=\"h\"", std::nullopt},         {"VER version=\"0.6B\"", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(simulatorAckWord(packetOf(c.line)), c.ack);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Packets, AckWordTest,
    testing::Values(AckCase{"REN ack=0x1234", 8, 6}, AckCase{"CLR ack=0x1234", 8, 6},
                    AckCase{"CNL ack=0x1234", 56, 54}, AckCase{"NCN ack=0x1234", 60, 58},
                    AckCase{"PLP id=1 ack=0x1234", 60, 58}, AckCase{"PLL id=1 ack=0x1234", 60, 58},
                    AckCase{"REO ack=0x1234", 64, 62}, AckCase{"CPR ack=0x1234", 88, 86}));

TEST(StandInPacketsTest, ChatHostVersionAndVote) {
  Bytes chat = packetOf("MSO \"!save\"");
  ASSERT_EQ(chat.size(), 132u);
  EXPECT_EQ(textAt(chat, 4, 128), "!save");
  EXPECT_EQ(chat[9], 0) << "the text ends with its NUL";

  Bytes host = packetOf("ISM host=\"My Server\"");
  ASSERT_EQ(host.size(), 40u);
  EXPECT_EQ(textAt(host, 8, 32), "My Server");

  Bytes version = packetOf("VER version=0.6B");
  ASSERT_EQ(version.size(), 20u);
  EXPECT_EQ(textAt(version, 4, 8), "0.6B");

  Bytes vote = packetOf("VTA action=-2");
  ASSERT_EQ(vote.size(), 8u);
  EXPECT_EQ(slice(vote, 4, 4), (Bytes{0xFE, 0xFF, 0xFF, 0xFF}));
}

TEST(StandInPacketsTest, CarEntriesCarryElevenBitLapsAndNodes) {
  Bytes cars = packetOf(
      "MCI nodes=600 finish=20 players=2 car(id=3 lap=259 node=5 speed=9000) car(id=4 lap=1 node=8191)");
  ASSERT_EQ(cars.size(), 204u);
  EXPECT_EQ(u16At(cars, 4), 600);
  EXPECT_EQ(u16At(cars, 6), 20);
  EXPECT_EQ(cars[8], 2);
  EXPECT_EQ(u16At(cars, 12), 0x2005);
  EXPECT_EQ(cars[14], 0x03);
  EXPECT_EQ(cars[15], 3);
  EXPECT_EQ(u16At(cars, 28), 9000);
  EXPECT_EQ(u16At(cars, 36), 8191);
  EXPECT_EQ(cars[38], 1);
  EXPECT_EQ(cars[39], 4);
  EXPECT_EQ(cars[12 + 2 * 24 + 2], 0) << "the list ends with an entry whose lap byte is 0";
}

TEST(StandInScriptTest, PausesExpectationsAndComments) {
  std::vector<ScriptStep> steps;
  std::string error;
  ASSERT_TRUE(parseRaceScript("# a race\n\nwait 250ms\nwait 1.5s\r\n"
                              "RTP   # traffic only\n"
                              "expect MST \"/echo ^2race stats were saved!\" within=20s poke=500ms\n"
                              "expect ACK 7\n",
                              steps, error))
      << error;
  ASSERT_EQ(steps.size(), 5u);
  EXPECT_EQ(steps[0].kind, ScriptStep::Wait);
  EXPECT_EQ(steps[0].duration.count(), 250);
  EXPECT_EQ(steps[1].duration.count(), 1500);
  EXPECT_EQ(steps[2].kind, ScriptStep::Send);
  EXPECT_EQ(steps[2].source, "RTP");
  EXPECT_EQ(steps[2].line, 5);
  EXPECT_EQ(steps[3].kind, ScriptStep::Expect);
  EXPECT_EQ(steps[3].expected, "MST \"/echo ^2race stats were saved!\"");
  EXPECT_EQ(steps[3].duration.count(), 20000);
  EXPECT_EQ(steps[3].poke.count(), 500);
  EXPECT_EQ(steps[4].expected, "ACK 7");
  EXPECT_EQ(steps[4].duration.count(), 10000);
  EXPECT_EQ(steps[4].poke.count(), 0);
}

struct FaultCase {
  const char* script;
  const char* message;
};

void PrintTo(const FaultCase& faultCase, std::ostream* out) { *out << faultCase.script; }

class ScriptFaultTest : public testing::TestWithParam<FaultCase> {};

TEST_P(ScriptFaultTest, NamesTheLineAndTheFault) {
  std::vector<ScriptStep> steps;
  std::string error;
  EXPECT_FALSE(parseRaceScript(GetParam().script, steps, error));
  EXPECT_NE(error.find(GetParam().message), std::string::npos) << error;
}

INSTANTIATE_TEST_SUITE_P(
    Faults, ScriptFaultTest,
    testing::Values(
        FaultCase{"RTP\nNPL id=1 colour=red", "line 2: NPL has no field 'colour'"},
        FaultCase{"SP id=256", "line 1: bad value '256' for id"},
        FaultCase{"LAP time=1:02.3", "bad value '1:02.3' for time"},
        FaultCase{"LAP time=1:60:02:03:04", "bad value"},
        FaultCase{"RST track=TOOLONG1", "track holds at most 6 characters"},
        FaultCase{"MSO \"!save", "unterminated quoted text"},
        FaultCase{"MCI car(id=1 lap=1", "not closed"},
        FaultCase{"MCI car(id=1 gear=3)", "car(...) has no field 'gear'"},
        FaultCase{"MCI car(id=1) car(id=2) car(id=3) car(id=4) car(id=5) car(id=6) car(id=7) "
                  "car(id=8) car(id=9)",
                  "at most 8 cars"},
        FaultCase{"LAP car(id=1)", "LAP takes no car(...) group"},
        FaultCase{"XYZ id=1", "unknown command 'XYZ'"},
        FaultCase{"wait", "wait needs one duration"},
        FaultCase{"wait 5 minutes", "wait needs one duration"},
        FaultCase{"expect", "expect needs a reply"},
        FaultCase{"expect within=2s ACK 7", "expect needs a reply before its options"},
        FaultCase{"expect ACK 7 within=soon", "bad duration 'soon'"},
        FaultCase{"NPL 7", "unexpected value '7'"}));

TEST(StandInRepliesTest, RequestsChatAndIsiReadAsScriptsExpectThem) {
  const std::uint8_t ack[] = {'A', 'C', 'K', 0, 7, 0, 0, 0};
  EXPECT_EQ(describeReply(ack, sizeof ack), "ACK 7");
  const std::uint8_t nli[] = {'N', 'L', 'I', 0, 0x5E, 0x01, 0, 0};
  EXPECT_EQ(describeReply(nli, sizeof nli), "NLI 350");

  std::uint8_t mst[68] = {'M', 'S', 'T', 0};
  std::strcpy(reinterpret_cast<char*>(mst + 4), "/echo say \"hi\" \\o/");
  EXPECT_EQ(describeReply(mst, sizeof mst), "MST \"/echo say \\\"hi\\\" \\\\o/\"");

  std::uint8_t isi[24] = {'I', 'S', 'I', 0, 0xA2, 0x8B, 0x23, 1};
  std::strcpy(reinterpret_cast<char*>(isi + 8), "secret");
  EXPECT_EQ(describeReply(isi, sizeof isi), "ISI port=35746 flags=0x23 byte7=1 password=\"secret\"");
  EXPECT_EQ(isiClientPort(isi, sizeof isi), std::optional<std::uint16_t>(35746));
  EXPECT_EQ(isiClientPort(ack, sizeof ack), std::nullopt);

  const std::uint8_t odd[] = {'A', 'C', 'K', 0, 1, 0, 0};
  EXPECT_EQ(describeReply(odd, sizeof odd), "unknown 7-byte datagram: 41 43 4b 00 01 00 00");
}

}  // namespace
