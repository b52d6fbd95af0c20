// BSD socket calls behind the portable socket seam (Linux). errno values are
// turned into Winsock numbers so that error texts match the Windows program.
#include "net/socket_platform.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

static_assert(kAddressFamilyInet == AF_INET, "AF_INET differs");
static_assert(kSocketTypeDatagram == SOCK_DGRAM, "SOCK_DGRAM differs");
static_assert(kSocketTypeStream == SOCK_STREAM, "SOCK_STREAM differs");
static_assert(kSocketAddressLength == sizeof(sockaddr_in), "sockaddr_in size differs");

namespace {

struct ErrnoMapping {
  int errnoValue;
  int winsockError;
};

constexpr ErrnoMapping kErrnoMappings[] = {
    {EINTR, 10004},        {EBADF, 10038},           {EACCES, 10013},          {EPERM, 10013},
    {EFAULT, 10014},       {EINVAL, 10022},          {EMFILE, 10024},          {ENFILE, 10024},
    {EWOULDBLOCK, 10035},  {EAGAIN, 10035},          {EINPROGRESS, 10036},     {EALREADY, 10037},
    {ENOTSOCK, 10038},     {EDESTADDRREQ, 10039},    {EMSGSIZE, 10040},        {EPROTOTYPE, 10041},
    {ENOPROTOOPT, 10042},  {EPROTONOSUPPORT, 10043}, {ESOCKTNOSUPPORT, 10044}, {EOPNOTSUPP, 10045},
    {EPFNOSUPPORT, 10046}, {EAFNOSUPPORT, 10047},    {EADDRINUSE, 10048},      {EADDRNOTAVAIL, 10049},
    {ENETDOWN, 10050},     {ENETUNREACH, 10051},     {ENETRESET, 10052},       {ECONNABORTED, 10053},
    {ECONNRESET, 10054},   {ENOBUFS, 10055},         {ENOMEM, 10055},          {EISCONN, 10056},
    {ENOTCONN, 10057},     {ESHUTDOWN, 10058},       {EPIPE, 10058},           {ETIMEDOUT, 10060},
    {ECONNREFUSED, 10061}, {EHOSTDOWN, 10064},       {EHOSTUNREACH, 10065},
};

int toWinsockError(int errnoValue) {
  for (const ErrnoMapping& mapping : kErrnoMappings) {
    if (mapping.errnoValue == errnoValue) return mapping.winsockError;
  }
  return errnoValue;
}

// Descriptors here are small ints; anything else cannot be ours.
int toFd(SocketDescriptor descriptor) {
  return descriptor <= static_cast<SocketDescriptor>(INT_MAX) ? static_cast<int>(descriptor) : -1;
}

sockaddr_in makeAddress(Ipv4Address address, std::uint16_t port) {
  sockaddr_in result;
  std::memset(&result, 0, sizeof result);
  result.sin_family = AF_INET;
  result.sin_port = htons(port);
  result.sin_addr.s_addr = address;
  return result;
}

// poll() underneath the select seam: any descriptor number works, where an
// fd_set holds only those below FD_SETSIZE (1024), which a process with many
// open files gives its sockets. One entry per descriptor, asking for what the
// sets ask of it.
struct PollEntries {
  pollfd entries[3 * kDescriptorSetSize];
  nfds_t count = 0;

  bool add(const DescriptorSet& set, short events) {
    for (unsigned i = 0; i < set.count && i < kDescriptorSetSize; ++i) {
      const int fd = toFd(set.descriptors[i]);
      if (fd < 0) return false;
      pollfd* entry = find(fd);
      if (entry == nullptr) {
        entry = &entries[count++];
        *entry = pollfd{fd, 0, 0};
      }
      entry->events = static_cast<short>(entry->events | events);
    }
    return true;
  }
  pollfd* find(int fd) {
    for (nfds_t i = 0; i < count; ++i) {
      if (entries[i].fd == fd) return &entries[i];
    }
    return nullptr;
  }
};

// What select() would report for each set: errors and hang-ups count as
// readable and writable, as in the kernel's select.
constexpr short kReadReady = POLLIN | POLLRDNORM | POLLRDBAND | POLLHUP | POLLERR;
constexpr short kWriteReady = POLLOUT | POLLWRNORM | POLLWRBAND | POLLERR;
constexpr short kExceptionReady = POLLPRI;

// Keeps only the ready descriptors, in their order, as Winsock does; the
// number kept.
int keepReady(DescriptorSet& set, PollEntries& polled, short ready) {
  unsigned kept = 0;
  for (unsigned i = 0; i < set.count && i < kDescriptorSetSize; ++i) {
    const pollfd* entry = polled.find(toFd(set.descriptors[i]));
    if (entry != nullptr && (entry->revents & ready) != 0) set.descriptors[kept++] = set.descriptors[i];
  }
  set.count = kept;
  return static_cast<int>(kept);
}

}  // namespace

