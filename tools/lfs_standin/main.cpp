// lfs_standin: plays a race from a script in place of the simulator, over
// UDP on 127.0.0.1, and prints every reply of the tracker decoded. Its process
// is named "LFS.exe", so a tracker on this machine sees a simulator running.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "insim9_link.h"
#include "insim9_player.h"
#include "race_script.h"
#include "simulator_packets.h"
#include "tracker_replies.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// How long a resent packet waits for its ACK before the run fails.
constexpr milliseconds kAckPatience{10000};

enum ExitCode { Done = 0, Fault = 1, NoIsi = 2, Missing = 3 };

struct Options {
  std::uint16_t port = 35743;
  milliseconds isiTimeout{60000};
  milliseconds linger{1000};
  // Not zero: a packet with an ack word is sent again at this interval until
  // its ACK comes, and the script waits for it, as over a lossy network.
  milliseconds resend{0};
  bool quiet = false;
  std::string scriptPath;
  // Binary InSim (version 9) instead of the old text-ID packets.
  bool insim9 = false;
  bool tcp = true;
  bool transportGiven = false;
  milliseconds keepAlive{0};
};

const char* usageText =
    "usage: lfs_standin [--port N | /insim=N] [--isi-timeout S] [--linger MS] [--resend MS]\n"
    "                   [--quiet] SCRIPT\n"
    "       lfs_standin --insim 9 [--tcp | --udp] [--keepalive S] [other options] SCRIPT\n"
    "\n"
    "Stands in for Live for Speed: binds 127.0.0.1:N (default 35743), waits for\n"
    "the tracker's ISI packet, then plays SCRIPT towards the port named in it\n"
    "and prints every reply. The process is named LFS.exe while it runs.\n"
    "--resend MS: a packet with an ack word is sent again every MS until its\n"
    "ACK arrives (at most 10 s); the next line waits for it.\n"
    "\n"
    "With --insim 9 it speaks binary InSim version 9: over TCP (the default) it\n"
    "listens on 127.0.0.1:N and accepts the tracker's connection, over UDP it\n"
    "answers the sender. It answers the ISI with IS_VER (0.7F, S3, version 9)\n"
    "and the tracker's TINY requests from what the script has sent, plays the\n"
    "same lines as binary packets (times in ms, MCI in packets of 16 cars) and\n"
    "prints replies as ISI ..., TINY NCN reqi=2, SMALL NLI 350, MTC ucid=255\n"
    "\"text\", MSL \"text\". Expect lines may also name a reply the old way:\n"
    "MST \"/echo text\" matches MTC and MSL \"text\", NLI 350 and VER 0 the ISI,\n"
    "NPL 0, SST 0, ISM 0 the TINY requests; ACK lines always hold. Extra fields:\n"
    "NPL ucid= admin= plate=, NCN ucid= user= name= admin=, CNL ucid= reason=,\n"
    "CPR ucid= name= plate=, MSO ucid= usertype= plid=, RST nodes= finish=\n"
    "split1..3= timing= flags=, ISM guest=1, VER product= insimver=, REO\n"
    "order=3,1,2, RES confirm=. The line close ends the link (TCP: closes the\n"
    "connection, a later line waits for the next one; UDP: sends TINY_CLOSE).\n"
    "--keepalive S sends TINY_NONE every S seconds and fails (exit 3) when one\n"
    "is not answered before the next.\n"
    "\n"
    "Script lines (# starts a comment; values as the simulator sends them):\n"
    "  wait 200ms | wait 2s                 pause, printing replies\n"
    "  expect ACK 7 [within=10s] [poke=500ms]\n"
    "  expect MST \"/echo ^2race stats were saved!\"\n"
    "                                       a reply that must come (poke: send RTP\n"
    "                                       at that interval meanwhile)\n"
    "Packets (times as m:ss.hh):\n";

// The socket the simulator's InSim port would be: bound on loopback.
class SimulatorSocket {
 public:
  ~SimulatorSocket() {
    if (descriptor_ >= 0) close(descriptor_);
  }
  bool bind(std::uint16_t port) {
    descriptor_ = socket(AF_INET, SOCK_DGRAM, 0);
    if (descriptor_ < 0) return false;
    sockaddr_in address = loopback(port);
    return ::bind(descriptor_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  }
  bool sendTo(std::uint16_t port, const std::vector<std::uint8_t>& bytes) {
    sockaddr_in address = loopback(port);
    return sendto(descriptor_, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&address),
                  sizeof address) == static_cast<ssize_t>(bytes.size());
  }
  // One datagram, waiting at most until deadline; none at the deadline.
  std::optional<std::vector<std::uint8_t>> receive(Clock::time_point deadline) {
    for (;;) {
      auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
      pollfd entry{descriptor_, POLLIN, 0};
      int ready = poll(&entry, 1, left > 0 ? static_cast<int>(left) : 0);
      if (ready > 0) {
        std::vector<std::uint8_t> bytes(16384);
        ssize_t length = recv(descriptor_, bytes.data(), bytes.size(), 0);
        if (length >= 0) {
          bytes.resize(static_cast<std::size_t>(length));
          return bytes;
        }
      }
      if (left <= 0) return std::nullopt;
    }
  }

