// The whole packet-processing state machine under a stream of datagrams split
// from the fuzzer's input. After every datagram: the race model's invariants
// hold, the replies are well-formed packets, an unrecognised datagram changed
// nothing and was not answered, a foreign sender was ignored, every "saved"
// announcement matches a stats file that a real XML parser accepts and that
// holds every player, lap and split of the race, and no race worth saving is
// lost at its end or when the tracker goes away.
#include "config/settings.h"
#include "config/shared_state.h"
#include "fuzz_support.h"
#include "net/socket_handler.h"
#include "net/socket_library.h"
#include "race/game_texts.h"
#include "link/acknowledged_datagrams.h"
#include "link/read_socket.h"
#include "race_checks.h"
#include "receive_buffer.h"
#include "system/clock.h"

#include <deque>
#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

// The bytes of a packet that the program reads; the rest stays zero.
struct Field {
  std::size_t offset;
  std::size_t width;
  bool text;  // a length byte, then at most `width` characters
};

struct PacketKind {
  const char* id;
  std::size_t length;
  std::vector<Field> fields;
};

// The received packets, in the order the input's first byte picks them. The
// MCI packet's cars follow its header as a count and 6 bytes per car.
const PacketKind kKinds[] = {
    {"REN", 8, {{6, 2, false}}},
    {"CLR", 8, {{6, 2, false}}},
    {"RTP", 8, {}},
    {"VTA", 8, {{4, 4, false}}},
    {"SP", 12, {{2, 1, false}, {4, 4, false}, {9, 3, false}}},
    {"RST", 20, {{4, 2, false}, {8, 6, true}, {14, 2, false}, {18, 2, false}}},
    {"VER", 20, {{4, 8, true}}},
    {"STA", 28, {{14, 1, false}, {16, 2, false}, {20, 6, true}, {26, 2, false}}},
    {"ISM", 40, {{8, 32, true}}},
    {"CNL", 56, {{54, 2, false}}},
    {"NCN", 60, {{58, 2, false}}},
    {"PLP", 60, {{52, 1, false}, {58, 2, false}}},
    {"PLL", 60, {{52, 1, false}, {58, 2, false}}},
    {"REO", 64, {{62, 2, false}}},
    {"CPR", 88, {{86, 2, false}}},
    {"LAP", 92, {{84, 4, false}, {89, 3, false}}},
    {"NPL",
     100,
     {{4, 24, true}, {28, 32, true}, {60, 32, true}, {92, 2, false}, {95, 2, false}, {98, 2, false}}},
    {"RES", 108, {{84, 2, false}, {92, 2, false}, {95, 10, false}, {106, 2, false}}},
    {"MSO", 132, {{4, 128, true}}},
    {"MCI", 204, {{4, 5, false}}},
};
constexpr std::size_t kKindCount = sizeof kKinds / sizeof kKinds[0];

// Chat lines: the commands and near misses of them.
const char* const kChatLines[] = {"!save",  "!delete",   "!deactivate", "!activate",
                                  "!save ", "!Activate", " !delete",    "!deactivat"};

const char* const kRequestIds[] = {"ACK", "NLI", "NPL", "SST", "ISM", "VER", "GTH"};
const std::string_view kGameTexts[] = {kStatsSavedText,  kStatsNotSavedText, kStatsDeletedText,
                                       kDeactivatedText, kReactivatedText,   kUploadSucceededText,
                                       kUploadFailedText};

// Sent through the tracker's write socket after a datagram, so that reading
// up to it collects exactly the tracker's replies to that datagram.
const std::string kEndMark("END\0mark", 8);

constexpr std::size_t kMaxSteps = 300;
constexpr std::uint8_t kIdleRoundsBefore = 7;

struct Reply {
  bool echo = false;
  std::string id;  // request ID, or the echoed text
  std::uint32_t value = 0;
};

class Environment {
 public:
  Environment() {
    outputFolder_ = scratchFolder() + "/out/";
    std::filesystem::create_directories(outputFolder_);
    Settings settings;
    settings.outputpath = outputFolder_;
    settings.outputname = "stats_[DATE]_[TIME]_[TRACK]_[MODE+].xml";
    settings.serverip = "127.0.0.1";
    replaceSettings(settings);
    setFixedLocalTime(LocalTime{2006, 11, 21, 12, 6, 0});
    Socket::ResolveHost("127.0.0.1", loopback_);
    Socket::ResolveHost("127.0.0.2", foreign_);

    sink_ = socketCreate(kAddressFamilyInet, kSocketTypeDatagram, 0);
    FUZZ_CHECK(sink_ != kInvalidSocketDescriptor, "no socket for the replies");
    socketSetNonblocking(sink_);
    enlargeReceiveBuffer(sink_, 4 << 20);
    std::mt19937 generator{std::random_device{}()};
    for (int attempt = 0; attempt < 500 && sinkPort_ == 0; ++attempt) {
      const auto port =
          static_cast<std::uint16_t>(std::uniform_int_distribution<int>(20000, 60000)(generator));
      if (socketBind(sink_, loopback_, port) == 0) sinkPort_ = port;
    }
    FUZZ_CHECK(sinkPort_ != 0, "no free port for the replies");
  }
  ~Environment() { socketClose(sink_); }

