// Test servers on Linux: pyftpdlib started as a child process, and plain TCP
// sockets for the silent server and the closed port.
#include "support/ftp_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <vector>

extern char** environ;

namespace {

constexpr std::uintptr_t kNoSocket = ~std::uintptr_t{0};

sockaddr_in loopback(std::uint16_t port) {
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

// A TCP socket bound to a free port on 127.0.0.1; -1 on failure.
int boundSocket(std::uint16_t& port) {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return -1;
  sockaddr_in address = loopback(0);
  socklen_t length = sizeof address;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    ::close(fd);
    return -1;
  }
  port = ntohs(address.sin_port);
  return fd;
}

// True once a connection to the port gets an FTP greeting.
bool greets(std::uint16_t port) {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return false;
  sockaddr_in address = loopback(port);
  bool greeted = false;
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
    pollfd wait = {fd, POLLIN, 0};
    char reply[4] = {};
    greeted = ::poll(&wait, 1, 2000) == 1 && ::recv(fd, reply, 3, 0) == 3 && std::string(reply) == "220";
  }
  ::close(fd);
  return greeted;
}

}  // namespace

FtpServer::FtpServer() : user_("racer"), password_("pit-lane-7") {
  char folder[] = "/tmp/tarnbeck-ftp-XXXXXX";
  if (!::mkdtemp(folder)) {
    failure_ = "cannot make the server's folder";
    return;
  }
  root_ = folder;
  std::string log = root_ + ".log";

  // The free port is found by binding and releasing it; another program may
  // take it in between, so a server that does not come up is tried again.
  for (int attempt = 0; attempt < 5 && port_ == 0; ++attempt) {
    std::uint16_t port = 0;
    int probe = boundSocket(port);
    if (probe < 0) continue;
    ::close(probe);

    std::string portText = std::to_string(port);
    std::vector<std::string> arguments = {
        "/usr/bin/python3", "-m", "pyftpdlib", "-i", "127.0.0.1", "-p", portText, "-u", user_, "-P",
        password_,          "-d", root_,       "-w"};
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = 0;
    int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
      failure_ = "cannot start /usr/bin/python3";
      return;
    }

    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
      if (greets(port)) {
        port_ = port;
        process_ = pid;
        break;
      }
      int status = 0;
      if (::waitpid(pid, &status, WNOHANG) == pid) {
        pid = 0;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (port_ == 0 && pid != 0) {
      ::kill(pid, SIGTERM);
      ::waitpid(pid, nullptr, 0);
    }
  }
  if (port_ == 0 && failure_.empty()) failure_ = "pyftpdlib did not come up; see " + log;
}

FtpServer::~FtpServer() {
  if (process_ != 0) {
    ::kill(static_cast<pid_t>(process_), SIGTERM);
    ::waitpid(static_cast<pid_t>(process_), nullptr, 0);
  }
  if (!root_.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
    if (port_ != 0) std::filesystem::remove(root_ + ".log", ignored);
  }
}

SilentServer::SilentServer() {
  int fd = boundSocket(port_);
  if (fd < 0 || ::listen(fd, 8) != 0) {
    if (fd >= 0) ::close(fd);
    port_ = 0;
    socket_ = kNoSocket;
    return;
  }
  socket_ = static_cast<std::uintptr_t>(fd);
}

SilentServer::~SilentServer() {
  if (socket_ != kNoSocket) ::close(static_cast<int>(socket_));
}

ClosedPort::ClosedPort() {
  int fd = boundSocket(port_);
  socket_ = fd < 0 ? kNoSocket : static_cast<std::uintptr_t>(fd);
  if (fd < 0) port_ = 0;
}

ClosedPort::~ClosedPort() {
  if (socket_ != kNoSocket) ::close(static_cast<int>(socket_));
}
