// Script lines to binary InSim packets, and the simulator's answers to
// requests, from the state the lines have built up.
#include "insim9_world.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <set>

#include "simulator_packets.h"

namespace {

using namespace standin9;

// A zero-filled packet of `length` bytes (a multiple of 4) with its header.
Packet9 header(std::size_t length, std::uint8_t type, std::uint8_t requestId = 0, std::uint8_t data = 0) {
  Packet9 packet(length, 0);
  packet[0] = static_cast<std::uint8_t>(length / 4);
  packet[1] = type;
  packet[2] = requestId;
  packet[3] = data;
  return packet;
}

void put(Packet9& packet, std::size_t offset, std::uint32_t value, std::size_t width) {
  for (std::size_t i = 0; i < width; ++i) packet[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// At most `room` characters; the zero fill after them is the NUL (plates
// and car names may fill their field).
void putText(Packet9& packet, std::size_t offset, const std::string& text, std::size_t room) {
  std::memcpy(packet.data() + offset, text.data(), std::min(text.size(), room));
}

Packet9 withRequestId(Packet9 packet, std::uint8_t requestId) {
  if (packet.size() > 2) packet[2] = requestId;
  return packet;
}

// The fields of one line, read by name; each name read is one the packet
// knows, and whatever is left over is a fault.
class Fields {
 public:
  Fields(const ScriptTokens& tokens, const char* positional) : tokens_(tokens), given_(tokens.fields) {
    if (!tokens.values.empty()) {
      if (positional == nullptr || tokens.values.size() > 1) {
        fail(tokens.command + ": unexpected value '" + tokens.values.front() +
             "' (fields are written key=value)");
      } else {
        given_.insert(given_.begin(), {positional, tokens.values.front()});
      }
    }
  }

  long long number(const char* key, long long low, long long high, long long fallback = 0) {
    const std::string* value = find(key);
    if (value == nullptr) return fallback;
    char* end = nullptr;
    const bool hex = value->size() > 2 && (*value)[0] == '0' && ((*value)[1] == 'x' || (*value)[1] == 'X');
    const long long number = std::strtoll(value->c_str(), &end, hex ? 16 : 10);
    if (value->empty() || *end != '\0' || number < low || number > high) {
      fail("bad value '" + *value + "' for " + key);
      return fallback;
    }
    return number;
  }
  std::string text(const char* key, const std::string& fallback = std::string()) {
    const std::string* value = find(key);
    return value ? *value : fallback;
  }
  bool has(const char* key) const {
    for (const auto& field : given_) {
      if (field.first == key) return true;
    }
    return false;
  }
  // Script times (m:ss.hh and the other forms) in milliseconds.
  std::uint32_t ms(const char* key) {
    const std::string* value = find(key);
    if (value == nullptr) return 0;
    std::uint8_t parts[4];
    if (!parseRaceTime(*value, parts)) {
      fail("bad value '" + *value + "' for " + key);
      return 0;
    }
    return ((parts[0] * 60u + parts[1]) * 60u + parts[2]) * 1000u + parts[3] * 10u;
  }
  // False with the first fault, or an unknown field, in `error`.
  bool done(std::string& error) {
    for (const auto& field : given_) {
      if (used_.count(field.first) == 0 && error_.empty()) {
        fail(tokens_.command + " has no field '" + field.first + "'");
      }
    }
    if (!tokens_.groups.empty() && !groupsAllowed_ && error_.empty()) {
      fail(tokens_.command + " takes no " + tokens_.groups.front().name + "(...) group");
    }
    error = error_;
    return error_.empty();
  }
  void allowGroups() { groupsAllowed_ = true; }
  void fail(const std::string& message) {
    if (error_.empty()) error_ = message;
  }

 private:
  const std::string* find(const char* key) {
    used_.insert(key);
    for (const auto& field : given_) {
      if (field.first == key) return &field.second;
    }
    return nullptr;
  }

  const ScriptTokens& tokens_;
  ScriptFields given_;
  std::set<std::string> used_;
  std::string error_;
  bool groupsAllowed_ = false;
};

std::uint8_t byteOf(long long value) { return static_cast<std::uint8_t>(value); }

}  // namespace

namespace standin9 {

Packet9 tiny(std::uint8_t requestId, std::uint8_t subType) { return header(4, Tiny, requestId, subType); }

Packet9 small(std::uint8_t requestId, std::uint8_t subType, std::uint32_t value) {
  Packet9 packet = header(8, Small, requestId, subType);
  put(packet, 4, value, 4);
  return packet;
}

}  // namespace standin9

Insim9World::Insim9World() = default;

std::uint8_t Insim9World::connectionCount() const {
  // The host (UCID 0) is always one of them.
  return static_cast<std::uint8_t>(connections_.size() + (connections_.count(0) ? 0 : 1));
}

Packet9 Insim9World::version(std::uint8_t requestId) const {
  Packet9 packet = header(20, Ver, requestId);
  putText(packet, 4, version_, 7);
  putText(packet, 12, product_, 5);
  packet[18] = inSimVersion_;
  return packet;
}

Packet9 Insim9World::newConnection(std::uint8_t id, const std::string& user, const std::string& name,
                                   bool admin) {
  Connection& connection = connections_[id];
  connection.name = name;
  Packet9 packet = header(56, Ncn, 0, id);
  putText(packet, 4, user, 23);
  putText(packet, 28, name, 23);
  packet[52] = admin ? 1 : 0;
  packet[53] = connectionCount();
  packet[54] = id == 0 ? 0 : 4;  // remote
  connection.ncn = packet;
  return packet;
}

bool Insim9World::build(const ScriptTokens& tokens, std::vector<Packet9>& packets, std::string& error) {
  packets.clear();
  const std::string& command = tokens.command;
  if (command == "NPL" || command == "PLP" || command == "PLL") return buildPlayer(tokens, packets, error);
  if (command == "SP" || command == "LAP") return buildTimes(tokens, packets, error);
  if (command == "RES") return buildResult(tokens, packets, error);
  if (command == "RST" || command == "STA" || command == "ISM" || command == "VER" || command == "REO") {
    return buildRace(tokens, packets, error);
  }
  if (command == "NCN" || command == "CNL" || command == "CPR")
    return buildConnection(tokens, packets, error);
  if (command == "MSO") return buildChat(tokens, packets, error);
  if (command == "MCI") return buildCars(tokens, packets, error);
  Fields fields(tokens, nullptr);
  if (command == "REN" || command == "CLR") {
    fields.number("ack", 0, 0xFFFF);
    if (command == "CLR") players_.clear();
    packets.push_back(tiny(0, command == "REN" ? TinyRen : TinyClr));
  } else if (command == "VTA") {
    packets.push_back(
        small(0, SmallVta, static_cast<std::uint32_t>(fields.number("action", -2147483648LL, 2147483647LL))));
  } else if (command == "RTP") {
    packets.push_back(small(0, SmallRtp, 0));
  } else {
    error = "unknown packet '" + command + "'";
    return false;
  }
  return fields.done(error);
}

bool Insim9World::buildPlayer(const ScriptTokens& tokens, std::vector<Packet9>& packets, std::string& error) {
  Fields fields(tokens, nullptr);
  const auto id = byteOf(fields.number("id", 0, 255));
  fields.number("ack", 0, 0xFFFF);
  if (tokens.command != "NPL") {
    if (!fields.done(error)) return false;
    if (tokens.command == "PLL") players_.erase(id);
    packets.push_back(header(4, tokens.command == "PLP" ? Plp : Pll, 0, id));
    return true;
  }
  Player& player = players_[id];
  player.user = fields.text("user");
  player.name = fields.text("name");
  player.car = fields.text("car");
  player.flags = static_cast<std::uint16_t>(fields.number("flags", 0, 0xFFFF));
  player.start = byteOf(fields.number("start", 0, 255));
  // A connection of its own unless the line names one; host players give ucid=0.
  player.connection = byteOf(fields.number("ucid", 0, 255, id));
  const bool admin = fields.number("admin", 0, 1) != 0;
  const std::string plate = fields.text("plate");
  if (!fields.done(error)) {
    players_.erase(id);
    return false;
  }
  if (connections_.count(player.connection) == 0) {
    packets.push_back(newConnection(player.connection, player.user, player.name, admin));
  }
  Packet9 npl = header(76, Npl, 0, id);
  npl[4] = player.connection;
  npl[5] = player.connection == 0 ? 0 : 4;  // remote
  put(npl, 6, player.flags, 2);
  putText(npl, 8, player.name, 23);
  putText(npl, 32, plate, 8);
  putText(npl, 40, player.car, 4);
  npl[73] = static_cast<std::uint8_t>(players_.size());
  npl[75] = 255;  // fuel not shown
  player.npl = npl;
  packets.push_back(npl);
  return true;
}

bool Insim9World::buildTimes(const ScriptTokens& tokens, std::vector<Packet9>& packets, std::string& error) {
  Fields fields(tokens, nullptr);
  const auto id = byteOf(fields.number("id", 0, 255));
  const std::uint32_t time = fields.ms("time");
  fields.number("ack", 0, 0xFFFF);
  const std::string split = fields.text("split", "1");
  if (tokens.command == "SP" && (split.size() != 1 || split[0] < '0' || split[0] > '9')) {
    fields.fail("bad value '" + split + "' for split");
  }
  if (!fields.done(error)) return false;
  // Times of a player the script never let join still go out, as they came.
  Player stranger;
  const auto known = players_.find(id);
  Player& player = known != players_.end() ? known->second : stranger;
  if (tokens.command == "SP") {
    Packet9 spx = header(16, Spx, 0, id);
    put(spx, 4, time, 4);
    put(spx, 8, player.elapsed + time, 4);
    spx[12] = static_cast<std::uint8_t>(split[0] - '0');
    spx[15] = 255;
    packets.push_back(spx);
    return true;
  }
  player.elapsed += time;
  ++player.lapsDone;
  Packet9 lap = header(20, Lap, 0, id);
  put(lap, 4, time, 4);
  put(lap, 8, player.elapsed, 4);
  put(lap, 12, player.lapsDone, 2);
  put(lap, 14, player.flags, 2);
  lap[19] = 255;
  packets.push_back(lap);
  return true;
}

bool Insim9World::buildResult(const ScriptTokens& tokens, std::vector<Packet9>& packets, std::string& error) {
  Fields fields(tokens, nullptr);
  const auto id = byteOf(fields.number("id", 0, 255));
  const std::uint32_t total = fields.ms("total");
  const std::uint32_t best = fields.ms("best");
  const auto position = byteOf(fields.number("pos", 0, 255));
  const auto pits = byteOf(fields.number("pits", 0, 255));
  const auto penalty = byteOf(fields.number("penalty", 0, 255));
  // The old count ahead of the hours has no place here: ms carry the hours.
  fields.number("lead", 0, 0xFFFF);
  fields.number("ack", 0, 0xFFFF);
  const auto confirm = byteOf(fields.number("confirm", 0, 255, 2 | penalty));  // CONF_CONFIRMED
  if (!fields.done(error)) return false;
  const auto known = players_.find(id);
  const Player player = known != players_.end() ? known->second : Player();
  Packet9 res = header(84, Res, 0, id);
  putText(res, 4, player.user, 23);
  putText(res, 28, player.name, 23);
  putText(res, 60, player.car, 4);
  put(res, 64, total, 4);
  put(res, 68, best, 4);
  res[73] = pits;
  res[74] = confirm;
  put(res, 76, player.lapsDone, 2);
  put(res, 78, player.flags, 2);
  res[80] = position;
  res[81] = ++results_;
  packets.push_back(res);
  return true;
}

bool Insim9World::buildRace(const ScriptTokens& tokens, std::vector<Packet9>& packets, std::string& error) {
  const std::string& command = tokens.command;
  Fields fields(tokens, command == "ISM" ? "host" : nullptr);
  fields.number("ack", 0, 0xFFFF);
  Packet9 packet;
  if (command == "RST") {
    packet = header(28, Rst);
    packet[4] = byteOf(fields.number("laps", 0, 255));
    packet[5] = byteOf(fields.number("qual", 0, 255));
    packet[6] = static_cast<std::uint8_t>(players_.size());
    packet[7] = byteOf(fields.number("timing", 0, 255, 0x40));  // standard lap timing
    putText(packet, 8, fields.text("track"), 6);
    packet[14] = byteOf(fields.number("weather", 0, 255));
    packet[15] = byteOf(fields.number("wind", 0, 255));
    put(packet, 16, static_cast<std::uint32_t>(fields.number("flags", 0, 0xFFFF)), 2);
    put(packet, 18, static_cast<std::uint32_t>(fields.number("nodes", 0, 0xFFFF)), 2);
    put(packet, 20, static_cast<std::uint32_t>(fields.number("finish", 0, 0xFFFF)), 2);
    put(packet, 22, static_cast<std::uint32_t>(fields.number("split1", 0, 0xFFFF, 0xFFFF)), 2);
    put(packet, 24, static_cast<std::uint32_t>(fields.number("split2", 0, 0xFFFF, 0xFFFF)), 2);
    put(packet, 26, static_cast<std::uint32_t>(fields.number("split3", 0, 0xFFFF, 0xFFFF)), 2);
    for (auto& entry : players_) {  // a new race: times start again
      entry.second.elapsed = 0;
      entry.second.lapsDone = 0;
    }
    results_ = 0;
    rst_ = packet;
  } else if (command == "STA") {
    packet = header(28, Sta);
    put(packet, 4, 0x3F800000u, 4);  // replay speed 1.0f
    put(packet, 8, 0x0201u, 2);      // in game, multiplayer
    packet[10] = 3;                  // driver's view
    packet[12] = static_cast<std::uint8_t>(players_.size());
    packet[13] = connectionCount();
    packet[14] = byteOf(fields.number("finished", 0, 255));
    packet[16] = byteOf(fields.number("qual", 0, 255));
    packet[15] = packet[16] != 0 ? 2 : 1;  // qualifying or race
    packet[17] = byteOf(fields.number("laps", 0, 255));
    packet[19] = 1;  // server status: fine
    putText(packet, 20, fields.text("track"), 6);
    packet[26] = byteOf(fields.number("weather", 0, 255));
    packet[27] = byteOf(fields.number("wind", 0, 255));
    sta_ = packet;
  } else if (command == "ISM") {
    packet = header(40, Ism);
    packet[4] = fields.number("guest", 0, 1) != 0 ? 0 : 1;
    putText(packet, 8, fields.text("host"), 31);
    ism_ = packet;
  } else if (command == "VER") {
    version_ = fields.text("version", version_);
    product_ = fields.text("product", product_);
    inSimVersion_ = byteOf(fields.number("insimver", 0, 255, inSimVersion_));
    packet = version(0);
  } else {  // REO
    packet = header(44, Reo);
    std::string order = fields.text("order");
    std::replace(order.begin(), order.end(), ',', ' ');
    char* at = &order[0];
    std::size_t count = 0;
    for (char* end = nullptr; count < 40; at = end) {
      const long value = std::strtol(at, &end, 10);
      if (end == at) break;
      if (value < 1 || value > 255) fields.fail("bad player id in order: " + std::to_string(value));
      packet[4 + count++] = static_cast<std::uint8_t>(value);
    }
    packet[3] = static_cast<std::uint8_t>(count);
    if (count == 0 && !players_.empty()) packet = orderFromStarts();
    reo_ = packet;
  }
  if (!fields.done(error)) return false;
  packets.push_back(packet);
  return true;
}

bool Insim9World::buildConnection(const ScriptTokens& tokens, std::vector<Packet9>& packets,
                                  std::string& error) {
  Fields fields(tokens, nullptr);
  fields.number("ack", 0, 0xFFFF);
  const auto id = byteOf(fields.number("ucid", 0, 255));
  if (tokens.command == "NCN") {
    const std::string user = fields.text("user");
    const std::string name = fields.text("name");
    const bool admin = fields.number("admin", 0, 1) != 0;
    if (!fields.done(error)) return false;
    packets.push_back(newConnection(id, user, name, admin));
    return true;
  }
  if (tokens.command == "CNL") {
    const auto reason = byteOf(fields.number("reason", 0, 255));
    if (!fields.done(error)) return false;
    connections_.erase(id);
    Packet9 cnl = header(8, Cnl, 0, id);
    cnl[4] = reason;
    cnl[5] = connectionCount();
    packets.push_back(cnl);
    return true;
  }
  const std::string name = fields.text("name");
  const std::string plate = fields.text("plate");
  if (!fields.done(error)) return false;
  Packet9 cpr = header(36, Cpr, 0, id);
  putText(cpr, 4, name, 23);
  putText(cpr, 28, plate, 8);
  auto known = connections_.find(id);
  if (known != connections_.end()) {
    known->second.name = name;
    std::fill(known->second.ncn.begin() + 28, known->second.ncn.begin() + 52, 0);
    putText(known->second.ncn, 28, name, 23);
  }
  packets.push_back(cpr);
  return true;
}

bool Insim9World::buildChat(const ScriptTokens& tokens, std::vector<Packet9>& packets, std::string& error) {
  Fields fields(tokens, "text");
  const std::string text = fields.text("text");
  const auto connection = byteOf(fields.number("ucid", 0, 255));
  const auto userType = byteOf(fields.number("usertype", 0, 3, 1));
  const auto player = byteOf(fields.number("plid", 0, 255));
  if (!fields.done(error)) return false;
  // A user's line begins with the sender's name, as the simulator writes it;
  // TextStart points after it.
  std::string prefix;
  if (userType == 1) {
    const auto known = connections_.find(connection);
    prefix = (known != connections_.end() ? known->second.name : std::string("host")) + " ^7: ^8";
  }
  const std::string line = (prefix + text).substr(0, 127);
  Packet9 mso = header(8 + (line.size() + 4) / 4 * 4, Mso);
  mso[4] = connection;
  mso[5] = player;
  mso[6] = userType;
  mso[7] = static_cast<std::uint8_t>(std::min<std::size_t>(prefix.size(), 127));
  putText(mso, 8, line, line.size());
  packets.push_back(mso);
  return true;
}

bool Insim9World::buildCars(const ScriptTokens& tokens, std::vector<Packet9>& packets, std::string& error) {
  Fields fields(tokens, nullptr);
  fields.allowGroups();
  // The old car packet's track fields: IS_RST carries them here.
  fields.number("nodes", 0, 0xFFFF);
  fields.number("finish", 0, 0xFFFF);
  fields.number("players", 0, 255);
  if (!fields.done(error)) return false;
  constexpr std::size_t kCarsPerPacket = 16;
  const std::size_t cars = tokens.groups.size();
  for (std::size_t first = 0; first < cars || first == 0; first += kCarsPerPacket) {
    const std::size_t count = std::min(kCarsPerPacket, cars - first);
    Packet9 mci = header(4 + 28 * count, Mci, 0, static_cast<std::uint8_t>(count));
    for (std::size_t i = 0; i < count; ++i) {
      const ScriptGroup& car = tokens.groups[first + i];
      if (car.name != "car") {
        error = "MCI takes car(...) groups, not " + car.name + "(...)";
        return false;
      }
      ScriptTokens carTokens;
      carTokens.command = "car(...)";
      carTokens.fields = car.fields;
      Fields carFields(carTokens, nullptr);
      const std::size_t at = 4 + 28 * i;
      put(mci, at + 2, static_cast<std::uint32_t>(carFields.number("lap", 0, 0xFFFF)), 2);
      put(mci, at, static_cast<std::uint32_t>(carFields.number("node", 0, 0xFFFF)), 2);
      mci[at + 4] = byteOf(carFields.number("id", 0, 255));
      mci[at + 5] = static_cast<std::uint8_t>(first + i + 1);  // the line's order is the race order
      mci[at + 6] = static_cast<std::uint8_t>((first + i == 0 ? 64 : 0) | (first + i + 1 == cars ? 128 : 0));
      put(mci, at + 20, static_cast<std::uint32_t>(carFields.number("speed", 0, 0xFFFF)), 2);
      if (!carFields.done(error)) return false;
    }
    packets.push_back(mci);
    if (cars == 0) break;
  }
  return true;
}

Packet9 Insim9World::orderFromStarts() const {
  std::vector<std::pair<std::uint8_t, std::uint8_t>> starts;  // start, player id
  for (const auto& entry : players_) starts.emplace_back(entry.second.start, entry.first);
  std::stable_sort(starts.begin(), starts.end());
  Packet9 packet = header(44, Reo);
  std::size_t count = 0;
  for (const auto& start : starts) {
    if (count == 40) break;
    packet[4 + count++] = start.second;
  }
  packet[3] = static_cast<std::uint8_t>(count);
  return packet;
}

std::vector<Packet9> Insim9World::answer(std::uint8_t requestId, std::uint8_t subType) const {
  std::vector<Packet9> replies;
  auto reply = [&](const Packet9& packet) {
    if (!packet.empty()) replies.push_back(withRequestId(packet, requestId));
  };
  switch (subType) {
    case TinyVer:
      reply(version(requestId));
      break;
    case TinyPing:
      reply(tiny(requestId, TinyReply));
      break;
    case TinySst:
      reply(sta_);
      break;
    case TinyIsm:
      reply(ism_);
      break;
    case TinyRst:
      reply(rst_);
      break;
    case TinyReo:
      reply(!reo_.empty() || players_.empty() ? reo_ : orderFromStarts());
      break;
    case TinyNcn:
      for (const auto& entry : connections_) reply(entry.second.ncn);
      break;
    case TinyNpl:
      for (const auto& entry : players_) reply(entry.second.npl);
      break;
    default:
      break;
  }
  return replies;
}
