// The stand-in's end of a binary InSim link on 127.0.0.1: over TCP it
// listens and accepts the tracker's connection (and a new one after the old
// ended), over UDP it binds the port and answers whoever sent last. Either
// way it hands out whole packets, cut by their Size byte.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class Insim9Link {
 public:
  using Clock = std::chrono::steady_clock;
  using Packet = std::vector<std::uint8_t>;

  explicit Insim9Link(bool tcp) : tcp_(tcp) {}
  ~Insim9Link();
  Insim9Link(const Insim9Link&) = delete;
  Insim9Link& operator=(const Insim9Link&) = delete;

  bool open(std::uint16_t port);
  bool tcp() const { return tcp_; }
  // A tracker to talk to: over TCP an accepted connection, over UDP a sender.
  bool connected() const { return tcp_ ? connection_ >= 0 : peerKnown_; }
  // The next whole packet before the deadline (accepting a connection first
  // when there is none). None at the deadline, or when the tracker closed
  // the connection (ended() then says so once).
  std::optional<Packet> receive(Clock::time_point deadline);
  bool ended() {
    const bool was = ended_;
    ended_ = false;
    return was;
  }
  bool send(const Packet& packet);
  // TCP: closes the tracker's connection; the listening socket stays.
  void closeConnection();
  // Why the last call failed.
  std::string lastError() const { return error_; }

 private:
  std::optional<Packet> cut();
  bool waitReadable(int descriptor, Clock::time_point deadline);

  bool tcp_;
  int socket_ = -1;      // TCP: listening; UDP: bound
  int connection_ = -1;  // TCP: the tracker's connection
  bool peerKnown_ = false;
  std::uint32_t peerAddress_ = 0;  // UDP: the last sender, network order
  std::uint16_t peerPort_ = 0;
  std::string buffer_;  // bytes not yet cut into packets
  bool ended_ = false;
  std::string error_;
};
