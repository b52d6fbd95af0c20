// The stats file reader on libxml2: the whole tree is parsed (no network, no
// entities), then walked element by element into the race report.
#include "output/stats_reader.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <cstdlib>
#include <memory>
#include <string_view>

namespace {

struct DocumentFree {
  void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};
using Document = std::unique_ptr<xmlDoc, DocumentFree>;

struct TextFree {
  void operator()(xmlChar* text) const { xmlFree(text); }
};

// Reading stops at the first value that does not fit; the reason is kept.
class TreeReader {
 public:
  bool failed() const { return !error_.empty(); }
  const std::string& error() const { return error_; }

  static const xmlNode* child(const xmlNode* parent, std::string_view name) {
    for (const xmlNode* node = parent ? parent->children : nullptr; node; node = node->next) {
      if (node->type == XML_ELEMENT_NODE && name == reinterpret_cast<const char*>(node->name)) return node;
    }
    return nullptr;
  }

  // The element's text, turned back from the parser's UTF-8 into the file's
  // ISO-8859-1 (a character beyond it, which the program never writes, as "?").
  static std::string text(const xmlNode* node) {
    if (node == nullptr) return "";
    std::unique_ptr<xmlChar, TextFree> content(xmlNodeGetContent(node));
    std::string latin1;
    const unsigned char* p = content.get();
    while (p && *p) {
      unsigned code = *p++;
      if (code >= 0x80) {
        int extra = code >= 0xF0 ? 3 : code >= 0xE0 ? 2 : 1;
        code &= 0x3Fu >> extra;
        for (; extra > 0 && (*p & 0xC0) == 0x80; --extra) code = (code << 6) | (*p++ & 0x3Fu);
      }
      latin1 += code <= 0xFF ? static_cast<char>(code) : '?';
    }
    return latin1;
  }

  std::string text(const xmlNode* parent, std::string_view name) { return text(child(parent, name)); }

  // A number element; an empty or missing one gives nothing.
  std::optional<std::uint32_t> optionalNumber(const xmlNode* parent, std::string_view name) {
    const std::string value = text(parent, name);
    if (value.empty()) return std::nullopt;
    char* end = nullptr;
    const unsigned long number = std::strtoul(value.c_str(), &end, 10);
    if (*end != '\0' || value[0] == '-' || number > 0xFFFFFFFFul) {
      fail(name, value);
      return std::nullopt;
    }
    return static_cast<std::uint32_t>(number);
  }
  std::uint32_t number(const xmlNode* parent, std::string_view name) {
    return optionalNumber(parent, name).value_or(0);
  }

  std::int32_t signedNumber(const xmlNode* parent, std::string_view name) {
    const std::string value = text(parent, name);
    if (value.empty()) return -1;
    char* end = nullptr;
    const long number = std::strtol(value.c_str(), &end, 10);
    if (*end != '\0' || number < -32768 || number > 65535) fail(name, value);
    return static_cast<std::int32_t>(number);
  }

  // "hh:mm:ss:hh"; with a leading count first when lead is asked for.
  RaceTime time(const std::string& value, std::string_view name, std::uint32_t* lead = nullptr) {
    unsigned fields[5] = {0, 0, 0, 0, 0};
    const unsigned wanted = lead ? 5 : 4;
    unsigned count = 0;
    std::size_t i = 0;
    while (count < wanted && i < value.size()) {
      std::size_t digits = 0;
      unsigned field = 0;
      for (; i < value.size() && value[i] >= '0' && value[i] <= '9' && digits < 6; ++i, ++digits) {
        field = field * 10 + static_cast<unsigned>(value[i] - '0');
      }
      if (digits == 0) break;
      fields[count++] = field;
      if (i < value.size() && value[i] == ':')
        ++i;
      else
        break;
    }
    const unsigned* t = lead ? fields + 1 : fields;
    if (count != wanted || i != value.size() || t[0] > 255 || t[1] > 255 || t[2] > 255 || t[3] > 255 ||
        (lead && fields[0] > 65535)) {
      fail(name, value);
      return RaceTime{};
    }
    if (lead) *lead = fields[0];
    return RaceTime{static_cast<std::uint8_t>(t[0]), static_cast<std::uint8_t>(t[1]),
                    static_cast<std::uint8_t>(t[2]), static_cast<std::uint8_t>(t[3])};
  }
  // A missing or empty time element (older files) is no time.
  RaceTime time(const xmlNode* parent, std::string_view name) {
    const std::string value = text(parent, name);
    return value.empty() ? RaceTime{} : time(value, name);
  }

