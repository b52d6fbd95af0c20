// Packet processing of the read socket: sender check, upload announcement,
// handshake, acknowledgements and the changes each packet makes to the race.
#include "race/read_socket.h"

#include "config/shared_state.h"
#include "output/stats_file.h"
#include "race/game_texts.h"

#include <cstring>

namespace {

bool isLoopback(Ipv4Address address) {
  unsigned char first = 0;
  std::memcpy(&first, &address, 1);  // network order: the first dotted byte first
  return first == 127;
}

}  // namespace

lfsWriteSocket::lfsWriteSocket(SocketHandler& handler) : UdpSocket(handler) {}

lfsWriteSocket::~lfsWriteSocket() = default;

lfsReadSocket::lfsReadSocket(SocketHandler& handler)
    : UdpSocket(handler),
      requestBuffer_(buildRequestPacket("ACK", 0)),
      writeSocket_(std::make_unique<lfsWriteSocket>(handler)) {}

lfsReadSocket::~lfsReadSocket() {
  writeSocket_.reset();
  if (!stats_.players.empty()) writeStats(stats_.players, stats_.info);
  stats_.clear();
}

bool lfsReadSocket::OpenServerLink(const std::string& serverIpText, std::uint16_t serverPort) {
  Ipv4Address address = 0;
  if (!Socket::ResolveHost(serverIpText, address)) return false;
  simulatorAddress_ = address;
  return writeSocket_->Open(address, serverPort);
}

void lfsReadSocket::sendRequest(std::string_view id, std::uint32_t value) {
  requestBuffer_ = buildRequestPacket(id, value);
  writeSocket_->SendBuf(reinterpret_cast<const char*>(requestBuffer_.data()),
                        static_cast<int>(requestBuffer_.size()), 0);
  std::memcpy(requestBuffer_.data(), "ACK", 4);
}

void lfsReadSocket::echoMessage(std::string_view text) {
  const MstPacket packet = buildMstPacket(text);
  writeSocket_->SendBuf(reinterpret_cast<const char*>(packet.data()), static_cast<int>(packet.size()), 0);
}

bool lfsReadSocket::fromSimulator(const SocketAddress& sender) const {
  // The client port listens on every interface: anyone else who reaches it
  // must not be able to end, delete or inject races.
  if (simulatorAddress_ == 0) return isLoopback(sender.address);
  return sender.address == simulatorAddress_;
}

void lfsReadSocket::announceUploadOutcome() {
  const std::uint8_t outcome = takeUploadOutcome();
  if (outcome == UploadNone) return;
  echoMessage(outcome == UploadSucceeded ? kUploadSucceededText : kUploadFailedText);
  sendRequest("GTH", 0);
}

void lfsReadSocket::OnDatagram(const char* buffer, int length, const SocketAddress& sender,
                               int senderAddressLength) {
  if (senderAddressLength != SocketAddressLength || !fromSimulator(sender)) return;
  announceUploadOutcome();

  const std::size_t size = length > 0 ? static_cast<std::size_t>(length) : 0;
  const Datagram packet(buffer, size);
  const PacketType type = recognisePacket(buffer, size);
  if (deactivated_) {
    if (type == PacketType::Mso) chatCommandWhileDeactivated(MsoPacket{packet}.text());
    return;
  }
  if (linkState_ == LinkNew) {
    setCarInfoInterval(CarInfoInterval);
    linkState_ = LinkRequestsDue;
    traffic();
  }
  handlePacket(type, packet);
}

void lfsReadSocket::ackAndCount(const Datagram& packet) {
  sendAck(ackWord(packet));
  traffic();
}

