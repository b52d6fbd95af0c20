// The binary InSim link's TCP and UDP connections. Network thread only.
#include "link/insim9_sockets.h"

#include <string>

InSim9TcpSocket::InSim9TcpSocket(SocketHandler& handler, std::string adminPassword)
    : TcpSocket(handler), adminPassword_(std::move(adminPassword)) {}

void InSim9TcpSocket::OnConnect() {
  lastPacket_ = std::chrono::steady_clock::now();
  link_.start(adminPassword_);
}

void InSim9TcpSocket::OnConnectFailed(int) { connectFailed_ = true; }

void InSim9TcpSocket::OnStream(const char* buffer, int length) {
  lastPacket_ = std::chrono::steady_clock::now();
  const bool whole =
      stream_.feed(buffer, static_cast<std::size_t>(length > 0 ? length : 0),
                   [this](const std::uint8_t* packet, std::size_t size) { link_.onPacket(packet, size); });
  if (!whole) {
    // Nothing after a broken packet can be trusted: the next tick connects afresh.
    Report("InSim stream", 0, stream_.faultText(), 2);
    SetCloseAndDelete();
  }
}

void InSim9TcpSocket::OnDisconnect(int) {}

void InSim9TcpSocket::sendPacket(const std::uint8_t* data, std::size_t size) {
  SendBuf(reinterpret_cast<const char*>(data), static_cast<int>(size), 0);
}

void InSim9TcpSocket::report(std::string_view text) { Report("InSim", 0, std::string(text).c_str(), 1); }

InSim9UdpSocket::InSim9UdpSocket(SocketHandler& handler) : UdpSocket(handler) {}

bool InSim9UdpSocket::OpenLink(std::uint16_t clientPort, Ipv4Address host, std::uint16_t hostPort) {
  host_ = host;
  hostPort_ = hostPort;
  return Bind(clientPort) == 0 && Open(host, hostPort);
}

void InSim9UdpSocket::OnDatagram(const char* buffer, int length, const SocketAddress& sender,
                                 int senderAddressLength) {
  // Only the host's datagrams: the client port listens on every interface.
  if (senderAddressLength != kSocketAddressLength || sender.address != host_) return;
  lastPacket_ = std::chrono::steady_clock::now();
  // A datagram holds whole packets; one cut short ends what is read of it.
  PacketStream stream;
  stream.feed(buffer, static_cast<std::size_t>(length > 0 ? length : 0),
              [this](const std::uint8_t* packet, std::size_t size) { link_.onPacket(packet, size); });
}

void InSim9UdpSocket::sendPacket(const std::uint8_t* data, std::size_t size) {
  SendBuf(reinterpret_cast<const char*>(data), static_cast<int>(size), 0);
}

void InSim9UdpSocket::report(std::string_view text) { Report("InSim", 0, std::string(text).c_str(), 1); }
