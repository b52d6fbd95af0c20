// The upload worker's thread: takes the oldest waiting file, uploads or logs
// it, and tells waiters when the queue is empty.
#include "shell/upload_worker.h"

#include "config/settings.h"
#include "output/report_file.h"
#include "output/upload.h"
#include "system/file_system.h"
#include "system/log_file.h"

#include <system_error>

UploadWorker::UploadWorker() {
  try {
    thread_ = std::thread([this] { run(); });
  } catch (const std::system_error&) {
    // Resources exhausted: add() does the work itself.
  }
}

UploadWorker::~UploadWorker() {
  abandon();
  {
    std::lock_guard<std::mutex> guard(lock_);
    stopping_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void UploadWorker::add(const std::string& path) {
  if (!thread_.joinable()) {
    handle(path);
    return;
  }
  {
    std::lock_guard<std::mutex> guard(lock_);
    waiting_.push_back(path);
  }
  changed_.notify_all();
}

bool UploadWorker::waitUntilDone(std::chrono::milliseconds limit) {
  std::unique_lock<std::mutex> guard(lock_);
  return changed_.wait_for(guard, limit, [this] { return waiting_.empty() && !working_; });
}

void UploadWorker::abandon() {
  std::deque<std::string> dropped;
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (!working_ && waiting_.empty()) return;
    abandoned_ = working_;
    dropped.swap(waiting_);
  }
  for (const std::string& path : dropped)
    writeLog("Stats file " + path + " was not uploaded: the program stopped");
  changed_.notify_all();
}

void UploadWorker::run() {
  std::unique_lock<std::mutex> guard(lock_);
  for (;;) {
    changed_.wait(guard, [this] { return stopping_ || !waiting_.empty(); });
    if (waiting_.empty()) return;
    const std::string path = std::move(waiting_.front());
    waiting_.pop_front();
    working_ = true;
    guard.unlock();
    handle(path);
    guard.lock();
    working_ = false;
    abandoned_ = false;
    changed_.notify_all();
  }
}

void UploadWorker::handle(const std::string& path) {
  if (!isFtpConfigured()) {
    writeLog("Stats file " + path + " was saved");
    const std::string report = reportPathBeside(path);
    if (htmlReport() && pathExists(report)) writeLog("Race report " + report + " was saved");
    return;
  }
  FtpUploadOptions options;
  options.abandon = &abandoned_;
  uploadStatsFile(path, options);
}

UploadWorker& uploadWorker() {
  static UploadWorker worker;
  return worker;
}
