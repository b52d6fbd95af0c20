// Shared pieces of the benchmarks: a scratch folder for stats files, a
// loopback socket that swallows the tracker's replies the way the simulator
// would, and a tracker linked to it with a race of many players under way.
#pragma once

#include "link/read_socket.h"
#include "net/socket_handler.h"
#include "net/socket_library.h"
#include "support/net_test_support.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <chrono>
#include <string>
#include <thread>

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
// A read socket of type T bound to a free loopback port (returned in port)
// and linked to the simulator's port, owned by and added to the handler, as
// the link thread sets it up; null when the port cannot be bound.
template <typename T>
T* addBoundTracker(SocketHandler& handler, std::uint16_t simulatorPort, std::uint16_t& port) {
  auto* tracker = new T(handler);
  tracker->SetDeleteByHandler();
  {
    const LoopbackPort free;
    port = free.port();
  }
  if (tracker->Bind(port) != 0 || !tracker->OpenServerLink("127.0.0.1", simulatorPort)) {
    delete tracker;
    return nullptr;
  }
  handler.Add(tracker);
  return tracker;
}

inline double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void startRace(lfsReadSocket& tracker, std::uint16_t simulatorPort, unsigned players, std::uint8_t laps);

// The datagram as from the simulator at this port.
void feed(lfsReadSocket& tracker, std::uint16_t simulatorPort, const std::string& datagram);

// MCI packets for cars first..first+count-1, all on this lap and node.
std::string carInfo(unsigned first, unsigned count, std::uint16_t lap, std::uint16_t node,
                    std::uint16_t speed, std::uint8_t playerCount);
