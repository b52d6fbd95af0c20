// The binary InSim play loop: one packet at a time from the link, answered
// or kept for the expect lines, between the script's own steps.
#include "insim9_player.h"

#include <algorithm>
#include <cstdio>

namespace {

using namespace standin9;
using std::chrono::milliseconds;

bool isIsi(const Insim9Reply& reply) { return reply.type == Isi; }

}  // namespace

Insim9Player::Insim9Player(Insim9Link& link, const Insim9Options& options)
    : link_(link), options_(options), start_(Clock::now()) {}

void Insim9Player::say(const char* direction, const std::string& text) {
  if (options_.quiet && direction[0] == '-') return;
  const double seconds = std::chrono::duration<double>(Clock::now() - start_).count();
  std::printf("[%7.2fs] %s %s\n", seconds, direction, text.c_str());
}

void Insim9Player::send(const Packet9& packet) {
  if (!link_.send(packet)) {
    std::fprintf(stderr, "lfs_standin: sending to the tracker failed: %s\n", link_.lastError().c_str());
  }
}

bool Insim9Player::waitForIsi() {
  const Clock::time_point deadline = Clock::now() + options_.isiTimeout;
  isiSeen_ = false;
  while (!isiSeen_) {
    if (!pump(deadline) && (fault_ || Clock::now() >= deadline)) return false;
  }
  return true;
}

void Insim9Player::keepAliveDue() {
  if (keepAliveOpen_) {
    std::fprintf(stderr, "lfs_standin: no TINY_NONE answer within %lld ms\n",
                 static_cast<long long>(options_.keepAlive.count()));
    fault_ = true;
    return;
  }
  say("->", "TINY NONE (keep-alive)");
  send(tiny(0, TinyNone));
  keepAliveOpen_ = true;
  nextKeepAlive_ = Clock::now() + options_.keepAlive;
}

bool Insim9Player::pump(Clock::time_point deadline) {
  for (;;) {
    if (fault_) return false;
    Clock::time_point until = deadline;
    const bool keepingAlive = options_.keepAlive.count() > 0 && isiSeen_ && link_.connected();
    if (keepingAlive && nextKeepAlive_ < until) until = nextKeepAlive_;
    std::optional<Packet9> packet = link_.receive(until);
    if (packet) {
      handle(*packet);
      return true;
    }
    if (link_.ended()) {
      say("<-", "connection closed by the tracker");
      isiSeen_ = false;
      keepAliveOpen_ = false;
      return false;
    }
    if (keepingAlive && Clock::now() >= nextKeepAlive_) {
      keepAliveDue();
      continue;
    }
    if (Clock::now() >= deadline) return false;
  }
}

void Insim9Player::handle(const Packet9& packet) {
  Insim9Reply reply = describeInsim9Reply(packet.data(), packet.size());
  say("<-", reply.text);
  if (isIsi(reply)) {
    isiSeen_ = true;
    keepAliveOpen_ = false;
    nextKeepAlive_ = Clock::now() + options_.keepAlive;
    // ReqI not zero asks for the version.
    if (reply.requestId != 0) send(world_.version(reply.requestId));
  } else if (reply.type == Tiny && reply.subType == TinyNone) {
    // An answer to the stand-in's keep-alive, or the tracker's own, which
    // is answered; the tracker's answer to that one ends the exchange.
    if (keepAliveOpen_) {
      keepAliveOpen_ = false;
    } else {
      send(tiny(0, TinyNone));
      keepAliveOpen_ = true;
    }
  } else if (reply.type == Tiny && reply.requestId != 0) {
    for (const Packet9& answer : world_.answer(reply.requestId, reply.subType)) {
      say("->", "reply to " + reply.text + ": type " + std::to_string(answer[1]) + ", " +
                    std::to_string(answer.size()) + " bytes");
      send(answer);
    }
  }
  unmatched_.push_back(std::move(reply));
}

bool Insim9Player::takeMatch(const std::string& expected) {
  // Oldest first; a match drops the replies before it, and the reply itself
  // unless it matched in one of its old wordings, which is used up alone.
  for (std::size_t i = 0; i < unmatched_.size(); ++i) {
    Insim9Reply& reply = unmatched_[i];
    const bool own = std::find(reply.names.begin(), reply.names.end(), expected) != reply.names.end();
    const auto old = std::find(reply.oldNames.begin(), reply.oldNames.end(), expected);
    if (!own && old == reply.oldNames.end()) continue;
    if (own) {
      unmatched_.erase(unmatched_.begin(), unmatched_.begin() + static_cast<long>(i) + 1);
    } else {
      reply.oldNames.erase(old);
      unmatched_.erase(unmatched_.begin(), unmatched_.begin() + static_cast<long>(i));
    }
    return true;
  }
  return false;
}

bool Insim9Player::awaitReply(const ScriptStep& step) {
  // Binary InSim has no acknowledgements: the old scripts' ACK lines hold.
  if (step.expected.rfind("ACK ", 0) == 0) return true;
  const Clock::time_point deadline = Clock::now() + step.duration;
  Clock::time_point nextPoke = Clock::now();
  for (;;) {
    if (takeMatch(step.expected)) return true;
    const Clock::time_point now = Clock::now();
    if (fault_ || now >= deadline) return false;
    Clock::time_point until = deadline;
    if (step.poke.count() > 0 && link_.connected()) {
      if (now >= nextPoke) {
        send(small(0, SmallRtp, 0));
        nextPoke = now + step.poke;
      }
      until = std::min(deadline, nextPoke);
    }
    pump(until);
  }
}

bool Insim9Player::sendLine(const ScriptStep& step) {
  // A link that ended (or was closed) is taken up again by the next tracker.
  if (!link_.connected() || !isiSeen_) {
    if (!waitForIsi()) {
      std::fprintf(stderr, "lfs_standin: line %d: no tracker linked up again within %lld s\n", step.line,
                   static_cast<long long>(options_.isiTimeout.count() / 1000));
      return false;
    }
  }
  std::vector<Packet9> packets;
  std::string error;
  if (!world_.build(step.tokens, packets, error)) {
    std::fprintf(stderr, "lfs_standin: line %d: %s\n", step.line, error.c_str());
    return false;
  }
  say("->", step.source);
  for (const Packet9& packet : packets) send(packet);
  return true;
}

void Insim9Player::closeLink() {
  if (link_.tcp()) {
    say("--", "closing the connection");
    link_.closeConnection();
  } else {
    say("->", "TINY CLOSE");
    send(tiny(0, TinyClose));
  }
  isiSeen_ = false;
  keepAliveOpen_ = false;
}

int Insim9Player::play(const std::vector<ScriptStep>& steps) {
  for (const ScriptStep& step : steps) {
    switch (step.kind) {
      case ScriptStep::Send:
        if (!sendLine(step)) return 2;
        break;
      case ScriptStep::Wait: {
        const Clock::time_point deadline = Clock::now() + step.duration;
        while (Clock::now() < deadline && !fault_) pump(deadline);
        break;
      }
      case ScriptStep::Expect:
        if (!awaitReply(step)) {
          if (!fault_) {
            std::fprintf(stderr, "lfs_standin: line %d: %s did not arrive within %lld ms\n", step.line,
                         step.expected.c_str(), static_cast<long long>(step.duration.count()));
          }
          return 3;
        }
        break;
      case ScriptStep::Close:
        closeLink();
        break;
    }
    if (fault_) return 3;
  }
  const Clock::time_point deadline = Clock::now() + options_.linger;
  while (Clock::now() < deadline && !fault_) pump(deadline);
  return fault_ ? 3 : 0;
}
