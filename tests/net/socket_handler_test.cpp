// SocketHandler on loopback: the bounded read per pass, waiting and waking,
// dispatch order, the 64-socket limit, and closing and deleting sockets
// (after an exception, on request, at the handler's end) exactly once.
#include "error_in_exception_set.h"
#include "support/heap_counter.h"
#include "support/net_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

milliseconds since(Clock::time_point start) {
  return std::chrono::duration_cast<milliseconds>(Clock::now() - start);
}

class SocketHandlerTest : public ::testing::Test {
 protected:
  // Declared first, so they outlive the handler and every socket.
  ReportRecorder log;
  int destroyed = 0;  // sockets counted by the tests that went
  std::unique_ptr<SocketHandler> handler = std::make_unique<SocketHandler>();

  void SetUp() override { handler->SetLogSink(&log); }

  // A socket of type T bound to a free port, owned by the handler when asked
  // and counted in `destroyed` when it goes; not yet given to the handler.
  template <typename T = RecordingSocket>
  T* bound(std::uint16_t& port, bool owned, int* destroyed) {
    std::uint16_t candidate = firstCandidatePort();
    for (int attempt = 0; attempt < 200; ++attempt, ++candidate) {
      auto socket = std::make_unique<T>(*handler);
      if (socket->Bind(candidate) != 0) continue;
      port = candidate;
      socket->countDestructionIn(destroyed);
      socket->SetDeleteByHandler(owned);
      return socket.release();
    }
    return nullptr;
  }

  // The same, given to the handler.
  RecordingSocket* added(std::uint16_t& port, bool owned, int* destroyed) {
    RecordingSocket* socket = bound(port, owned, destroyed);
    if (socket) handler->Add(socket);
    return socket;
  }

  // True when a fresh socket can bind the port (nothing holds it any more).
  bool portIsFree(std::uint16_t port) {
    SocketHandler other;
    UdpSocket probe(other);
    return probe.Bind(port) == 0;
  }
};

TEST_F(SocketHandlerTest, TwelveWaitingDatagramsTakeTwoPasses) {
  std::uint16_t port = 0;
  RecordingSocket* receiver = added(port, true, &destroyed);
  ASSERT_TRUE(receiver);
  PlainPeer peer;
  ASSERT_TRUE(peer.connect(loopbackAddress(), port));
  for (int i = 0; i < 12; ++i) ASSERT_TRUE(peer.send("datagram " + std::to_string(i)));

  selectOnce(*handler, 1, 0);
  ASSERT_EQ(receiver->received.size(), 11u);
  for (int i = 0; i < 11; ++i) EXPECT_EQ(receiver->received[i].bytes, "datagram " + std::to_string(i));

  selectOnce(*handler, 1, 0);
  ASSERT_EQ(receiver->received.size(), 12u);
  EXPECT_EQ(receiver->received[11].bytes, "datagram 11");
}

TEST_F(SocketHandlerTest, QuietSelectWaitsItsTimeOutAndReturnsZero) {
  std::uint16_t port = 0;
  RecordingSocket* receiver = added(port, true, nullptr);
  ASSERT_TRUE(receiver);
  struct Wait {
    long seconds;
    long microseconds;
    milliseconds expected;
  };
  const Wait waits[] = {{1, 0, milliseconds(1000)}, {0, 300000, milliseconds(300)}};
  for (const Wait& wait : waits) {
    SCOPED_TRACE(wait.expected.count());
    auto start = Clock::now();
    EXPECT_EQ(selectOnce(*handler, wait.seconds, wait.microseconds), 0);
    milliseconds elapsed = since(start);
    EXPECT_GE(elapsed, wait.expected - milliseconds(30));
    EXPECT_LT(elapsed, wait.expected + milliseconds(700));
  }
  EXPECT_TRUE(receiver->received.empty());
  EXPECT_EQ(handler->SocketCount(), 1u);
}

TEST_F(SocketHandlerTest, DatagramDuringTheWaitEndsItAfterDelivery) {
  std::uint16_t port = 0;
  RecordingSocket* receiver = added(port, true, nullptr);
  ASSERT_TRUE(receiver);
  selectOnce(*handler, 0, 0);
  PlainPeer peer;
  ASSERT_TRUE(peer.connect(loopbackAddress(), port));

  std::thread late([&peer] {
    std::this_thread::sleep_for(milliseconds(300));
    peer.send("wake up");
  });
  auto start = Clock::now();
  int result = selectOnce(*handler, 5, 0);
  milliseconds elapsed = since(start);
  late.join();

  EXPECT_EQ(result, 0);
  ASSERT_EQ(receiver->received.size(), 1u);
  EXPECT_EQ(receiver->received[0].bytes, "wake up");
  EXPECT_GE(elapsed, milliseconds(250));
  EXPECT_LT(elapsed, milliseconds(2500));
}

