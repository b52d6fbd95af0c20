// A child process that names itself (as /proc/PID/comm shows it) and sleeps
// until it is killed: a stand-in for the simulator in checks of the Linux
// program's simulator detection.
#pragma once

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

class NamedProcess {
 public:
  // Returns once the child carries the name.
  explicit NamedProcess(const char* name) {
    int ready[2];
    if (pipe(ready) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      prctl(PR_SET_NAME, name, 0, 0, 0);
      char done = 1;
      ssize_t written = write(ready[1], &done, 1);
      (void)written;
      for (;;) pause();
    }
    char done = 0;
    ssize_t got = read(ready[0], &done, 1);
    (void)got;
    close(ready[0]);
    close(ready[1]);
  }
  ~NamedProcess() {
    end();
    reap();
  }
  NamedProcess(const NamedProcess&) = delete;
  NamedProcess& operator=(const NamedProcess&) = delete;

  // Kills the process and waits until it has ended, without reaping it: it
  // stays a zombie until reap().
  void end() {
    if (pid_ <= 0 || ended_) return;
    kill(pid_, SIGKILL);
    siginfo_t info;
    waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOWAIT);
    ended_ = true;
  }
  void reap() {
    if (pid_ > 0) waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
  bool ended_ = false;
};
