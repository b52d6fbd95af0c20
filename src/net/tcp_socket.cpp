// TcpSocket: the non-blocking connect and its outcome, bounded reads handed
// to OnStream, the send queue and the end of the connection.
#include "net/tcp_socket.h"

#include "net/socket_handler.h"

#include <climits>

namespace {

bool connectUnderWay(int error) {
  // Winsock says "would block", BSD sockets "in progress".
  return error == kSocketErrorWouldBlock || error == kSocketErrorInProgress;
}

int clampedLength(std::size_t length) {
  return length > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(length);
}

}  // namespace

TcpSocket::TcpSocket(SocketHandler& handler) : Socket(handler), receiveBuffer_(kReceiveBufferSize) {}

TcpSocket::~TcpSocket() {
  if (GetSocket() != kInvalidSocketDescriptor) Close();
}

bool TcpSocket::Open(Ipv4Address address, std::uint16_t port) {
  EnsureDescriptor(kSocketTypeStream, "tcp");
  if (GetSocket() == kInvalidSocketDescriptor) return false;
  ended_ = false;
  queue_.clear();
  queueStart_ = 0;
  if (socketConnect(GetSocket(), address, port) == 0) {
    SetConnected(true);
    OnConnect();
    return true;
  }
  const int error = socketLastError();
  if (connectUnderWay(error)) {
    connecting_ = true;
    // Winsock reports the outcome as writability or an exception, BSD
    // sockets as writability; SO_ERROR then tells which.
    wantWrite(true);
    return true;
  }
  connectFailed(error);
  return false;
}

bool TcpSocket::finishConnect() {
  const int error = socketPendingError(GetSocket());
  if (error != 0) {
    connectFailed(error);
    return false;
  }
  connecting_ = false;
  SetConnected(true);
  OnConnect();
  flushQueue();
  return true;
}

void TcpSocket::connectFailed(int error) {
  connecting_ = false;
  ended_ = true;
  ReportError("connect", error, 1);
  wantWrite(false);
  OnConnectFailed(error);
  SetCloseAndDelete();
}

void TcpSocket::disconnected(int error, const char* context) {
  if (ended_) return;
  ended_ = true;
  SetConnected(false);
  if (error != 0)
    ReportError(context, error, 1);
  else
    Report(context, 0, "connection closed by peer", 0);
  wantWrite(false);
  OnDisconnect(error);
  SetCloseAndDelete();
}

void TcpSocket::SendBuf(const char* buffer, int length, int flags) {
  if (length < 0 || (length > 0 && !buffer)) {
    ReportError("send", kSocketErrorInvalid, 1);
    return;
  }
  if (ended_ || GetSocket() == kInvalidSocketDescriptor || (!connecting_ && !IsConnected())) {
    Report("SendBuf", 0, "not connected", 1);
    return;
  }
  if (length == 0) return;
  int sent = 0;
  // Queued bytes go first, so nothing overtakes them.
  if (!connecting_ && QueuedBytes() == 0) {
    sent = socketSend(GetSocket(), buffer, length, flags);
    if (sent < 0) {
      const int error = socketLastError();
      if (error != kSocketErrorWouldBlock) {
        disconnected(error, "send");
        return;
      }
      sent = 0;
    }
  }
  if (sent == length) return;
  const std::size_t rest = static_cast<std::size_t>(length - sent);
  if (QueuedBytes() + rest > kMaxQueuedBytes) {
    disconnected(kSocketErrorNoBuffers, "send queue full");
    return;
  }
  if (queueStart_ == queue_.size()) {
    queue_.clear();
    queueStart_ = 0;
  }
  queue_.insert(queue_.end(), buffer + sent, buffer + length);
  wantWrite(true);
}

void TcpSocket::Send(const std::string& text, int flags) {
  SendBuf(text.data(), clampedLength(text.size()), flags);
}

void TcpSocket::flushQueue() {
  while (QueuedBytes() > 0) {
    const int sent = socketSend(GetSocket(), queue_.data() + queueStart_, clampedLength(QueuedBytes()), 0);
    if (sent < 0) {
      const int error = socketLastError();
      if (error == kSocketErrorWouldBlock) break;
      disconnected(error, "send");
      return;
    }
    queueStart_ += static_cast<std::size_t>(sent);
  }
  if (QueuedBytes() == 0) {
    // Cleared, not shrunk: the queue's room is kept for the next time.
    queue_.clear();
    queueStart_ = 0;
  }
  wantWrite(QueuedBytes() > 0);
}

void TcpSocket::wantWrite(bool wanted) {
  if (GetSocket() == kInvalidSocketDescriptor) return;
  Handler().UpdateSets(GetSocket(), true, wanted, true);
}

int TcpSocket::Close() {
  connecting_ = false;
  queue_.clear();
  queueStart_ = 0;
  if (GetSocket() == kInvalidSocketDescriptor) return 0;
  return Socket::Close();
}

void TcpSocket::OnRead() {
  if (connecting_ && !finishConnect()) return;
  for (int reads = 0; reads < kMaxReadsPerPass && !ended_; ++reads) {
    const int received = socketReceive(GetSocket(), receiveBuffer_.data(), kReceiveBufferSize, 0);
    if (received == 0) {
      disconnected(0, "recv");
      return;
    }
    if (received < 0) {
      const int error = socketLastError();
      if (error != kSocketErrorWouldBlock) disconnected(error, "recv");
      return;
    }
    OnStream(receiveBuffer_.data(), received);
    if (CloseAndDelete()) return;
    // A short read emptied the kernel's buffer; the next select says when
    // there is more.
    if (received < kReceiveBufferSize) return;
  }
}

void TcpSocket::OnWrite() {
  if (connecting_) {
    finishConnect();
    return;
  }
  if (!ended_) flushQueue();
}

void TcpSocket::OnException() {
  // Winsock reports a refused connect in the exception set.
  if (connecting_) {
    finishConnect();
    return;
  }
  const int error = socketPendingError(GetSocket());
  disconnected(error != 0 ? error : kSocketErrorInvalid, "exception on select");
}

void TcpSocket::OnOptions(int, int type, int, SocketDescriptor descriptor) {
  if (type == kSocketTypeStream && socketSetNoDelay(descriptor) != 0) {
    ReportError("setsockopt(TCP_NODELAY)", socketLastError(), 0);
  }
}

void TcpSocket::OnConnect() {}

void TcpSocket::OnConnectFailed(int) {}

void TcpSocket::OnStream(const char*, int) {}

void TcpSocket::OnDisconnect(int) {}
