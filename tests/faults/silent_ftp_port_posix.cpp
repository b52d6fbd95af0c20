// The silent FTP port with BSD sockets: bound and listening, never accepting;
// the system completes the connections on its own.
#include "silent_ftp_port.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

SilentFtpPort::SilentFtpPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return;
  sockaddr_in address;
  std::memset(&address, 0, sizeof address);
  address.sin_family = AF_INET;
  address.sin_port = htons(21);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 8) != 0) {
    ::close(fd);
    return;
  }
  socket_ = static_cast<std::uintptr_t>(fd);
}

SilentFtpPort::~SilentFtpPort() {
  if (listening()) ::close(static_cast<int>(socket_));
}
