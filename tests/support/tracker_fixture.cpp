// The tracker fixture: stand-in simulator socket, reply reading, settings.
#include "support/tracker_fixture.h"

#include "config/settings.h"
#include "config/shared_state.h"

#include <chrono>
#include <cstring>
#include <thread>

namespace {

// Sent by the test through the tracker's own write socket after everything
// else, so that reading up to it collects exactly the tracker's replies.
const std::string kEndMark("END\0mark", 8);

std::string describe(const std::string& bytes) {
  if (bytes.size() == 8 && bytes[3] == '\0') {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(bytes[4 + i]);
    return requestReply(bytes.substr(0, 3), value);
  }
  if (bytes.size() == 68 && bytes.compare(0, 4, std::string("MST\0", 4)) == 0) {
    const std::size_t end = bytes.find('\0', 4);
    return "MST " + bytes.substr(4, end == std::string::npos ? std::string::npos : end - 4);
  }
  return "? " + std::to_string(bytes.size()) + " bytes";
}

}  // namespace

std::string requestReply(std::string_view id, std::uint32_t value) {
  return std::string(id) + " " + std::to_string(value);
}

std::string echoReply(std::string_view text) { return "MST /echo " + std::string(text); }

Ipv4Address dottedAddress(const char* text) {
  Ipv4Address address = 0;
  Socket::ResolveHost(text, address);
  return address;
}

void TrackerTest::SetUp() {
  ASSERT_TRUE(simulator.valid());
  simulatorPort = simulator.bindFree(loopbackAddress());
  ASSERT_NE(simulatorPort, 0);
  Settings settings;
  settings.outputpath = output.withSeparator();
  settings.outputname = "stats_[MODE+].xml";
  replaceSettings(settings);
  takeUploadOutcome();
  while (takePendingStatsFile()) {
  }
  tracker = std::make_unique<lfsReadSocket>(handler);
  ASSERT_TRUE(tracker->OpenServerLink("127.0.0.1", simulatorPort));
}

void TrackerTest::TearDown() {
  tracker.reset();
  takeUploadOutcome();
  while (takePendingStatsFile()) {
  }
}

void TrackerTest::feed(const std::string& bytes) { feedFrom(loopbackAddress(), bytes); }

void TrackerTest::feedFrom(Ipv4Address sender, const std::string& bytes, int senderAddressLength) {
  tracker->OnDatagram(bytes.data(), static_cast<int>(bytes.size()), SocketAddress{sender, simulatorPort},
                      senderAddressLength);
}

std::vector<std::string> TrackerTest::replies() {
  tracker->writeSocket().SendBuf(kEndMark.data(), static_cast<int>(kEndMark.size()), 0);
  std::vector<std::string> seen;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  std::string bytes;
  while (std::chrono::steady_clock::now() < deadline) {
    if (!simulator.receive(bytes)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      continue;
    }
    if (bytes == kEndMark) return seen;
    seen.push_back(describe(bytes));
  }
  ADD_FAILURE() << "the end mark never arrived";
  return seen;
}

void TrackerTest::linkUp() {
  feed(rtpPacket());
  feed(mciPacket(500, 0, 0, {}));
  replies();
  ASSERT_EQ(tracker->linkState(), LinkState::Linked);
}

void TrackerTest::startSession(std::uint8_t laps, std::uint8_t qualifyMinutes, std::string_view track) {
  linkUp();
  feed(rstPacket(laps, qualifyMinutes, track, 1));
  replies();
}

void TrackerTest::join(std::uint8_t id, const std::string& name, std::uint8_t startOrder) {
  Joining joining;
  joining.playerId = id;
  joining.name = name;
  joining.userName = name + "_user";
  joining.carName = "XRT";
  joining.startOrder = startOrder;
  feed(nplPacket(joining, 2));
  replies();
}

const PlayerStats* TrackerTest::player(std::uint8_t id) {
  for (const PlayerStats& candidate : race().players) {
    if (candidate.id == id) return &candidate;
  }
  return nullptr;
}

const PlayerStats* TrackerTest::playerNamed(const std::string& name) {
  for (const PlayerStats& candidate : race().players) {
    if (candidate.name == name) return &candidate;
  }
  return nullptr;
}

std::vector<std::string> TrackerTest::savedFiles() {
  std::vector<std::string> paths;
  while (std::optional<std::string> path = takePendingStatsFile()) paths.push_back(*path);
  return paths;
}
