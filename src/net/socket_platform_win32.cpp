// Winsock 1.1 calls behind the portable socket seam (Windows). Error numbers
// are Winsock's own, so they pass through unchanged.
#include "net/socket_platform.h"

#include <winsock2.h>
#include <windows.h>

#include <cstring>

static_assert(kAddressFamilyInet == AF_INET, "AF_INET differs");
static_assert(kSocketTypeDatagram == SOCK_DGRAM, "SOCK_DGRAM differs");
static_assert(kSocketTypeStream == SOCK_STREAM, "SOCK_STREAM differs");
static_assert(kSocketAddressLength == sizeof(sockaddr_in), "sockaddr_in size differs");
static_assert(sizeof(SocketDescriptor) >= sizeof(SOCKET), "SOCKET does not fit");
static_assert(kInvalidSocketDescriptor == static_cast<SocketDescriptor>(INVALID_SOCKET),
              "INVALID_SOCKET differs");
static_assert(FD_SETSIZE >= kDescriptorSetSize, "fd_set too small");

namespace {

SOCKET toSocket(SocketDescriptor descriptor) { return static_cast<SOCKET>(descriptor); }

sockaddr_in makeAddress(Ipv4Address address, std::uint16_t port) {
  sockaddr_in result;
  std::memset(&result, 0, sizeof result);
  result.sin_family = AF_INET;
  result.sin_port = htons(port);
  result.sin_addr.s_addr = address;
  return result;
}

void fillFdSet(const DescriptorSet& set, fd_set& fds) {
  fds.fd_count = 0;
  for (unsigned i = 0; i < set.count && i < kDescriptorSetSize; ++i) {
    fds.fd_array[fds.fd_count++] = toSocket(set.descriptors[i]);
  }
}

void copyReady(const fd_set& fds, DescriptorSet& set) {
  set.count = 0;
  for (u_int i = 0; i < fds.fd_count && set.count < kDescriptorSetSize; ++i) {
    set.descriptors[set.count++] = static_cast<SocketDescriptor>(fds.fd_array[i]);
  }
}

}  // namespace

bool socketLibraryStart() {
  WSADATA data;
  return WSAStartup(0x0101, &data) == 0;
}

void socketLibraryStop() { WSACleanup(); }

int socketLastError() { return WSAGetLastError(); }

bool socketProtocolNumber(const char* name, int& number) {
  const protoent* entry = getprotobyname(name);
  if (!entry) return false;
  number = entry->p_proto;
  return true;
}

SocketDescriptor socketCreate(int domain, int type, int protocol) {
  SOCKET created = socket(domain, type, protocol);
  if (created == INVALID_SOCKET) return kInvalidSocketDescriptor;
  // A simulator started by this program must not inherit the client port.
  SetHandleInformation(reinterpret_cast<HANDLE>(created), HANDLE_FLAG_INHERIT, 0);
  return static_cast<SocketDescriptor>(created);
}

int socketClose(SocketDescriptor descriptor) { return closesocket(toSocket(descriptor)) == 0 ? 0 : -1; }

int socketSetNonblocking(SocketDescriptor descriptor) {
  u_long on = 1;
  return ioctlsocket(toSocket(descriptor), FIONBIO, &on) == 0 ? 0 : -1;
}