  void fail(std::string_view name, const std::string& value) {
    if (error_.empty())
      error_ =
          "element " + std::string(name) + " holds \"" + value + "\", not what a stats file writes there";
  }
  void failWith(const std::string& reason) {
    if (error_.empty()) error_ = reason;
  }

 private:
  std::string error_;
};

template <typename Visit>
void forEachChild(const xmlNode* parent, std::string_view name, Visit visit) {
  for (const xmlNode* node = parent ? parent->children : nullptr; node; node = node->next) {
    if (node->type == XML_ELEMENT_NODE && name == reinterpret_cast<const char*>(node->name)) visit(node);
  }
}

ReportLap readLap(TreeReader& reader, const xmlNode* node) {
  ReportLap lap;
  lap.number = reader.number(node, "LAPNUMBER");
  lap.position = reader.number(node, "LAPPOSITION");
  lap.time = reader.time(node, "LAPTIME");
  lap.speed = reader.number(node, "LAPSPEED");
  forEachChild(TreeReader::child(node, "SPLITS"), "SPLIT", [&](const xmlNode* split) {
    lap.splits.push_back(ReportSplit{reader.time(split, "SPLITTIME"), reader.number(split, "SPLITSPEED"),
                                     reader.number(split, "SPLITPOSITION")});
  });
  return lap;
}

ReportPlayer readPlayer(TreeReader& reader, const xmlNode* node) {
  ReportPlayer player;
  player.name = reader.text(node, "NAME");
  player.userName = reader.text(node, "UNAME");
  player.carName = reader.text(node, "CARNAME");
  const std::string start = reader.text(node, "STARTORDER");
  if (start != "Rejoined") player.startOrder = reader.optionalNumber(node, "STARTORDER");
  player.lfsId = reader.signedNumber(node, "LFSID");
  const std::string total = reader.text(node, "TOTALTIME");
  if (!total.empty()) {
    ReportResult result;
    result.totalTime = reader.time(total, "TOTALTIME", &result.totalTimeLead);
    result.pitStops = reader.number(node, "PITCOUNT");
    result.penaltyFlags = reader.number(node, "PENALTYFLAGS");
    player.result = result;
  }
  player.overallPosition = reader.optionalNumber(node, "OVERALLPOS");
  const RaceTime best = reader.time(node, "BESTLAP");
  if (!best.isZero()) player.bestLap = best;
  player.bestSpeed = reader.number(node, "BESTSPEED");
  player.flags = reader.number(node, "PLAYERFLAGS");
  forEachChild(TreeReader::child(node, "LAPS"), "LAP",
               [&](const xmlNode* lap) { player.laps.push_back(readLap(reader, lap)); });
  return player;
}

void readInfo(TreeReader& reader, const xmlNode* root, RaceReport& report) {
  const xmlNode* track = TreeReader::child(root, "TRACK");
  // The race info is there when the file names a track; older files may lack the host.
  if (TreeReader::child(track, "TRACKNAME") == nullptr) return;
  ReportRaceInfo info;
  info.track = reader.text(track, "TRACKNAME");
  info.host = reader.text(root, "HOST");
  info.version = reader.text(root, "LFSVERSION");
  info.laps = reader.number(track, "TOTALLAPS");
  info.weather = reader.number(track, "WEATHER");
  info.wind = reader.number(track, "WIND");
  info.qualifyMinutes = reader.number(track, "QUALMINS");
  report.info = info;
}

std::string parserMessage() {
  const xmlError* error = xmlGetLastError();
  if (error == nullptr || error->message == nullptr) return "not well-formed XML";
  std::string message = error->message;
  while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) message.pop_back();
  return "not well-formed XML (line " + std::to_string(error->line) + ": " + message + ")";
}

}  // namespace

bool readStatsFile(const std::string& path, RaceReport& report, std::string& error) {
  xmlResetLastError();
  Document doc(xmlReadFile(path.c_str(), nullptr,
                           XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_NOBLANKS));
  if (!doc) {
    error = parserMessage();
    return false;
  }
  const xmlNode* root = xmlDocGetRootElement(doc.get());
  if (root == nullptr || std::string_view("TRBKSTATS") != reinterpret_cast<const char*>(root->name)) {
    error = "not a stats file (its root element is not TRBKSTATS)";
    return false;
  }
  TreeReader reader;
  RaceReport read;
  readInfo(reader, root, read);
  const xmlNode* players = TreeReader::child(root, "PLAYERS");
  if (players == nullptr) reader.failWith("not a stats file (it has no PLAYERS element)");
  forEachChild(players, "PLAYER",
               [&](const xmlNode* node) { read.players.push_back(readPlayer(reader, node)); });
  if (reader.failed()) {
    error = reader.error();
    return false;
  }
  report = std::move(read);
  return true;
}
