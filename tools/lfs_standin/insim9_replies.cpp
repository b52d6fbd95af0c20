// Decoding of the packets a tracker sends in binary InSim: ISI, TINY, SMALL,
// MTC, MSL and MST; anything else is shown as bytes.
#include "insim9_replies.h"

#include <cstdio>

#include "insim9_world.h"

namespace {

using namespace standin9;

std::uint32_t littleEndian(const std::uint8_t* bytes, std::size_t width) {
  std::uint32_t value = 0;
  for (std::size_t i = width; i > 0; --i) value = (value << 8) | bytes[i - 1];
  return value;
}

// A text up to its NUL or the packet's end, quoted with quotes and
// backslashes escaped, so a script can name it exactly.
std::string quoted(const std::uint8_t* bytes, std::size_t width) {
  std::string text = "\"";
  for (std::size_t i = 0; i < width && bytes[i] != 0; ++i) {
    const char c = static_cast<char>(bytes[i]);
    if (c == '"' || c == '\\') text += '\\';
    text += c;
  }
  return text + "\"";
}

const char* tinyName(std::uint8_t subType) {
  switch (subType) {
    case TinyNone:
      return "NONE";
    case TinyVer:
      return "VER";
    case TinyClose:
      return "CLOSE";
    case TinyPing:
      return "PING";
    case TinyReply:
      return "REPLY";
    case TinySst:
      return "SST";
    case TinyMpe:
      return "MPE";
    case TinyIsm:
      return "ISM";
    case TinyNcn:
      return "NCN";
    case TinyNpl:
      return "NPL";
    case TinyRes:
      return "RES";
    case TinyReo:
      return "REO";
    case TinyRst:
      return "RST";
    default:
      return nullptr;
  }
}

// The old protocol's request with the same meaning, if there is one.
const char* oldRequest(std::uint8_t subType) {
  switch (subType) {
    case TinyVer:
      return "VER 0";
    case TinySst:
      return "SST 0";
    case TinyIsm:
      return "ISM 0";
    case TinyNpl:
      return "NPL 0";
    default:
      return nullptr;
  }
}

void describeIsi(const std::uint8_t* bytes, Insim9Reply& reply) {
  const unsigned flags = littleEndian(bytes + 6, 2);
  const unsigned interval = littleEndian(bytes + 10, 2);
  char line[160];
  std::snprintf(line, sizeof line,
                "ISI reqi=%u udpport=%u flags=0x%04X insimver=%u prefix=%u interval=%u admin=", bytes[2],
                static_cast<unsigned>(littleEndian(bytes + 4, 2)), flags, bytes[8], bytes[9], interval);
  reply.text = line + quoted(bytes + 12, 16) + " iname=" + quoted(bytes + 28, 16);
  reply.names = {reply.text};
  if (flags & 32) reply.oldNames.push_back("NLI " + std::to_string(interval));
  if (bytes[2] != 0) reply.oldNames.push_back("VER 0");
}

void describeTiny(Insim9Reply& reply) {
  const char* name = tinyName(reply.subType);
  const std::string number = "TINY " + std::to_string(reply.subType);
  reply.text = (name ? "TINY " + std::string(name) : number) + " reqi=" + std::to_string(reply.requestId);
  reply.names = {reply.text, number};
  if (name) reply.names.push_back("TINY " + std::string(name));
  if (const char* old = oldRequest(reply.subType)) reply.oldNames.push_back(old);
}

void describeSmall(const std::uint8_t* bytes, Insim9Reply& reply) {
  const std::string value = std::to_string(littleEndian(bytes + 4, 4));
  const std::string name = reply.subType == SmallNli ? "NLI" : std::to_string(reply.subType);
  reply.text = "SMALL " + name + " " + value;
  reply.names = {reply.text, "SMALL " + std::to_string(reply.subType) + " " + value};
  if (reply.subType == SmallNli) reply.oldNames.push_back("NLI " + value);
}

}  // namespace

Insim9Reply describeInsim9Reply(const std::uint8_t* bytes, std::size_t length) {
  Insim9Reply reply;
  const bool whole = length >= 4 && bytes[0] * 4u == length;
  if (whole) {
    reply.type = bytes[1];
    reply.requestId = bytes[2];
    reply.subType = bytes[3];
  }
  if (whole && reply.type == Isi && length == 44) {
    describeIsi(bytes, reply);
  } else if (whole && reply.type == Tiny && length == 4) {
    describeTiny(reply);
  } else if (whole && reply.type == Small && length == 8) {
    describeSmall(bytes, reply);
  } else if (whole && reply.type == Mtc && length >= 12) {
    const std::string text = quoted(bytes + 8, length - 8);
    reply.text = "MTC ucid=" + std::to_string(bytes[4]) + " " + text;
    reply.names = {reply.text, "MTC " + text};
    reply.oldNames = {"MST " + std::string(text).insert(1, "/echo ")};
  } else if (whole && reply.type == Msl && length == 132) {
    const std::string text = quoted(bytes + 4, 128);
    reply.text = "MSL " + text;
    reply.names = {reply.text};
    reply.oldNames = {"MST " + std::string(text).insert(1, "/echo ")};
  } else if (whole && reply.type == Mst && length == 68) {
    reply.text = "MST " + quoted(bytes + 4, 64);
    reply.names = {reply.text};
  } else {
    reply.type = 0;
    reply.text = "unknown " + std::to_string(length) + "-byte packet:";
    char number[8];
    for (std::size_t i = 0; i < length && i < 32; ++i) {
      std::snprintf(number, sizeof number, " %02x", bytes[i]);
      reply.text += number;
    }
    if (length > 32) reply.text += " ...";
    reply.names = {reply.text};
  }
  return reply;
}
