// Plays a race script in binary InSim (version 9) over the stand-in's link:
// waits for the tracker's IS_ISI and answers IS_VER, sends each line's
// packets, answers the tracker's requests from what the script has sent,
// keeps the link alive if asked, and matches expect lines against the
// tracker's packets (see insim9_replies.h for the names they match).
#pragma once

#include <chrono>
#include <deque>
#include <string>
#include <vector>

#include "insim9_link.h"
#include "insim9_replies.h"
#include "insim9_world.h"
#include "race_script.h"

struct Insim9Options {
  std::chrono::milliseconds isiTimeout{60000};
  std::chrono::milliseconds linger{1000};
  // When not zero: a TINY_NONE at this interval, each to be answered before
  // the next is due.
  std::chrono::milliseconds keepAlive{0};
  bool quiet = false;
};

class Insim9Player {
 public:
  using Clock = std::chrono::steady_clock;

  Insim9Player(Insim9Link& link, const Insim9Options& options);

  // False when no tracker linked up and sent its ISI in time.
  bool waitForIsi();
  // The exit code: 0 played through, 3 an expected reply or a keep-alive
  // answer did not come.
  int play(const std::vector<ScriptStep>& steps);

 private:
  void say(const char* direction, const std::string& text);
  void send(const Packet9& packet);
  // Takes one packet before the deadline (and keeps the link alive
  // meanwhile); false at the deadline, after the connection ended, or on a
  // fault.
  bool pump(Clock::time_point deadline);
  void handle(const Packet9& packet);
  void keepAliveDue();
  bool takeMatch(const std::string& expected);
  bool awaitReply(const ScriptStep& step);
  bool sendLine(const ScriptStep& step);
  void closeLink();

  Insim9Link& link_;
  const Insim9Options& options_;
  Clock::time_point start_;
  Insim9World world_;
  bool isiSeen_ = false;
  bool fault_ = false;
  bool keepAliveOpen_ = false;
  Clock::time_point nextKeepAlive_;
  std::deque<Insim9Reply> unmatched_;
};
