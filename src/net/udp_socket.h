// A datagram socket: bound to a local port to receive, or connected to one
// peer to send. Received datagrams go to OnDatagram.
#pragma once

#include "net/socket.h"

#include <cstdint>
#include <string>
#include <vector>

class UdpSocket : public Socket {
 public:
  // Every datagram is read into a buffer of this size.
  static constexpr int kReceiveBufferSize = 16384;
  // One OnRead delivers at most this many datagrams, so one busy socket
  // cannot hold the loop.
  static constexpr int kMaxDatagramsPerRead = 11;

  explicit UdpSocket(SocketHandler& handler);
  ~UdpSocket() override;

  // Binds to the port on all interfaces: 0 on success, -1 on failure (the
  // socket is then marked close-and-delete). No other port is tried.
  int Bind(std::uint16_t port);
  // Fixes the peer that SendBuf sends to; nothing is sent. False on failure
  // (the socket is then marked close-and-delete).
  bool Open(Ipv4Address address, std::uint16_t port);

  // One datagram to the connected peer; nothing without a successful Open.
  void SendBuf(const char* buffer, int length, int flags) override;
  void Send(const std::string& text, int flags) override;

  void OnRead() override;
  void OnOptions(int domain, int type, int protocol, SocketDescriptor descriptor) override;
  // The port of the last successful Bind, 0 before.
  std::uint16_t GetPort() override;
  bool IsBound() const { return bound_; }

  // One received datagram. The buffer is reused by the next read: copy what
  // you keep. senderAddressLength is the length recvfrom gave (16 for IPv4).
  virtual void OnDatagram(const char* buffer, int length, const SocketAddress& sender,
                          int senderAddressLength);

 private:
  std::vector<char> receiveBuffer_;
  bool bound_ = false;
  std::uint16_t port_ = 0;
};
