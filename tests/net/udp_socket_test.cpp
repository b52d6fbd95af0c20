// UdpSocket and the Socket base on loopback: binding, connecting, sending,
// receiving whole datagrams, closing; host texts and error texts.
#include "support/net_test_support.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>

namespace {

std::array<unsigned char, 4> bytesOf(Ipv4Address address) {
  std::array<unsigned char, 4> bytes;
  std::memcpy(bytes.data(), &address, bytes.size());
  return bytes;
}

struct DottedCase {
  const char* host;
  std::array<unsigned char, 4> bytes;
};

TEST(ResolveHost, DottedTextIsReadWithoutTheResolver) {
  // Texts a resolver would refuse (300.1.1.1) prove no look-up took place.
  const DottedCase cases[] = {
      {"127.0.0.1", {127, 0, 0, 1}},
      {"300.1.1.1", {44, 1, 1, 1}},
      {"10.1", {10, 1, 0, 0}},
      {"", {0, 0, 0, 0}},
      {"..192...168.1", {192, 168, 1, 0}},
      {"1.2.3.4.5", {1, 2, 3, 4}},
      {"1.2.3.", {1, 2, 3, 0}},
      {"4294967553.2.3.4", {1, 2, 3, 4}},
  };
  for (const DottedCase& c : cases) {
    SCOPED_TRACE(c.host);
    Ipv4Address address = 0xA5A5A5A5u;
    EXPECT_TRUE(Socket::ResolveHost(c.host, address));
    EXPECT_EQ(bytesOf(address), c.bytes);
  }
}

TEST(ResolveHost, NamesGoThroughTheResolver) {
  Ipv4Address address = 0;
  ASSERT_TRUE(Socket::ResolveHost("localhost", address));
  EXPECT_EQ(bytesOf(address), (std::array<unsigned char, 4>{127, 0, 0, 1}));
}

TEST(StrError, KnownNumbersHaveTheirTextOthersTheirNumber) {
  const std::pair<int, const char*> cases[] = {
      {10035, "Resource temporarily unavailable."},
      {10048, "Address already in use."},
      {10061, "Connection refused."},
      {10004, "Interrupted function call."},
      {11004, "Valid name, no data record of requested type."},
      {5, "Winsock error code: 5"},
      {10059, "Winsock error code: 10059"},
      {-1, "Winsock error code: -1"},
  };
  for (const auto& c : cases) EXPECT_EQ(Socket::StrError(c.first), c.second);
}

TEST(StrError, EachFallbackTextIsItsOwn) {
  std::string first = Socket::StrError(5);
  std::string second = Socket::StrError(6);
  EXPECT_EQ(first, "Winsock error code: 5");
  EXPECT_EQ(second, "Winsock error code: 6");
}

class UdpSocketTest : public ::testing::Test {
 protected:
  // Declared first, so it outlives the handler and every socket.
  ReportRecorder log;
  SocketHandler handler;

  void SetUp() override { handler.SetLogSink(&log); }

