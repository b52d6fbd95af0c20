// Packet processing of the read socket: sender check, upload announcement,
// handshake, acknowledgements, and each packet turned into its call on the
// race tracker. Network thread only.
#include "link/read_socket.h"

#include "output/stats_file.h"

#include <cstring>

namespace {

bool isLoopback(Ipv4Address address) {
  unsigned char first = 0;
  std::memcpy(&first, &address, 1);  // network order: the first dotted byte first
  return first == 127;
}

PlayerJoin playerJoin(const NplPacket& npl) {
  PlayerJoin join;
  join.playerId = npl.playerId();
  join.playerName = npl.playerName();
  join.userName = npl.userName();
  join.carName = npl.carName();
  join.flags = npl.flags();
  join.startOrder = npl.startOrder();
  return join;
}

RaceResult raceResult(const ResPacket& res) {
  RaceResult result;
  result.playerId = res.playerId();
  result.totalTime = res.totalTime();
  result.totalTimeLead = res.totalTimeLead();
  result.bestLap = res.bestLap();
  result.pitStops = res.pitStops();
  result.penaltyFlags = res.penaltyFlags();
  result.position = res.position();
  return result;
}

template <typename Packet>
RaceSetup raceSetup(const Packet& packet) {
  RaceSetup setup;
  setup.track = packet.track();
  setup.laps = packet.laps();
  setup.weather = packet.weather();
  setup.wind = packet.wind();
  setup.qualifyMinutes = packet.qualifyMinutes();
  return setup;
}

}  // namespace

lfsWriteSocket::lfsWriteSocket(SocketHandler& handler) : UdpSocket(handler) {}

lfsWriteSocket::~lfsWriteSocket() = default;

lfsReadSocket::lfsReadSocket(SocketHandler& handler)
    : UdpSocket(handler),
      requestBuffer_(buildRequestPacket("ACK", 0)),
      tracker_(*this),
      writeSocket_(std::make_unique<lfsWriteSocket>(handler)) {}

lfsReadSocket::~lfsReadSocket() {
  writeSocket_.reset();
  tracker_.linkEnds();
}

bool lfsReadSocket::OpenServerLink(const std::string& serverIpText, std::uint16_t serverPort) {
  Ipv4Address address = 0;
  if (!Socket::ResolveHost(serverIpText, address)) return false;
  simulatorAddress_ = address;
  return writeSocket_->Open(address, serverPort);
}

void lfsReadSocket::sendRequest(std::string_view id, std::uint32_t value) {
  // Only while the link exists: the last save of a closing link sends nothing.
  if (!writeSocket_) return;
  requestBuffer_ = buildRequestPacket(id, value);
  writeSocket_->SendBuf(reinterpret_cast<const char*>(requestBuffer_.data()),
                        static_cast<int>(requestBuffer_.size()), 0);
  std::memcpy(requestBuffer_.data(), "ACK", 4);
}

void lfsReadSocket::echoMessage(std::string_view text) {
  if (!writeSocket_) return;
  const MstPacket packet = buildMstPacket(text);
  writeSocket_->SendBuf(reinterpret_cast<const char*>(packet.data()), static_cast<int>(packet.size()), 0);
}

bool lfsReadSocket::fromSimulator(const SocketAddress& sender) const {
  // The client port listens on every interface: anyone else who reaches it
  // must not be able to end, delete or inject races.
  if (simulatorAddress_ == 0) return isLoopback(sender.address);
  return sender.address == simulatorAddress_;
}