int socketBind(SocketDescriptor descriptor, Ipv4Address address, std::uint16_t port) {
  sockaddr_in local = makeAddress(address, port);
  return bind(toSocket(descriptor), reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0 ? 0 : -1;
}

int socketConnect(SocketDescriptor descriptor, Ipv4Address address, std::uint16_t port) {
  sockaddr_in peer = makeAddress(address, port);
  return connect(toSocket(descriptor), reinterpret_cast<const sockaddr*>(&peer), sizeof peer) == 0 ? 0 : -1;
}

int socketSend(SocketDescriptor descriptor, const char* buffer, int length, int flags) {
  int sent = send(toSocket(descriptor), buffer, length, flags);
  return sent == SOCKET_ERROR ? -1 : sent;
}

int socketReceiveFrom(SocketDescriptor descriptor, char* buffer, int length, int flags, SocketAddress& sender,
                      int& senderLength) {
  sockaddr_in from;
  std::memset(&from, 0, sizeof from);
  int fromLength = sizeof from;
  int received =
      recvfrom(toSocket(descriptor), buffer, length, flags, reinterpret_cast<sockaddr*>(&from), &fromLength);
  if (received == SOCKET_ERROR) return -1;
  sender.address = from.sin_addr.s_addr;
  sender.port = ntohs(from.sin_port);
  senderLength = fromLength;
  return received;
}

int socketReceive(SocketDescriptor descriptor, char* buffer, int length, int flags) {
  int received = recv(toSocket(descriptor), buffer, length, flags);
  return received == SOCKET_ERROR ? -1 : received;
}

int socketShutdownSend(SocketDescriptor descriptor) {
  return shutdown(toSocket(descriptor), SD_SEND) == 0 ? 0 : -1;
}

int socketSetNoDelay(SocketDescriptor descriptor) {
  BOOL on = TRUE;
  return setsockopt(toSocket(descriptor), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on),
                    sizeof on) == 0
             ? 0
             : -1;
}

int socketListen(SocketDescriptor descriptor, int backlog) {
  return listen(toSocket(descriptor), backlog) == 0 ? 0 : -1;
}

SocketDescriptor socketAccept(SocketDescriptor descriptor) {
  SOCKET accepted = accept(toSocket(descriptor), nullptr, nullptr);
  if (accepted == INVALID_SOCKET) return kInvalidSocketDescriptor;
  SetHandleInformation(reinterpret_cast<HANDLE>(accepted), HANDLE_FLAG_INHERIT, 0);
  return static_cast<SocketDescriptor>(accepted);
}

int socketResetOnClose(SocketDescriptor descriptor) {
  linger abort{1, 0};
  return setsockopt(toSocket(descriptor), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort),
                    sizeof abort) == 0
             ? 0
             : -1;
}

bool socketLocalPort(SocketDescriptor descriptor, std::uint16_t& port) {
  sockaddr_in local;
  int length = sizeof local;
  if (getsockname(toSocket(descriptor), reinterpret_cast<sockaddr*>(&local), &length) != 0) return false;
  port = ntohs(local.sin_port);
  return port != 0;
}

int socketPendingError(SocketDescriptor descriptor) {
  int error = 0;
  int length = sizeof error;
  if (getsockopt(toSocket(descriptor), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0) {
    return WSAGetLastError();
  }
  return error;
}

bool socketResolveName(const char* host, Ipv4Address& address) {
  const hostent* answer = gethostbyname(host);
  if (!answer || answer->h_addrtype != AF_INET || answer->h_length != 4 || !answer->h_addr_list ||
      !answer->h_addr_list[0]) {
    return false;
  }
  std::memcpy(&address, answer->h_addr_list[0], 4);
  return true;
}

int socketSelect(SocketDescriptor highest, DescriptorSet& read, DescriptorSet& write,
                 DescriptorSet& exception, const SelectTimeout* timeout) {
  fd_set readFds, writeFds, exceptionFds;
  fillFdSet(read, readFds);
  fillFdSet(write, writeFds);
  fillFdSet(exception, exceptionFds);
  timeval wait;
  if (timeout) {
    wait.tv_sec = timeout->seconds;
    wait.tv_usec = timeout->microseconds;
  }
  // Winsock ignores the first argument; it is kept for the BSD form.
  int result =
      select(static_cast<int>(highest + 1), &readFds, &writeFds, &exceptionFds, timeout ? &wait : nullptr);
  if (result == SOCKET_ERROR) return -1;
  copyReady(readFds, read);
  copyReady(writeFds, write);
  copyReady(exceptionFds, exception);
  return result;
}