  // A socket in the loop receiving on a free port of its own.
  std::unique_ptr<RecordingSocket> listening(std::uint16_t& port) {
    auto socket = bindOnFreePort<RecordingSocket>(handler, port);
    if (socket) handler.Add(socket.get());
    return socket;
  }
};

TEST_F(UdpSocketTest, BindOnABusyPortFailsAndLeavesThePortUnset) {
  std::uint16_t port = 0;
  auto first = bindOnFreePort<UdpSocket>(handler, port);
  ASSERT_TRUE(first);
  log.reports.clear();

  UdpSocket second(handler);
  EXPECT_EQ(second.Bind(port), -1);
  EXPECT_EQ(second.GetPort(), 0);
  EXPECT_FALSE(second.IsBound());
  EXPECT_TRUE(second.CloseAndDelete());
  auto binds = log.withContext("bind");
  ASSERT_EQ(binds.size(), 1u);
  EXPECT_EQ(binds[0].error, 10048);
  EXPECT_EQ(binds[0].text, "Address already in use.");
  EXPECT_EQ(binds[0].level, 2);

  EXPECT_EQ(first->GetPort(), port);
  EXPECT_TRUE(first->IsBound());
  EXPECT_FALSE(first->CloseAndDelete());
}

TEST_F(UdpSocketTest, CloseReleasesThePort) {
  std::uint16_t port = 0;
  auto first = bindOnFreePort<UdpSocket>(handler, port);
  ASSERT_TRUE(first);
  EXPECT_EQ(first->Close(), 0);
  EXPECT_EQ(first->GetSocket(), kInvalidSocketDescriptor);

  UdpSocket again(handler);
  EXPECT_EQ(again.Bind(port), 0);
}

TEST_F(UdpSocketTest, CloseWithoutADescriptorChangesNothing) {
  UdpSocket socket(handler);
  EXPECT_EQ(socket.Close(), 0);
  EXPECT_EQ(socket.GetSocket(), kInvalidSocketDescriptor);
  EXPECT_FALSE(socket.CloseAndDelete());
  EXPECT_FALSE(socket.IsConnected());
  EXPECT_EQ(handler.SocketCount(), 0u);
  auto closes = log.withContext("Socket::Close");
  ASSERT_EQ(closes.size(), 1u);
  EXPECT_EQ(closes[0].text, "file descriptor invalid");
}

TEST_F(UdpSocketTest, SendBufNeedsAnOpenConnection) {
  std::uint16_t port = 0;
  auto receiver = listening(port);
  ASSERT_TRUE(receiver);
  UdpSocket sender(handler);

  sender.SendBuf("early", 5, 0);
  ASSERT_EQ(log.withContext("SendBuf").size(), 1u);
  EXPECT_EQ(log.withContext("SendBuf")[0].text, "not connected");

  ASSERT_TRUE(sender.Open(loopbackAddress(), port));
  EXPECT_TRUE(sender.IsConnected());
  sender.Send(std::string("in\0time", 7), 0);
  ASSERT_TRUE(selectUntil(handler, [&] { return !receiver->received.empty(); }));

  sender.Close();
  sender.SendBuf("late", 4, 0);
  EXPECT_EQ(log.withContext("SendBuf").size(), 2u);
  EXPECT_TRUE(log.withContext("send").empty());

  // Whatever was sent has arrived by the end of a quiet pass.
  selectOnce(handler, 0, 300000);
  ASSERT_EQ(receiver->received.size(), 1u);
  EXPECT_EQ(receiver->received[0].bytes, std::string("in\0time", 7));
}

TEST_F(UdpSocketTest, SocketCanBeOpenedAgainAfterClose) {
  std::uint16_t port = 0;
  auto receiver = listening(port);
  ASSERT_TRUE(receiver);
  UdpSocket sender(handler);
  ASSERT_TRUE(sender.Open(loopbackAddress(), port));
  sender.Close();
  ASSERT_TRUE(sender.Open(loopbackAddress(), port));
  sender.Send("second life", 0);
  ASSERT_TRUE(selectUntil(handler, [&] { return !receiver->received.empty(); }));
  EXPECT_EQ(receiver->received[0].bytes, "second life");
}

TEST_F(UdpSocketTest, DatagramsUpToTheBufferSizeArriveWhole) {
  std::uint16_t port = 0;
  auto receiver = listening(port);
  ASSERT_TRUE(receiver);
  PlainPeer peer;
  ASSERT_TRUE(peer.connect(loopbackAddress(), port));

  std::string largest(UdpSocket::kReceiveBufferSize, '\0');
  for (std::size_t i = 0; i < largest.size(); ++i) largest[i] = static_cast<char>(i * 7 + i / 256);
  const std::string sizes[] = {std::string(1, 'x'), std::string(548, 'm'), largest};
  for (const std::string& datagram : sizes) ASSERT_TRUE(peer.send(datagram));

  ASSERT_TRUE(selectUntil(handler, [&] { return receiver->received.size() == 3; }));
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(receiver->received[i].bytes.size(), sizes[i].size());
    EXPECT_TRUE(receiver->received[i].bytes == sizes[i]) << "datagram " << i << " changed";
  }
}

TEST_F(UdpSocketTest, OversizedDatagramIsReportedAndReceivingGoesOn) {
  std::uint16_t port = 0;
  auto receiver = listening(port);
  ASSERT_TRUE(receiver);
  PlainPeer peer;
  ASSERT_TRUE(peer.connect(loopbackAddress(), port));

  ASSERT_TRUE(peer.send(std::string(UdpSocket::kReceiveBufferSize + 1, 'o')));
  ASSERT_TRUE(selectUntil(handler, [&] { return !log.withContext("recvfrom").empty(); }));
  EXPECT_TRUE(receiver->received.empty());
  EXPECT_EQ(log.withContext("recvfrom")[0].error, 10040);

  ASSERT_TRUE(peer.send("after"));
  ASSERT_TRUE(selectUntil(handler, [&] { return !receiver->received.empty(); }));
  EXPECT_EQ(receiver->received[0].bytes, "after");
}

TEST_F(UdpSocketTest, OnDatagramGetsTheSendersAddressAndPort) {
  std::uint16_t port = 0;
  auto receiver = listening(port);
  ASSERT_TRUE(receiver);
  PlainPeer peer;
  std::uint16_t peerPort = peer.bindFree(loopbackAddress());
  ASSERT_NE(peerPort, 0);
  ASSERT_TRUE(peer.connect(loopbackAddress(), port));
  ASSERT_TRUE(peer.send("who"));

  ASSERT_TRUE(selectUntil(handler, [&] { return !receiver->received.empty(); }));
  const Received& got = receiver->received[0];
  EXPECT_EQ(bytesOf(got.sender.address), (std::array<unsigned char, 4>{127, 0, 0, 1}));
  EXPECT_EQ(got.sender.port, peerPort);
  EXPECT_EQ(got.senderAddressLength, 16);
  EXPECT_TRUE(log.withContext("recvfrom").empty());
}

TEST_F(UdpSocketTest, BoundSocketAnswersThroughItsOwnOpenedPeer) {
  // The program's pattern: one socket bound to receive, another opened to send.
  std::uint16_t port = 0;
  auto receiver = listening(port);
  ASSERT_TRUE(receiver);
  PlainPeer simulator;
  std::uint16_t simulatorPort = simulator.bindFree(loopbackAddress());
  ASSERT_NE(simulatorPort, 0);
  UdpSocket writer(handler);
  ASSERT_TRUE(writer.Open(loopbackAddress(), simulatorPort));
  writer.SendBuf("ISI", 3, 0);
  std::string got;
  ASSERT_TRUE(selectUntil(handler, [&] { return simulator.receive(got); }));
  EXPECT_EQ(got, "ISI");
}

}  // namespace