void lfsReadSocket::handlePacket(PacketType type, const Datagram& packet) {
  switch (type) {
    case PacketType::Mci: {
      const MciPacket mci{packet};
      if (linkState_ == LinkRequestsDue) sendHandshakeRequests(mci.playerCount());
      carSamples(mci);
      break;
    }
    case PacketType::Npl:
      ackAndCount(packet);
      if (linkState_ < LinkRequestsDue) playerJoins(NplPacket{packet});
      break;
    case PacketType::Lap:
      ackAndCount(packet);
      lap(LapPacket{packet});
      break;
    case PacketType::Split:
      ackAndCount(packet);
      split(SplitPacket{packet});
      break;
    case PacketType::Res:
      ackAndCount(packet);
      result(ResPacket{packet});
      break;
    case PacketType::Rst: {
      ackAndCount(packet);
      const RstPacket rst{packet};
      stats_.setRaceInfo(rst.track(), rst.laps(), rst.weather(), rst.wind(), rst.qualifyMinutes());
      break;
    }
    case PacketType::Ren:
      raceEnds(&packet);
      break;
    case PacketType::Vta:
      if (VtaPacket{packet}.action() >= 2) raceEnds(nullptr);
      break;
    case PacketType::Plp:
      ackAndCount(packet);
      playerPits(PlayerLeavePacket{packet});
      break;
    case PacketType::Pll:
      ackAndCount(packet);
      playerLeaves(PlayerLeavePacket{packet});
      break;
    case PacketType::Sta:
      if (linkState_ == LinkLinked) raceState(StaPacket{packet});
      break;
    case PacketType::Ism:
      if (stats_.info) stats_.info->setHost(IsmPacket{packet}.hostName());
      break;
    case PacketType::Ver:
      if (stats_.info) stats_.info->setVersion(VerPacket{packet}.version());
      break;
    case PacketType::Mso:
      chatCommand(MsoPacket{packet}.text());
      break;
    case PacketType::Ncn:
    case PacketType::Cnl:
    case PacketType::Cpr:
    case PacketType::Reo:
    case PacketType::Clr:
      ackAndCount(packet);
      break;
    case PacketType::Rtp:
      traffic();
      break;
    case PacketType::None:
      break;
  }
}

void lfsReadSocket::sendHandshakeRequests(std::uint8_t playerCount) {
  for (std::uint32_t index = 0; index < playerCount; ++index) sendRequest("NPL", index);
  sendRequest("SST", 0);
  sendRequest("ISM", 0);
  sendRequest("VER", 0);
  linkState_ = LinkLinked;
}

bool lfsReadSocket::frozen(const PlayerStats& player) const {
  return player.result.has_value() && stats_.isLappedRace();
}

void lfsReadSocket::carSamples(const MciPacket& mci) {
  const bool qualifying = stats_.isQualifying();
  const std::size_t count = mci.carCount();
  for (std::size_t index = 0; index < count; ++index) {
    const CarInfo car = mci.car(index);
    PlayerStats* player = stats_.findPlayer(car.playerId);
    if (player == nullptr) continue;
    if (!qualifying) {
      stats_.updatePosition(car.playerId, car.lap, car.node, mci.nodeCount(), mci.finishNode());
    }
    LapRecord* newest = player->lastLap();
    // A lap just completed takes the speed of the first sample after it,
    // even from a player whose result is in.
    if (newest != nullptr && newest->speed == kSpeedFromNextSample) newest->speed = car.speed;
    if (frozen(*player)) continue;
    if (car.speed > player->bestSpeed) player->bestSpeed = car.speed;
    if (newest != nullptr && !newest->splits.empty() && newest->splits.back().speed == 0) {
      newest->splits.back().speed = car.speed;
    }
    if (player->firstLap == 0 && car.speed != 0) player->firstLap = car.lap;
  }
}

void lfsReadSocket::playerJoins(const NplPacket& npl) {
  const std::uint8_t id = npl.playerId();
  if (PlayerStats* known = stats_.findPlayer(id)) {
    known->setCarName(npl.carName());
    return;
  }
  // Names are kept cut to the record's width, so a rejoining player is
  // looked up the same way.
  const std::string_view name = npl.playerName().substr(0, kPlayerNameWidth - 1);
  PlayerStats* record = stats_.findPlayerByName(name);
  if (record != nullptr) {
    // Qualifying keeps every lap a driver set; a race starts the rejoined
    // driver afresh.
    if (!stats_.isQualifying()) {
      stats_.resetPlayer(*record);
      record->startOrder = kRejoinedStartOrder;
    }
    record->id = id;
  } else {
    record = &stats_.addPlayer(id, name);
    record->startOrder = npl.startOrder();
  }
  record->flags = npl.flags();
  record->setCarName(npl.carName());
  record->setUserName(npl.userName());
}

