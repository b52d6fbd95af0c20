// Shared pieces of the benchmarks: a scratch folder for stats files, a
// loopback socket that swallows the tracker's replies the way the simulator
// would, and a tracker linked to it with a race of many players under way.
#pragma once

#include "net/socket_handler.h"
#include "net/socket_library.h"
#include "link/read_socket.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

Ipv4Address loopbackAddress();

// A UDP socket of its own on 127.0.0.1 and a free port; blocking unless asked.
class LoopbackPort {
 public:
  explicit LoopbackPort(bool nonblocking = false);
  ~LoopbackPort();
  LoopbackPort(const LoopbackPort&) = delete;
  LoopbackPort& operator=(const LoopbackPort&) = delete;
  SocketDescriptor descriptor() const { return descriptor_; }
  std::uint16_t port() const { return port_; }

 private:
  SocketDescriptor descriptor_;
  std::uint16_t port_ = 0;
};

// Reads and drops every datagram sent to it, on a thread of its own.
class ReplySink {
 public:
  ReplySink();
  ~ReplySink();
  std::uint16_t port() const { return socket_.port(); }

 private:
  LoopbackPort socket_;
  std::atomic<bool> stopping_{false};
  std::thread reader_;
};

// A folder under the temporary folder for the stats files, removed at the end;
// the settings point the output there.
class StatsScratch {
 public:
  StatsScratch();
  ~StatsScratch();
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// A tracker linked to a ReplySink, with a race started by startRace.
class LinkedTracker {
 public:
  explicit LinkedTracker(unsigned players, std::uint8_t laps = 40);
  ~LinkedTracker();
  void feed(const std::string& datagram);
  lfsReadSocket& tracker() { return *tracker_; }
  SocketHandler& handler() { return handler_; }

 private:
  SocketLibrary library_;
  StatsScratch output_;
  ReplySink sink_;
  SocketHandler handler_;
  std::unique_ptr<lfsReadSocket> tracker_;
};

// Brings a fresh tracker to the linked state with a lapped race of `players`
// players (ids 1..players, named "Driver <id>") and `laps` laps, as the
// simulator at this port would.
void startRace(lfsReadSocket& tracker, std::uint16_t simulatorPort, unsigned players, std::uint8_t laps);

// The datagram as from the simulator at this port.
void feed(lfsReadSocket& tracker, std::uint16_t simulatorPort, const std::string& datagram);

// MCI packets for cars first..first+count-1, all on this lap and node.
std::string carInfo(unsigned first, unsigned count, std::uint16_t lap, std::uint16_t node, std::uint16_t speed,
                    std::uint8_t playerCount);
