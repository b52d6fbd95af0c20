// The network thread of the binary InSim link: one connection to the host,
// TCP or UDP, for as long as it lasts. A refused or lost connection ends the
// thread; the next timer tick starts a new one, so a host that is down is
// tried once a tick. Network thread only.
#include "link/insim9_thread.h"

#include "config/settings.h"
#include "config/shared_state.h"
#include "link/insim9_sockets.h"
#include "net/socket_handler.h"

#include <atomic>
#include <memory>

namespace {

const SelectTimeout kLoopWait{1, 0};
// Nothing at all from the host for this long means it is gone; it sends a
// keep-alive far more often.
constexpr std::chrono::seconds kSilenceLimit{70};
// A host that has not answered the handshake by then is tried again at the
// next tick, with a new connection (over UDP the ISI may have been lost).
constexpr std::chrono::seconds kHandshakeLimit{3};

// A host that stays down is reported once, not at every tick.
std::atomic<bool> lastAttemptFailed{false};

void reportFailure(SocketHandler& handler, const char* text) {
  if (!lastAttemptFailed.exchange(true)) handler.LogError(nullptr, "InSim", 0, text, 2);
}

// The socket is the handler's only one: once the handler has deleted it,
// the link is over.
bool socketGone(const SocketHandler& handler) { return handler.SocketCount() == 0; }

// Runs the loop until the link ends or the program stops; the end is
// reported, and a link that never answered the handshake is reported once.
template <typename LinkSocket>
void runLink(SocketHandler& handler, LinkSocket* socket) {
  bool linked = false;
  const char* end = "the InSim host closed the connection";
  const auto started = std::chrono::steady_clock::now();
  while (!socketGone(handler) && simulatorRunning()) {
    handler.Select(&kLoopWait);
    if (socketGone(handler)) break;
    if (!linked && socket->link().linked()) {
      linked = true;
      lastAttemptFailed = false;
    }
    if (!linked && std::chrono::steady_clock::now() - started > kHandshakeLimit) break;
    if (socket->link().ended()) {
      end = "the InSim host ended the link";
      break;
    }
    if (std::chrono::steady_clock::now() - socket->lastPacket() > kSilenceLimit) {
      end = "nothing came from the InSim host for 70 s: the link is ended";
      break;
    }
  }
  if (!simulatorRunning()) return;
  if (linked) {
    handler.LogError(nullptr, "InSim", 0, end, 1);
  } else {
    reportFailure(handler,
                  "the InSim host cannot be linked (refused, unreachable, or no answer to the "
                  "handshake); trying again at every tick");
  }
}

void runTcp(SocketHandler& handler, Ipv4Address host) {
  auto created = std::make_unique<InSim9TcpSocket>(handler, adminPassword());
  created->SetDeleteByHandler(true);
  InSim9TcpSocket* socket = created.get();
  if (!socket->Open(host, serverPort())) {
    reportFailure(handler, "the InSim host cannot be connected to; trying again at every tick");
    return;  // the socket is deleted here, its race (none yet) with it
  }
  handler.Add(created.release());
  runLink(handler, socket);
}

void runUdp(SocketHandler& handler, Ipv4Address host) {
  auto created = std::make_unique<InSim9UdpSocket>(handler);
  created->SetDeleteByHandler(true);
  InSim9UdpSocket* socket = created.get();
  if (!socket->OpenLink(clientPort(), host, serverPort())) {
    reportFailure(handler, "the clientport could not be bound for InSim over UDP");
    return;
  }
  handler.Add(created.release());
  socket->link().start(adminPassword());
  runLink(handler, socket);
}

}  // namespace

void InSim9ThreadMain(LinkProtocol protocol, SocketLogSink* sink) {
  {
    SocketHandler handler;
    handler.SetLogSink(sink);
    Ipv4Address host = 0;
    if (!Socket::ResolveHost(serverIp(), host)) {
      reportFailure(handler, "the serverip of the InSim host cannot be resolved");
    } else if (protocol == LinkProtocol::BinaryTcp) {
      runTcp(handler, host);
    } else {
      runUdp(handler, host);
    }
  }  // The handler deletes the socket: the race in memory is written.
  setNetworkThreadRunning(false);
}
