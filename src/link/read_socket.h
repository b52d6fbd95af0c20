// The text-ID protocol's two sockets: lfsReadSocket receives every InSim
// datagram, runs the link handshake, acknowledges, and hands each packet to
// the race tracker; lfsWriteSocket, owned by it, sends every packet. Network
// thread only.
#pragma once

#include "net/udp_socket.h"
#include "link/acknowledged_datagrams.h"
#include "link/insim_packets.h"
#include "race/race_model.h"
#include "race/race_tracker.h"

#include <cstdint>
#include <list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

class SocketHandler;

// Connected to the simulator's InSim port; never polled by the handler.
class lfsWriteSocket : public UdpSocket {
 public:
  explicit lfsWriteSocket(SocketHandler& handler);
  ~lfsWriteSocket() override;
};

// Handshake states of the link.
enum class LinkState : std::uint8_t {
  New,          // nothing received yet
  RequestsDue,  // the next MCI packet sends the NPL, SST, ISM and VER requests
  Linked,
};

// Decodes the text-ID packets into calls on the race tracker it owns and
// encodes what the tracker asks for.
class lfsReadSocket : public UdpSocket, private RaceTrackerOutput {
 public:
  // The write socket is made with the same handler but not added to it.
  explicit lfsReadSocket(SocketHandler& handler);
  // Destroys the write socket, then writes a race that still has players one
  // last time (the outcome is not reported: the link is gone).
  ~lfsReadSocket() override;

  // Resolves the simulator's address and connects the write socket to it.
  // Only datagrams from that address are taken from then on; before a
  // successful call, and when the address is 0.0.0.0, only loopback senders
  // (127.0.0.0/8) count as the simulator.
  bool OpenServerLink(const std::string& serverIpText, std::uint16_t serverPort);

  void OnDatagram(const char* buffer, int length, const SocketAddress& sender,
                  int senderAddressLength) override;

  // The 8-byte request with this three-letter ID and value, sent to the simulator.
  void sendRequest(std::string_view id, std::uint32_t value);
  void sendAck(std::uint32_t ackWord) { sendRequest("ACK", ackWord); }
  // Car information is asked for this often (ms) while tracking.
  static constexpr std::uint32_t CarInfoInterval = 350;
  // Car information every `interval` ms; 0 stops it.
  void setCarInfoInterval(std::uint32_t interval) { sendRequest("NLI", interval); }
  // Shows the text in the game's chat; texts longer than 57 characters are cut.
  void echoMessage(std::string_view text);

  lfsWriteSocket& writeSocket() { return *writeSocket_; }
  const RaceStats& stats() const { return tracker_.stats(); }
  LinkState linkState() const { return linkState_; }
  bool deactivated() const { return tracker_.deactivated(); }

  // Loop passes since the last packet that counted as traffic: the link
  // thread adds one per pass and keeps the link alive once it exceeds 22.
  std::uint16_t idleRounds = 0;

 private:
  bool fromSimulator(const SocketAddress& sender) const;
  // The packets that change the race; acknowledgements are the caller's.
  void handlePacket(PacketType type, const Datagram& packet);
  void traffic() { idleRounds = 0; }
  void carSamples(const MciPacket& mci);
  void sendHandshakeRequests(std::uint8_t playerCount);

  // RaceTrackerOutput
  void sendGameText(std::string_view text) override { echoMessage(text); }
  void requestRaceState() override;
  void requestHostName() override { sendRequest("ISM", 0); }
  void setCarInformation(bool on) override { setCarInfoInterval(on ? CarInfoInterval : 0); }
  bool saveRace(std::list<PlayerStats>& players, const std::optional<RaceInfo>& info) override;

  RequestPacket requestBuffer_;
  // Datagrams with a non-zero ack word already acknowledged: a repeat of
  // one is acknowledged again and handled no further.
  AcknowledgedDatagrams acknowledged_;
  RaceTracker tracker_;
  LinkState linkState_ = LinkState::New;
  // The simulator's address as resolved by OpenServerLink; 0 = loopback only.
  Ipv4Address simulatorAddress_ = 0;
  std::unique_ptr<lfsWriteSocket> writeSocket_;
};
