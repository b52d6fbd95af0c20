// The binary InSim adapter's packet handling and the packets it sends.
// Network thread only.
#include "link/insim9_link.h"

#include "output/stats_file.h"
#include "race/game_texts.h"

namespace {

using namespace insim9;

constexpr std::uint8_t kNotInStartOrder = 255;

bool isCommand(std::string_view line) {
  return line == kSaveCommand || line == kDeleteCommand || line == kDeactivateCommand ||
         line == kActivateCommand;
}

template <typename Packet>
RaceSetup raceSetup(const Packet& packet) {
  RaceSetup setup;
  setup.track = packet.track();
  const RaceLength length = decodeRaceLaps(packet.raceLaps());
  // The model counts laps in a byte; races of hours count as not lapped.
  if (length.kind == RaceLength::Laps)
    setup.laps = static_cast<std::uint8_t>(length.count < 255 ? length.count : 255);
  setup.weather = packet.weather();
  setup.wind = packet.wind();
  setup.qualifyMinutes = packet.qualifyMinutes();
  return setup;
}

}  // namespace

InSim9Link::InSim9Link(InSim9Transport& transport) : transport_(transport), tracker_(*this) {
  startPlace_.fill(kNotInStartOrder);
}

InSim9Link::~InSim9Link() { tracker_.linkEnds(); }

void InSim9Link::start(std::string_view adminPassword) {
  const IsiPacket isi = buildIsi(kCarInfoInterval, adminPassword);
  transport_.sendPacket(isi.data(), isi.size());
}

void InSim9Link::sendTiny(std::uint8_t subType) {
  // Requests need a ReqI other than 0; the answers carry it back.
  requestId_ = static_cast<std::uint8_t>(requestId_ == 255 ? 1 : requestId_ + 1);
  const TinyBytes packet = buildTiny(requestId_, subType);
  transport_.sendPacket(packet.data(), packet.size());
}

void InSim9Link::onPacket(const std::uint8_t* data, std::size_t size) {
  const Type type = recognise(data, size);
  if (type == Type::None) return;
  tracker_.announceUploadOutcome();
  const Bytes packet(data, size);
  if (tracker_.deactivated()) {
    // Switched off, the program still keeps the link and knows who may
    // switch it on again.
    if (type == Type::Tiny || type == Type::Ncn || type == Type::Cnl || type == Type::Ism ||
        type == Type::Mso || type == Type::Ver) {
      handle(type, packet);
    }
    return;
  }
  handle(type, packet);
}

void InSim9Link::handle(Type type, const Bytes& packet) {
  switch (type) {
    case Type::Tiny:
      tiny(TinyPacket{packet});
      break;
    case Type::Small: {
      const SmallPacket small{packet};
      if (small.subType() == small::Vta) tracker_.voteAction(static_cast<std::int32_t>(small.value()));
      break;
    }
    case Type::Ver:
      version(VerPacket{packet});
      break;
    case Type::Sta: {
      const StaPacket sta{packet};
      tracker_.raceState(sta.finishedCount(), raceSetup(sta));
      giveRaceItsHostAndVersion();
      break;
    }
    case Type::Ism: {
      const IsmPacket ism{packet};
      host_ = ism.isHost();
      hostName_ = std::string(ism.hostName());
      tracker_.hostName(hostName_);
      break;
    }
    case Type::Mso:
      chat(MsoPacket{packet});
      break;
    case Type::Ncn: {
      const NcnPacket ncn{packet};
      Connection& connection = connections_[ncn.connectionId()];
      connection.present = true;
      connection.admin = ncn.isAdmin();
      connection.userName = std::string(ncn.userName());
      break;
    }
    case Type::Cnl:
      connections_[CnlPacket{packet}.connectionId()] = Connection{};
      break;
    case Type::Npl:
      playerJoins(NplPacket{packet});
      break;
    case Type::Plp:
      tracker_.playerPits(PlayerPacket{packet}.playerId());
      break;
    case Type::Pll:
      tracker_.playerLeaves(PlayerPacket{packet}.playerId());
      break;
    case Type::Toc: {
      const TocPacket toc{packet};
      driverOf_[toc.playerId()] = toc.newConnectionId();
      tracker_.driverChanges(toc.playerId(), connections_[toc.newConnectionId()].userName);
      break;
    }
    case Type::Lap: {
      const LapPacket lap{packet};
      tracker_.lap(lap.playerId(), raceTimeFromMs(lap.lapTime()));
      break;
    }
    case Type::Spx: {
      const SpxPacket spx{packet};
      tracker_.split(spx.playerId(), raceTimeFromMs(spx.splitTime()));
      break;
    }
    case Type::Res:
      result(ResPacket{packet});
      break;
    case Type::Reo:
      startOrder(ReoPacket{packet});
      break;
    case Type::Rst:
      raceStarts(RstPacket{packet});
      break;
    case Type::Mci:
      carSamples(MciPacket{packet});
      break;
    default:  // CPR and the packets the program only sends
      break;
  }
}

