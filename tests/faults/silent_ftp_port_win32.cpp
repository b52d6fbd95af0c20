// The silent FTP port with Winsock: bound and listening, never accepting;
// the system completes the connections on its own.
#include "silent_ftp_port.h"

#include <winsock2.h>

SilentFtpPort::SilentFtpPort() {
  const SOCKET s = ::socket(AF_INET, SOCK_STREAM, 0);
  if (s == INVALID_SOCKET) return;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(21);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(s, 8) != 0) {
    ::closesocket(s);
    return;
  }
  socket_ = static_cast<std::uintptr_t>(s);
}

SilentFtpPort::~SilentFtpPort() {
  if (listening()) ::closesocket(static_cast<SOCKET>(socket_));
}
