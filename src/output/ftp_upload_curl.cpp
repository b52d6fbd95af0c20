// FTP upload with libcurl: passive mode, ASCII type, the folder change after
// login and the transfer on one connection. As with WinINet, a folder change
// the server refuses leaves the login folder current and the file goes there.
#include "output/ftp_upload.h"

#include <curl/curl.h>

#include <cstdio>
#include <memory>
#include <mutex>

namespace {

struct CurlCloser {
  void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
struct CurlListFree {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
struct CurlTextFree {
  void operator()(char* text) const { curl_free(text); }
};
struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

// Called by libcurl several times a second, also while it waits for the
// server: a non-zero answer ends the transfer.
int checkAbandoned(void* abandon, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  const auto* flag = static_cast<const std::atomic<bool>*>(abandon);
  return flag != nullptr && flag->load() ? 1 : 0;
}

}  // namespace

bool ftpPutFile(const FtpUploadRequest& request, const FtpUploadOptions& options) {
  static std::once_flag curlReady;
  std::call_once(curlReady, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });

  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(request.localPath.c_str(), "rb"));
  if (!file) return false;
  std::unique_ptr<CURL, CurlCloser> curl(curl_easy_init());
  if (!curl) return false;
  CURL* handle = curl.get();

  // The file name is escaped so that "#", "?" or "%" stay part of it.
  std::unique_ptr<char, CurlTextFree> name(
      curl_easy_escape(handle, request.remoteName.c_str(), static_cast<int>(request.remoteName.size())));
  if (!name) return false;
  std::string url = "ftp://" + request.host + ":" + std::to_string(options.port) + "/" + name.get();

  // "*" lets the transfer go ahead when the server refuses the folder change.
  std::unique_ptr<curl_slist, CurlListFree> folderChange;
  if (!request.directory.empty()) {
    std::string command = "*CWD " + request.directory;
    folderChange.reset(curl_slist_append(nullptr, command.c_str()));
    if (!folderChange) return false;
  }

  curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
  curl_easy_setopt(handle, CURLOPT_USERNAME, request.user.c_str());
  curl_easy_setopt(handle, CURLOPT_PASSWORD, request.password.c_str());
  curl_easy_setopt(handle, CURLOPT_QUOTE, folderChange.get());
  curl_easy_setopt(handle, CURLOPT_UPLOAD, 1L);
  curl_easy_setopt(handle, CURLOPT_READDATA, file.get());
  curl_easy_setopt(handle, CURLOPT_TRANSFERTEXT, 1L);
  // Passive mode is curl's default as long as no active port is set.
  curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
  // The connect time-out covers the greeting and the login as well.
  curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, static_cast<long>(options.connectTimeout.count()));
  curl_easy_setopt(handle, CURLOPT_SERVER_RESPONSE_TIMEOUT, static_cast<long>(options.idleTimeout.count()));
  curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, static_cast<long>(options.idleTimeout.count()));
  curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, checkAbandoned);
  curl_easy_setopt(handle, CURLOPT_XFERINFODATA, const_cast<std::atomic<bool>*>(options.abandon));
  curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
  return curl_easy_perform(handle) == CURLE_OK;
}
