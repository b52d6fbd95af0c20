// The TCP stream cutter over any bytes in any read lengths: the packets and
// the fault must be the same as when the whole stream is fed at once, and
// the same as a plain walk over the stream by its Size bytes; every packet
// is whole and lies inside the bytes it was cut from.
//
// Input: a byte n (n % 16 read lengths follow, each byte + 1; none means one
// read), then the stream. The lengths are used in turn, over and over.
#include "fuzz_support.h"
#include "link/packet_stream.h"

#include <string>
#include <vector>

namespace {

struct Outcome {
  std::vector<std::string> packets;
  bool faulty = false;
};

// The reference: walk the stream by Size bytes; a Size of 0, or a type of 0
// in a whole header, ends it.
Outcome walk(const std::string& stream) {
  Outcome outcome;
  std::size_t at = 0;
  while (at < stream.size()) {
    const auto size = static_cast<std::size_t>(static_cast<std::uint8_t>(stream[at])) * 4;
    if (size == 0 || (at + 4 <= stream.size() && stream[at + 1] == '\0')) {
      outcome.faulty = true;
      break;
    }
    if (at + size > stream.size()) break;
    outcome.packets.push_back(stream.substr(at, size));
    at += size;
  }
  return outcome;
}

Outcome cut(const std::string& stream, const std::vector<std::size_t>& reads, PacketStream& cutter) {
  Outcome outcome;
  std::size_t at = 0;
  std::size_t next = 0;
  bool fine = true;
  do {
    const std::size_t wanted = reads.empty() ? stream.size() : reads[next++ % reads.size()];
    const std::size_t length = wanted < stream.size() - at ? wanted : stream.size() - at;
    // A copy of just this read, so a view that strays past it is caught.
    const std::vector<std::uint8_t> piece(stream.begin() + static_cast<long>(at),
                                          stream.begin() + static_cast<long>(at + length));
    fine = cutter.feed(piece.data(), piece.size(), [&](const std::uint8_t* bytes, std::size_t size) {
      FUZZ_CHECK(size >= 4 && size == bytes[0] * 4u && bytes[1] != 0, "a whole packet with a type");
      outcome.packets.emplace_back(reinterpret_cast<const char*>(bytes), size);
    }) && fine;
    at += length;
  } while (at < stream.size());
  outcome.faulty = !fine;
  FUZZ_CHECK(fine == (cutter.fault() == PacketStream::Fault::None), "feed's answer is the fault state");
  FUZZ_CHECK(cutter.pending() < insim9::kMaxPacketSize, "no more than a packet held");
  return outcome;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput input(data, size);
  std::vector<std::size_t> reads(input.byte() % 16);
  for (std::size_t& length : reads) length = input.byte() + 1u;
  const std::string stream = input.rest();

  PacketStream whole;
  const Outcome atOnce = cut(stream, {}, whole);
  PacketStream pieces;
  const Outcome split = cut(stream, reads, pieces);
  const Outcome reference = walk(stream);
  FUZZ_CHECK(split.packets == atOnce.packets && split.faulty == atOnce.faulty,
             "any read lengths give the packets of one read");
  FUZZ_CHECK(atOnce.packets == reference.packets && atOnce.faulty == reference.faulty,
             "the packets of a plain walk by Size bytes");
  if (!atOnce.faulty) {
    std::size_t used = 0;
    for (const std::string& packet : atOnce.packets) used += packet.size();
    FUZZ_CHECK(whole.pending() == stream.size() - used, "the rest is held for the next read");
  }
  return 0;
}
