// A flood of garbage datagrams of every length, from the simulator's own
// address, into a real bound read socket polled by its handler: none is
// answered, the race in memory stays as it was, nothing counts as traffic,
// and the heap stays flat however many arrive.
#include "support/heap_counter.h"
#include "support/tracker_fixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

using ::testing::IsEmpty;

// Counts what the handler delivers, then lets the tracker handle it.
class CountingTracker : public lfsReadSocket {
 public:
  using lfsReadSocket::lfsReadSocket;
  void OnDatagram(const char* buffer, int length, const SocketAddress& sender,
                  int senderAddressLength) override {
    ++delivered;
    lfsReadSocket::OnDatagram(buffer, length, sender, senderAddressLength);
  }
  std::size_t delivered = 0;
};

// Everything the race model holds, to tell whether anything changed.
std::string describe(const RaceStats& race) {
  std::ostringstream out;
  if (race.info)
    out << race.info->track << '/' << unsigned{race.info->laps} << '/' << race.info->host << '\n';
  out << unsigned{race.finishedCount} << '\n';
  for (const PositionEntry& row : race.positions)
    out << unsigned{row.playerId} << ',' << row.node << ',' << row.lap << ' ';
  for (const PlayerStats& player : race.players) {
    out << '\n'
        << player.id << ' ' << player.name << ' ' << player.carName << ' ' << player.bestSpeed << ' '
        << player.firstLap << ' ' << player.laps.size();
    for (const LapRecord& lap : player.laps)
      out << " lap " << unsigned{lap.time.seconds} << ':' << lap.splits.size();
  }
  return out.str();
}

// Garbage of one length: random bytes whose first is a letter no packet ID
// starts with, so that not even a datagram of a packet's length is one.
std::string garbage(std::size_t length, std::mt19937& random) {
  std::string bytes(length, '\0');
  for (char& c : bytes) c = static_cast<char>(random());
  if (length > 0) bytes[0] = 'Z';
  return bytes;
}

class GarbageFlood : public TrackerTest {
 protected:
  void SetUp() override {
    TrackerTest::SetUp();
    std::uint16_t port = 0;
    std::unique_ptr<CountingTracker> bound = bindOnFreePort<CountingTracker>(handler, port);
    ASSERT_NE(bound, nullptr);
    ASSERT_TRUE(bound->OpenServerLink("127.0.0.1", simulatorPort));
    counting = bound.get();
    tracker = std::move(bound);
    handler.Add(tracker.get());
    ASSERT_NE(flooder.bindFree(loopbackAddress()), 0);
    ASSERT_TRUE(flooder.connect(loopbackAddress(), port));
  }

  // Sends the datagrams in bursts the receive queue holds, letting the
  // handler take each burst before the next. An empty datagram is read but
  // reaches no one: there is nothing in it.
  void flood(const std::vector<std::string>& datagrams) {
    constexpr std::size_t kBurst = 40;
    for (std::size_t sent = 0; sent < datagrams.size();) {
      std::size_t target = counting->delivered;
      for (std::size_t i = 0; i < kBurst && sent < datagrams.size(); ++i) {
        if (!datagrams[sent].empty()) ++target;
        ASSERT_TRUE(flooder.send(datagrams[sent++]));
      }
      ASSERT_TRUE(selectUntil(handler, [&] { return counting->delivered >= target; }))
          << counting->delivered << " of " << target << " delivered";
    }
  }

  CountingTracker* counting = nullptr;
  PlainPeer flooder;
};

TEST_F(GarbageFlood, NoReplyNoChangeNoTrafficAndAFlatHeap) {
  startSession(5, 0);
  join(3, "Ann");
  join(7, "Bob", 1);
  feed(splitPacket(3, raceTime(0, 0, 31, 0), 4));
  feed(mciPacket(500, 0, 2, {{3, 1, 100, 120}, {7, 1, 90, 110}}));
  replies();
  const std::string before = describe(race());

  // Every length from nothing to well past the largest packet, a few large
  // ones up to the receive buffer's size, and all of it several times over.
  std::mt19937 random(20061121);
  std::vector<std::string> datagrams;
  for (int round = 0; round < 4; ++round) {
    for (std::size_t length = 0; length <= 1100; ++length) datagrams.push_back(garbage(length, random));
    for (std::size_t length : {2048, 4096, 8191, 16383, 16384}) datagrams.push_back(garbage(length, random));
  }
  // One round first: whatever the loop sets up once is set up.
  const std::vector<std::string> warmUp(datagrams.begin(), datagrams.begin() + 200);
  ASSERT_NO_FATAL_FAILURE(flood(warmUp));

  tracker->idleRounds = 9;
  const std::size_t deliveredBefore = counting->delivered;
  resetHeapPeak();
  const HeapCounts heapBefore = heapCounts();
  ASSERT_NO_FATAL_FAILURE(flood(datagrams));
  const HeapCounts heapAfter = heapCounts();

  ASSERT_GT(heapAfter.allocations, 0u) << "the counting operator new is not in use";
  EXPECT_EQ(counting->delivered - deliveredBefore, datagrams.size() - 4) << "all but the empty ones";
  EXPECT_EQ(heapAfter.liveBytes, heapBefore.liveBytes) << "the flood left memory behind";
  // The handler's own bookkeeping may come and go; nothing may pile up per datagram.
  EXPECT_LT(heapAfter.peakBytes - heapBefore.liveBytes, 4096u) << "memory grew during the flood";
  EXPECT_LT(heapAfter.allocations - heapBefore.allocations, datagrams.size() / 100)
      << "allocations per datagram";

  EXPECT_THAT(replies(), IsEmpty());
  EXPECT_EQ(describe(race()), before);
  EXPECT_EQ(tracker->idleRounds, 9);
  EXPECT_EQ(tracker->linkState(), LinkState::Linked);
  EXPECT_THAT(savedFiles(), IsEmpty());

  // The link still works after it.
  feed(clrPacket(12));
  EXPECT_THAT(replies(), ::testing::ElementsAre(requestReply("ACK", 12)));
}

}  // namespace