bool socketLibraryStart() { return true; }

void socketLibraryStop() {}

int socketLastError() { return toWinsockError(errno); }

bool socketProtocolNumber(const char* name, int& number) {
  protoent entry;
  protoent* found = nullptr;
  char scratch[1024];
  if (getprotobyname_r(name, &entry, scratch, sizeof scratch, &found) == 0 && found) {
    number = found->p_proto;
    return true;
  }
  // Systems without a protocols database still speak UDP and TCP; their
  // numbers are fixed.
  if (std::strcmp(name, "udp") == 0) {
    number = IPPROTO_UDP;
    return true;
  }
  if (std::strcmp(name, "tcp") == 0) {
    number = IPPROTO_TCP;
    return true;
  }
  errno = EPROTONOSUPPORT;
  return false;
}

SocketDescriptor socketCreate(int domain, int type, int protocol) {
  // Close-on-exec: a simulator started by this program must not keep the
  // client port bound after the program has let go of it.
  int fd = ::socket(domain, type | SOCK_CLOEXEC, protocol);
  return fd < 0 ? kInvalidSocketDescriptor : static_cast<SocketDescriptor>(fd);
}

int socketClose(SocketDescriptor descriptor) { return ::close(toFd(descriptor)) == 0 ? 0 : -1; }

int socketSetNonblocking(SocketDescriptor descriptor) {
  int fd = toFd(descriptor);
  int flags = ::fcntl(fd, F_GETFL, 0);
  if (flags < 0) return -1;
  return ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0 ? 0 : -1;
}

