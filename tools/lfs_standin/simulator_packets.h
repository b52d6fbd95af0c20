// The datagrams the simulator sends, built from a script line. The byte
// layouts are the simulator's (old text-ID InSim): little-endian numbers,
// fixed-width NUL-padded texts, times as hours, minutes, seconds, hundredths.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "script_tokens.h"

// True when command names a packet the stand-in can send.
bool isPacketCommand(const std::string& command);

// Builds the packet named by tokens.command from its fields (missing fields
// are 0 or empty). False with error set for an unknown field, a value out of
// range, a text too long for its field or a malformed time.
bool buildSimulatorPacket(const ScriptTokens& tokens, std::vector<std::uint8_t>& packet, std::string& error);

// The ack word of a packet built by buildSimulatorPacket, for the packets
// that carry one (the tracker answers them with an ACK); none for the rest.
std::optional<std::uint16_t> simulatorAckWord(const std::vector<std::uint8_t>& packet);

// Reads a time as written in scripts: "m:ss.hh", "h:mm:ss.hh", "s.hh" or the
// stats file's "hh:mm:ss:hh". Each part must fit a byte.
bool parseRaceTime(const std::string& text, std::uint8_t bytes[4]);

// The names and field lists of every packet, for the usage text.
std::string packetReference();
