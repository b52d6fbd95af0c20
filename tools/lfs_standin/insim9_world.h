// The simulator's side of binary InSim (version 9) for the stand-in: what a
// race script line becomes on the wire, and the state the simulator keeps
// (connections, players, the last race start, state, host, order) to answer
// the tracker's requests. Layouts are written from the protocol's reference
// on their own, apart from the program's decoder, so the two check each
// other. Little-endian numbers, Size byte = length / 4.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "script_tokens.h"

using Packet9 = std::vector<std::uint8_t>;

class Insim9World {
 public:
  Insim9World();

  // The packets of one script line, in sending order (an NPL of a new
  // connection is an NCN and an NPL; a long MCI line several MCIs). False
  // with error set for an unknown command or field, a value out of range or
  // a malformed time. The world changes as the simulator's would.
  bool build(const ScriptTokens& tokens, std::vector<Packet9>& packets, std::string& error);

  // The simulator's answer to a tracker's IS_TINY request, from what the
  // script has sent so far; none when there is nothing to tell.
  std::vector<Packet9> answer(std::uint8_t requestId, std::uint8_t subType) const;
  // IS_VER as the stand-in's simulator reports itself.
  Packet9 version(std::uint8_t requestId) const;

 private:
  struct Connection {
    Packet9 ncn;
    std::string name;
  };
  struct Player {
    Packet9 npl;
    std::uint8_t connection = 0;
    std::string user, name, car;
    std::uint16_t flags = 0;
    std::uint8_t start = 0;
    std::uint32_t elapsed = 0;  // ms since the start
    std::uint16_t lapsDone = 0;
  };

  bool buildPlayer(const ScriptTokens& tokens, std::vector<Packet9>& packets, std::string& error);
  bool buildTimes(const ScriptTokens& tokens, std::vector<Packet9>& packets, std::string& error);
  bool buildResult(const ScriptTokens& tokens, std::vector<Packet9>& packets, std::string& error);
  bool buildRace(const ScriptTokens& tokens, std::vector<Packet9>& packets, std::string& error);
  bool buildConnection(const ScriptTokens& tokens, std::vector<Packet9>& packets, std::string& error);
  bool buildChat(const ScriptTokens& tokens, std::vector<Packet9>& packets, std::string& error);
  bool buildCars(const ScriptTokens& tokens, std::vector<Packet9>& packets, std::string& error);
  Packet9 newConnection(std::uint8_t id, const std::string& user, const std::string& name, bool admin);
  // The start order from the NPL lines' start= fields, when no REO was sent.
  Packet9 orderFromStarts() const;
  std::uint8_t connectionCount() const;

  std::map<std::uint8_t, Connection> connections_;
  std::map<std::uint8_t, Player> players_;
  Packet9 rst_, sta_, ism_, reo_;
  std::string version_ = "0.7F";
  std::string product_ = "S3";
  std::uint8_t inSimVersion_ = 9;
  std::uint8_t results_ = 0;
};

// The stand-in's numbers of the packet types and sub-types it uses.
namespace standin9 {
enum Type : std::uint8_t {
  Isi = 1,
  Ver = 2,
  Tiny = 3,
  Small = 4,
  Sta = 5,
  Ism = 10,
  Mso = 11,
  Mst = 13,
  Mtc = 14,
  Rst = 17,
  Ncn = 18,
  Cnl = 19,
  Cpr = 20,
  Npl = 21,
  Plp = 22,
  Pll = 23,
  Lap = 24,
  Spx = 25,
  Res = 35,
  Reo = 36,
  Mci = 38,
  Msl = 40,
};
enum TinyType : std::uint8_t {
  TinyNone = 0,
  TinyVer = 1,
  TinyClose = 2,
  TinyPing = 3,
  TinyReply = 4,
  TinySst = 7,
  TinyMpe = 9,
  TinyIsm = 10,
  TinyRen = 11,
  TinyClr = 12,
  TinyNcn = 13,
  TinyNpl = 14,
  TinyRes = 15,
  TinyReo = 18,
  TinyRst = 19,
};
enum SmallType : std::uint8_t { SmallVta = 3, SmallRtp = 6, SmallNli = 7 };
Packet9 tiny(std::uint8_t requestId, std::uint8_t subType);
Packet9 small(std::uint8_t requestId, std::uint8_t subType, std::uint32_t value);
}  // namespace standin9
