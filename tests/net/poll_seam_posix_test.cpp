// The Linux wait of the socket handler: sockets numbered above 1023 (a
// process with many open files) are waited on and served like any other, and
// a wait that fails is reported and still takes its time-out instead of
// returning at once.
#include "support/net_test_support.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Holds the lowest free descriptor numbers open (on /dev/null) until at
// least `count` are taken, so the next socket gets a number above them.
class OpenDescriptors {
 public:
  explicit OpenDescriptors(int count) {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return;
    const rlim_t wanted = static_cast<rlim_t>(count) + 64;
    if (limit.rlim_cur < wanted) {
      if (limit.rlim_max < wanted) return;
      limit.rlim_cur = wanted;
      if (setrlimit(RLIMIT_NOFILE, &limit) != 0) return;
    }
    for (;;) {
      const int fd = open("/dev/null", O_RDONLY | O_CLOEXEC);
      if (fd < 0) return;
      held_.push_back(fd);
      if (fd >= count) return;
    }
  }
  ~OpenDescriptors() {
    for (int fd : held_) close(fd);
  }
  bool reached(int count) const { return !held_.empty() && held_.back() >= count; }

 private:
  std::vector<int> held_;
};

TEST(PollSeam, SocketsNumberedAbove1023AreServed) {
  OpenDescriptors filler(1030);
  if (!filler.reached(1030)) GTEST_SKIP() << "the descriptor limit cannot be raised to 1,100";
  ReportRecorder log;
  SocketHandler handler;
  handler.SetLogSink(&log);
  std::uint16_t port = 0;
  std::unique_ptr<RecordingSocket> receiver = bindOnFreePort<RecordingSocket>(handler, port);
  ASSERT_TRUE(receiver);
  ASSERT_GT(receiver->GetSocket(), 1023u);
  handler.Add(receiver.get());
  PlainPeer peer;
  ASSERT_TRUE(peer.connect(loopbackAddress(), port));
  ASSERT_TRUE(peer.send("above the fd_set"));

  EXPECT_EQ(selectOnce(handler, 2, 0), 0);
  ASSERT_EQ(receiver->received.size(), 1u);
  EXPECT_EQ(receiver->received[0].bytes, "above the fd_set");
  EXPECT_TRUE(log.reports.empty());
}

TEST(PollSeam, AFailedWaitIsReportedAndTakesItsTimeOut) {
  ReportRecorder log;
  SocketHandler handler;
  handler.SetLogSink(&log);
  std::uint16_t port = 0;
  std::unique_ptr<RecordingSocket> socket = bindOnFreePort<RecordingSocket>(handler, port);
  ASSERT_TRUE(socket);
  handler.Add(socket.get());
  selectOnce(handler, 0, 0);
  // The descriptor goes behind the socket's back: the wait cannot be made.
  const int fd = static_cast<int>(socket->GetSocket());
  ASSERT_EQ(close(fd), 0);

  const milliseconds waits[] = {milliseconds(400), milliseconds(0)};
  for (milliseconds wait : waits) {
    SCOPED_TRACE(wait.count());
    const std::size_t reportsBefore = log.withContext("select").size();
    const auto start = Clock::now();
    EXPECT_EQ(selectOnce(handler, 0, static_cast<long>(wait.count()) * 1000), -1);
    const auto elapsed = std::chrono::duration_cast<milliseconds>(Clock::now() - start);
    EXPECT_GE(elapsed, wait - milliseconds(30));
    EXPECT_LT(elapsed, wait + milliseconds(300));
    const std::vector<Report> reports = log.withContext("select");
    ASSERT_EQ(reports.size(), reportsBefore + 1);
    EXPECT_EQ(reports.back().error, 10038);  // WSAENOTSOCK, as Winsock reports it
  }
  // Something valid under the number again, for the socket's own close.
  const int spare = ::socket(AF_INET, SOCK_DGRAM, 0);
  ASSERT_GE(spare, 0);
  EXPECT_EQ(dup2(spare, fd), fd);
  close(spare);
}

}  // namespace
