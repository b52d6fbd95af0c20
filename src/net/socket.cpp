// Socket: descriptor creation, closing, the close-and-delete request and the
// reports every socket sends to its handler's log.
#include "net/socket.h"

#include "net/socket_handler.h"

#include <array>

Socket::Socket(SocketHandler& handler) : handler_(handler) {}

Socket::~Socket() {
  handler_.Remove(this);
  if (descriptor_ != kInvalidSocketDescriptor) Close();
}

int Socket::Close() {
  if (descriptor_ == kInvalidSocketDescriptor) {
    Report("Socket::Close", 0, "file descriptor invalid", 0);
    return 0;
  }
  SetNonblocking(descriptor_);
  if (connected_ && socketShutdownSend(descriptor_) != 0) {
    ReportError("shutdown", socketLastError(), 1);
  }
  // One read drains what may still wait; it is discarded.
  std::array<char, 100> scratch;
  int drained = socketReceive(descriptor_, scratch.data(), static_cast<int>(scratch.size()), 0);
  if (drained > 0) Report("read() after shutdown", drained, "bytes read", 0);
  int result = socketClose(descriptor_);
  if (result != 0) ReportError("close", socketLastError(), 1);
  handler_.UpdateSets(descriptor_, false, false, false);
  handler_.RemoveFromCloseList(descriptor_);
  descriptor_ = kInvalidSocketDescriptor;
  connected_ = false;
  return result;
}

void Socket::OnRead() {}

void Socket::OnWrite() {}

void Socket::OnException() {
  int error = socketPendingError(descriptor_);
  ReportError("exception on select", error, 2);
  SetCloseAndDelete();
}

void Socket::OnDelete() {}

std::uint16_t Socket::GetPort() {
  Report("GetPort", 0, "GetPort only implemented for ListenSocket", 0);
  return 0;
}

void Socket::SendBuf(const char*, int, int) {}

void Socket::Send(const std::string&, int) {}

SocketDescriptor Socket::CreateSocket(int type, const std::string& protocol) {
  int protocolNumber = 0;
  if (!socketProtocolNumber(protocol.c_str(), protocolNumber)) {
    ReportError("getprotobyname", socketLastError(), 2);
    SetCloseAndDelete();
    return kInvalidSocketDescriptor;
  }
  SocketDescriptor created = socketCreate(kAddressFamilyInet, type, protocolNumber);
  if (created == kInvalidSocketDescriptor) {
    ReportError("socket", socketLastError(), 2);
    SetCloseAndDelete();
    return kInvalidSocketDescriptor;
  }
  OnOptions(kAddressFamilyInet, type, protocolNumber, created);
  return created;
}

bool Socket::SetNonblocking(SocketDescriptor descriptor) {
  if (socketSetNonblocking(descriptor) != 0) {
    Report("ioctlsocket(FIONBIO)", socketLastError(), "", 0);
    return false;
  }
  return true;
}

void Socket::SetCloseAndDelete() {
  if (closeAndDelete_) return;
  // A socket without a descriptor has nothing the handler could find it by.
  if (descriptor_ != kInvalidSocketDescriptor) handler_.AddToCloseList(descriptor_);
  closeAndDelete_ = true;
}

void Socket::EnsureDescriptor(int type, const std::string& protocol) {
  if (descriptor_ != kInvalidSocketDescriptor) return;
  SocketDescriptor created = CreateSocket(type, protocol);
  if (created == kInvalidSocketDescriptor) return;
  SetNonblocking(created);
  descriptor_ = created;
}

void Socket::ReportError(const char* context, int error, int level) {
  if (!handler_.HasLogSink()) return;
  handler_.LogError(this, context, error, StrError(error).c_str(), level);
}

void Socket::Report(const char* context, int error, const char* text, int level) {
  handler_.LogError(this, context, error, text, level);
}