// Counts datagrams without keeping them, so receiving allocates nothing.
class CountingSocket : public RecordingSocket {
 public:
  using RecordingSocket::RecordingSocket;
  void OnDatagram(const char*, int length, const SocketAddress&, int) override {
    ++datagrams;
    bytes += length;
  }
  int datagrams = 0;
  long bytes = 0;
};

TEST_F(SocketHandlerTest, SteadyPassesAllocateNothing) {
  std::uint16_t port = 0;
  CountingSocket* receiver = bound<CountingSocket>(port, true, nullptr);
  ASSERT_TRUE(receiver);
  handler->Add(receiver);
  PlainPeer peer;
  ASSERT_TRUE(peer.connect(loopbackAddress(), port));
  const std::string datagram(300, 'm');
  ASSERT_TRUE(peer.send(datagram));
  selectOnce(*handler, 1, 0);  // takes the socket in: the loop's lists grow once
  ASSERT_EQ(receiver->datagrams, 1);

  for (int i = 0; i < 5; ++i) ASSERT_TRUE(peer.send(datagram));
  const std::uint64_t before = heapCounts().allocations;
  selectOnce(*handler, 1, 0);
  selectOnce(*handler, 0, 0);
  const std::uint64_t allocations = heapCounts().allocations - before;
  EXPECT_EQ(receiver->datagrams, 6);
  EXPECT_EQ(allocations, 0u);
}

// Makes the descriptor raise the exception condition on a pending error.
class ErrorWatchingSocket : public RecordingSocket {
 public:
  using RecordingSocket::RecordingSocket;
  void OnOptions(int, int, int, SocketDescriptor descriptor) override {
    switchedOn = showErrorsInExceptionSet(descriptor);
  }
  void OnException() override {
    ++exceptions;
    RecordingSocket::OnException();
  }
  bool switchedOn = false;
  int exceptions = 0;
};

TEST_F(SocketHandlerTest, ExceptionClosesAndDeletesAnOwnedSocketWithinOneSelect) {
  // A port nobody listens on: sending there earns an ICMP error.
  std::uint16_t closedPort = 0;
  {
    PlainPeer gone;
    closedPort = gone.bindFree(loopbackAddress());
  }
  ASSERT_NE(closedPort, 0);
  auto* socket = new ErrorWatchingSocket(*handler, &destroyed);
  socket->SetDeleteByHandler();
  ASSERT_TRUE(socket->Open(loopbackAddress(), closedPort));
  if (!socket->switchedOn) {
    delete socket;
    GTEST_SKIP() << "datagram sockets never raise the exception condition on this platform";
  }
  handler->Add(socket);
  selectOnce(*handler, 0, 0);
  socket->Send("anyone?", 0);

  selectOnce(*handler, 2, 0);
  EXPECT_EQ(destroyed, 1);
  EXPECT_EQ(handler->SocketCount(), 0u);
  EXPECT_EQ(log.withContext("exception on select").size(), 1u);
  selectOnce(*handler, 0, 0);
  EXPECT_EQ(destroyed, 1);
}

// Handles a datagram "fault" as the handler's exception path would: through
// the socket's own OnException, in the middle of a real dispatch.
class FaultingSocket : public RecordingSocket {
 public:
  using RecordingSocket::RecordingSocket;
  void OnDatagram(const char* buffer, int length, const SocketAddress& sender,
                  int senderAddressLength) override {
    RecordingSocket::OnDatagram(buffer, length, sender, senderAddressLength);
    if (std::string(buffer, static_cast<std::size_t>(length)) == "fault") OnException();
  }
  void OnDelete() override { ++deleteNotices; }
  int deleteNotices = 0;
};

TEST_F(SocketHandlerTest, SocketThatReportsAnExceptionIsClosedInTheSamePass) {
  for (bool owned : {true, false}) {
    SCOPED_TRACE(owned ? "owned" : "not owned");
    log.reports.clear();
    destroyed = 0;
    std::uint16_t port = 0;
    FaultingSocket* watched = bound<FaultingSocket>(port, owned, &destroyed);
    ASSERT_TRUE(watched);
    std::unique_ptr<FaultingSocket> keeper(owned ? nullptr : watched);
    handler->Add(watched);
    PlainPeer peer;
    ASSERT_TRUE(peer.connect(loopbackAddress(), port));
    ASSERT_TRUE(peer.send("fault"));

    selectOnce(*handler, 2, 0);
    EXPECT_EQ(handler->SocketCount(), 0u);
    EXPECT_EQ(log.withContext("exception on select").size(), 1u);
    EXPECT_TRUE(portIsFree(port));
    if (owned) {
      EXPECT_EQ(destroyed, 1);
    } else {
      EXPECT_EQ(destroyed, 0);
      EXPECT_EQ(watched->GetSocket(), kInvalidSocketDescriptor);
      EXPECT_EQ(watched->deleteNotices, 1);
      EXPECT_EQ(watched->received.size(), 1u);
    }
    selectOnce(*handler, 0, 0);
    EXPECT_EQ(destroyed, owned ? 1 : 0);
  }
}