void lfsReadSocket::OnDatagram(const char* buffer, int length, const SocketAddress& sender,
                               int senderAddressLength) {
  if (senderAddressLength != kSocketAddressLength || !fromSimulator(sender)) return;
  if (tracker_.announceUploadOutcome()) sendRequest("GTH", 0);

  const std::size_t size = length > 0 ? static_cast<std::size_t>(length) : 0;
  const Datagram packet(buffer, size);
  const PacketType type = recognisePacket(buffer, size);
  if (tracker_.deactivated()) {
    if (type == PacketType::Mso) tracker_.chatLine(MsoPacket{packet}.text());
    return;
  }
  if (linkState_ == LinkState::New) {
    setCarInfoInterval(CarInfoInterval);
    linkState_ = LinkState::RequestsDue;
    traffic();
  }
  if (!hasAckWord(type)) {
    handlePacket(type, packet);
    if (type == PacketType::Rtp) traffic();
    return;
  }
  const std::uint16_t word = ackWord(packet);
  // Sent again because our ACK was lost: the race has it already. Ack word 0
  // is no numbered packet, so it is always taken.
  const bool repeat = word != 0 && acknowledged_.contains(buffer, size);
  if (!repeat) handlePacket(type, packet);
  // After the packet's own replies: a race end tells the game about its save
  // before the simulator hears that the end arrived.
  sendAck(word);
  traffic();
  if (word != 0 && !repeat) acknowledged_.remember(buffer, size);
}

void lfsReadSocket::handlePacket(PacketType type, const Datagram& packet) {
  switch (type) {
    case PacketType::Mci: {
      const MciPacket mci{packet};
      if (linkState_ == LinkState::RequestsDue) sendHandshakeRequests(mci.playerCount());
      carSamples(mci);
      break;
    }
    case PacketType::Npl:
      if (linkState_ == LinkState::Linked) tracker_.playerJoins(playerJoin(NplPacket{packet}));
      break;
    case PacketType::Lap: {
      const LapPacket lap{packet};
      tracker_.lap(lap.playerId(), lap.lapTime());
      break;
    }
    case PacketType::Split: {
      const SplitPacket split{packet};
      tracker_.split(split.playerId(), split.splitTime());
      break;
    }
    case PacketType::Res:
      tracker_.result(raceResult(ResPacket{packet}));
      break;
    case PacketType::Rst:
      tracker_.raceStarts(raceSetup(RstPacket{packet}));
      break;
    case PacketType::Ren:
      tracker_.raceEnds();
      break;
    case PacketType::Vta:
      tracker_.voteAction(VtaPacket{packet}.action());
      break;
    case PacketType::Plp:
      tracker_.playerPits(PlayerLeavePacket{packet}.playerId());
      break;
    case PacketType::Pll:
      tracker_.playerLeaves(PlayerLeavePacket{packet}.playerId());
      break;
    case PacketType::Sta:
      if (linkState_ == LinkState::Linked) {
        const StaPacket sta{packet};
        tracker_.raceState(sta.finishedCount(), raceSetup(sta));
      }
      break;
    case PacketType::Ism:
      tracker_.hostName(IsmPacket{packet}.hostName());
      break;
    case PacketType::Ver:
      tracker_.simulatorVersion(VerPacket{packet}.version());
      break;
    case PacketType::Mso:
      tracker_.chatLine(MsoPacket{packet}.text());
      break;
    default:  // acknowledged or ignored only
      break;
  }
}

void lfsReadSocket::carSamples(const MciPacket& mci) {
  const std::size_t count = mci.carCount();
  for (std::size_t index = 0; index < count; ++index) {
    const CarInfo car = mci.car(index);
    tracker_.carSample(CarSample{car.playerId, car.lap, car.node, car.speed}, mci.nodeCount(),
                       mci.finishNode());
  }
}

void lfsReadSocket::sendHandshakeRequests(std::uint8_t playerCount) {
  for (std::uint32_t index = 0; index < playerCount; ++index) sendRequest("NPL", index);
  sendRequest("SST", 0);
  sendRequest("ISM", 0);
  sendRequest("VER", 0);
  linkState_ = LinkState::Linked;
}

// The handshake requests of the next MCI packet take the players still on
// track over into the next race.
void lfsReadSocket::requestRaceState() { linkState_ = LinkState::RequestsDue; }

bool lfsReadSocket::saveRace(std::list<PlayerStats>& players, const std::optional<RaceInfo>& info) {
  return writeStats(players, info);
}
