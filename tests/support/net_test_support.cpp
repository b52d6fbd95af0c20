// Shared pieces of the network tests; also starts the socket library for
// every test program that links them.
#include "support/net_test_support.h"

#include "net/socket_library.h"

#include <gtest/gtest.h>

#include <random>

namespace {

class SocketLibraryEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    library_ = std::make_unique<SocketLibrary>();
    ASSERT_TRUE(library_->started());
  }
  void TearDown() override { library_.reset(); }

 private:
  std::unique_ptr<SocketLibrary> library_;
};

const ::testing::Environment* const socketLibraryEnvironment =
    ::testing::AddGlobalTestEnvironment(new SocketLibraryEnvironment);

Ipv4Address dotted(const char* text) {
  Ipv4Address address = 0;
  Socket::ResolveHost(text, address);
  return address;
}

}  // namespace

Ipv4Address loopbackAddress() { return dotted("127.0.0.1"); }

std::vector<Report> ReportRecorder::withContext(const std::string& context) const {
  std::vector<Report> found;
  for (const Report& report : reports) {
    if (report.context == context) found.push_back(report);
  }
  return found;
}

std::uint16_t firstCandidatePort() {
  // Spread over a wide range so parallel test programs rarely meet.
  static std::mt19937 generator{std::random_device{}()};
  return static_cast<std::uint16_t>(std::uniform_int_distribution<int>(20000, 60000)(generator));
}

bool selectUntil(SocketHandler& handler, const std::function<bool()>& done, std::chrono::milliseconds limit) {
  auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    selectOnce(handler, 0, 50000);
  }
  return true;
}

PlainPeer::PlainPeer() : descriptor_(socketCreate(kAddressFamilyInet, kSocketTypeDatagram, 0)) {
  if (valid()) socketSetNonblocking(descriptor_);
}

PlainPeer::~PlainPeer() {
  if (valid()) socketClose(descriptor_);
}

std::uint16_t PlainPeer::bindFree(Ipv4Address address) {
  std::uint16_t candidate = firstCandidatePort();
  for (int attempt = 0; attempt < 200; ++attempt, ++candidate) {
    if (socketBind(descriptor_, address, candidate) == 0) return candidate;
  }
  return 0;
}

bool PlainPeer::connect(Ipv4Address address, std::uint16_t port) {
  return socketConnect(descriptor_, address, port) == 0;
}

bool PlainPeer::send(const std::string& bytes) {
  return socketSend(descriptor_, bytes.data(), static_cast<int>(bytes.size()), 0) ==
         static_cast<int>(bytes.size());
}

bool PlainPeer::receive(std::string& bytes) {
  std::vector<char> buffer(70000);
  SocketAddress sender;
  int senderLength = kSocketAddressLength;
  int received =
      socketReceiveFrom(descriptor_, buffer.data(), static_cast<int>(buffer.size()), 0, sender, senderLength);
  if (received < 0) return false;
  bytes.assign(buffer.data(), static_cast<std::size_t>(received));
  return true;
}
