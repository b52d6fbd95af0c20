// The base of every socket of the program: a lazily created, non-blocking
// descriptor polled by a SocketHandler, with the flags that tell the handler
// when to close it and whether it owns it.
#pragma once

#include "net/socket_platform.h"

#include <cstdint>
#include <string>

class SocketHandler;

class Socket {
 public:
  // The handler must outlive the socket: the destructor tells it that the
  // socket is gone.
  explicit Socket(SocketHandler& handler);
  virtual ~Socket();
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;

  // Closes the descriptor; returns the close result, or 0 without one.
  virtual int Close();
  // The handler found the descriptor readable / writable / in the exception set.
  virtual void OnRead();
  virtual void OnWrite();
  virtual void OnException();
  // Called by the handler just before it lets go of the socket.
  virtual void OnDelete();
  // Called right after a descriptor is created, to set its options.
  virtual void OnOptions(int domain, int type, int protocol, SocketDescriptor descriptor) = 0;
  virtual std::uint16_t GetPort();
  virtual void SendBuf(const char* buffer, int length, int flags);
  virtual void Send(const std::string& text, int flags);

  // A new descriptor of this type and protocol name ("udp"), or
  // kInvalidSocketDescriptor (the socket is then marked close-and-delete).
  SocketDescriptor CreateSocket(int type, const std::string& protocol);
  bool SetNonblocking(SocketDescriptor descriptor);

  // Asks the handler to close the socket (and delete it, if it owns it) in
  // its next Select.
  void SetCloseAndDelete();
  bool CloseAndDelete() const { return closeAndDelete_; }
  // Set by the owner right after construction to hand the socket to its handler.
  void SetDeleteByHandler(bool owned = true) { deleteByHandler_ = owned; }
  bool DeleteByHandler() const { return deleteByHandler_; }
  // Set by the handler right before it deletes the socket.
  void SetErasedByHandler(bool erased = true) { erasedByHandler_ = erased; }
  bool ErasedByHandler() const { return erasedByHandler_; }
  bool IsConnected() const { return connected_; }
  SocketDescriptor GetSocket() const { return descriptor_; }

  // Dotted text ("10.1.2.3"; every character a digit or '.') is converted
  // without a resolver; anything else is looked up. False leaves the address
  // unchanged.
  static bool ResolveHost(const std::string& host, Ipv4Address& address);
  // The text of a Winsock error number.
  static std::string StrError(int error);

 protected:
  void SetConnected(bool connected) { connected_ = connected; }
  // The loop that polls this socket, for sockets that change what they wait for.
  SocketHandler& Handler() const { return handler_; }
  // Makes a descriptor for this socket if it has none yet: created,
  // non-blocking and stored.
  void EnsureDescriptor(int type, const std::string& protocol);
  // Reports to the handler's log; the error text is only built when the
  // handler has a log sink.
  void ReportError(const char* context, int error, int level);
  void Report(const char* context, int error, const char* text, int level);

 private:
  SocketHandler& handler_;
  SocketDescriptor descriptor_ = kInvalidSocketDescriptor;
  bool deleteByHandler_ = false;
  bool closeAndDelete_ = false;
  bool connected_ = false;
  bool erasedByHandler_ = false;
};
