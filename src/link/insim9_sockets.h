// The two connections the binary InSim link runs on: a TCP stream to the
// host, cut into packets by their Size byte, or one UDP socket bound to the
// client port that sends to the host and takes only the host's datagrams.
// Each owns the protocol adapter, so deleting the socket (the handler does,
// once the link ends) writes the race in memory. Network thread only.
#pragma once

#include "link/insim9_link.h"
#include "link/packet_stream.h"
#include "net/tcp_socket.h"
#include "net/udp_socket.h"

#include <chrono>
#include <string>

class InSim9TcpSocket : public TcpSocket, private InSim9Transport {
 public:
  InSim9TcpSocket(SocketHandler& handler, std::string adminPassword);

  InSim9Link& link() { return link_; }
  // When the last packet came (or the connection was made).
  std::chrono::steady_clock::time_point lastPacket() const { return lastPacket_; }
  // The connect was refused or failed.
  bool connectFailed() const { return connectFailed_; }

  void OnConnect() override;
  void OnConnectFailed(int error) override;
  void OnStream(const char* buffer, int length) override;
  void OnDisconnect(int error) override;

 private:
  void sendPacket(const std::uint8_t* data, std::size_t size) override;
  void report(std::string_view text) override;

  std::string adminPassword_;
  PacketStream stream_;
  std::chrono::steady_clock::time_point lastPacket_ = std::chrono::steady_clock::now();
  bool connectFailed_ = false;
  InSim9Link link_{*this};
};

class InSim9UdpSocket : public UdpSocket, private InSim9Transport {
 public:
  explicit InSim9UdpSocket(SocketHandler& handler);

  // Binds the client port and fixes the host as the only peer; false with
  // the reason reported when either fails.
  bool OpenLink(std::uint16_t clientPort, Ipv4Address host, std::uint16_t hostPort);

  InSim9Link& link() { return link_; }
  std::chrono::steady_clock::time_point lastPacket() const { return lastPacket_; }

  void OnDatagram(const char* buffer, int length, const SocketAddress& sender,
                  int senderAddressLength) override;

 private:
  void sendPacket(const std::uint8_t* data, std::size_t size) override;
  void report(std::string_view text) override;

  Ipv4Address host_ = 0;
  std::uint16_t hostPort_ = 0;
  std::chrono::steady_clock::time_point lastPacket_ = std::chrono::steady_clock::now();
  InSim9Link link_{*this};
};
