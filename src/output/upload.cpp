// The upload step of a saved stats file: FTP settings in, log entry and
// upload outcome out.
#include "output/upload.h"

#include "config/settings.h"
#include "config/shared_state.h"
#include "output/report_link.h"
#include "system/executable_path.h"
#include "system/log_file.h"

namespace {
const char kUploadFailed[] = "Couldn\xB4t log into ftp";
}  // namespace

bool isFtpConfigured() { return !ftpAddress().empty(); }

void uploadStatsFile(const std::string& path, const FtpUploadOptions& options) {
  FtpAddressParts address = splitFtpAddress(ftpAddress());
  FtpUploadRequest request;
  request.host = address.host;
  request.directory = address.directory;
  request.user = ftpUser();
  request.password = ftpPassword();
  request.localPath = path;
  std::string::size_type separator = path.find_last_of(pathSeparator());
  request.remoteName = separator == std::string::npos ? path : path.substr(separator + 1);

  if (ftpPutFile(request, options)) {
    writeUploadEntry(request.remoteName);
    recordUploadOutcome(UploadSucceeded);
  } else {
    // The file stays where it was saved; the entry says which one it is.
    writeLog(std::string(kUploadFailed) + "; " + path + " was not uploaded");
    recordUploadOutcome(UploadFailed);
  }
}

FtpAddressParts splitFtpAddress(const std::string& address) {
  const std::string kScheme = "ftp://";
  std::string rest = address.compare(0, kScheme.size(), kScheme) == 0 ? address.substr(kScheme.size()) : address;
  if (!rest.empty() && rest.back() == '/') rest.pop_back();
  FtpAddressParts parts;
  std::string::size_type slash = rest.find('/');
  parts.host = rest.substr(0, slash);
  if (slash != std::string::npos) parts.directory = rest.substr(slash + 1);
  return parts;
}

void writeUploadEntry(const std::string& name) {
  appendToLog(logTimestamp() + "\n" + httpAddress() + name + "\n" + reportLink(name) + "\n\n");
}