  const std::string& outputFolder() const { return outputFolder_; }
  std::uint16_t sinkPort() const { return sinkPort_; }
  Ipv4Address loopback() const { return loopback_; }
  Ipv4Address foreign() const { return foreign_; }

  // Every datagram up to the end mark.
  std::vector<std::string> collect(lfsReadSocket& tracker) {
    tracker.writeSocket().SendBuf(kEndMark.data(), static_cast<int>(kEndMark.size()), 0);
    std::vector<std::string> received;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    char buffer[512];
    for (;;) {
      const int length = socketReceive(sink_, buffer, sizeof buffer, 0);
      if (length < 0) {
        FUZZ_CHECK(std::chrono::steady_clock::now() < deadline, "the replies never arrived");
        std::this_thread::yield();
        continue;
      }
      std::string bytes(buffer, static_cast<std::size_t>(length));
      if (bytes == kEndMark) return received;
      received.push_back(std::move(bytes));
    }
  }

 private:
  SocketLibrary library_;
  std::string outputFolder_;
  SocketDescriptor sink_ = kInvalidSocketDescriptor;
  std::uint16_t sinkPort_ = 0;
  Ipv4Address loopback_ = 0;
  Ipv4Address foreign_ = 0;
};

Environment& environment() {
  static Environment instance;
  return instance;
}

Reply parseReply(const std::string& bytes) {
  Reply reply;
  if (bytes.size() == 8) {
    FUZZ_CHECK(bytes[3] == '\0', "a request ID ends in a NUL");
    reply.id = bytes.substr(0, 3);
    bool known = false;
    for (const char* id : kRequestIds) known = known || reply.id == id;
    FUZZ_CHECK(known, "unknown request " + reply.id);
    for (int i = 3; i >= 0; --i) reply.value = (reply.value << 8) | static_cast<unsigned char>(bytes[4 + i]);
    return reply;
  }
  FUZZ_CHECK(bytes.size() == 68, "a reply of " + std::to_string(bytes.size()) + " bytes");
  FUZZ_CHECK(bytes.compare(0, 10, std::string("MST\0/echo ", 10)) == 0, "a chat reply is an echo command");
  FUZZ_CHECK(bytes[67] == '\0', "the echo text is terminated");
  reply.echo = true;
  reply.id = bytes.substr(10, bytes.find('\0', 10) - 10);
  bool known = false;
  for (std::string_view text : kGameTexts) known = known || reply.id == text;
  FUZZ_CHECK(known, "unknown game text " + reply.id);
  return reply;
}

bool countsAsTraffic(PacketType type) {
  switch (type) {
    case PacketType::Mci:
    case PacketType::Vta:
    case PacketType::Sta:
    case PacketType::Ism:
    case PacketType::Ver:
    case PacketType::Mso:
    case PacketType::None:
      return false;
    default:
      return true;
  }
}

// One datagram built from the input: a known packet with the input's bytes
// in the fields the program reads, a chat line, or raw bytes of any length.
std::string makeDatagram(std::uint8_t choice, FuzzInput& input) {
  if (choice < 200) {
    const PacketKind& kind = kKinds[choice % kKindCount];
    std::string bytes(kind.length, '\0');
    bytes.replace(0, std::strlen(kind.id), kind.id);
    for (const Field& field : kind.fields) {
      const std::string value = field.text ? input.bytes(std::min<std::size_t>(input.byte(), field.width))
                                           : input.paddedBytes(field.width);
      bytes.replace(field.offset, value.size(), value);
    }
    if (kind.length == 204) {
      const std::size_t cars = input.byte() % (MciPacket::kMaxCars + 1);
      for (std::size_t car = 0; car < cars; ++car) {
        const std::size_t offset = 12 + 24 * car;
        bytes.replace(offset, 4, input.paddedBytes(4));
        bytes.replace(offset + 16, 2, input.paddedBytes(2));
      }
    }
    return bytes;
  }
  if (choice < 208) {
    std::string bytes("MSO\0", 4);
    bytes += kChatLines[choice - 200];
    bytes.resize(132, '\0');
    return bytes;
  }
  // Anything up to the receive buffer's size.
  return input.paddedBytes(input.u16() % (UdpSocket::kReceiveBufferSize + 1));
}

