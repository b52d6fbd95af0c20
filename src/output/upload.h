// Uploading a saved stats file to the configured FTP server, with its log
// entry and the outcome the network thread announces in the game.
#pragma once

#include "output/ftp_upload.h"

#include <string>

struct FtpAddressParts {
  std::string host;
  // Folder after the host, without a trailing "/"; empty when the address
  // names none (the file then goes into the login folder).
  std::string directory;
};

// True when an FTP address is set.
bool isFtpConfigured();

// Uploads the stats file at path under its own name (the part after the last
// path separator) with the FTP settings, then logs the outcome and sets the
// upload outcome. The program always uses the default options (port 21).
void uploadStatsFile(const std::string& path, const FtpUploadOptions& options = FtpUploadOptions());

// "[ftp://]host/directory[/]": a leading "ftp://" (lower case only) and one
// trailing "/" are dropped; the rest is split at its first "/".
FtpAddressParts splitFtpAddress(const std::string& address);

// The log entry of a successful upload: time stamp; the HTTP address followed
// by name; the report link; an empty line.
void writeUploadEntry(const std::string& name);
