// The upload step of a saved stats file: FTP settings in, log entry and
// upload outcome out.
#include "output/upload.h"

#include "config/settings.h"
#include "config/shared_state.h"
#include "output/report_file.h"
#include "output/report_link.h"
#include "system/executable_path.h"
#include "system/file_system.h"
#include "system/log_file.h"

namespace {
const char kUploadFailed[] = "Couldn\xB4t log into ftp";

std::string fileNameOf(const std::string& path) {
  std::string::size_type separator = path.find_last_of(pathSeparator());
  return separator == std::string::npos ? path : path.substr(separator + 1);
}

// The race report beside an uploaded stats file goes to the same folder. Its
// outcome is only logged: the game hears about the stats file alone.
void uploadReportBeside(FtpUploadRequest request, const FtpUploadOptions& options) {
  request.localPath = reportPathBeside(request.localPath);
  if (!pathExists(request.localPath)) return;
  request.remoteName = fileNameOf(request.localPath);
  if (ftpPutFile(request, options)) {
    writeLog("Race report " + httpAddress() + request.remoteName);
  } else {
    writeLog("Race report " + request.remoteName + " could not be uploaded");
  }
}
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
  request.remoteName = fileNameOf(path);

  if (ftpPutFile(request, options)) {
    writeUploadEntry(request.remoteName);
    recordUploadOutcome(UploadSucceeded);
    // After a failed stats upload the server is not tried again for the report.
    if (htmlReport()) uploadReportBeside(request, options);
  } else {
    // The file stays where it was saved; the entry says which one it is.
    writeLog(std::string(kUploadFailed) + "; " + path + " was not uploaded");
    recordUploadOutcome(UploadFailed);
  }
}

FtpAddressParts splitFtpAddress(const std::string& address) {
  const std::string kScheme = "ftp://";
  std::string rest =
      address.compare(0, kScheme.size(), kScheme) == 0 ? address.substr(kScheme.size()) : address;
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
