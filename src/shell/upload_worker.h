// The worker that uploads (or, without an FTP address, logs) the saved stats
// files one at a time, in the order the timer tick hands them over, so that a
// stalled FTP server never holds up the tick, the link or a stop. The tick and
// the stop sequence (GUI/main thread) call it; its own thread does the work.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

class UploadWorker {
 public:
  // Starts the worker's thread.
  UploadWorker();
  // Abandons what is left and joins the thread.
  ~UploadWorker();
  UploadWorker(const UploadWorker&) = delete;
  UploadWorker& operator=(const UploadWorker&) = delete;

  // Queues the file behind those already waiting. Without a thread (none
  // could be made) the file is handled at once, on the caller's thread.
  void add(const std::string& path);
  // Waits until every file handed over is done, at most `limit`. True when
  // nothing is left.
  bool waitUntilDone(std::chrono::milliseconds limit);
  // The upload in progress gives up at once and every file still waiting is
  // logged as not uploaded; the files stay on disk. Later files go as usual.
  void abandon();

 private:
  void run();
  void handle(const std::string& path);

  std::mutex lock_;
  std::condition_variable changed_;
  std::deque<std::string> waiting_;
  bool working_ = false;
  bool stopping_ = false;
  std::atomic<bool> abandoned_{false};
  std::thread thread_;
};

// The program's one worker.
UploadWorker& uploadWorker();
