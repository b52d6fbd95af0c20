// The process-wide start of the socket library (Winsock 1.1 on Windows):
// one object lives for as long as sockets are used.
#pragma once

class SocketLibrary {
 public:
  SocketLibrary();
  ~SocketLibrary();
  SocketLibrary(const SocketLibrary&) = delete;
  SocketLibrary& operator=(const SocketLibrary&) = delete;

  // False when the library could not be started; sockets cannot work then.
  bool started() const { return started_; }

 private:
  bool started_;
};
