// Turns race script lines into steps: packets to send, pauses, and replies
// the tracker must send back.
#include "race_script.h"

#include <cstdlib>
#include <sstream>

#include "insim9_world.h"
#include "script_tokens.h"
#include "simulator_packets.h"

namespace {

// "200ms", "2s", "1.5s".
bool parseDuration(const std::string& text, std::chrono::milliseconds& duration) {
  double scale = 0;
  std::string number;
  if (text.size() > 2 && text.compare(text.size() - 2, 2, "ms") == 0) {
    scale = 1;
    number = text.substr(0, text.size() - 2);
  } else if (text.size() > 1 && text.back() == 's') {
    scale = 1000;
    number = text.substr(0, text.size() - 1);
  } else {
    return false;
  }
  if (number.empty() || number.find_first_not_of("0123456789.") != std::string::npos) return false;
  char* end = nullptr;
  double value = std::strtod(number.c_str(), &end);
  if (*end != '\0') return false;
  duration = std::chrono::milliseconds(static_cast<long long>(value * scale + 0.5));
  return true;
}

// An expected reply: the words between "expect" and its options (which come
// last), taken from the source text so quotes and escapes stay as written.
// Empty when an option stands before the reply.
std::string expectedReply(const ScriptTokens& tokens) {
  std::string text = tokens.source.substr(std::string("expect").size());
  for (std::size_t i = tokens.fields.size(); i > 0; --i) {
    std::string option = " " + tokens.fields[i - 1].first + "=" + tokens.fields[i - 1].second;
    std::string::size_type end = text.find_last_not_of(" \t") + 1;
    if (end >= option.size() && text.compare(end - option.size(), option.size(), option) == 0) {
      text.erase(end - option.size());
    } else {
      return std::string();
    }
  }
  std::string::size_type first = text.find_first_not_of(" \t");
  std::string::size_type last = text.find_last_not_of(" \t");
  return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

bool parseExpect(const ScriptTokens& tokens, ScriptStep& step, std::string& error) {
  step.kind = ScriptStep::Expect;
  step.duration = std::chrono::seconds(10);
  for (const auto& [key, value] : tokens.fields) {
    std::chrono::milliseconds* target = nullptr;
    if (key == "within")
      target = &step.duration;
    else if (key == "poke")
      target = &step.poke;
    if (target == nullptr) {
      error = "expect takes the options within= and poke=, not '" + key + "'";
      return false;
    }
    if (!parseDuration(value, *target)) {
      error = "bad duration '" + value + "' (write 200ms or 2s)";
      return false;
    }
  }
  step.expected = expectedReply(tokens);
  if (step.expected.empty() || tokens.values.empty() || !tokens.groups.empty()) {
    error = "expect needs a reply before its options, e.g. expect ACK 7 within=2s";
    return false;
  }
  return true;
}

// Binary InSim lines are checked by building them in a world of their own,
// in script order, as they will be built when played.
bool parseInsim9Step(const ScriptTokens& tokens, ScriptStep& step, Insim9World& world, std::string& error) {
  if (tokens.command == "close") {
    step.kind = ScriptStep::Close;
    if (!tokens.values.empty() || !tokens.fields.empty() || !tokens.groups.empty()) {
      error = "close takes nothing";
      return false;
    }
    return true;
  }
  step.kind = ScriptStep::Send;
  step.tokens = tokens;
  std::vector<Packet9> packets;
  return world.build(tokens, packets, error);
}

bool parseStep(const ScriptTokens& tokens, ScriptStep& step, ScriptProtocol protocol, Insim9World& world,
               std::string& error) {
  step.source = tokens.source;
  if (tokens.command == "wait") {
    step.kind = ScriptStep::Wait;
    if (tokens.values.size() != 1 || !tokens.fields.empty() || !tokens.groups.empty() ||
        !parseDuration(tokens.values[0], step.duration)) {
      error = "wait needs one duration, e.g. wait 200ms or wait 2s";
      return false;
    }
    return true;
  }
  if (tokens.command == "expect") return parseExpect(tokens, step, error);
  if (protocol == ScriptProtocol::Insim9 && (tokens.command == "close" || isPacketCommand(tokens.command))) {
    return parseInsim9Step(tokens, step, world, error);
  }
  if (!isPacketCommand(tokens.command)) {
    error = "unknown command '" + tokens.command + "' (a packet name, wait or expect)";
    return false;
  }
  step.kind = ScriptStep::Send;
  return buildSimulatorPacket(tokens, step.packet, error);
}

}  // namespace

bool parseRaceScript(const std::string& text, std::vector<ScriptStep>& steps, std::string& error,
                     ScriptProtocol protocol) {
  steps.clear();
  Insim9World world;
  std::istringstream lines(text);
  std::string line;
  int number = 0;
  while (std::getline(lines, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    ScriptTokens tokens;
    std::string fault;
    ScriptStep step;
    step.line = number;
    if (!splitScriptLine(line, tokens, fault) ||
        (!tokens.command.empty() && !parseStep(tokens, step, protocol, world, fault))) {
      error = "line " + std::to_string(number) + ": " + fault;
      return false;
    }
    if (!tokens.command.empty()) steps.push_back(std::move(step));
  }
  return true;
}
