// Socket's text conversions: Winsock error numbers to messages, and host
// texts (dotted or names) to IPv4 addresses.
#include "net/socket.h"

#include <cstring>

namespace {

struct ErrorText {
  int error;
  const char* text;
};

constexpr ErrorText kErrorTexts[] = {
    {10004, "Interrupted function call."},
    {10013, "Permission denied."},
    {10014, "Bad address."},
    {10022, "Invalid argument."},
    {10024, "Too many open files."},
    {10035, "Resource temporarily unavailable."},
    {10036, "Operation now in progress."},
    {10037, "Operation already in progress."},
    {10038, "Socket operation on nonsocket."},
    {10039, "Destination address required."},
    {10040, "Message too long."},
    {10041, "Protocol wrong type for socket."},
    {10042, "Bad protocol option."},
    {10043, "Protocol not supported."},
    {10044, "Socket type not supported."},
    {10045, "Operation not supported."},
    {10046, "Protocol family not supported."},
    {10047, "Address family not supported by protocol family."},
    {10048, "Address already in use."},
    {10049, "Cannot assign requested address."},
    {10050, "Network is down."},
    {10051, "Network is unreachable."},
    {10052, "Network dropped connection on reset."},
    {10053, "Software caused connection abort."},
    {10054, "Connection reset by peer."},
    {10055, "No buffer space available."},
    {10056, "Socket is already connected."},
    {10057, "Socket is not connected."},
    {10058, "Cannot send after socket shutdown."},
    {10060, "Connection timed out."},
    {10061, "Connection refused."},
    {10064, "Host is down."},
    {10065, "No route to host."},
    {10067, "Too many processes."},
    {10091, "Network subsystem is unavailable."},
    {10092, "Winsock.dll version out of range."},
    {10093, "Successful WSAStartup not yet performed."},
    {10101, "Graceful shutdown in progress."},
    {10109, "Class type not found."},
    {11001, "Host not found."},
    {11002, "Nonauthoritative host not found."},
    {11003, "This is a nonrecoverable error."},
    {11004, "Valid name, no data record of requested type."},
};

bool isDottedText(const std::string& host) {
  for (char c : host) {
    if (!(c >= '0' && c <= '9') && c != '.') return false;
  }
  return true;
}

// Up to four fields separated by runs of dots; each field's low 8 bits
// become one byte, missing fields give 0.
Ipv4Address parseDotted(const std::string& host) {
  unsigned char bytes[4] = {0, 0, 0, 0};
  std::size_t position = 0;
  for (int field = 0; field < 4; ++field) {
    while (position < host.size() && host[position] == '.') ++position;
    if (position >= host.size()) break;
    unsigned value = 0;
    while (position < host.size() && host[position] != '.') {
      value = value * 10 + static_cast<unsigned>(host[position] - '0');
      ++position;
    }
    bytes[field] = static_cast<unsigned char>(value & 0xFF);
  }
  Ipv4Address address;
  std::memcpy(&address, bytes, sizeof address);
  return address;
}

}  // namespace

std::string Socket::StrError(int error) {
  for (const ErrorText& entry : kErrorTexts) {
    if (entry.error == error) return entry.text;
  }
  return "Winsock error code: " + std::to_string(error);
}

bool Socket::ResolveHost(const std::string& host, Ipv4Address& address) {
  if (isDottedText(host)) {
    address = parseDotted(host);
    return true;
  }
  return socketResolveName(host.c_str(), address);
}
