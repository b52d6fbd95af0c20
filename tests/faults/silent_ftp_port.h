// An FTP server that accepts the connection and then never says a word, on
// the FTP port itself (21) of 127.0.0.1, where the program's uploads go.
#pragma once

#include <cstdint>

class SilentFtpPort {
 public:
  SilentFtpPort();
  ~SilentFtpPort();
  SilentFtpPort(const SilentFtpPort&) = delete;
  SilentFtpPort& operator=(const SilentFtpPort&) = delete;

  // False when port 21 could not be taken (in use, or not allowed).
  bool listening() const { return socket_ != kNone; }

 private:
  static constexpr std::uintptr_t kNone = ~std::uintptr_t{0};
  std::uintptr_t socket_ = kNone;
};