TEST_F(SocketHandlerTest, DestroyingTheHandlerDeletesItsOwnedSocketOnce) {
  for (bool polled : {true, false}) {
    SCOPED_TRACE(polled ? "polled" : "still queued");
    handler = std::make_unique<SocketHandler>();
    handler->SetLogSink(&log);
    log.reports.clear();
    destroyed = 0;
    std::uint16_t port = 0;
    ASSERT_TRUE(added(port, true, &destroyed));
    if (polled) selectOnce(*handler, 0, 0);

    handler.reset();
    EXPECT_EQ(destroyed, 1);
    EXPECT_TRUE(log.withContext("Remove").empty());
    EXPECT_TRUE(portIsFree(port));
  }
}

TEST_F(SocketHandlerTest, SocketsAreServedInTheOrderTheyEnteredTheLoop) {
  std::uint16_t portLow = 0, portHigh = 0;
  RecordingSocket* low = bound(portLow, true, nullptr);
  RecordingSocket* high = bound(portHigh, true, nullptr);
  ASSERT_TRUE(low && high);
  if (high->GetSocket() < low->GetSocket()) {
    std::swap(low, high);
    std::swap(portLow, portHigh);
  }
  // The higher descriptor enters first, so entering order and descriptor order disagree.
  handler->Add(high);
  selectOnce(*handler, 0, 0);
  handler->Add(low);
  selectOnce(*handler, 0, 0);

  std::string order;
  low->onDatagram = [&] { order += "low "; };
  high->onDatagram = [&] { order += "high "; };
  PlainPeer toLow, toHigh;
  ASSERT_TRUE(toLow.connect(loopbackAddress(), portLow));
  ASSERT_TRUE(toHigh.connect(loopbackAddress(), portHigh));
  ASSERT_TRUE(toLow.send("x"));
  ASSERT_TRUE(toHigh.send("x"));
  EXPECT_EQ(selectOnce(*handler, 1, 0), 0);
  EXPECT_EQ(order, "high low ");
}

TEST_F(SocketHandlerTest, SixtyFifthSocketWaitsUntilASlotIsFree) {
  std::vector<RecordingSocket*> sockets;
  std::vector<std::uint16_t> ports;
  for (int i = 0; i < 65; ++i) {
    std::uint16_t port = 0;
    RecordingSocket* socket = added(port, true, &destroyed);
    ASSERT_TRUE(socket);
    sockets.push_back(socket);
    ports.push_back(port);
  }
  selectOnce(*handler, 0, 0);
  auto limits = log.withContext("Select");
  ASSERT_EQ(limits.size(), 1u);
  EXPECT_EQ(limits[0].text, "FD_SETSIZE reached");
  EXPECT_EQ(limits[0].error, 64);
  EXPECT_EQ(handler->SocketCount(), 65u);

  // The queue is taken in descriptor order: the highest one waits.
  std::size_t waiting = 0;
  for (std::size_t i = 1; i < sockets.size(); ++i) {
    if (sockets[i]->GetSocket() > sockets[waiting]->GetSocket()) waiting = i;
  }
  PlainPeer peer;
  ASSERT_TRUE(peer.connect(loopbackAddress(), ports[waiting]));
  ASSERT_TRUE(peer.send("let me in"));
  selectOnce(*handler, 0, 200000);
  EXPECT_TRUE(sockets[waiting]->received.empty());

  std::size_t leaving = waiting == 0 ? 1 : 0;
  sockets[leaving]->SetCloseAndDelete();
  selectOnce(*handler, 0, 0);
  EXPECT_EQ(destroyed, 1);
  ASSERT_TRUE(selectUntil(*handler, [&] { return !sockets[waiting]->received.empty(); }));
  EXPECT_EQ(handler->SocketCount(), 64u);
}

TEST_F(SocketHandlerTest, QueuedSocketThatAsksToCloseNeverEntersTheLoop) {
  std::vector<RecordingSocket*> sockets;
  for (int i = 0; i < 65; ++i) {
    std::uint16_t port = 0;
    RecordingSocket* socket = added(port, true, &destroyed);
    ASSERT_TRUE(socket);
    sockets.push_back(socket);
  }
  selectOnce(*handler, 0, 0);
  RecordingSocket* waiting = *std::max_element(
      sockets.begin(), sockets.end(),
      [](RecordingSocket* x, RecordingSocket* y) { return x->GetSocket() < y->GetSocket(); });
  waiting->SetCloseAndDelete();
  selectOnce(*handler, 0, 0);
  EXPECT_EQ(destroyed, 1);
  EXPECT_EQ(handler->SocketCount(), 64u);
  selectOnce(*handler, 0, 0);
  EXPECT_EQ(destroyed, 1);
}