void InSim9Link::tiny(const TinyPacket& packet) {
  switch (packet.subType()) {
    case tiny::None: {
      // The host's keep-alive, answered at once or it drops the link.
      const TinyBytes answer = buildTiny(0, tiny::None);
      transport_.sendPacket(answer.data(), answer.size());
      break;
    }
    case tiny::Close:
    case tiny::Mpe:
      ended_ = true;
      break;
    case tiny::Ren:
      if (!tracker_.deactivated()) tracker_.raceEnds();
      break;
    default:  // CLR and the answers to requests of other programs
      break;
  }
}

void InSim9Link::version(const VerPacket& packet) {
  linked_ = true;
  version_ = std::string(packet.version());
  if (packet.inSimVersion() != kVersion && !versionReported_) {
    versionReported_ = true;
    transport_.report("the host speaks InSim version " + std::to_string(packet.inSimVersion()) + ", not " +
                      std::to_string(kVersion) + "; packets it reads otherwise may be misread");
  }
  // The state, now that the host knows the program.
  for (std::uint8_t request : {tiny::Ncn, tiny::Npl, tiny::Rst, tiny::Sst, tiny::Ism, tiny::Reo})
    sendTiny(request);
}

bool InSim9Link::mayCommand(std::uint8_t connectionId) const {
  return connectionId == 0 || connections_[connectionId].admin;
}

void InSim9Link::chat(const MsoPacket& packet) {
  if (packet.userType() != mso::User && packet.userType() != mso::Prefix) return;
  const std::string_view line = packet.typedText();
  if (isCommand(line) && !mayCommand(packet.connectionId())) {
    const Connection& sender = connections_[packet.connectionId()];
    transport_.report(std::string(line) + " from " +
                      (sender.userName.empty() ? "an unknown connection" : sender.userName) +
                      " was ignored: only the host and admins may use it");
    return;
  }
  tracker_.chatLine(line);
}

void InSim9Link::playerJoins(const NplPacket& packet) {
  if (packet.isJoinRequest()) return;
  const std::uint8_t id = packet.playerId();
  driverOf_[id] = packet.connectionId();
  PlayerJoin join;
  join.playerId = id;
  join.playerName = packet.playerName();
  join.userName = connections_[packet.connectionId()].userName;
  join.carName = packet.carName();
  join.flags = packet.flags();
  join.startOrder = startPlace_[id];
  tracker_.playerJoins(join);
}

void InSim9Link::result(const ResPacket& packet) {
  RaceResult result;
  result.playerId = packet.playerId();
  result.totalTime = raceTimeFromMs(packet.totalTime());
  result.bestLap = raceTimeFromMs(packet.bestLap());
  result.pitStops = packet.pitStops();
  result.penaltyFlags = packet.confirm();
  result.position = packet.resultNumber();
  // A player who left has no id any more: the name finds the record.
  if (result.playerId == 0) {
    tracker_.resultOfPlayerWhoLeft(packet.playerName(), result);
  } else {
    tracker_.result(result);
  }
}

void InSim9Link::raceStarts(const RstPacket& packet) {
  nodeCount_ = packet.nodeCount();
  finishNode_ = packet.finishNode();
  tracker_.raceStarts(raceSetup(packet));
  giveRaceItsHostAndVersion();
}

void InSim9Link::giveRaceItsHostAndVersion() {
  if (!hostName_.empty()) tracker_.hostName(hostName_);
  if (!version_.empty()) tracker_.simulatorVersion(version_);
}

void InSim9Link::startOrder(const ReoPacket& packet) {
  startPlace_.fill(kNotInStartOrder);
  const std::size_t count = packet.playerCount();
  // The order comes at the start of a race or session, after the joins; a
  // join that comes later finds its place here.
  for (std::size_t place = 0; place < count; ++place) {
    const std::uint8_t id = packet.playerId(place);
    startPlace_[id] = static_cast<std::uint8_t>(place);
    tracker_.startPlace(id, static_cast<std::uint8_t>(place));
  }
}

void InSim9Link::carSamples(const MciPacket& packet) {
  const std::size_t count = packet.carCount();
  for (std::size_t index = 0; index < count; ++index) {
    const CompCar car = packet.car(index);
    tracker_.carSample(CarSample{car.playerId, car.lap, car.node, documentSpeed(car.speed)}, nodeCount_,
                       finishNode_);
  }
}

void InSim9Link::sendGameText(std::string_view text) {
  // A host shows a message to every connection; a guest's own InSim can only
  // write to its local screen.
  if (host_) {
    const MtcPacket packet = buildMtc(kAllConnections, text);
    transport_.sendPacket(packet.data(), packet.size);
  } else {
    const MslPacket packet = buildMsl(text);
    transport_.sendPacket(packet.data(), packet.size());
  }
}

void InSim9Link::requestRaceState() {
  for (std::uint8_t request : {tiny::Npl, tiny::Sst, tiny::Ism}) sendTiny(request);
}

void InSim9Link::setCarInformation(bool on) {
  const SmallBytes packet = buildSmall(1, small::Nli, on ? kCarInfoInterval : 0);
  transport_.sendPacket(packet.data(), packet.size());
}

bool InSim9Link::saveRace(std::list<PlayerStats>& players, const std::optional<RaceInfo>& info) {
  return writeStats(players, info);
}