 private:
  static sockaddr_in loopback(std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
  }
  int descriptor_ = -1;
};

class Player {
 public:
  Player(SimulatorSocket& socket, const Options& options)
      : socket_(socket), options_(options), start_(Clock::now()) {}

  bool waitForIsi() {
    Clock::time_point deadline = Clock::now() + options_.isiTimeout;
    while (!clientPort_) {
      if (!receiveUntil(deadline)) return false;
    }
    return true;
  }

  int play(const std::vector<ScriptStep>& steps) {
    for (const ScriptStep& step : steps) {
      switch (step.kind) {
        case ScriptStep::Send:
          say("->", step.source);
          send(step.packet);
          if (!acknowledged(step)) {
            std::fprintf(stderr, "lfs_standin: line %d: no ACK within %lld ms\n", step.line,
                         static_cast<long long>(kAckPatience.count()));
            return Missing;
          }
          break;
        case ScriptStep::Wait:
          drainUntil(Clock::now() + step.duration);
          break;
        case ScriptStep::Expect:
          if (!awaitReply(step)) {
            std::fprintf(stderr, "lfs_standin: line %d: %s did not arrive within %lld ms\n", step.line,
                         step.expected.c_str(), static_cast<long long>(step.duration.count()));
            return Missing;
          }
          break;
        case ScriptStep::Close:  // binary InSim scripts only
          break;
      }
    }
    drainUntil(Clock::now() + options_.linger);
    return Done;
  }

 private:
  void say(const char* direction, const std::string& text) {
    if (options_.quiet && direction[0] == '-') return;
    double seconds = std::chrono::duration<double>(Clock::now() - start_).count();
    std::printf("[%7.2fs] %s %s\n", seconds, direction, text.c_str());
  }

  // With --resend, sends the packet again until its ACK arrives; true at once
  // without it or for a packet that carries no ack word.
  bool acknowledged(const ScriptStep& step) {
    const std::optional<std::uint16_t> word = simulatorAckWord(step.packet);
    if (options_.resend.count() == 0 || !word) return true;
    awaitedAck_ = "ACK " + std::to_string(*word);
    ackArrived_ = false;
    const Clock::time_point deadline = Clock::now() + kAckPatience;
    Clock::time_point resendAt = Clock::now() + options_.resend;
    while (!ackArrived_) {
      const Clock::time_point now = Clock::now();
      if (now >= deadline) return false;
      if (now >= resendAt) {
        say("->", "again: " + step.source);
        send(step.packet);
        resendAt = now + options_.resend;
      }
      receiveUntil(std::min(deadline, resendAt));
    }
    awaitedAck_.clear();
    return true;
  }

  void send(const std::vector<std::uint8_t>& packet) {
    if (!socket_.sendTo(*clientPort_, packet)) {
      std::fprintf(stderr, "lfs_standin: sending to 127.0.0.1:%u failed: %s\n", *clientPort_,
                   std::strerror(errno));
    }
  }

  // Reads one datagram before deadline and prints it; false at the deadline.
  bool receiveUntil(Clock::time_point deadline) {
    std::optional<std::vector<std::uint8_t>> bytes = socket_.receive(deadline);
    if (!bytes) return false;
    std::string text = describeReply(bytes->data(), bytes->size());
    say("<-", text);
    if (std::optional<std::uint16_t> port = isiClientPort(bytes->data(), bytes->size())) {
      clientPort_ = *port;
    }
    if (!awaitedAck_.empty() && text == awaitedAck_) ackArrived_ = true;
    // Kept for the script's own expectations as well.
    unmatched_.push_back(text);
    return true;
  }

  void drainUntil(Clock::time_point deadline) {
    while (receiveUntil(deadline)) {
    }
  }

  // Looks through the replies not yet matched, oldest first; a match drops it
  // and everything before it.
  bool takeMatch(const std::string& expected) {
    for (std::size_t i = 0; i < unmatched_.size(); ++i) {
      if (unmatched_[i] == expected) {
        unmatched_.erase(unmatched_.begin(), unmatched_.begin() + static_cast<long>(i) + 1);
        return true;
      }
    }
    return false;
  }

  bool awaitReply(const ScriptStep& step) {
    Clock::time_point deadline = Clock::now() + step.duration;
    Clock::time_point nextPoke = Clock::now();
    for (;;) {
      if (takeMatch(step.expected)) return true;
      Clock::time_point now = Clock::now();
      if (now >= deadline) return false;
      Clock::time_point until = deadline;
      if (step.poke.count() > 0) {
        if (now >= nextPoke) {
          send({'R', 'T', 'P', 0, 0, 0, 0, 0});
          nextPoke = now + step.poke;
        }
        until = std::min(deadline, nextPoke);
      }
      receiveUntil(until);
    }
  }

