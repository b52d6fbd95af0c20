// A non-blocking TCP client socket polled by the same SocketHandler as the
// UDP sockets: it connects without waiting, reports the connect's outcome,
// hands every read of the byte stream to OnStream, queues what the kernel
// does not take at once and writes it when the socket is writable, and
// reports the peer's close or reset. Used on the network thread only.
//
// Ownership as for every socket: whoever sets SetDeleteByHandler() hands the
// socket to the handler, which deletes it after a close-and-delete request.
// The callbacks must not delete the socket; a failure or a disconnect marks
// it close-and-delete, and the handler closes it in the same Select. One
// socket serves one connection: to connect again, make a new one.
#pragma once

#include "net/socket.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class TcpSocket : public Socket {
 public:
  // Each read takes at most this many bytes.
  static constexpr int kReceiveBufferSize = 16384;
  // One OnRead makes at most this many reads, so one busy socket cannot hold
  // the loop.
  static constexpr int kMaxReadsPerPass = 8;
  // Bytes the kernel did not take wait in a queue up to this size; a peer
  // that leaves more unread is treated as gone.
  static constexpr std::size_t kMaxQueuedBytes = 256 * 1024;

  explicit TcpSocket(SocketHandler& handler);
  ~TcpSocket() override;

  // Starts connecting to the peer; add the socket to the handler afterwards.
  // False when the connect failed at once: OnConnectFailed has been called
  // and the socket is marked close-and-delete. Otherwise OnConnect or
  // OnConnectFailed follows from the loop (or at once, when the connect
  // completed at once).
  bool Open(Ipv4Address address, std::uint16_t port);
  bool IsConnecting() const { return connecting_; }

  // Writes to the stream; what the kernel does not take (or everything,
  // while the connect is under way) is queued and written in order when
  // the socket becomes writable. Before Open, or after a disconnect,
  // nothing is sent.
  void SendBuf(const char* buffer, int length, int flags) override;
  void Send(const std::string& text, int flags) override;
  std::size_t QueuedBytes() const { return queue_.size() - queueStart_; }

  int Close() override;
  void OnRead() override;
  void OnWrite() override;
  void OnException() override;
  void OnOptions(int domain, int type, int protocol, SocketDescriptor descriptor) override;

  // The connect succeeded; the queue goes out next.
  virtual void OnConnect();
  // The connect was refused or failed (a Winsock error number).
  virtual void OnConnectFailed(int error);
  // One read of the stream. The buffer is reused by the next read: copy what
  // you keep. Packet boundaries are not kept by TCP.
  virtual void OnStream(const char* buffer, int length);
  // The connection ended: error 0 when the peer closed it, otherwise why
  // (reset, a failed write, a queue the peer never drained).
  virtual void OnDisconnect(int error);

 private:
  // Settles a connect under way from SO_ERROR; false when it failed.
  bool finishConnect();
  void connectFailed(int error);
  void disconnected(int error, const char* context);
  // Writes queued bytes until the kernel stops taking them.
  void flushQueue();
  void wantWrite(bool wanted);

  std::vector<char> receiveBuffer_;
  std::vector<char> queue_;
  std::size_t queueStart_ = 0;
  bool connecting_ = false;
  bool ended_ = false;
};
