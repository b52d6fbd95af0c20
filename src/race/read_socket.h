// The race tracker's two sockets: lfsReadSocket receives every InSim datagram,
// runs the link handshake, answers the simulator, keeps the race model and
// obeys the chat commands; lfsWriteSocket, owned by it, sends every packet.
#pragma once

#include "net/udp_socket.h"
#include "race/insim_packets.h"
#include "race/race_model.h"

#include <cstdint>
#include <memory>
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
enum : std::int32_t {
  LinkNew = 3,           // nothing received yet
  LinkRequestsDue = 2,   // the next MCI packet sends the NPL, SST, ISM and VER requests
  LinkLinked = 0,
};

class lfsReadSocket : public UdpSocket {
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
  const RaceStats& stats() const { return stats_; }
  std::int32_t linkState() const { return linkState_; }
  bool deactivated() const { return deactivated_; }

  // Loop passes since the last packet that counted as traffic: the link
  // thread adds one per pass and keeps the link alive once it exceeds 22.
  std::uint16_t idleRounds = 0;

 private:
  bool fromSimulator(const SocketAddress& sender) const;
  void announceUploadOutcome();
  void handlePacket(PacketType type, const Datagram& packet);
  void traffic() { idleRounds = 0; }
  void ackAndCount(const Datagram& packet);

  void carSamples(const MciPacket& mci);
  void sendHandshakeRequests(std::uint8_t playerCount);
  void playerJoins(const NplPacket& npl);
  void split(const SplitPacket& sp);
  void lap(const LapPacket& packet);
  void result(const ResPacket& res);
  void playerPits(const PlayerLeavePacket& plp);
  void playerLeaves(const PlayerLeavePacket& pll);
  void raceState(const StaPacket& sta);
  // REN carries an ack word that is answered after the save message; a vote
  // (VTA) has none.
  void raceEnds(const Datagram* renPacket);
  // Players whose result is in and who race a lapped race change no more.
  bool frozen(const PlayerStats& player) const;

  // Chat commands; the deactivated mode listens only for "!activate".
  void chatCommand(std::string_view line);
  void chatCommandWhileDeactivated(std::string_view line);
  void saveCommand();
  void deactivateCommand();
  void deleteCommand();
  void activateCommand();

  // Saves the race if it has players; true when a stats file was written.
  bool saveRace();

  RequestPacket requestBuffer_;
  RaceStats stats_;
  std::int32_t linkState_ = LinkNew;
  bool deactivated_ = false;
  // The simulator's address as resolved by OpenServerLink; 0 = loopback only.
  Ipv4Address simulatorAddress_ = 0;
  std::unique_ptr<lfsWriteSocket> writeSocket_;
};
