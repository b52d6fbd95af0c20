// Packet layouts of the datagrams a simulator sends, as tables of named
// fields, so every script line is checked against the layout it fills.
#include "simulator_packets.h"

#include <cstdlib>
#include <cstring>

namespace {

enum class FieldType { U8, U16, I32, Text, Time, Char };

struct FieldLayout {
  const char* name;
  FieldType type;
  std::size_t offset;
  std::size_t width;  // Text only
};

struct PacketLayout {
  const char* id;
  std::size_t length;
  std::vector<FieldLayout> fields;
  // The field a lone quoted value fills (MSO "text"), or null.
  const char* positional;
};

FieldLayout u8(const char* name, std::size_t offset) { return {name, FieldType::U8, offset, 1}; }
FieldLayout u16(const char* name, std::size_t offset) { return {name, FieldType::U16, offset, 2}; }
FieldLayout i32(const char* name, std::size_t offset) { return {name, FieldType::I32, offset, 4}; }
FieldLayout text(const char* name, std::size_t offset, std::size_t width) {
  return {name, FieldType::Text, offset, width};
}
FieldLayout time(const char* name, std::size_t offset) { return {name, FieldType::Time, offset, 4}; }

const std::vector<PacketLayout>& layouts() {
  static const std::vector<PacketLayout> table = {
      {"REN", 8, {u16("ack", 6)}, nullptr},
      {"CLR", 8, {u16("ack", 6)}, nullptr},
      {"RTP", 8, {}, nullptr},
      {"VTA", 8, {i32("action", 4)}, nullptr},
      {"SP", 12, {{"split", FieldType::Char, 2, 1}, time("time", 4), u8("id", 9), u16("ack", 10)}, nullptr},
      {"RST",
       20,
       {u8("laps", 4), u8("qual", 5), text("track", 8, 6), u8("weather", 14), u8("wind", 15), u16("ack", 18)},
       nullptr},
      {"VER", 20, {text("version", 4, 8)}, nullptr},
      {"STA",
       28,
       {u8("finished", 14), u8("qual", 16), u8("laps", 17), text("track", 20, 6), u8("weather", 26),
        u8("wind", 27)},
       nullptr},
      {"ISM", 40, {text("host", 8, 32)}, "host"},
      {"CNL", 56, {u16("ack", 54)}, nullptr},
      {"NCN", 60, {u16("ack", 58)}, nullptr},
      {"PLP", 60, {u8("id", 52), u16("ack", 58)}, nullptr},
      {"PLL", 60, {u8("id", 52), u16("ack", 58)}, nullptr},
      {"REO", 64, {u16("ack", 62)}, nullptr},
      {"CPR", 88, {u16("ack", 86)}, nullptr},
      {"LAP", 92, {time("time", 84), u8("id", 89), u16("ack", 90)}, nullptr},
      {"NPL",
       100,
       {text("user", 4, 24), text("name", 28, 32), text("car", 60, 32), u16("flags", 92), u8("id", 95),
        u8("start", 96), u16("ack", 98)},
       nullptr},
      {"RES",
       108,
       {u16("lead", 84), u8("penalty", 92), u8("pits", 93), u8("id", 95), time("total", 96),
        time("best", 100), u8("pos", 104), u16("ack", 106)},
       nullptr},
      {"MSO", 132, {text("text", 4, 128)}, "text"},
      {"MCI", 204, {u16("nodes", 4), u16("finish", 6), u8("players", 8)}, nullptr},
  };
  return table;
}

const PacketLayout* findLayout(const std::string& command) {
  for (const PacketLayout& layout : layouts()) {
    if (command == layout.id) return &layout;
  }
  return nullptr;
}

bool parseNumber(const std::string& text, long long low, long long high, long long& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  int base = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X') ? 16 : 10;
  value = std::strtoll(text.c_str(), &end, base);
  return *end == '\0' && value >= low && value <= high;
}

void putLittleEndian(std::vector<std::uint8_t>& packet, std::size_t offset, std::uint32_t value,
                     std::size_t width) {
  for (std::size_t i = 0; i < width; ++i) packet[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

bool putField(const FieldLayout& field, const std::string& value, std::vector<std::uint8_t>& packet,
              std::string& error) {
  long long number = 0;
  switch (field.type) {
    case FieldType::U8:
      if (!parseNumber(value, 0, 0xFF, number)) break;
      putLittleEndian(packet, field.offset, static_cast<std::uint32_t>(number), 1);
      return true;
    case FieldType::U16:
      if (!parseNumber(value, 0, 0xFFFF, number)) break;
      putLittleEndian(packet, field.offset, static_cast<std::uint32_t>(number), 2);
      return true;
    case FieldType::I32:
      if (!parseNumber(value, -2147483648LL, 2147483647LL, number)) break;
      putLittleEndian(packet, field.offset, static_cast<std::uint32_t>(number), 4);
      return true;
    case FieldType::Char:
      if (value.size() != 1) break;
      packet[field.offset] = static_cast<std::uint8_t>(value[0]);
      return true;
    case FieldType::Time: {
      std::uint8_t bytes[4];
      if (!parseRaceTime(value, bytes)) break;
      std::memcpy(&packet[field.offset], bytes, 4);
      return true;
    }
    case FieldType::Text:
      if (value.size() > field.width) {
        error = std::string(field.name) + " holds at most " + std::to_string(field.width) + " characters";
        return false;
      }
      std::memcpy(&packet[field.offset], value.data(), value.size());
      return true;
  }
  error = "bad value '" + value + "' for " + field.name;
  return false;
}

bool fillFields(const PacketLayout& layout, const std::vector<FieldLayout>& fields, const ScriptFields& given,
                std::size_t base, std::vector<std::uint8_t>& packet, std::string& error) {
  for (const auto& [key, value] : given) {
    const FieldLayout* match = nullptr;
    for (const FieldLayout& field : fields) {
      if (key == field.name) match = &field;
    }
    if (match == nullptr) {
      error = std::string(layout.id) + " has no field '" + key + "'";
      return false;
    }
    FieldLayout placed = *match;
    placed.offset += base;
    if (!putField(placed, value, packet, error)) return false;
  }
  return true;
}

// A car entry of MCI: 24 bytes; node in bits 0-12 of bytes 0-1, the lap's
// bits 8-10 in bits 13-15 and its low byte in byte 2; player id byte 3;
// speed bytes 16-17.
bool fillCar(const ScriptGroup& car, std::size_t base, std::vector<std::uint8_t>& packet,
             std::string& error) {
  long long id = 0, lap = 0, node = 0, speed = 0;
  for (const auto& [key, value] : car.fields) {
    bool ok = false;
    if (key == "id")
      ok = parseNumber(value, 0, 0xFF, id);
    else if (key == "lap")
      ok = parseNumber(value, 0, 0x7FF, lap);
    else if (key == "node")
      ok = parseNumber(value, 0, 0x1FFF, node);
    else if (key == "speed")
      ok = parseNumber(value, 0, 0xFFFF, speed);
    else {
      error = "car(...) has no field '" + key + "' (id, lap, node, speed)";
      return false;
    }
    if (!ok) {
      error = "bad value '" + value + "' for car " + key;
      return false;
    }
  }
  std::uint32_t nodeWord = static_cast<std::uint32_t>(node) | (static_cast<std::uint32_t>(lap >> 8) << 13);
  putLittleEndian(packet, base, nodeWord, 2);
  packet[base + 2] = static_cast<std::uint8_t>(lap & 0xFF);
  packet[base + 3] = static_cast<std::uint8_t>(id);
  putLittleEndian(packet, base + 16, static_cast<std::uint32_t>(speed), 2);
  return true;
}

bool parseByte(const std::string& text, std::uint8_t& byte) {
  long long value = 0;
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return false;
  if (!parseNumber(text, 0, 0xFF, value)) return false;
  byte = static_cast<std::uint8_t>(value);
  return true;
}

std::vector<std::string> splitAt(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::string::size_type start = 0;
  for (;;) {
    std::string::size_type at = text.find(separator, start);
    parts.push_back(text.substr(start, at == std::string::npos ? std::string::npos : at - start));
    if (at == std::string::npos) return parts;
    start = at + 1;
  }
}

}  // namespace

bool isPacketCommand(const std::string& command) { return findLayout(command) != nullptr; }

std::optional<std::uint16_t> simulatorAckWord(const std::vector<std::uint8_t>& packet) {
  for (const PacketLayout& layout : layouts()) {
    const std::size_t idLength = std::strlen(layout.id);
    if (packet.size() != layout.length || std::memcmp(packet.data(), layout.id, idLength) != 0) continue;
    for (const FieldLayout& field : layout.fields) {
      if (std::strcmp(field.name, "ack") == 0) {
        return static_cast<std::uint16_t>(packet[field.offset] | packet[field.offset + 1] << 8);
      }
    }
    return std::nullopt;
  }
  return std::nullopt;
}

bool parseRaceTime(const std::string& text, std::uint8_t bytes[4]) {
  std::uint8_t parts[4] = {0, 0, 0, 0};
  std::string::size_type dot = text.find('.');
  std::vector<std::string> fields;
  if (dot != std::string::npos) {
    std::string hundredths = text.substr(dot + 1);
    if (hundredths.size() != 2 || !parseByte(hundredths, parts[3])) return false;
    fields = splitAt(text.substr(0, dot), ':');
    if (fields.size() > 3) return false;
    // Right-aligned: seconds last, then minutes, then hours.
    for (std::size_t i = 0; i < fields.size(); ++i) {
      if (!parseByte(fields[fields.size() - 1 - i], parts[2 - i])) return false;
    }
  } else {
    fields = splitAt(text, ':');
    if (fields.size() != 4) return false;
    for (std::size_t i = 0; i < 4; ++i) {
      if (!parseByte(fields[i], parts[i])) return false;
    }
  }
  std::memcpy(bytes, parts, 4);
  return true;
}

bool buildSimulatorPacket(const ScriptTokens& tokens, std::vector<std::uint8_t>& packet, std::string& error) {
  const PacketLayout* layout = findLayout(tokens.command);
  if (layout == nullptr) {
    error = "unknown packet '" + tokens.command + "'";
    return false;
  }
  packet.assign(layout->length, 0);
  std::memcpy(packet.data(), layout->id, std::strlen(layout->id));
  if (std::strcmp(layout->id, "SP") == 0) packet[2] = '1';

  ScriptFields given = tokens.fields;
  if (!tokens.values.empty()) {
    if (layout->positional == nullptr || tokens.values.size() > 1) {
      error = std::string(layout->id) + ": unexpected value '" + tokens.values.front() +
              "' (fields are written key=value)";
      return false;
    }
    given.insert(given.begin(), {layout->positional, tokens.values.front()});
  }
  if (!fillFields(*layout, layout->fields, given, 0, packet, error)) return false;

  bool isMci = std::strcmp(layout->id, "MCI") == 0;
  if (!isMci && !tokens.groups.empty()) {
    error = std::string(layout->id) + " takes no " + tokens.groups.front().name + "(...) group";
    return false;
  }
  if (isMci) {
    if (tokens.groups.size() > 8) {
      error = "MCI holds at most 8 cars";
      return false;
    }
    for (std::size_t i = 0; i < tokens.groups.size(); ++i) {
      if (tokens.groups[i].name != "car") {
        error = "MCI takes car(...) groups, not " + tokens.groups[i].name + "(...)";
        return false;
      }
      if (!fillCar(tokens.groups[i], 12 + 24 * i, packet, error)) return false;
    }
  }
  return true;
}

std::string packetReference() {
  std::string reference;
  for (const PacketLayout& layout : layouts()) {
    reference += "  " + std::string(layout.id);
    if (layout.positional != nullptr) reference += " \"" + std::string(layout.positional) + "\"";
    for (const FieldLayout& field : layout.fields) {
      if (layout.positional != nullptr && std::strcmp(field.name, layout.positional) == 0) continue;
      reference += " " + std::string(field.name) + "=";
      switch (field.type) {
        case FieldType::Text:
          reference += "\"...\"";
          break;
        case FieldType::Time:
          reference += "m:ss.hh";
          break;
        case FieldType::Char:
          reference += "c";
          break;
        default:
          reference += "n";
          break;
      }
    }
    if (std::strcmp(layout.id, "MCI") == 0) reference += " car(id=n lap=n node=n speed=n)...";
    reference += "\n";
  }
  return reference;
}
