// The operating system's socket calls in one portable form, so the socket
// classes read the same on Winsock and on BSD sockets. Error numbers are
// always Winsock's, whatever the platform, so one table of texts serves both.
#pragma once

#include <cstdint>

// A socket descriptor wide enough for a Winsock SOCKET; all bits set means
// "no descriptor".
using SocketDescriptor = std::uintptr_t;
constexpr SocketDescriptor kInvalidSocketDescriptor = ~SocketDescriptor(0);

// Values of AF_INET, SOCK_STREAM and SOCK_DGRAM (the same on both platforms).
constexpr int kAddressFamilyInet = 2;
constexpr int kSocketTypeStream = 1;
constexpr int kSocketTypeDatagram = 2;

// Winsock error numbers that the socket classes test for.
constexpr int kSocketErrorWouldBlock = 10035;  // WSAEWOULDBLOCK
constexpr int kSocketErrorInvalid = 10022;     // WSAEINVAL
constexpr int kSocketErrorInProgress = 10036;  // WSAEINPROGRESS (BSD's non-blocking connect)
constexpr int kSocketErrorNoBuffers = 10055;   // WSAENOBUFS

// The length of an IPv4 sockaddr_in, which every address call uses.
constexpr int kSocketAddressLength = 16;

// An IPv4 address: four bytes in network order in memory, first byte of the
// dotted form first.
using Ipv4Address = std::uint32_t;

// The address a datagram came from.
struct SocketAddress {
  Ipv4Address address = 0;  // network order in memory
  std::uint16_t port = 0;   // host order
};

// Descriptor set of the select loop: a count and room for 64 descriptors,
// as Winsock's fd_set.
constexpr unsigned kDescriptorSetSize = 64;
struct DescriptorSet {
  unsigned count = 0;
  SocketDescriptor descriptors[kDescriptorSetSize];
};

// The time a select() may wait.
struct SelectTimeout {
  long seconds = 0;
  long microseconds = 0;
};

// Start and stop of the socket library (Winsock 1.1 on Windows; nothing
// elsewhere).
bool socketLibraryStart();
void socketLibraryStop();

// The error of the last failed call of this thread, as a Winsock number.
int socketLastError();

// The protocol number of a protocol name ("udp", "tcp"); false when unknown.
bool socketProtocolNumber(const char* name, int& number);

// Each of these returns what the system call returns: a descriptor or
// kInvalidSocketDescriptor, 0 or -1, a byte count or -1. After a failure
// socketLastError() tells why.
SocketDescriptor socketCreate(int domain, int type, int protocol);
int socketClose(SocketDescriptor descriptor);
int socketSetNonblocking(SocketDescriptor descriptor);
int socketBind(SocketDescriptor descriptor, Ipv4Address address, std::uint16_t port);
int socketConnect(SocketDescriptor descriptor, Ipv4Address address, std::uint16_t port);
int socketSend(SocketDescriptor descriptor, const char* buffer, int length, int flags);
int socketReceiveFrom(SocketDescriptor descriptor, char* buffer, int length, int flags, SocketAddress& sender,
                      int& senderLength);
int socketReceive(SocketDescriptor descriptor, char* buffer, int length, int flags);
int socketShutdownSend(SocketDescriptor descriptor);
// Stream sockets: small writes go out at once instead of waiting to be
// joined (TCP_NODELAY).
int socketSetNoDelay(SocketDescriptor descriptor);
// Listening and accepting, for the loopback peers of tests and benchmarks.
int socketListen(SocketDescriptor descriptor, int backlog);
SocketDescriptor socketAccept(SocketDescriptor descriptor);
// Makes the next close reset the connection instead of ending it in order
// (SO_LINGER with a zero time), as a peer that crashes would.
int socketResetOnClose(SocketDescriptor descriptor);
// The local port a socket is bound to; false when it has none.
bool socketLocalPort(SocketDescriptor descriptor, std::uint16_t& port);

// The socket's pending error (SO_ERROR) as a Winsock number; the error of
// the query itself when that fails.
int socketPendingError(SocketDescriptor descriptor);

// Looks a host name up and gives its first IPv4 address; false when the
// name has none.
bool socketResolveName(const char* host, Ipv4Address& address);

// select() over the three sets; on return each set holds only the ready
// descriptors. A null time-out waits without limit.
int socketSelect(SocketDescriptor highest, DescriptorSet& read, DescriptorSet& write,
                 DescriptorSet& exception, const SelectTimeout* timeout);
