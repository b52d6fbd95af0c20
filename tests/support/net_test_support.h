// Shared pieces of the network tests: loopback addresses, a socket that
// records what it receives, a recorder of the handler's reports, free-port
// binding and a plain peer that sends without the classes under test.
#pragma once

#include "net/socket_handler.h"
#include "net/udp_socket.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// One pass of the handler's loop, waiting at most this long.
inline int selectOnce(SocketHandler& handler, long seconds, long microseconds) {
  const SelectTimeout timeout{seconds, microseconds};
  return handler.Select(&timeout);
}

Ipv4Address loopbackAddress();  // 127.0.0.1

struct Received {
  std::string bytes;
  SocketAddress sender;
  int senderAddressLength = 0;
};

// Keeps a copy of every datagram; counts its destruction.
class RecordingSocket : public UdpSocket {
 public:
  explicit RecordingSocket(SocketHandler& handler, int* destroyed = nullptr)
      : UdpSocket(handler), destroyed_(destroyed) {}
  ~RecordingSocket() override {
    if (destroyed_) ++*destroyed_;
  }
  void OnDatagram(const char* buffer, int length, const SocketAddress& sender,
                  int senderAddressLength) override {
    received.push_back({std::string(buffer, static_cast<std::size_t>(length)), sender, senderAddressLength});
    if (onDatagram) onDatagram();
  }
  void countDestructionIn(int* destroyed) { destroyed_ = destroyed; }
  std::vector<Received> received;
  std::function<void()> onDatagram;

 private:
  int* destroyed_;
};

struct Report {
  Socket* socket;
  std::string context;
  int error;
  std::string text;
  int level;
};

class ReportRecorder : public SocketLogSink {
 public:
  void OnLogError(SocketHandler&, Socket* socket, const char* context, int error, const char* text,
                  int level) override {
    reports.push_back({socket, context, error, text, level});
  }
  // The reports with this context.
  std::vector<Report> withContext(const std::string& context) const;
  std::vector<Report> reports;
};

// A new T (a UdpSocket) bound to a free port of its own; the port is
// stored in `port`. Null (port 0) if none was found.
std::uint16_t firstCandidatePort();

template <typename T>
std::unique_ptr<T> bindOnFreePort(SocketHandler& handler, std::uint16_t& port) {
  std::uint16_t candidate = firstCandidatePort();
  for (int attempt = 0; attempt < 200; ++attempt, ++candidate) {
    auto socket = std::make_unique<T>(handler);
    if (socket->Bind(candidate) == 0) {
      port = candidate;
      return socket;
    }
  }
  port = 0;
  return nullptr;
}

// Runs Select passes of at most 50 ms until `done` holds or `limit` is over.
bool selectUntil(SocketHandler& handler, const std::function<bool()>& done,
                 std::chrono::milliseconds limit = std::chrono::milliseconds(3000));

// A datagram socket driven through the platform calls directly.
class PlainPeer {
 public:
  PlainPeer();
  ~PlainPeer();
  PlainPeer(const PlainPeer&) = delete;
  PlainPeer& operator=(const PlainPeer&) = delete;
  bool valid() const { return descriptor_ != kInvalidSocketDescriptor; }
  // Binds to a free port on the address; returns the port, 0 on failure.
  std::uint16_t bindFree(Ipv4Address address);
  bool connect(Ipv4Address address, std::uint16_t port);
  bool send(const std::string& bytes);
  // Reads one waiting datagram; false when none waits.
  bool receive(std::string& bytes);

 private:
  SocketDescriptor descriptor_;
};
