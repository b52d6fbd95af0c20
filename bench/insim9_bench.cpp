// Binary InSim (version 9): the per-packet cost of recognising and reading
// MCI (16 cars), LAP and SPX, with heap allocations per packet; and TCP
// ingest of car packets through the real SocketHandler loop, TcpSocket and
// the stream cutter, against a bare blocking recv loop in the same run.
// Before each timed ingest round the sender has written the whole round, so
// the rate measured is the receiver's own.
#include "bench_support.h"
#include "support/heap_counter.h"
#include "link/insim9_link.h"
#include "link/insim9_packets.h"
#include "link/packet_stream.h"
#include "net/tcp_socket.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <string>
#include <vector>

namespace {

using insim9::Bytes;
using insim9::recognise;
using insim9::Type;

// A packet of this type and length with the Size byte set.
std::string packetOf(Type type, std::size_t length) {
  std::string bytes(length, '\0');
  bytes[0] = static_cast<char>(length / 4);
  bytes[1] = static_cast<char>(type);
  return bytes;
}

void putU16(std::string& bytes, std::size_t at, unsigned value) {
  bytes[at] = static_cast<char>(value & 0xFF);
  bytes[at + 1] = static_cast<char>(value >> 8);
}

void putU32(std::string& bytes, std::size_t at, std::uint32_t value) {
  putU16(bytes, at, value & 0xFFFF);
  putU16(bytes, at + 2, value >> 16);
}

// Cars 1..16 on one lap, at `node`.
std::string carPacket(unsigned node) {
  std::string bytes = packetOf(Type::Mci, 4 + 16 * 28);
  bytes[3] = 16;
  for (unsigned car = 0; car < 16; ++car) {
    const std::size_t at = 4 + 28 * car;
    putU16(bytes, at, node + car);
    putU16(bytes, at + 2, 3);
    bytes[at + 4] = static_cast<char>(car + 1);
    bytes[at + 5] = static_cast<char>(car + 1);
    putU16(bytes, at + 20, 9000 + car);
  }
  return bytes;
}

std::string lapPacket(std::uint8_t player, std::uint32_t ms) {
  std::string bytes = packetOf(Type::Lap, 20);
  bytes[3] = static_cast<char>(player);
  putU32(bytes, 4, ms);
  putU32(bytes, 8, ms * 3);
  putU16(bytes, 12, 3);
  return bytes;
}

std::string splitPacket(std::uint8_t player, std::uint32_t ms) {
  std::string bytes = packetOf(Type::Spx, 16);
  bytes[3] = static_cast<char>(player);
  putU32(bytes, 4, ms);
  putU32(bytes, 8, ms * 5);
  bytes[12] = 2;
  return bytes;
}

// What the adapter reads from each packet: recognition, then every field
// the race needs, converted to the model's units.
unsigned readPacket(const std::string& packet) {
  const Bytes bytes(packet.data(), packet.size());
  switch (recognise(packet.data(), packet.size())) {
    case Type::Mci: {
      const insim9::MciPacket mci{bytes};
      unsigned sum = 0;
      for (std::size_t i = 0; i < mci.carCount(); ++i) {
        const insim9::CompCar car = mci.car(i);
        sum += car.node + car.lap + car.playerId + car.position + insim9::documentSpeed(car.speed);
      }
      return sum;
    }
    case Type::Lap: {
      const insim9::LapPacket lap{bytes};
      const RaceTime time = insim9::raceTimeFromMs(lap.lapTime());
      return lap.playerId() + time.seconds + time.hundredths + lap.lapsDone();
    }
    case Type::Spx: {
      const insim9::SpxPacket spx{bytes};
      const RaceTime time = insim9::raceTimeFromMs(spx.splitTime());
      return spx.playerId() + time.seconds + spx.split();
    }
    default:
      return 0;
  }
}

void decodePackets(benchmark::State& state, std::vector<std::string> packets) {
  const std::uint64_t before = heapCounts().allocations;
  std::size_t next = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(readPacket(packets[next]));
    if (++next == packets.size()) next = 0;
  }
  const double allocations = static_cast<double>(heapCounts().allocations - before);
  state.counters["allocs/packet"] = benchmark::Counter(allocations / static_cast<double>(state.iterations()));
  state.SetItemsProcessed(state.iterations());
}

