// A tracker under test: an lfsReadSocket whose write socket is connected to a
// plain socket on 127.0.0.1 standing in for the simulator, with the output
// folder pointed at a scratch folder. Datagrams are fed straight to
// OnDatagram; the replies are read back from the stand-in, in order.
#pragma once

#include "support/net_test_support.h"
#include "link/read_socket.h"
#include "support/simulator_datagrams.h"
#include "support/scratch_folder.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A reply as text: "ACK 7" for a request packet, "MST /echo ..." for a chat
// message, "? <length> bytes" for anything else.
std::string requestReply(std::string_view id, std::uint32_t value);
std::string echoReply(std::string_view text);

Ipv4Address dottedAddress(const char* text);

class TrackerTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // One datagram from the simulator's address (127.0.0.1, its port).
  void feed(const std::string& bytes);
  void feedFrom(Ipv4Address sender, const std::string& bytes, int senderAddressLength = kSocketAddressLength);
  // Everything the tracker sent since the last call, oldest first.
  std::vector<std::string> replies();
  // Brings the link to its linked state (NLI, then the handshake requests of
  // an MCI packet) and forgets those replies.
  void linkUp();
  // Links up and starts a session: RST with these laps and minutes.
  void startSession(std::uint8_t laps, std::uint8_t qualifyMinutes, std::string_view track = "BL1");
  // A player joins with this id and name (acknowledged; replies forgotten).
  void join(std::uint8_t id, const std::string& name, std::uint8_t startOrder = 0);

  // The player record now holding this id / this name; null if none.
  const PlayerStats* player(std::uint8_t id);
  const PlayerStats* playerNamed(const std::string& name);
  const RaceStats& race() { return tracker->stats(); }

  // Paths of the stats files written since the last call.
  std::vector<std::string> savedFiles();

  SocketHandler handler;
  PlainPeer simulator;
  std::uint16_t simulatorPort = 0;
  ScratchFolder output;
  std::unique_ptr<lfsReadSocket> tracker;
};