class Run {
 public:
  explicit Run(Environment& environment) : environment_(environment) {
    takeUploadOutcome();
    while (takePendingStatsFile()) {
    }
    openTracker();
  }

  ~Run() { closeTracker(); }

  void step(FuzzInput& input) {
    const std::uint8_t choice = input.byte();
    switch (choice) {
      case 250:
      case 251:
      case 252: {
        const auto outcome = static_cast<std::uint8_t>(choice == 252 ? input.byte() : choice - 249);
        recordUploadOutcome(outcome);
        outcome_ = combinedUploadOutcome(outcome_, outcome);
      }
        return;
      case 253:
        closeTracker();
        openTracker();
        return;
      case 254:
        deliver(makeDatagram(input.byte(), input), environment_.foreign(), kSocketAddressLength);
        return;
      case 255:
        deliver(makeDatagram(input.byte(), input), environment_.loopback(), kSocketAddressLength - 1);
        return;
      default:
        deliver(makeDatagram(choice, input), environment_.loopback(), kSocketAddressLength);
    }
  }

 private:
  void openTracker() {
    tracker_ = std::make_unique<lfsReadSocket>(handler_);
    acknowledged_.clear();
    FUZZ_CHECK(tracker_->OpenServerLink("127.0.0.1", environment_.sinkPort()),
               "the tracker cannot reach the sink");
  }

  // The race still held is written one last time, without a word to the game.
  void closeTracker() {
    const DocumentCounts expected = expectedDocument(tracker_->stats());
    tracker_.reset();
    checkSaves(expected, expected.worthSaving ? 1 : 0);
  }

  // The stats files saved since the last look: as many as expected, each
  // inside the output folder, well-formed and complete; removed once checked.
  void checkSaves(const DocumentCounts& expected, std::size_t count) {
    std::vector<std::string> paths;
    while (std::optional<std::string> path = takePendingStatsFile()) paths.push_back(std::move(*path));
    FUZZ_CHECK(paths.size() == count,
               "saved " + std::to_string(paths.size()) + " stats files, expected " + std::to_string(count));
    const std::string& folder = environment_.outputFolder();
    for (const std::string& path : paths) {
      FUZZ_CHECK(
          path.compare(0, folder.size(), folder) == 0 && path.find('/', folder.size()) == std::string::npos,
          "a stats file outside the output folder: " + path);
      checkSavedDocument(readWholeFile(path), expected);
      std::filesystem::remove(path);
    }
  }