int socketBind(SocketDescriptor descriptor, Ipv4Address address, std::uint16_t port) {
  sockaddr_in local = makeAddress(address, port);
  return ::bind(toFd(descriptor), reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0 ? 0 : -1;
}

int socketConnect(SocketDescriptor descriptor, Ipv4Address address, std::uint16_t port) {
  sockaddr_in peer = makeAddress(address, port);
  return ::connect(toFd(descriptor), reinterpret_cast<const sockaddr*>(&peer), sizeof peer) == 0 ? 0 : -1;
}

int socketSend(SocketDescriptor descriptor, const char* buffer, int length, int flags) {
  if (length < 0) {
    errno = EINVAL;
    return -1;
  }
  // A connection the peer has closed fails the call with EPIPE, as on
  // Winsock, instead of ending the process with SIGPIPE.
  ssize_t sent = ::send(toFd(descriptor), buffer, static_cast<size_t>(length), flags | MSG_NOSIGNAL);
  return sent < 0 ? -1 : static_cast<int>(sent);
}

int socketReceiveFrom(SocketDescriptor descriptor, char* buffer, int length, int flags, SocketAddress& sender,
                      int& senderLength) {
  if (length < 0) {
    errno = EINVAL;
    return -1;
  }
  sockaddr_in from;
  std::memset(&from, 0, sizeof from);
  socklen_t fromLength = sizeof from;
  // MSG_TRUNC gives the full length, so a datagram larger than the buffer
  // fails with "Message too long" as on Winsock instead of arriving cut.
  ssize_t received = ::recvfrom(toFd(descriptor), buffer, static_cast<size_t>(length), flags | MSG_TRUNC,
                                reinterpret_cast<sockaddr*>(&from), &fromLength);
  if (received < 0) return -1;
  if (received > length) {
    errno = EMSGSIZE;
    return -1;
  }
  sender.address = from.sin_addr.s_addr;
  sender.port = ntohs(from.sin_port);
  senderLength = static_cast<int>(fromLength);
  return static_cast<int>(received);
}

int socketReceive(SocketDescriptor descriptor, char* buffer, int length, int flags) {
  if (length < 0) {
    errno = EINVAL;
    return -1;
  }
  ssize_t received = ::recv(toFd(descriptor), buffer, static_cast<size_t>(length), flags);
  return received < 0 ? -1 : static_cast<int>(received);
}

int socketShutdownSend(SocketDescriptor descriptor) {
  return ::shutdown(toFd(descriptor), SHUT_WR) == 0 ? 0 : -1;
}

int socketSetNoDelay(SocketDescriptor descriptor) {
  int on = 1;
  return ::setsockopt(toFd(descriptor), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) == 0 ? 0 : -1;
}

int socketListen(SocketDescriptor descriptor, int backlog) {
  return ::listen(toFd(descriptor), backlog) == 0 ? 0 : -1;
}

SocketDescriptor socketAccept(SocketDescriptor descriptor) {
  int fd = ::accept4(toFd(descriptor), nullptr, nullptr, SOCK_CLOEXEC);
  return fd < 0 ? kInvalidSocketDescriptor : static_cast<SocketDescriptor>(fd);
}

int socketResetOnClose(SocketDescriptor descriptor) {
  linger abort{1, 0};
  return ::setsockopt(toFd(descriptor), SOL_SOCKET, SO_LINGER, &abort, sizeof abort) == 0 ? 0 : -1;
}

bool socketLocalPort(SocketDescriptor descriptor, std::uint16_t& port) {
  sockaddr_in local;
  socklen_t length = sizeof local;
  if (::getsockname(toFd(descriptor), reinterpret_cast<sockaddr*>(&local), &length) != 0) return false;
  port = ntohs(local.sin_port);
  return port != 0;
}

int socketPendingError(SocketDescriptor descriptor) {
  int error = 0;
  socklen_t length = sizeof error;
  if (::getsockopt(toFd(descriptor), SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
    return socketLastError();
  }
  return error == 0 ? 0 : toWinsockError(error);
}

bool socketResolveName(const char* host, Ipv4Address& address) {
  addrinfo hints;
  std::memset(&hints, 0, sizeof hints);
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* answer = nullptr;
  if (::getaddrinfo(host, nullptr, &hints, &answer) != 0 || !answer) return false;
  bool found = false;
  for (addrinfo* entry = answer; entry; entry = entry->ai_next) {
    if (entry->ai_family == AF_INET && entry->ai_addr) {
      address = reinterpret_cast<const sockaddr_in*>(entry->ai_addr)->sin_addr.s_addr;
      found = true;
      break;
    }
  }
  ::freeaddrinfo(answer);
  return found;
}

int socketSelect(SocketDescriptor, DescriptorSet& read, DescriptorSet& write, DescriptorSet& exception,
                 const SelectTimeout* timeout) {
  PollEntries polled;
  if (!polled.add(read, POLLIN) || !polled.add(write, POLLOUT) || !polled.add(exception, POLLPRI)) {
    errno = EBADF;
    return -1;
  }
  timespec wait{};
  if (timeout) {
    if (timeout->seconds < 0 || timeout->microseconds < 0) {
      errno = EINVAL;
      return -1;
    }
    // Whole seconds in the microseconds carry over, as Linux's select does.
    wait.tv_sec = timeout->seconds + timeout->microseconds / 1000000;
    wait.tv_nsec = (timeout->microseconds % 1000000) * 1000;
  }
  if (::ppoll(polled.entries, polled.count, timeout ? &wait : nullptr, nullptr) < 0) return -1;
  for (nfds_t i = 0; i < polled.count; ++i) {
    // select() refuses a closed descriptor in its sets; so does this.
    if (polled.entries[i].revents & POLLNVAL) {
      errno = EBADF;
      return -1;
    }
  }
  return keepReady(read, polled, kReadReady) + keepReady(write, polled, kWriteReady) +
         keepReady(exception, polled, kExceptionReady);
}