  SimulatorSocket& socket_;
  const Options& options_;
  Clock::time_point start_;
  std::optional<std::uint16_t> clientPort_;
  std::deque<std::string> unmatched_;
  // The ACK the resend of the last packet waits for; empty when none.
  std::string awaitedAck_;
  bool ackArrived_ = false;
};

bool parseWhole(const char* text, long long low, long long high, long long& value) {
  char* end = nullptr;
  value = std::strtoll(text, &end, 10);
  return *text != '\0' && *end == '\0' && value >= low && value <= high;
}

bool parseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    std::string option = argv[i];
    long long value = 0;
    bool hasValue = i + 1 < argc;
    if (option == "--quiet") {
      options.quiet = true;
    } else if (option == "--insim" && hasValue && std::string(argv[i + 1]) == "9") {
      options.insim9 = true;
      ++i;
    } else if (option == "--tcp" || option == "--udp") {
      options.tcp = option == "--tcp";
      options.transportGiven = true;
    } else if (option == "--keepalive" && hasValue && parseWhole(argv[++i], 1, 3600, value)) {
      options.keepAlive = std::chrono::seconds(value);
    } else if (option == "--port" && hasValue && parseWhole(argv[++i], 1, 65535, value)) {
      options.port = static_cast<std::uint16_t>(value);
    } else if (option == "--isi-timeout" && hasValue && parseWhole(argv[++i], 1, 86400, value)) {
      options.isiTimeout = std::chrono::seconds(value);
    } else if (option == "--linger" && hasValue && parseWhole(argv[++i], 0, 3600000, value)) {
      options.linger = milliseconds(value);
    } else if (option == "--resend" && hasValue && parseWhole(argv[++i], 1, 60000, value)) {
      options.resend = milliseconds(value);
    } else if (option.rfind("/insim=", 0) == 0 && parseWhole(option.c_str() + 7, 1, 65535, value)) {
      // The simulator's own option, so a tracker's launcher can start the
      // stand-in in its place.
      options.port = static_cast<std::uint16_t>(value);
    } else if (option.rfind("--", 0) != 0 && options.scriptPath.empty()) {
      options.scriptPath = option;
    } else {
      return false;
    }
  }
  // The binary protocol's options mean nothing to the old one.
  if (!options.insim9 && (options.transportGiven || options.keepAlive.count() > 0)) return false;
  return !options.scriptPath.empty();
}

int playInsim9(const Options& options, const std::vector<ScriptStep>& steps) {
  Insim9Link link(options.tcp);
  if (!link.open(options.port)) {
    std::fprintf(stderr, "lfs_standin: cannot %s 127.0.0.1:%u: %s\n", options.tcp ? "listen on" : "bind",
                 options.port, std::strerror(errno));
    return Fault;
  }
  std::printf("lfs_standin: InSim 9 over %s on 127.0.0.1:%u, waiting for the tracker's ISI\n",
              options.tcp ? "TCP" : "UDP", options.port);
  Insim9Options playing;
  playing.isiTimeout = options.isiTimeout;
  playing.linger = options.linger;
  playing.keepAlive = options.keepAlive;
  playing.quiet = options.quiet;
  Insim9Player player(link, playing);
  if (!player.waitForIsi()) {
    std::fprintf(stderr, "lfs_standin: no ISI packet within %lld s; is the tracker running?\n",
                 static_cast<long long>(options.isiTimeout.count() / 1000));
    return NoIsi;
  }
  return player.play(steps);
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  Options options;
  if (!parseOptions(argc, argv, options)) {
    std::fprintf(stderr, "%s%s", usageText, packetReference().c_str());
    return Fault;
  }

  std::ifstream file(options.scriptPath, std::ios::binary);
  if (!file) {
    std::fprintf(stderr, "lfs_standin: cannot read %s: %s\n", options.scriptPath.c_str(),
                 std::strerror(errno));
    return Fault;
  }
  std::stringstream text;
  text << file.rdbuf();
  std::vector<ScriptStep> steps;
  std::string error;
  const ScriptProtocol protocol = options.insim9 ? ScriptProtocol::Insim9 : ScriptProtocol::TextIds;
  if (!parseRaceScript(text.str(), steps, error, protocol)) {
    std::fprintf(stderr, "lfs_standin: %s: %s\n", options.scriptPath.c_str(), error.c_str());
    return Fault;
  }

  // The name trackers look for; /proc/PID/comm now reads "LFS.exe".
  prctl(PR_SET_NAME, "LFS.exe", 0, 0, 0);
  if (options.insim9) return playInsim9(options, steps);

  SimulatorSocket socket;
  if (!socket.bind(options.port)) {
    std::fprintf(stderr, "lfs_standin: cannot bind 127.0.0.1:%u: %s\n", options.port, std::strerror(errno));
    return Fault;
  }
  std::printf("lfs_standin: listening on 127.0.0.1:%u for the tracker's ISI\n", options.port);

  Player player(socket, options);
  if (!player.waitForIsi()) {
    std::fprintf(stderr, "lfs_standin: no ISI packet within %lld s; is the tracker running?\n",
                 static_cast<long long>(options.isiTimeout.count() / 1000));
    return NoIsi;
  }
  return player.play(steps);
}