TEST_F(SocketHandlerTest, ClosingOnRequestDeletesOnlyOwnedSockets) {
  for (bool owned : {true, false}) {
    SCOPED_TRACE(owned ? "owned" : "not owned");
    destroyed = 0;
    std::uint16_t port = 0;
    RecordingSocket* socket = added(port, owned, &destroyed);
    ASSERT_TRUE(socket);
    selectOnce(*handler, 0, 0);
    socket->SetCloseAndDelete();
    EXPECT_TRUE(socket->CloseAndDelete());
    selectOnce(*handler, 0, 0);
    EXPECT_EQ(handler->SocketCount(), 0u);
    EXPECT_TRUE(portIsFree(port));
    EXPECT_EQ(destroyed, owned ? 1 : 0);
    if (!owned) {
      EXPECT_EQ(socket->GetSocket(), kInvalidSocketDescriptor);
      delete socket;
      EXPECT_TRUE(log.withContext("Remove").empty());
    }
  }
}

TEST_F(SocketHandlerTest, SameSocketAddedTwiceIsDeletedOnce) {
  // Refused and polled at once; asking to close as well gives it a third way out.
  for (bool askedToClose : {false, true}) {
    SCOPED_TRACE(askedToClose ? "asked to close" : "not asked to close");
    log.reports.clear();
    destroyed = 0;
    std::uint16_t port = 0;
    RecordingSocket* socket = added(port, true, &destroyed);
    ASSERT_TRUE(socket);
    handler->Add(socket);
    auto refused = log.withContext("Add");
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_EQ(refused[0].text, "Attempt to add socket already in add queue");
    if (askedToClose) socket->SetCloseAndDelete();

    selectOnce(*handler, 0, 0);
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(handler->SocketCount(), 0u);
    EXPECT_TRUE(portIsFree(port));
    // Later passes must not reach the deleted socket.
    PlainPeer peer;
    ASSERT_TRUE(peer.connect(loopbackAddress(), port));
    peer.send("anyone?");
    selectOnce(*handler, 0, 100000);
    EXPECT_EQ(destroyed, 1);
  }
}

TEST_F(SocketHandlerTest, SocketWithoutDescriptorIsNotPolled) {
  for (bool markedForClosing : {true, false}) {
    SCOPED_TRACE(markedForClosing ? "marked" : "not marked");
    log.reports.clear();
    destroyed = 0;
    auto* socket = new RecordingSocket(*handler, &destroyed);
    socket->SetDeleteByHandler();
    if (markedForClosing) socket->SetCloseAndDelete();
    handler->Add(socket);
    ASSERT_EQ(log.withContext("Add").size(), 1u);
    EXPECT_EQ(log.withContext("Add")[0].text, "Invalid socket");
    EXPECT_EQ(handler->SocketCount(), markedForClosing ? 1u : 0u);

    selectOnce(*handler, 0, 0);
    EXPECT_EQ(handler->SocketCount(), 0u);
    EXPECT_EQ(destroyed, markedForClosing ? 1 : 0);
    if (!markedForClosing) delete socket;
  }
}

TEST_F(SocketHandlerTest, SocketDeletedByItsOwnerIsForgotten) {
  struct Case {
    const char* where;
    int place;
  };
  const Case cases[] = {{"polled", -1}, {"queued", -2}, {"refused", -3}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.where);
    log.reports.clear();
    std::uint16_t port = 0;
    RecordingSocket* socket = nullptr;
    if (c.place == -3) {
      socket = new RecordingSocket(*handler);
      socket->SetCloseAndDelete();
      handler->Add(socket);
    } else {
      socket = added(port, false, nullptr);
      ASSERT_TRUE(socket);
      if (c.place == -1) selectOnce(*handler, 0, 0);
    }
    EXPECT_EQ(handler->SocketCount(), 1u);
    delete socket;
    auto removes = log.withContext("Remove");
    ASSERT_EQ(removes.size(), 1u);
    EXPECT_EQ(removes[0].error, c.place);
    EXPECT_EQ(removes[0].text, "Socket destructor called while still in use");
    EXPECT_EQ(handler->SocketCount(), 0u);
    selectOnce(*handler, 0, 0);
    EXPECT_EQ(handler->SocketCount(), 0u);
  }
}

}  // namespace
