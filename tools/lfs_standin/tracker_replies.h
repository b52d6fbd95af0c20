// What the tracker sends to the simulator, as one readable line: "ACK 7",
// "NLI 350", "MST \"/echo ^2race stats were saved!\"", "ISI port=35742 ...".
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

std::string describeReply(const std::uint8_t* bytes, std::size_t length);

// The tracker's listening port from an ISI packet; none for anything else.
std::optional<std::uint16_t> isiClientPort(const std::uint8_t* bytes, std::size_t length);
