// The InSim link thread against a simulator stand-in made of the program's
// own sockets on 127.0.0.1: one ISI and one GTH per thread, at most one
// thread, the loop ends soon after SimulatorRunning is cleared, the client
// port is free again afterwards, and a new thread introduces itself anew.
#include "link/link_thread.h"

#include "config/settings.h"
#include "config/shared_state.h"
#include "net/socket_library.h"
#include "support/net_test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

std::string isiBytes(std::uint16_t clientPort, const std::string& password) {
  std::string isi("ISI\0", 4);
  isi += static_cast<char>(clientPort & 0xFF);
  isi += static_cast<char>(clientPort >> 8);
  isi += '\x23';
  isi += '\x01';
  isi += password;
  isi.resize(24, '\0');
  return isi;
}

const std::string gthBytes("GTH\0\0\0\0\0", 8);

bool waitFor(const std::function<bool()>& done, milliseconds limit) {
  Clock::time_point deadline = Clock::now() + limit;
  while (!done()) {
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(milliseconds(10));
  }
  return true;
}

class LinkThreadTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(library.started());
    simulator = bindOnFreePort<RecordingSocket>(simulatorHandler, simulatorPort);
    ASSERT_NE(simulator, nullptr);
    simulatorHandler.Add(simulator.get());
    {
      SocketHandler scratch;
      auto probe = bindOnFreePort<UdpSocket>(scratch, clientPort);
      ASSERT_NE(clientPort, 0);
    }
    Settings settings;
    settings.serverip = "127.0.0.1";
    settings.serverport = simulatorPort;
    settings.clientport = clientPort;
    settings.adminpw = "secret";
    replaceSettings(settings);
  }

  void TearDown() override {
    setSimulatorRunning(false);
    waitForNetworkThread();
    simulator.reset();
  }

  // Runs the stand-in's loop until it has received count datagrams.
  bool receivedAtLeast(std::size_t count, milliseconds limit = milliseconds(3000)) {
    return selectUntil(
        simulatorHandler, [&] { return simulator->received.size() >= count; }, limit);
  }

  bool clientPortIsFree() {
    SocketHandler scratch;
    UdpSocket probe(scratch);
    return probe.Bind(clientPort) == 0;
  }

  SocketLibrary library;
  SocketHandler simulatorHandler;
  std::unique_ptr<RecordingSocket> simulator;
  std::uint16_t simulatorPort = 0;
  std::uint16_t clientPort = 0;
};

TEST_F(LinkThreadTest, NothingStartsWhileTheSimulatorIsNotRunning) {
  setSimulatorRunning(false);
  startNetworkThreadIfNeeded();
  EXPECT_FALSE(networkThreadRunning());
  EXPECT_FALSE(receivedAtLeast(1, milliseconds(300)));
  EXPECT_TRUE(clientPortIsFree());
}

TEST_F(LinkThreadTest, IntroducesItselfOnceAndRunsOneThreadOnly) {
  setSimulatorRunning(true);
  startNetworkThreadIfNeeded();
  EXPECT_TRUE(networkThreadRunning());
  ASSERT_TRUE(receivedAtLeast(2));
  EXPECT_EQ(simulator->received[0].bytes, isiBytes(clientPort, "secret"));
  EXPECT_EQ(simulator->received[1].bytes, gthBytes);

  // Further ticks while the thread runs start nothing.
  startNetworkThreadIfNeeded();
  startNetworkThreadIfNeeded();
  EXPECT_FALSE(receivedAtLeast(3, milliseconds(500)));
  EXPECT_FALSE(clientPortIsFree());
}

TEST_F(LinkThreadTest, DatagramsAreProcessedInTheLoop) {
  setSimulatorRunning(true);
  startNetworkThreadIfNeeded();
  ASSERT_TRUE(receivedAtLeast(2));
  PlainPeer peer;
  ASSERT_TRUE(peer.valid());
  ASSERT_NE(peer.bindFree(loopbackAddress()), 0);
  ASSERT_TRUE(peer.connect(loopbackAddress(), clientPort));
  // The first datagram a new link receives asks for car information.
  ASSERT_TRUE(peer.send(std::string("RTP\0\0\0\0\0", 8)));
  ASSERT_TRUE(receivedAtLeast(3));
  EXPECT_EQ(simulator->received[2].bytes, std::string("NLI\0\x5E\x01\0\0", 8));
}

TEST_F(LinkThreadTest, ClearingTheFlagEndsTheThreadWithinASecondAndFreesThePort) {
  setSimulatorRunning(true);
  startNetworkThreadIfNeeded();
  ASSERT_TRUE(receivedAtLeast(2));
  // Past the 3-second first wait, in the one-second loop.
  std::this_thread::sleep_for(milliseconds(3300));
  setSimulatorRunning(false);
  Clock::time_point cleared = Clock::now();
  ASSERT_TRUE(waitFor([] { return !networkThreadRunning(); }, milliseconds(3000)));
  EXPECT_LT(Clock::now() - cleared, milliseconds(1500));
  waitForNetworkThread();
  EXPECT_TRUE(clientPortIsFree());

  // The simulator comes back: a fresh thread binds the port and sends a new ISI.
  setSimulatorRunning(true);
  startNetworkThreadIfNeeded();
  EXPECT_TRUE(networkThreadRunning());
  ASSERT_TRUE(receivedAtLeast(4));
  EXPECT_EQ(simulator->received[2].bytes, isiBytes(clientPort, "secret"));
  EXPECT_EQ(simulator->received[3].bytes, gthBytes);
  EXPECT_FALSE(clientPortIsFree());
}

TEST_F(LinkThreadTest, StoppingDuringTheFirstWaitEndsAfterIt) {
  setSimulatorRunning(true);
  startNetworkThreadIfNeeded();
  ASSERT_TRUE(receivedAtLeast(2));
  setSimulatorRunning(false);
  Clock::time_point cleared = Clock::now();
  waitForNetworkThread();
  EXPECT_LT(Clock::now() - cleared, milliseconds(4000));
  EXPECT_FALSE(networkThreadRunning());
  EXPECT_TRUE(clientPortIsFree());
}

}  // namespace
