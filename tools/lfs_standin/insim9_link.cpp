// Loopback sockets of the stand-in's binary InSim link, polled with poll().
#include "insim9_link.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

sockaddr_in loopback(std::uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

}  // namespace

Insim9Link::~Insim9Link() {
  closeConnection();
  if (socket_ >= 0) close(socket_);
}

bool Insim9Link::open(std::uint16_t port) {
  socket_ = socket(AF_INET, tcp_ ? SOCK_STREAM : SOCK_DGRAM, 0);
  if (socket_ < 0) return false;
  int on = 1;
  setsockopt(socket_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in address = loopback(port);
  if (::bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return false;
  return !tcp_ || listen(socket_, 4) == 0;
}

bool Insim9Link::waitReadable(int descriptor, Clock::time_point deadline) {
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    pollfd entry{descriptor, POLLIN, 0};
    const int ready = poll(&entry, 1, left > 0 ? static_cast<int>(left) : 0);
    if (ready > 0) return true;
    if (ready < 0 && errno == EINTR) continue;
    return false;
  }
}

std::optional<Insim9Link::Packet> Insim9Link::cut() {
  if (buffer_.empty()) return std::nullopt;
  const std::size_t size = static_cast<std::uint8_t>(buffer_[0]) * 4u;
  if (size == 0) {
    // Not a packet: show the rest as it is and start afresh.
    Packet rest(buffer_.begin(), buffer_.end());
    buffer_.clear();
    return rest;
  }
  if (buffer_.size() < size) return std::nullopt;
  Packet packet(buffer_.begin(), buffer_.begin() + static_cast<long>(size));
  buffer_.erase(0, size);
  return packet;
}

std::optional<Insim9Link::Packet> Insim9Link::receive(Clock::time_point deadline) {
  for (;;) {
    if (std::optional<Packet> packet = cut()) return packet;
    if (tcp_ && connection_ < 0) {
      if (!waitReadable(socket_, deadline)) return std::nullopt;
      connection_ = accept(socket_, nullptr, nullptr);
      buffer_.clear();
      continue;
    }
    const int from = tcp_ ? connection_ : socket_;
    if (!waitReadable(from, deadline)) return std::nullopt;
    char bytes[16384];
    sockaddr_in sender{};
    socklen_t senderLength = sizeof sender;
    const ssize_t length =
        tcp_ ? recv(from, bytes, sizeof bytes, 0)
             : recvfrom(from, bytes, sizeof bytes, 0, reinterpret_cast<sockaddr*>(&sender), &senderLength);
    if (length <= 0 && tcp_) {
      closeConnection();
      ended_ = true;
      return std::nullopt;
    }
    if (length < 0) continue;
    if (!tcp_) {
      // A datagram holds whole packets; a broken one is not joined to the next.
      buffer_.clear();
      peerKnown_ = true;
      peerAddress_ = sender.sin_addr.s_addr;
      peerPort_ = ntohs(sender.sin_port);
    }
    buffer_.append(bytes, static_cast<std::size_t>(length));
  }
}

bool Insim9Link::send(const Packet& packet) {
  ssize_t sent = -1;
  if (tcp_ && connection_ >= 0) {
    sent = ::send(connection_, packet.data(), packet.size(), MSG_NOSIGNAL);
  } else if (!tcp_ && peerKnown_) {
    sockaddr_in address = loopback(peerPort_);
    address.sin_addr.s_addr = peerAddress_;
    sent = sendto(socket_, packet.data(), packet.size(), 0, reinterpret_cast<sockaddr*>(&address),
                  sizeof address);
  } else {
    error_ = "no tracker to send to";
    return false;
  }
  if (sent != static_cast<ssize_t>(packet.size())) {
    error_ = std::strerror(errno);
    return false;
  }
  return true;
}

void Insim9Link::closeConnection() {
  if (connection_ >= 0) close(connection_);
  connection_ = -1;
  buffer_.clear();
}
