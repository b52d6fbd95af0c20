// The binary InSim (version 9) protocol's adapter: each whole packet from the
// host becomes calls on the race tracker it owns, and what the tracker asks
// for goes out as packets. It keeps what this protocol spreads over several
// packets: the connections (user names, admins), which connection drives
// which car, the start order, the track's nodes, the host name and version.
// Transport-free: the TCP or UDP socket hands it packets and sends what it
// gives its InSim9Transport. Network thread only.
#pragma once

#include "link/insim9_packets.h"
#include "race/race_tracker.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <list>
#include <optional>
#include <string>
#include <string_view>

// What the adapter needs of the connection it runs on.
class InSim9Transport {
 public:
  virtual ~InSim9Transport() = default;
  virtual void sendPacket(const std::uint8_t* data, std::size_t size) = 0;
  // A report for the operator (the network layer's log).
  virtual void report(std::string_view text) = 0;
};

class InSim9Link : private RaceTrackerOutput {
 public:
  // Car information is asked for this often (ms) while tracking.
  static constexpr std::uint16_t kCarInfoInterval = 350;

  // The transport must outlive the link.
  explicit InSim9Link(InSim9Transport& transport);
  // Writes a race that still has players one last time (untold: the link is gone).
  ~InSim9Link() override;
  InSim9Link(const InSim9Link&) = delete;
  InSim9Link& operator=(const InSim9Link&) = delete;

  // Introduces the program: IS_ISI with the admin password.
  void start(std::string_view adminPassword);
  // One whole packet from the host; anything that is not a packet the
  // program knows is ignored.
  void onPacket(const std::uint8_t* data, std::size_t size);

  // The host answered the handshake with its version.
  bool linked() const { return linked_; }
  // The host said the link is over (TINY_CLOSE, TINY_MPE).
  bool ended() const { return ended_; }
  const RaceStats& stats() const { return tracker_.stats(); }
  bool deactivated() const { return tracker_.deactivated(); }

 private:
  struct Connection {
    bool present = false;
    bool admin = false;
    std::string userName;
  };

  void handle(insim9::Type type, const insim9::Bytes& packet);
  void tiny(const insim9::TinyPacket& packet);
  void version(const insim9::VerPacket& packet);
  void chat(const insim9::MsoPacket& packet);
  void playerJoins(const insim9::NplPacket& packet);
  void result(const insim9::ResPacket& packet);
  void raceStarts(const insim9::RstPacket& packet);
  void carSamples(const insim9::MciPacket& packet);
  void startOrder(const insim9::ReoPacket& packet);
  // Host name and version reach a race's info once it exists.
  void giveRaceItsHostAndVersion();
  bool mayCommand(std::uint8_t connectionId) const;
  void sendTiny(std::uint8_t subType);

  // RaceTrackerOutput
  void sendGameText(std::string_view text) override;
  void requestRaceState() override;
  void requestHostName() override { sendTiny(insim9::tiny::Ism); }
  void setCarInformation(bool on) override;
  bool saveRace(std::list<PlayerStats>& players, const std::optional<RaceInfo>& info) override;

  InSim9Transport& transport_;
  RaceTracker tracker_;
  std::array<Connection, 256> connections_{};
  // By player id: the connection driving the car, and the place in the start
  // order (kNotInStartOrder when the player was not on the grid).
  std::array<std::uint8_t, 256> driverOf_{};
  std::array<std::uint8_t, 256> startPlace_{};
  std::uint16_t nodeCount_ = 0;
  std::uint16_t finishNode_ = 0;
  bool host_ = false;
  std::string hostName_;
  std::string version_;
  bool versionReported_ = false;
  bool linked_ = false;
  bool ended_ = false;
  std::uint8_t requestId_ = 0;
};
