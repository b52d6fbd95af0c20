// The stand-in's race script: one step per line, read by people and turned
// into datagrams, pauses and expectations about the tracker's replies.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

struct ScriptStep {
  enum Kind { Send, Wait, Expect };
  Kind kind = Send;
  int line = 0;
  // The line as written (without its comment), echoed when the step runs.
  std::string source;
  // Send: the datagram's bytes.
  std::vector<std::uint8_t> packet;
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
bool parseRaceScript(const std::string& text, std::vector<ScriptStep>& steps,
                     std::string& error);
