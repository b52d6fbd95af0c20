// The InSim link thread: while the simulator runs, one network thread owns a
// socket handler and the read socket (with its write socket and the race
// model), introduces the program with ISI and keeps the link alive with GTH.
#include "link/link_thread.h"

#include "config/settings.h"
#include "config/shared_state.h"
#include "net/socket_handler.h"
#include "link/insim9_thread.h"
#include "link/insim_packets.h"
#include "link/read_socket.h"
#include "system/fatal_error.h"
#include "system/simulator_detect.h"

#include <cstdint>
#include <memory>
#include <system_error>
#include <thread>

namespace {

const SelectTimeout kFirstWait{3, 0};
const SelectTimeout kLoopWait{1, 0};
// A GTH goes out after every pass that leaves the idle count above this.
constexpr std::uint16_t kKeepAliveThreshold = 22;

// The last network thread started; touched by the GUI (main) thread only.
std::thread networkThread;
// Set before any network thread starts, read by each one.
SocketLogSink* networkLogSink = nullptr;

// Opens the server link, then binds the client port: an unresolvable server
// address is reported even when the client port is unusable too.
void OpenLinks(SocketHandler& handler, lfsReadSocket& socket) {
  const std::uint16_t listenPort = clientPort();
  const std::uint16_t simulatorPort = serverPort();
  const std::string simulatorAddress = serverIp();
  if (!socket.OpenServerLink(simulatorAddress, simulatorPort)) {
    failNetwork("The serverport could not bind");
  }
  if (socket.Bind(listenPort) == -1) failNetwork("The clientport could not bind");
  if (handler.SocketCount() == 0) handler.Add(&socket);
}

// ISI once per thread, then GTH; the first wait lets the first answers in
// before the loop starts.
void SendInsimInit(lfsReadSocket& socket, SocketHandler& handler) {
  const IsiPacket isi = buildIsiPacket(clientPort(), adminPassword());
  socket.writeSocket().SendBuf(reinterpret_cast<const char*>(isi.data()), static_cast<int>(isi.size()), 0);
  socket.sendRequest("GTH", 0);
  handler.Select(&kFirstWait);
}

// The handler deletes the read socket itself when it reports an exception
// condition; it is the only socket, so an empty handler means it is gone.
bool readSocketGone(const SocketHandler& handler) { return handler.SocketCount() == 0; }

}  // namespace

void NetworkThreadMain() {
  {
    SocketHandler handler;
    handler.SetLogSink(networkLogSink);
    std::unique_ptr<lfsReadSocket> created = std::make_unique<lfsReadSocket>(handler);
    created->SetDeleteByHandler(true);
    OpenLinks(handler, *created);
    // From here on the handler owns the socket and deletes it.
    lfsReadSocket* link = created.release();
    SendInsimInit(*link, handler);
    while (!readSocketGone(handler) && simulatorRunning()) {
      handler.Select(&kLoopWait);
      if (readSocketGone(handler)) break;
      // Saturates rather than wraps, so a simulator silent for 18 hours
      // keeps getting its keep-alive.
      if (link->idleRounds < UINT16_MAX) ++link->idleRounds;
      if (link->idleRounds > kKeepAliveThreshold) link->sendRequest("GTH", 0);
    }
  }  // The handler deletes the read socket: the race is written one last time.
  setNetworkThreadRunning(false);
}

void setNetworkLogSink(SocketLogSink* sink) { networkLogSink = sink; }

void updateSimulatorRunning() {
  // The binary protocol links to a host that may run anywhere: there is no
  // local simulator to wait for, and a link is wanted at every tick.
  switch (linkProtocol()) {
    case LinkProtocol::TextUdp:
      setSimulatorRunning(simulatorWindowExists());
      break;
    case LinkProtocol::BinaryTcp:
    case LinkProtocol::BinaryUdp:
      setSimulatorRunning(true);
      break;
    case LinkProtocol::Unusable:
      setSimulatorRunning(false);
      break;
  }
}

void startNetworkThreadIfNeeded() {
  if (!simulatorRunning() || networkThreadRunning()) return;
  // Clearing the flag is a finished thread's last act, so this join is short.
  if (networkThread.joinable()) networkThread.join();
  // Set before the start, so a thread that ends at once cannot have its
  // cleared flag overwritten.
  setNetworkThreadRunning(true);
  try {
    const LinkProtocol protocol = linkProtocol();
    if (protocol == LinkProtocol::TextUdp) {
      networkThread = std::thread(NetworkThreadMain);
    } else {
      networkThread = std::thread(InSim9ThreadMain, protocol, networkLogSink);
    }
  } catch (const std::system_error&) {
    // No thread could be made (resources exhausted): the next tick tries again.
    setNetworkThreadRunning(false);
  }
}

void waitForNetworkThread() {
  if (networkThread.joinable()) networkThread.join();
}
