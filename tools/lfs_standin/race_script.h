// The stand-in's race script: one step per line, read by people and turned
// into datagrams, pauses and expectations about the tracker's replies.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "script_tokens.h"

// The protocol a script is played in: the old text-ID packets, or binary
// InSim version 9 (the same lines mapped to its packets, see insim9_world.h).
enum class ScriptProtocol { TextIds, Insim9 };

struct ScriptStep {
  // Close (binary InSim only): the simulator ends the link.
  enum Kind { Send, Wait, Expect, Close };
  Kind kind = Send;
  int line = 0;
  // The line as written (without its comment), echoed when the step runs.
  std::string source;
  // Send: the datagram's bytes (old protocol).
  std::vector<std::uint8_t> packet;
  // Send (binary InSim): the line's words, turned into packets as it is
  // played, for the packets depend on what was sent before.
  ScriptTokens tokens;
  // Wait: how long; Expect: the longest wait for the reply.
  std::chrono::milliseconds duration{0};
  // Expect: the decoded reply that must arrive (see describeReply).
  std::string expected;
  // Expect: when not zero, an RTP packet is sent at this interval while
  // waiting, so the tracker has datagrams to answer at.
  std::chrono::milliseconds poke{0};
};

// Parses a whole script. On a fault, returns false and sets error to a text
// naming the line ("line 12: ...").
bool parseRaceScript(const std::string& text, std::vector<ScriptStep>& steps, std::string& error,
                     ScriptProtocol protocol = ScriptProtocol::TextIds);
