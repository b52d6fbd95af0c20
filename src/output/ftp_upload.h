// Puts one file on an FTP server: the platform's FTP client behind one call
// (WinINet on Windows, libcurl elsewhere).
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>

struct FtpUploadOptions {
  std::uint16_t port = 21;
  // Longest wait for the server to accept the connection and greet.
  std::chrono::seconds connectTimeout{20};
  // Longest time the transfer may go without any progress. WinINet reports no
  // progress, so there the folder change and the transfer together must end
  // within it; a stats file of some kilobytes does on any working link.
  std::chrono::seconds idleTimeout{60};
  // When set and it turns true, the upload gives up within a fraction of a
  // second and fails (the program is stopping).
  const std::atomic<bool>* abandon = nullptr;
};

struct FtpUploadRequest {
  std::string host;
  std::string user;
  std::string password;
  // Folder to change into after login, relative to the login folder unless it
  // starts with "/". Empty: the login folder. When the server refuses to
  // change into it, the file goes into the login folder.
  std::string directory;
  std::string localPath;
  std::string remoteName;
};

// Passive mode, ASCII transfer type. True only when the server reports the
// file as stored; a failed connection, login or transfer and every time-out
// give false.
bool ftpPutFile(const FtpUploadRequest& request, const FtpUploadOptions& options);
