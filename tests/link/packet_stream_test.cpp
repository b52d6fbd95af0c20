// The TCP stream cutter: the same packets whatever the reads' boundaries,
// faults for streams that cannot be packets, and no growth while it runs.
#include "link/packet_stream.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Packets = std::vector<std::string>;

// A packet of `units` * 4 bytes of this type whose body counts up from `seed`.
std::string packetOf(std::uint8_t units, std::uint8_t type, std::uint8_t seed) {
  std::string bytes(static_cast<std::size_t>(units) * 4, '\0');
  bytes[0] = static_cast<char>(units);
  bytes[1] = static_cast<char>(type);
  for (std::size_t i = 2; i < bytes.size(); ++i) bytes[i] = static_cast<char>(seed + i);
  return bytes;
}

// A race's worth of traffic: keep-alive, version, cars, a lap, the longest
// packet the Size byte allows.
const Packets& sampleStream() {
  static const Packets packets = {
      packetOf(1, 3, 0), packetOf(5, 2, 1),    packetOf(15, 38, 2), packetOf(5, 24, 3),   packetOf(4, 25, 4),
      packetOf(1, 3, 5), packetOf(255, 38, 6), packetOf(2, 4, 7),   packetOf(113, 38, 8), packetOf(1, 22, 9),
  };
  return packets;
}

std::string joined(const Packets& packets) {
  std::string stream;
  for (const std::string& packet : packets) stream += packet;
  return stream;
}

// Feeds the stream in pieces of the given lengths (the last one repeated).
Packets cut(PacketStream& cutter, const std::string& stream, const std::vector<std::size_t>& pieces,
            bool* ok = nullptr) {
  Packets out;
  std::size_t at = 0;
  std::size_t piece = 0;
  bool fine = true;
  while (at < stream.size()) {
    const std::size_t length = std::min(pieces[std::min(piece, pieces.size() - 1)], stream.size() - at);
    ++piece;
    fine = cutter.feed(stream.data() + at, length, [&](const std::uint8_t* bytes, std::size_t size) {
      out.emplace_back(reinterpret_cast<const char*>(bytes), size);
    }) && fine;
    at += length;
  }
  if (ok) *ok = fine;
  return out;
}

TEST(PacketStream, ThePacketsComeOutWhateverTheReadBoundaries) {
  const std::string stream = joined(sampleStream());
  struct Case {
    const char* name;
    std::vector<std::size_t> pieces;
  };
  const Case cases[] = {
      {"all at once", {stream.size()}},
      {"one byte at a time", {1}},
      {"two bytes", {2}},
      {"three bytes", {3}},
      {"header split", {2, 1, 1, 5}},
      {"odd sizes", {7, 13, 1, 1021, 3}},
      {"one packet less a byte", {3, 19, 59}},
      {"longest packet plus one", {1021}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PacketStream cutter;
    bool ok = false;
    EXPECT_EQ(cut(cutter, stream, c.pieces, &ok), sampleStream());
    EXPECT_TRUE(ok);
    EXPECT_EQ(cutter.pending(), 0u);
  }
}

TEST(PacketStream, AWholePacketInOneReadIsHandedOverWhereItLies) {
  const std::string stream = joined({packetOf(1, 3, 0), packetOf(5, 24, 1)});
  PacketStream cutter;
  std::vector<const std::uint8_t*> where;
  cutter.feed(stream.data(), stream.size(),
              [&](const std::uint8_t* bytes, std::size_t) { where.push_back(bytes); });
  ASSERT_EQ(where.size(), 2u);
  EXPECT_EQ(where[0], reinterpret_cast<const std::uint8_t*>(stream.data()));
  EXPECT_EQ(where[1], reinterpret_cast<const std::uint8_t*>(stream.data()) + 4);
}

TEST(PacketStream, AnIncompletePacketWaitsForTheRest) {
  const std::string lap = packetOf(5, 24, 1);
  PacketStream cutter;
  Packets out;
  auto keep = [&](const std::uint8_t* bytes, std::size_t size) {
    out.emplace_back(reinterpret_cast<const char*>(bytes), size);
  };
  EXPECT_TRUE(cutter.feed(lap.data(), 19, keep));
  EXPECT_TRUE(out.empty());
  EXPECT_EQ(cutter.pending(), 19u);
  EXPECT_TRUE(cutter.feed(nullptr, 0, keep));
  EXPECT_TRUE(cutter.feed(lap.data() + 19, 1, keep));
  EXPECT_EQ(out, Packets{lap});
  EXPECT_EQ(cutter.pending(), 0u);
}

TEST(PacketStream, StreamsThatCannotBePacketsAreFaults) {
  struct Case {
    const char* name;
    std::string stream;
    std::vector<std::size_t> pieces;
    std::size_t packetsBefore;
    PacketStream::Fault fault;
  };
  const std::string good = packetOf(1, 3, 0);
  const Case cases[] = {
      {"size 0 first", std::string("\0\3\0\0", 4), {4}, 0, PacketStream::Fault::ZeroSize},
      {"size 0 alone", std::string(1, '\0'), {1}, 0, PacketStream::Fault::ZeroSize},
      {"size 0 after a packet",
       good + std::string("\0\3\0\0", 4) + good,
       {100},
       1,
       PacketStream::Fault::ZeroSize},
      {"size 0 after a packet, bytewise",
       good + std::string("\0\3\0\0", 4) + good,
       {1},
       1,
       PacketStream::Fault::ZeroSize},
      {"type 0", good + std::string("\1\0\0\0", 4), {100}, 1, PacketStream::Fault::NoType},
      {"type 0 split", good + std::string("\2\0\0\0\0\0\0\0", 8), {5, 1}, 1, PacketStream::Fault::NoType},
      {"zeros", std::string(64, '\0'), {7}, 0, PacketStream::Fault::ZeroSize},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PacketStream cutter;
    bool ok = true;
    const Packets out = cut(cutter, c.stream, c.pieces, &ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(out.size(), c.packetsBefore);
    EXPECT_EQ(cutter.fault(), c.fault);
    EXPECT_STRNE(cutter.faultText(), "");
    // Nothing more is cut until the stream is reset.
    EXPECT_FALSE(cutter.feed(good.data(), good.size(), [](const std::uint8_t*, std::size_t) {
      ADD_FAILURE() << "a packet after the fault";
    }));
    cutter.reset();
    EXPECT_EQ(cut(cutter, good, {4}), Packets{good});
    EXPECT_STREQ(cutter.faultText(), "");
  }
}

TEST(PacketStream, ResetDropsAHalfPacket) {
  const std::string lap = packetOf(5, 24, 1);
  PacketStream cutter;
  cut(cutter, lap.substr(0, 9), {9});
  ASSERT_EQ(cutter.pending(), 9u);
  cutter.reset();
  EXPECT_EQ(cutter.pending(), 0u);
  EXPECT_EQ(cut(cutter, lap, {3}), Packets{lap});
}

}  // namespace
