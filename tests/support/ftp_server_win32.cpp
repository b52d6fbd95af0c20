// Test servers on Windows: the FTP server started by ctest (its port, account
// and folder read from the file named by TARNBECK_FTP_SERVER), and Winsock
// sockets for the silent server and the closed port.
#include "support/ftp_server.h"

#include <winsock2.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

namespace {

// Winsock stays started for the test program's whole life.
bool winsockReady() {
  static bool ready = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return ready;
}

sockaddr_in loopback(std::uint16_t port) {
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

SOCKET boundSocket(std::uint16_t& port) {
  if (!winsockReady()) return INVALID_SOCKET;
  SOCKET s = ::socket(AF_INET, SOCK_STREAM, 0);
  if (s == INVALID_SOCKET) return s;
  sockaddr_in address = loopback(0);
  int length = sizeof address;
  if (::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    ::closesocket(s);
    return INVALID_SOCKET;
  }
  port = ntohs(address.sin_port);
  return s;
}

bool accepts(std::uint16_t port) {
  if (!winsockReady()) return false;
  SOCKET s = ::socket(AF_INET, SOCK_STREAM, 0);
  if (s == INVALID_SOCKET) return false;
  sockaddr_in address = loopback(port);
  bool connected = ::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::closesocket(s);
  return connected;
}

}  // namespace

FtpServer::FtpServer() {
  const char* stateFile = std::getenv("TARNBECK_FTP_SERVER");
  if (!stateFile) {
    failure_ = "TARNBECK_FTP_SERVER is not set: run the test through ctest, which starts the server";
    return;
  }
  std::ifstream state(stateFile);
  std::string port;
  if (!std::getline(state, port) || !std::getline(state, user_) || !std::getline(state, password_) ||
      !std::getline(state, root_)) {
    failure_ = std::string("cannot read the server's state file ") + stateFile;
    return;
  }
  std::uint16_t number = static_cast<std::uint16_t>(std::atoi(port.c_str()));
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!accepts(number)) {
    if (std::chrono::steady_clock::now() >= deadline) {
      failure_ = "nothing accepts connections on the server's port " + port;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  port_ = number;
}

// ctest's cleanup step stops the server and removes its folder.
FtpServer::~FtpServer() = default;

SilentServer::SilentServer() {
  SOCKET s = boundSocket(port_);
  if (s == INVALID_SOCKET || ::listen(s, 8) != 0) {
    if (s != INVALID_SOCKET) ::closesocket(s);
    port_ = 0;
    return;
  }
  socket_ = static_cast<std::uintptr_t>(s);
}

SilentServer::~SilentServer() {
  if (socket_ != static_cast<std::uintptr_t>(INVALID_SOCKET)) ::closesocket(static_cast<SOCKET>(socket_));
}

ClosedPort::ClosedPort() {
  SOCKET s = boundSocket(port_);
  if (s == INVALID_SOCKET) {
    port_ = 0;
    return;
  }
  socket_ = static_cast<std::uintptr_t>(s);
}

ClosedPort::~ClosedPort() {
  if (socket_ != static_cast<std::uintptr_t>(INVALID_SOCKET)) ::closesocket(static_cast<SOCKET>(socket_));
}
