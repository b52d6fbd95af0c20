// UdpSocket: bind, connect, send and the bounded read of waiting datagrams.
#include "net/udp_socket.h"

UdpSocket::UdpSocket(SocketHandler& handler) : Socket(handler), receiveBuffer_(kReceiveBufferSize) {}

UdpSocket::~UdpSocket() { Close(); }

int UdpSocket::Bind(std::uint16_t port) {
  EnsureDescriptor(kSocketTypeDatagram, "udp");
  if (socketBind(GetSocket(), 0, port) != 0) {
    ReportError("bind", socketLastError(), 2);
    SetCloseAndDelete();
    return -1;
  }
  bound_ = true;
  port_ = port;
  return 0;
}

bool UdpSocket::Open(Ipv4Address address, std::uint16_t port) {
  EnsureDescriptor(kSocketTypeDatagram, "udp");
  if (socketConnect(GetSocket(), address, port) != 0) {
    ReportError("connect", socketLastError(), 2);
    SetCloseAndDelete();
    return false;
  }
  SetConnected(true);
  return true;
}

void UdpSocket::SendBuf(const char* buffer, int length, int flags) {
  if (!IsConnected()) {
    Report("SendBuf", 0, "not connected", 1);
    return;
  }
  if (length < 0 || (length > 0 && !buffer)) {
    ReportError("send", kSocketErrorInvalid, 1);
    return;
  }
  if (socketSend(GetSocket(), buffer, length, flags) < 0) {
    ReportError("send", socketLastError(), 1);
  }
}

void UdpSocket::Send(const std::string& text, int flags) {
  SendBuf(text.data(), static_cast<int>(text.size()), flags);
}

void UdpSocket::OnRead() {
  SocketAddress sender;
  int senderLength = kSocketAddressLength;
  int received =
      socketReceiveFrom(GetSocket(), receiveBuffer_.data(), kReceiveBufferSize, 0, sender, senderLength);
  int error = received < 0 ? socketLastError() : 0;
  int delivered = 0;
  while (received > 0) {
    if (senderLength != kSocketAddressLength) {
      Report("recvfrom", 0, "unexpected address struct size", 0);
    }
    OnDatagram(receiveBuffer_.data(), received, sender, senderLength);
    if (++delivered >= kMaxDatagramsPerRead) return;
    senderLength = kSocketAddressLength;
    received =
        socketReceiveFrom(GetSocket(), receiveBuffer_.data(), kReceiveBufferSize, 0, sender, senderLength);
    error = received < 0 ? socketLastError() : 0;
  }
  if (received < 0 && error != kSocketErrorWouldBlock) ReportError("recvfrom", error, 1);
}

void UdpSocket::OnOptions(int, int, int, SocketDescriptor) {}

std::uint16_t UdpSocket::GetPort() { return port_; }

void UdpSocket::OnDatagram(const char*, int, const SocketAddress&, int) {}