  void deliver(const std::string& bytes, Ipv4Address senderAddress, int senderLength) {
    lfsReadSocket& tracker = *tracker_;
    // An exact copy, so a read past the datagram is caught.
    const std::vector<char> datagram(bytes.begin(), bytes.end());
    const char* data = datagram.empty() ? nullptr : datagram.data();
    const Datagram view(data, datagram.size());
    const PacketType type = recognisePacket(data, datagram.size());
    const bool accepted = senderLength == kSocketAddressLength && senderAddress == environment_.loopback();
    const LinkState linkBefore = tracker.linkState();
    const bool deactivatedBefore = tracker.deactivated();
    const bool activation = type == PacketType::Mso && MsoPacket{view}.text() == kActivateCommand;
    const bool numbered = accepted && !deactivatedBefore && hasAckWord(type) && ackWord(view) != 0;
    const bool repeat =
        numbered && std::find(acknowledged_.begin(), acknowledged_.end(), bytes) != acknowledged_.end();
    // Only these datagrams leave the race as it was; only those after them may save it.
    const bool changesNothing =
        !accepted || type == PacketType::None || repeat || (deactivatedBefore && !activation);
    const bool maySave = accepted && !deactivatedBefore && !repeat &&
                         (type == PacketType::Ren || type == PacketType::Vta || type == PacketType::Mso);
    const std::string before = changesNothing ? describeRace(tracker.stats()) : std::string();
    const DocumentCounts expected = maySave ? expectedDocument(tracker.stats()) : DocumentCounts{};
    tracker.idleRounds = kIdleRoundsBefore;

    tracker.OnDatagram(data, static_cast<int>(datagram.size()),
                       SocketAddress{senderAddress, environment_.sinkPort()}, senderLength);
    if (numbered && !repeat && bytes.size() <= AcknowledgedDatagrams::kMaxLength) {
      acknowledged_.push_back(bytes);
      if (acknowledged_.size() > AcknowledgedDatagrams::kCapacity) acknowledged_.pop_front();
    }

    std::vector<Reply> replies;
    for (const std::string& reply : environment_.collect(tracker)) replies.push_back(parseReply(reply));
    checkRaceInvariants(tracker.stats());
    FUZZ_CHECK(!tracker.deactivated() || tracker.stats().players.empty(),
               "a deactivated tracker keeps a race");
    if (changesNothing) {
      FUZZ_CHECK(describeRace(tracker.stats()) == before, "the datagram changed the race");
    }

    const std::uint8_t outcomeNow = takeUploadOutcome();
    if (!accepted) {
      FUZZ_CHECK(replies.empty(), "a datagram from elsewhere was answered");
      FUZZ_CHECK(tracker.linkState() == linkBefore && tracker.idleRounds == kIdleRoundsBefore,
                 "a datagram from elsewhere changed the link");
      FUZZ_CHECK(outcomeNow == outcome_, "the upload outcome went without an announcement");
      recordUploadOutcome(outcomeNow);
      checkSaves(expected, 0);
      return;
    }
    FUZZ_CHECK(outcomeNow == UploadNone, "the upload outcome was not announced");

    std::size_t next = 0;
    if (outcome_ != UploadNone) {
      FUZZ_CHECK(
          replies.size() >= 2 && replies[0].echo &&
              replies[0].id == (outcome_ == UploadSucceeded ? kUploadSucceededText : kUploadFailedText) &&
              !replies[1].echo && replies[1].id == "GTH",
          "the upload outcome is announced first, then a GTH");
      next = 2;
      outcome_ = UploadNone;
    }

    if (deactivatedBefore) {
      FUZZ_CHECK(activation || (replies.size() == next && tracker.idleRounds == kIdleRoundsBefore),
                 "a deactivated tracker reacted to something other than !activate");
      checkSaves(expected, 0);
      return;
    }
    if (linkBefore == LinkState::New) {
      FUZZ_CHECK(replies.size() > next && !replies[next].echo && replies[next].id == "NLI" &&
                     replies[next].value == 350,
                 "the first datagram asks for car information");
      ++next;
    }

    if (type == PacketType::None) {
      FUZZ_CHECK(replies.size() == next, "an unrecognised datagram was answered");
      FUZZ_CHECK((linkBefore == LinkState::New) == (tracker.idleRounds == 0),
                 "an unrecognised datagram counted as traffic");
      checkSaves(expected, 0);
      return;
    }
    FUZZ_CHECK(
        tracker.idleRounds == (countsAsTraffic(type) || linkBefore == LinkState::New ? 0 : kIdleRoundsBefore),
        "traffic counted wrongly");
    if (hasAckWord(type)) {
      bool acknowledged = false;
      for (std::size_t i = next; i < replies.size(); ++i) {
        acknowledged =
            acknowledged || (!replies[i].echo && replies[i].id == "ACK" && replies[i].value == ackWord(view));
      }
      FUZZ_CHECK(acknowledged, "a packet with an ack word was not acknowledged");
    }

    std::size_t savedAnnouncements = 0;
    std::size_t notSavedAnnouncements = 0;
    for (std::size_t i = next; i < replies.size(); ++i) {
      if (replies[i].echo && replies[i].id == kStatsSavedText) ++savedAnnouncements;
      if (replies[i].echo && replies[i].id == kStatsNotSavedText) ++notSavedAnnouncements;
    }
    FUZZ_CHECK(savedAnnouncements + notSavedAnnouncements == 0 || maySave,
               "a save announced after this packet");
    // Nothing worth saving is ever reported as lost, nor a failure as saved.
    FUZZ_CHECK(notSavedAnnouncements == 0 || !expected.worthSaving, "a race worth saving was not saved");
    checkSaves(expected, savedAnnouncements);

    const bool raceEnded = !repeat && (type == PacketType::Ren || (type == PacketType::Vta && VtaPacket{view}.action() >= 2));
    if (raceEnded) {
      FUZZ_CHECK(savedAnnouncements + notSavedAnnouncements == 1, "a race end is announced once");
      FUZZ_CHECK(tracker.stats().players.empty() && !tracker.stats().info &&
                     tracker.linkState() == LinkState::RequestsDue,
                 "a race end clears the race and asks for the handshake again");
    }
    if (savedAnnouncements > 0 && tracker.stats().isQualifying()) {
      for (const PlayerStats& player : tracker.stats().players) {
        FUZZ_CHECK(!player.result || player.result->position == kUnplacedPosition,
                   "qualifying positions go back to unplaced after a save");
      }
    }
  }

  Environment& environment_;
  SocketHandler handler_;
  std::unique_ptr<lfsReadSocket> tracker_;
  std::uint8_t outcome_ = UploadNone;
  // The last 64 datagrams with a non-zero ack word the tracker took: one that
  // comes again is a repeat, acknowledged but changing nothing.
  std::deque<std::string> acknowledged_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Environment& env = environment();
  FuzzInput input(data, size);
  Run run(env);
  for (std::size_t steps = 0; !input.empty() && steps < kMaxSteps; ++steps) run.step(input);
  return 0;
}
