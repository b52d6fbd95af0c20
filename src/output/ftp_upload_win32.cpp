// FTP upload on Windows with WinINet: a direct session, a passive connection,
// the folder change and FtpPutFileA in ASCII mode, every handle closed on the
// way out. The calls run on a worker thread so the caller can give up after
// the time-outs even where WinINet itself would wait longer (Wine waits a
// fixed minute for a server that never answers).
#include "output/ftp_upload.h"

#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace {

struct InternetHandleCloser {
  void operator()(HINTERNET handle) const { InternetCloseHandle(handle); }
};
using InternetHandle = std::unique_ptr<void, InternetHandleCloser>;

enum class Stage { Connecting, Transferring, Done };

// Shared by the caller and the worker; the worker may outlive the call.
struct Transfer {
  FtpUploadRequest request;
  FtpUploadOptions options;
  std::mutex lock;
  std::condition_variable changed;
  Stage stage = Stage::Connecting;
  bool stored = false;

  void enter(Stage next, bool result = false) {
    std::lock_guard<std::mutex> guard(lock);
    stage = next;
    stored = result;
    changed.notify_all();
  }
};

void setTimeout(HINTERNET handle, DWORD option, std::chrono::seconds timeout) {
  DWORD milliseconds = static_cast<DWORD>(std::chrono::milliseconds(timeout).count());
  InternetSetOptionA(handle, option, &milliseconds, sizeof milliseconds);
}

bool putFile(Transfer& transfer) {
  const FtpUploadRequest& request = transfer.request;
  const FtpUploadOptions& options = transfer.options;
  // No INTERNET_FLAG_ASYNC: without a status callback it would let every call
  // report success at once (Wine) while nothing is transferred.
  InternetHandle session(InternetOpenA("Tarnbeck", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
  if (!session) return false;
  setTimeout(session.get(), INTERNET_OPTION_CONNECT_TIMEOUT, options.connectTimeout);
  setTimeout(session.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, options.idleTimeout);
  setTimeout(session.get(), INTERNET_OPTION_SEND_TIMEOUT, options.idleTimeout);
  setTimeout(session.get(), INTERNET_OPTION_DATA_RECEIVE_TIMEOUT, options.idleTimeout);
  setTimeout(session.get(), INTERNET_OPTION_DATA_SEND_TIMEOUT, options.idleTimeout);

  InternetHandle connection(InternetConnectA(session.get(), request.host.c_str(), options.port,
                                             request.user.c_str(), request.password.c_str(),
                                             INTERNET_SERVICE_FTP, INTERNET_FLAG_PASSIVE, 0));
  if (!connection) return false;
  transfer.enter(Stage::Transferring);
  // A folder that cannot be entered leaves the login folder current.
  if (!request.directory.empty()) FtpSetCurrentDirectoryA(connection.get(), request.directory.c_str());
  return FtpPutFileA(connection.get(), request.localPath.c_str(), request.remoteName.c_str(),
                     FTP_TRANSFER_TYPE_ASCII, 0) != FALSE;
}

}  // namespace

bool ftpPutFile(const FtpUploadRequest& request, const FtpUploadOptions& options) {
  auto transfer = std::make_shared<Transfer>();
  transfer->request = request;
  transfer->options = options;
  std::thread worker([transfer] { transfer->enter(Stage::Done, putFile(*transfer)); });

  std::unique_lock<std::mutex> guard(transfer->lock);
  // Waits in short slices so that a stopping program is not kept waiting.
  auto waitFor = [&](std::chrono::seconds limit, auto reached) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!reached()) {
      if (options.abandon != nullptr && options.abandon->load()) return false;
      const auto now = std::chrono::steady_clock::now();
      if (now >= deadline) return false;
      transfer->changed.wait_for(guard, std::min<std::chrono::steady_clock::duration>(
                                            deadline - now, std::chrono::milliseconds(100)));
    }
    return true;
  };
  bool finished = waitFor(options.connectTimeout, [&] { return transfer->stage != Stage::Connecting; }) &&
                  waitFor(options.idleTimeout, [&] { return transfer->stage == Stage::Done; });
  bool stored = finished && transfer->stored;
  guard.unlock();

  // A worker that is still waiting for the server ends on WinINet's own
  // time-outs; it owns everything it uses.
  if (finished) {
    worker.join();
  } else {
    worker.detach();
  }
  return stored;
}
