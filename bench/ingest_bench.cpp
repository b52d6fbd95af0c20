// Loopback ingest: how fast the real SocketHandler loop takes MCI datagrams
// off the client port and through OnDatagram, against a bare blocking
// recvfrom loop in the same run. Before each timed round the sender fills the
// receiving socket's queue, so the rate measured is the receiver's own, not
// the sender's.
#include "bench_support.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <string>
#include <vector>

namespace {

constexpr unsigned kPlayers = 40;
// Datagrams per round: well inside a default receive queue.
constexpr int kRound = 100;

// Counts what the tracker receives, then lets it do its work.
class CountingTracker : public lfsReadSocket {
 public:
  using lfsReadSocket::lfsReadSocket;
  void OnDatagram(const char* buffer, int length, const SocketAddress& sender,
                  int senderAddressLength) override {
    ++received;
    lfsReadSocket::OnDatagram(buffer, length, sender, senderAddressLength);
  }
  int received = 0;
};

// Sends one round of car information to the port.
class Sender {
 public:
  explicit Sender(std::uint16_t port)
      : descriptor_(socketCreate(kAddressFamilyInet, kSocketTypeDatagram, 0)) {
    socketConnect(descriptor_, loopbackAddress(), port);
    for (std::uint16_t node = 100; node < 400; node += 60) {
      for (unsigned first = 1; first <= kPlayers; first += 8) {
        datagrams_.push_back(carInfo(first, 8, 3, node, 150, kPlayers));
      }
    }
  }
  ~Sender() { socketClose(descriptor_); }
  void sendRound() {
    for (int i = 0; i < kRound; ++i) {
      const std::string& datagram = datagrams_[static_cast<std::size_t>(i) % datagrams_.size()];
      socketSend(descriptor_, datagram.data(), static_cast<int>(datagram.size()), 0);
    }
  }

 private:
  SocketDescriptor descriptor_;
  std::vector<std::string> datagrams_;
};

void socketHandlerLoop(benchmark::State& state) {
  SocketLibrary library;
  StatsScratch output;
  ReplySink simulator;
  SocketHandler handler;
  std::uint16_t port = 0;
  auto* tracker = addBoundTracker<CountingTracker>(handler, simulator.port(), port);
  if (tracker == nullptr) {
    state.SkipWithError("client port not bound");
    return;
  }
  startRace(*tracker, simulator.port(), kPlayers, 40);
  Sender sender(port);

  for (auto _ : state) {
    tracker->received = 0;
    sender.sendRound();
    const auto start = std::chrono::steady_clock::now();
    while (tracker->received < kRound) {
      const int before = tracker->received;
      const SelectTimeout wait{1, 0};
      handler.Select(&wait);
      // A second without a datagram: some never arrived.
      if (tracker->received == before) {
        state.SkipWithError("datagrams lost");
        return;
      }
    }
    state.SetIterationTime(secondsSince(start));
  }
  state.SetItemsProcessed(state.iterations() * kRound);
}

void bareRecvfromLoop(benchmark::State& state) {
  LoopbackPort receiver;
  Sender sender(receiver.port());
  char buffer[16384];
  for (auto _ : state) {
    sender.sendRound();
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kRound; ++i) {
      SocketAddress from;
      int fromLength = kSocketAddressLength;
      if (socketReceiveFrom(receiver.descriptor(), buffer, sizeof buffer, 0, from, fromLength) <= 0) {
        state.SkipWithError("receive failed");
        return;
      }
      benchmark::DoNotOptimize(buffer[0]);
    }
    state.SetIterationTime(secondsSince(start));
  }
  state.SetItemsProcessed(state.iterations() * kRound);
}

}  // namespace

BENCHMARK(socketHandlerLoop)->UseManualTime()->MinTime(2.0);
BENCHMARK(bareRecvfromLoop)->UseManualTime()->MinTime(2.0);
