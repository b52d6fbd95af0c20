// Servers for upload tests, all on 127.0.0.1: a real FTP server (pyftpdlib),
// one that accepts connections but never greets, and a port nobody listens on.
#pragma once

#include <cstdint>
#include <string>

// On Linux the server is started here, on a free port, with its own folder,
// and stopped by the destructor. A Windows test cannot start the Linux
// program itself: ctest starts it before the tests and the file named by the
// environment variable TARNBECK_FTP_SERVER says where it is (see
// ftp_server_fixture.sh).
class FtpServer {
 public:
  FtpServer();
  ~FtpServer();
  FtpServer(const FtpServer&) = delete;
  FtpServer& operator=(const FtpServer&) = delete;

  // False when the server could not be started or found; failure() says why.
  bool running() const { return port_ != 0; }
  const std::string& failure() const { return failure_; }

  std::uint16_t port() const { return port_; }
  const std::string& user() const { return user_; }
  const std::string& password() const { return password_; }
  // The server's folder (the login folder), as a path this process can use.
  const std::string& root() const { return root_; }

 private:
  std::uint16_t port_ = 0;
  std::string user_;
  std::string password_;
  std::string root_;
  std::string failure_;
  long process_ = 0;
};

// Listens on 127.0.0.1 and lets the system accept connections, but never
// reads or writes: a server that never sends its greeting.
class SilentServer {
 public:
  SilentServer();
  ~SilentServer();
  SilentServer(const SilentServer&) = delete;
  SilentServer& operator=(const SilentServer&) = delete;
  std::uint16_t port() const { return port_; }  // 0 when it could not listen

 private:
  std::uintptr_t socket_ = ~std::uintptr_t{0};
  std::uint16_t port_ = 0;
};

// Holds a port on 127.0.0.1 bound but not listening, so a connection to it is
// refused: a server that is down.
class ClosedPort {
 public:
  ClosedPort();
  ~ClosedPort();
  ClosedPort(const ClosedPort&) = delete;
  ClosedPort& operator=(const ClosedPort&) = delete;
  std::uint16_t port() const { return port_; }

 private:
  std::uintptr_t socket_ = ~std::uintptr_t{0};
  std::uint16_t port_ = 0;
};
