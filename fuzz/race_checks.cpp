// Model pictures, invariants and document checks for the OnDatagram fuzzer.
#include "race_checks.h"

#include "fuzz_support.h"
#include "output/stats_document.h"

#include <algorithm>
#include <set>
#include <sstream>
#include <vector>

namespace {

void describeTime(std::ostringstream& out, const RaceTime& time) {
  out << unsigned{time.hours} << ':' << unsigned{time.minutes} << ':' << unsigned{time.seconds} << ':'
      << unsigned{time.hundredths};
}

void checkText(const std::string& text, std::size_t width, const char* what) {
  FUZZ_CHECK(text.size() < width, std::string(what) + " is longer than its record field");
  FUZZ_CHECK(text.find('\0') == std::string::npos, std::string(what) + " holds a NUL");
}

std::string sortedIds(std::vector<long> ids) {
  std::sort(ids.begin(), ids.end());
  std::string text;
  for (long id : ids) text += std::to_string(id) + ' ';
  return text;
}

std::string elementText(const xmlNode* node) {
  xmlChar* content = xmlNodeGetContent(node);
  std::string text = content ? reinterpret_cast<const char*>(content) : "";
  xmlFree(content);
  return text;
}

void collectIds(const xmlNode* node, std::vector<long>& ids) {
  for (; node != nullptr; node = node->next) {
    if (node->type != XML_ELEMENT_NODE) continue;
    if (std::string_view("LFSID") == reinterpret_cast<const char*>(node->name)) {
      ids.push_back(std::stol(elementText(node)));
    }
    collectIds(node->children, ids);
  }
}

}  // namespace

std::string describeRace(const RaceStats& race) {
  std::ostringstream out;
  if (race.info) {
    const RaceInfo& info = *race.info;
    out << "info " << info.track << '|' << unsigned{info.laps} << '|' << unsigned{info.weather} << '|'
        << unsigned{info.wind} << '|' << unsigned{info.qualifyMinutes} << '|' << info.host << '|'
        << info.version << '\n';
  }
  out << "finished " << unsigned{race.finishedCount} << '\n';
  for (const PositionEntry& row : race.positions) {
    out << unsigned{row.playerId} << '/' << row.node << '/' << row.lap << ' ';
  }
  out << '\n';
  for (const PlayerStats& player : race.players) {
    out << "player " << player.id << '|' << player.name << '|' << player.userName << '|' << player.carName
        << '|' << unsigned{player.startOrder} << '|' << player.flags << '|' << player.bestSpeed << '|'
        << player.firstLap << '|';
    describeTime(out, player.bestLap);
    if (player.result) {
      const ResultRecord& result = *player.result;
      out << " result ";
      describeTime(out, result.totalTime);
      out << '|' << result.totalTimeLead << '|' << unsigned{result.pitStops} << '|' << result.penaltyFlags
          << '|' << unsigned{result.position};
    }
    out << '\n';
    for (const LapRecord& lap : player.laps) {
      out << "  lap ";
      describeTime(out, lap.time);
      out << '|' << lap.speed << '|' << unsigned{lap.position};
      for (const SplitRecord& split : lap.splits) {
        out << " split ";
        describeTime(out, split.time);
        out << '|' << split.speed << '|' << unsigned{split.position};
      }
      out << '\n';
    }
  }
  return out.str();
}

void checkRaceInvariants(const RaceStats& race) {
  if (race.info) {
    checkText(race.info->track, kTrackWidth, "track");
    checkText(race.info->host, kHostWidth, "host");
    checkText(race.info->version, kVersionWidth, "version");
  }
  for (const PlayerStats& player : race.players) {
    FUZZ_CHECK(player.id >= -1 && player.id <= 255,
               "player id " + std::to_string(player.id) + " out of range");
    checkText(player.name, kPlayerNameWidth, "player name");
    checkText(player.userName, kUserNameWidth, "user name");
    checkText(player.carName, kCarNameWidth, "car name");
  }

  std::size_t filled = 0;
  while (filled < race.positions.size() && race.positions[filled].lap != 0) ++filled;
  std::set<unsigned> cars;
  for (std::size_t row = 0; row < race.positions.size(); ++row) {
    const PositionEntry& entry = race.positions[row];
    if (row >= filled) {
      FUZZ_CHECK(entry.lap == 0, "a filled running-order row after an empty one");
      continue;
    }
    FUZZ_CHECK(cars.insert(entry.playerId).second, "a car holds two running-order rows");
  }
  for (const PlayerStats& player : race.players) {
    if (player.id < 0) continue;
    const unsigned position = race.positionOf(static_cast<std::uint8_t>(player.id));
    FUZZ_CHECK(position == kNoPosition || (position >= 1 && position <= filled),
               "running position " + std::to_string(position) + " outside the filled rows");
  }
}

DocumentCounts expectedDocument(const RaceStats& race) {
  DocumentCounts counts;
  const bool qualifying = race.isQualifying();
  std::vector<long> ids;
  for (const PlayerStats& player : race.players) {
    ++counts.players;
    const std::size_t laps = lapCount(player, qualifying);
    counts.laps += laps;
    for (std::size_t j = 0; j < laps; ++j) counts.splits += player.laps[j].splits.size();
    ids.push_back(player.id);
  }
  counts.ids = sortedIds(ids);
  counts.worthSaving = !race.players.empty() && splitCount(race.players) > 0;
  return counts;
}

void checkSavedDocument(const std::string& bytes, const DocumentCounts& expected) {
  std::string error;
  const XmlDocument doc = parseXml(bytes, error);
  FUZZ_CHECK(doc != nullptr, "the stats file is not well-formed XML: " + error + "\n" + bytes);
  const xmlNode* root = xmlDocGetRootElement(doc.get());
  FUZZ_CHECK(root != nullptr && std::string_view("TRBKSTATS") == reinterpret_cast<const char*>(root->name),
             "the root element is TRBKSTATS");
  FUZZ_CHECK(countElements(root, "PLAYER") == expected.players,
             "every player is written exactly once\n" + bytes);
  FUZZ_CHECK(countElements(root, "LAP") == expected.laps, "every counted lap is written\n" + bytes);
  FUZZ_CHECK(countElements(root, "SPLIT") == expected.splits,
             "every split of a written lap is written\n" + bytes);
  std::vector<long> ids;
  collectIds(root, ids);
  FUZZ_CHECK(sortedIds(ids) == expected.ids, "LFSID shows each player's real id\n" + bytes);
}