std::vector<std::string> carPackets() {
  std::vector<std::string> packets;
  for (unsigned node = 100; node < 500; node += 50) packets.push_back(carPacket(node));
  return packets;
}

std::vector<std::string> lapPackets() {
  std::vector<std::string> packets;
  for (std::uint8_t player = 1; player <= 40; ++player)
    packets.push_back(lapPacket(player, 90000u + player * 37u));
  return packets;
}

std::vector<std::string> splitPackets() {
  std::vector<std::string> packets;
  for (std::uint8_t player = 1; player <= 40; ++player)
    packets.push_back(splitPacket(player, 30000u + player * 41u));
  return packets;
}

// The whole way of a packet but the socket: the adapter reads it and the race
// tracker takes it into a race of 16 players, whose replies go nowhere.
class SilentTransport : public InSim9Transport {
 public:
  void sendPacket(const std::uint8_t*, std::size_t) override {}
  void report(std::string_view) override {}
};

std::string joinPacket(std::uint8_t player) {
  std::string bytes = packetOf(Type::Npl, 76);
  bytes[3] = static_cast<char>(player);
  bytes[4] = static_cast<char>(player);
  const std::string name = "Driver " + std::to_string(player);
  bytes.replace(8, name.size(), name);
  bytes.replace(40, 3, "XRT");
  bytes[73] = 16;
  return bytes;
}

std::string raceStartPacket() {
  std::string bytes = packetOf(Type::Rst, 28);
  bytes[4] = 50;  // laps
  bytes.replace(8, 3, "BL1");
  putU16(bytes, 18, 600);  // nodes
  putU16(bytes, 20, 20);   // finish
  return bytes;
}

void feedLink(InSim9Link& link, const std::string& packet) {
  link.onPacket(reinterpret_cast<const std::uint8_t*>(packet.data()), packet.size());
}

void throughTracker(benchmark::State& state, std::vector<std::string> packets) {
  StatsScratch output;
  SilentTransport transport;
  InSim9Link link(transport);
  feedLink(link, raceStartPacket());
  for (std::uint8_t player = 1; player <= 16; ++player) feedLink(link, joinPacket(player));
  feedLink(link, packets.front());
  const std::uint64_t before = heapCounts().allocations;
  std::size_t next = 0;
  for (auto _ : state) {
    feedLink(link, packets[next]);
    if (++next == packets.size()) next = 0;
  }
  const double allocations = static_cast<double>(heapCounts().allocations - before);
  state.counters["allocs/packet"] = benchmark::Counter(allocations / static_cast<double>(state.iterations()));
  state.SetItemsProcessed(state.iterations());
}

// Packets per timed ingest round: 100 MCIs of 16 cars, some 45 kB, well
// inside a loopback socket's buffers.
constexpr int kRound = 100;

std::string ingestRound() {
  std::string round;
  for (int i = 0; i < kRound; ++i) round += carPacket(100 + static_cast<unsigned>(i));
  return round;
}

// A listening loopback socket and the connection it accepts.
class Listener {
 public:
  Listener() : descriptor_(socketCreate(kAddressFamilyInet, kSocketTypeStream, 0)) {
    if (socketBind(descriptor_, loopbackAddress(), 0) != 0 || !socketLocalPort(descriptor_, port_) ||
        socketListen(descriptor_, 2) != 0) {
      port_ = 0;
    }
  }
  ~Listener() { socketClose(descriptor_); }
  std::uint16_t port() const { return port_; }
  SocketDescriptor accept() { return socketAccept(descriptor_); }

 private:
  SocketDescriptor descriptor_;
  std::uint16_t port_ = 0;
};

