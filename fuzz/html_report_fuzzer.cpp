// The race report of any race model that the model's own operations can
// build from the fuzzer's bytes (players with any names, laps, splits,
// results, race info): the page is well-formed to libxml2's XML parser and
// read by its HTML parser, holds no element the race put there, shows every
// player's name as text, and the same page comes from the stats file written
// from the model and read back.
#include "fuzz_support.h"
#include "output/html_report.h"
#include "output/report_from_race.h"
#include "output/report_text.h"
#include "output/stats_document.h"
#include "output/stats_reader.h"

#include <libxml/HTMLparser.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

namespace {

RaceTime readTime(FuzzInput& input) {
  RaceTime time;
  time.hours = input.byte() % 4 == 0 ? input.byte() : 0;
  time.minutes = input.byte();
  time.seconds = input.byte();
  time.hundredths = input.byte();
  return time;
}

PlayerStats* pickPlayer(RaceStats& race, FuzzInput& input) {
  if (race.players.empty()) return nullptr;
  auto it = race.players.begin();
  std::advance(it, input.byte() % race.players.size());
  return &*it;
}

// One operation of the race model per step, as the tracker would call them.
void buildRace(RaceStats& race, FuzzInput& input) {
  for (unsigned step = 0; step < 400 && !input.empty(); ++step) {
    const std::uint8_t operation = input.byte() % 9;
    if (operation == 0 && race.players.size() < 48) {
      PlayerStats& player = race.addPlayer(input.byte(), input.shortText());
      player.setUserName(input.shortText());
      player.setCarName(input.bytes(input.byte() % 8));
      player.startOrder = input.byte();
      player.firstLap = input.byte() % 3;
      player.flags = input.u16();
      continue;
    }
    if (operation == 1) {
      race.setRaceInfo(input.bytes(input.byte() % 8), input.byte(), input.byte(), input.byte(),
                       input.byte() % 3 == 0 ? input.byte() : 0);
      race.info->setHost(input.shortText());
      race.info->setVersion(input.bytes(input.byte() % 9));
      continue;
    }
    PlayerStats* player = pickPlayer(race, input);
    if (player == nullptr) continue;
    switch (operation) {
      case 2:
      case 3: {
        SplitRecord& split = race.openSplit(*player);
        split.time = readTime(input);
        split.position = input.byte();
        split.speed = input.u16();
        break;
      }
      case 4:
        if (LapRecord* lap = player->lastLap()) {
          lap->time = readTime(input);
          lap->position = input.byte();
          lap->speed = input.u16();
          if (player->bestLap.isZero() || lap->time < player->bestLap) player->bestLap = lap->time;
        } else {
          race.openLap(*player);
        }
        break;
      case 5:
        race.closeLap(*player);
        break;
      case 6:
        if (!player->result) {
          player->result = ResultRecord{readTime(input), input.u16(), input.byte(), input.byte(),
                                        race.isQualifying() ? kUnplacedPosition : input.byte()};
        }
        break;
      case 7:
        player->bestLap = readTime(input);
        break;
      case 8:
        if (input.byte() % 8 == 0) race.resetPlayer(*player);
        break;
    }
  }
}

// The name as the page must show it: the game's view of it, as UTF-8.
std::string shownName(const std::string& name) {
  std::string shown;
  for (char c : plainName(name)) {
    const auto code = static_cast<unsigned char>(c);
    if (code < 0x20 || code == 0x7F) continue;
    if (code < 0x80) {
      shown += c;
    } else {
      shown += static_cast<char>(0xC0 | (code >> 6));
      shown += static_cast<char>(0x80 | (code & 0x3F));
    }
  }
  return shown;
}

bool hasClass(const xmlNode* node, const char* wanted) {
  xmlChar* value = xmlGetProp(node, reinterpret_cast<const xmlChar*>("class"));
  std::string classes = value ? reinterpret_cast<const char*>(value) : "";
  xmlFree(value);
  return (" " + classes + " ").find(std::string(" ") + wanted + " ") != std::string::npos;
}

// The texts of the results table's name cells, in page order.
void nameCells(const xmlNode* node, bool inResults, std::vector<std::string>& names) {
  for (; node; node = node->next) {
    if (node->type != XML_ELEMENT_NODE) continue;
    const std::string tag = reinterpret_cast<const char*>(node->name);
    FUZZ_CHECK(tag != "script" && tag != "img" && tag != "iframe" && tag != "object" && tag != "a",
               "the race put an element into the page: " + tag);
    const bool results = inResults || (tag == "table" && hasClass(node, "results"));
    if (results && tag == "td" && hasClass(node, "name")) {
      xmlChar* text = xmlNodeGetContent(node);
      names.emplace_back(reinterpret_cast<const char*>(text));
      xmlFree(text);
      continue;
    }
    nameCells(node->children, results, names);
  }
}

void checkPage(const std::string& page, const RaceReport& report) {
  std::string error;
  XmlDocument doc = parseXml(page, error);
  FUZZ_CHECK(doc != nullptr, "the page is not well-formed: " + error);
  std::vector<std::string> names;
  nameCells(xmlDocGetRootElement(doc.get()), false, names);
  std::vector<std::string> expected;
  for (const ReportPlayer& player : report.players) expected.push_back(shownName(player.name));
  std::sort(names.begin(), names.end());
  std::sort(expected.begin(), expected.end());
  FUZZ_CHECK(names == expected, "a player's name is not shown as its text");

  htmlDocPtr html = htmlReadMemory(page.data(), static_cast<int>(page.size()), "report.html", "UTF-8",
                                   HTML_PARSE_NONET | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING);
  FUZZ_CHECK(html != nullptr, "the HTML parser refused the page");
  names.clear();
  nameCells(xmlDocGetRootElement(html), false, names);
  std::sort(names.begin(), names.end());
  xmlFreeDoc(html);
  FUZZ_CHECK(names == expected, "the HTML parser sees other names");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput input(data, size);
  RaceStats race;
  buildRace(race, input);
  if (race.players.empty()) return 0;

  const RaceReport report = buildRaceReport(race.players, race.info, "2006-11-21 12:06");
  const std::string page = renderHtmlReport(report);
  checkPage(page, report);

  // The stats file of the same model gives the same page.
  std::ostringstream document;
  writeStatsDocument(document, race.players, race.info);
  const std::string path = scratchFolder() + "/report_stats.xml";
  writeWholeFile(path, document.str());
  RaceReport readBack;
  std::string error;
  FUZZ_CHECK(readStatsFile(path, readBack, error), "the stats file is not read back: " + error);
  readBack.savedAt = report.savedAt;
  const std::string fromFile = renderHtmlReport(readBack);
  if (fromFile != page) {
    std::size_t at = 0;
    while (at < page.size() && at < fromFile.size() && page[at] == fromFile[at]) ++at;
    const std::size_t from = at > 80 ? at - 80 : 0;
    FUZZ_CHECK(false, "the stats file gives another page; model: ..." + page.substr(from, 160) +
                          "\nfile: ..." + fromFile.substr(from, 160));
  }
  return 0;
}
