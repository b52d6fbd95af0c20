// Benchmark support: loopback sockets, the reply sink, the linked tracker.
#include "bench_support.h"

#include "config/settings.h"
#include "config/shared_state.h"
#include "support/simulator_datagrams.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <system_error>
#include <vector>

LoopbackPort::LoopbackPort(bool nonblocking)
    : descriptor_(socketCreate(kAddressFamilyInet, kSocketTypeDatagram, 0)) {
  if (descriptor_ == kInvalidSocketDescriptor) return;
  if (nonblocking) socketSetNonblocking(descriptor_);
  std::mt19937 generator{std::random_device{}()};
  for (int attempt = 0; attempt < 500 && port_ == 0; ++attempt) {
    const auto candidate =
        static_cast<std::uint16_t>(std::uniform_int_distribution<int>(20000, 60000)(generator));
    if (socketBind(descriptor_, loopbackAddress(), candidate) == 0) port_ = candidate;
  }
  if (port_ == 0) {
    std::fprintf(stderr, "no free port on 127.0.0.1\n");
    std::abort();
  }
}

LoopbackPort::~LoopbackPort() {
  if (descriptor_ != kInvalidSocketDescriptor) socketClose(descriptor_);
}

ReplySink::ReplySink() {
  reader_ = std::thread([this] {
    char buffer[512];
    while (!stopping_.load()) socketReceive(socket_.descriptor(), buffer, sizeof buffer, 0);
  });
}

ReplySink::~ReplySink() {
  stopping_.store(true);
  // One datagram wakes the reader from its blocking read.
  const SocketDescriptor waker = socketCreate(kAddressFamilyInet, kSocketTypeDatagram, 0);
  socketConnect(waker, loopbackAddress(), socket_.port());
  socketSend(waker, "stop", 4, 0);
  reader_.join();
  socketClose(waker);
}

StatsScratch::StatsScratch() {
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  path_ = (std::filesystem::temp_directory_path() / ("tarnbeck-bench-" + std::to_string(stamp))).string();
  std::filesystem::create_directories(path_);
  Settings settings;
  settings.outputpath = path_;
  settings.outputname = "stats_[TRACK]_[MODE+].xml";
  settings.serverip = "127.0.0.1";
  replaceSettings(settings);
}

StatsScratch::~StatsScratch() {
  while (takePendingStatsFile()) {
  }
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string carInfo(unsigned first, unsigned count, std::uint16_t lap, std::uint16_t node,
                    std::uint16_t speed, std::uint8_t playerCount) {
  std::vector<Car> cars;
  for (unsigned id = first; id < first + count; ++id) {
    cars.push_back(Car{static_cast<std::uint8_t>(id), lap, node, speed});
  }
  return mciPacket(400, 10, playerCount, cars);
}

void feed(lfsReadSocket& tracker, std::uint16_t simulatorPort, const std::string& datagram) {
  tracker.OnDatagram(datagram.data(), static_cast<int>(datagram.size()),
                     SocketAddress{loopbackAddress(), simulatorPort}, kSocketAddressLength);
}

void startRace(lfsReadSocket& tracker, std::uint16_t simulatorPort, unsigned players, std::uint8_t laps) {
  const auto count = static_cast<std::uint8_t>(players);
  feed(tracker, simulatorPort, rtpPacket());
  feed(tracker, simulatorPort, mciPacket(400, 10, count, {}));
  for (unsigned id = 1; id <= players; ++id) {
    Joining joining;
    joining.playerId = static_cast<std::uint8_t>(id);
    joining.name = "Driver " + std::to_string(id);
    joining.userName = "driver" + std::to_string(id);
    joining.carName = "XRT";
    joining.startOrder = static_cast<std::uint8_t>(id - 1);
    feed(tracker, simulatorPort, nplPacket(joining, static_cast<std::uint16_t>(id)));
  }
  feed(tracker, simulatorPort, rstPacket(laps, 0, "BL1", 100));
}

LinkedTracker::LinkedTracker(unsigned players, std::uint8_t laps) {
  tracker_ = std::make_unique<lfsReadSocket>(handler_);
  tracker_->OpenServerLink("127.0.0.1", sink_.port());
  startRace(*tracker_, sink_.port(), players, laps);
}

LinkedTracker::~LinkedTracker() { tracker_.reset(); }

void LinkedTracker::feed(const std::string& datagram) { ::feed(*tracker_, sink_.port(), datagram); }