void lfsReadSocket::split(const SplitPacket& sp) {
  const std::uint8_t id = sp.playerId();
  PlayerStats* player = stats_.findPlayer(id);
  if (player == nullptr || frozen(*player)) return;
  SplitRecord& record = stats_.openSplit(*player);
  record.time = sp.splitTime();
  record.position = stats_.isQualifying() ? 0 : stats_.positionOf(id);
}

void lfsReadSocket::lap(const LapPacket& packet) {
  const std::uint8_t id = packet.playerId();
  PlayerStats* player = stats_.findPlayer(id);
  if (player == nullptr || frozen(*player)) return;
  if (player->laps.empty()) stats_.openLap(*player);
  LapRecord& newest = player->laps.back();
  const RaceTime lapTime = packet.lapTime();
  newest.time = lapTime;
  newest.speed = kSpeedFromNextSample;
  if (stats_.isQualifying()) return;
  if (player->laps.size() == 1 || lapTime < player->bestLap) player->bestLap = lapTime;
  newest.position = stats_.positionOf(id);
}

void lfsReadSocket::result(const ResPacket& res) {
  PlayerStats* player = stats_.findPlayer(res.playerId());
  if (player == nullptr) return;
  const bool qualifying = stats_.isQualifying();
  const auto resultPosition = static_cast<std::uint8_t>(res.position() + 1);
  if (!player->result) {
    ResultRecord record;
    record.totalTime = res.totalTime();
    record.totalTimeLead = res.totalTimeLead();
    record.pitStops = res.pitStops();
    record.penaltyFlags = res.penaltyFlags();
    player->bestLap = res.bestLap();
    if (qualifying) {
      if (player->laps.empty()) stats_.openLap(*player);
      record.position = kUnplacedPosition;
    } else {
      record.position = resultPosition;
    }
    player->result = record;
  }
  if (!qualifying) return;
  // Qualifying reports every improvement as a new result: the newest lap
  // takes its position and the best lap its time.
  if (LapRecord* newest = player->lastLap()) newest->position = resultPosition;
  if (res.bestLap() < player->bestLap) player->bestLap = res.bestLap();
}

void lfsReadSocket::playerPits(const PlayerLeavePacket& plp) {
  PlayerStats* player = stats_.findPlayer(plp.playerId());
  if (player == nullptr) return;
  if (stats_.isLappedRace()) {
    // Before anyone has finished, a driver who pits in a lapped race is out;
    // afterwards the record is the finished race's and stays.
    if (stats_.finishedCount == 0) stats_.resetPlayer(*player);
  } else {
    stats_.closeLap(*player);
  }
}

void lfsReadSocket::playerLeaves(const PlayerLeavePacket& pll) {
  if (PlayerStats* player = stats_.findPlayer(pll.playerId())) player->id = -1;
}

void lfsReadSocket::raceState(const StaPacket& sta) {
  stats_.finishedCount = sta.finishedCount();
  if (stats_.players.empty() || stats_.info) return;
  stats_.setRaceInfo(sta.track(), sta.laps(), sta.weather(), sta.wind(), sta.qualifyMinutes());
  sendRequest("ISM", 0);
}

bool lfsReadSocket::saveRace() {
  return !stats_.players.empty() && writeStats(stats_.players, stats_.info);
}

void lfsReadSocket::raceEnds(const Datagram* renPacket) {
  echoMessage(saveRace() ? kStatsSavedText : kStatsNotSavedText);
  if (renPacket != nullptr) sendAck(ackWord(*renPacket));
  stats_.clear();
  // The handshake requests of the next MCI packet take the players still on
  // track over into the next race.
  linkState_ = LinkRequestsDue;
  if (renPacket != nullptr) traffic();
}