// Cuts the stream and reads each packet as the adapter will.
class CountingLink : public TcpSocket {
 public:
  using TcpSocket::TcpSocket;
  void OnConnect() override { connected = true; }
  void OnStream(const char* buffer, int length) override {
    stream.feed(buffer, static_cast<std::size_t>(length),
                [this](const std::uint8_t* bytes, std::size_t size) {
                  const std::string_view packet(reinterpret_cast<const char*>(bytes), size);
                  benchmark::DoNotOptimize(recognise(packet.data(), packet.size()));
                  ++received;
                });
  }
  PacketStream stream;
  bool connected = false;
  int received = 0;
};

void socketHandlerTcpLoop(benchmark::State& state) {
  SocketLibrary library;
  Listener listener;
  SocketHandler handler;
  CountingLink link(handler);
  if (listener.port() == 0 || !link.Open(loopbackAddress(), listener.port())) {
    state.SkipWithError("no loopback listener");
    return;
  }
  handler.Add(&link);
  SocketDescriptor sender = kInvalidSocketDescriptor;
  for (int pass = 0; pass < 100 && (sender == kInvalidSocketDescriptor || !link.connected); ++pass) {
    if (sender == kInvalidSocketDescriptor) sender = listener.accept();
    selectOnce(handler, 0, 20000);
  }
  if (sender == kInvalidSocketDescriptor || !link.connected) {
    state.SkipWithError("not connected");
    return;
  }
  const std::string round = ingestRound();
  for (auto _ : state) {
    link.received = 0;
    socketSend(sender, round.data(), static_cast<int>(round.size()), 0);
    const auto start = std::chrono::steady_clock::now();
    while (link.received < kRound) {
      const int before = link.received;
      selectOnce(handler, 1, 0);
      if (link.received == before) {
        state.SkipWithError("packets lost");
        socketClose(sender);
        return;
      }
    }
    state.SetIterationTime(secondsSince(start));
  }
  socketClose(sender);
  state.SetItemsProcessed(state.iterations() * kRound);
}

void bareRecvLoop(benchmark::State& state) {
  SocketLibrary library;
  Listener listener;
  const SocketDescriptor receiver = socketCreate(kAddressFamilyInet, kSocketTypeStream, 0);
  if (listener.port() == 0 || socketConnect(receiver, loopbackAddress(), listener.port()) != 0) {
    state.SkipWithError("no loopback listener");
    socketClose(receiver);
    return;
  }
  const SocketDescriptor sender = listener.accept();
  const std::string round = ingestRound();
  char buffer[16384];
  for (auto _ : state) {
    socketSend(sender, round.data(), static_cast<int>(round.size()), 0);
    const auto start = std::chrono::steady_clock::now();
    std::size_t got = 0;
    while (got < round.size()) {
      const int received = socketReceive(receiver, buffer, sizeof buffer, 0);
      if (received <= 0) {
        state.SkipWithError("receive failed");
        break;
      }
      got += static_cast<std::size_t>(received);
      benchmark::DoNotOptimize(buffer[0]);
    }
    state.SetIterationTime(secondsSince(start));
  }
  socketClose(sender);
  socketClose(receiver);
  state.SetItemsProcessed(state.iterations() * kRound);
}

}  // namespace

BENCHMARK_CAPTURE(decodePackets, MCI_16_cars, carPackets());
BENCHMARK_CAPTURE(decodePackets, LAP, lapPackets());
BENCHMARK_CAPTURE(decodePackets, SPX, splitPackets());
BENCHMARK_CAPTURE(throughTracker, MCI_16_cars, carPackets());
BENCHMARK_CAPTURE(throughTracker, LAP, lapPackets())->Iterations(200000);
BENCHMARK_CAPTURE(throughTracker, SPX, splitPackets())->Iterations(200000);
BENCHMARK(socketHandlerTcpLoop)->UseManualTime()->MinTime(2.0);
BENCHMARK(bareRecvLoop)->UseManualTime()->MinTime(2.0);
