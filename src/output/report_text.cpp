// Escaping, character set conversion, colour codes and time texts of the race report.
#include "output/report_text.h"

#include <cstdio>
#include <vector>

namespace {

void appendEscaped(std::string& html, unsigned char c) {
  switch (c) {
    case '&':
      html += "&amp;";
      break;
    case '<':
      html += "&lt;";
      break;
    case '>':
      html += "&gt;";
      break;
    case '"':
      html += "&quot;";
      break;
    case '\'':
      html += "&#39;";
      break;
    default:
      if (c < 0x20 || c == 0x7F) {
        // Left out, as the stats file leaves them out.
      } else if (c < 0x80) {
        html += static_cast<char>(c);
      } else {
        // ISO-8859-1 is the first 256 code points: two UTF-8 bytes each.
        html += static_cast<char>(0xC0 | (c >> 6));
        html += static_cast<char>(0x80 | (c & 0x3F));
      }
  }
}

// The characters the game writes as "^" and a letter inside texts.
char escapedCharacter(char code) {
  switch (code) {
    case 'v':
      return '|';
    case 'a':
      return '*';
    case 'c':
      return ':';
    case 'd':
      return '\\';
    case 's':
      return '/';
    case 'q':
      return '?';
    case 't':
      return '"';
    case 'l':
      return '<';
    case 'r':
      return '>';
    case 'h':
      return '#';
    case '^':
      return '^';
    default:
      return 0;
  }
}

// The game's code page switches ("^L" Latin-1, "^J" Japanese ...), which it
// does not show.
bool isCodePageSwitch(char code) { return std::string("LGCJETBHSK").find(code) != std::string::npos; }

std::string decodeEscapes(const std::string& text) {
  std::string decoded;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '^' && i + 1 < text.size()) {
      if (char c = escapedCharacter(text[i + 1])) {
        decoded += c;
        ++i;
        continue;
      }
      if (isCodePageSwitch(text[i + 1])) {
        ++i;
        continue;
      }
    }
    decoded += text[i];
  }
  return decoded;
}

struct ColourRun {
  int colour;  // 0-7, or -1 for the default colour
  std::string text;
};

// Colour codes are read before escapes: "^^1" is a "^" followed by a colour
// change, as in the game.
std::vector<ColourRun> colourRuns(const std::string& text) {
  // Control characters go first, as the stats file leaves them out, so they
  // cannot split or join a code.
  std::string name;
  for (char c : text) {
    const auto code = static_cast<unsigned char>(c);
    if (code >= 0x20 && code != 0x7F) name += c;
  }
  std::vector<ColourRun> runs{{-1, ""}};
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (name[i] == '^' && i + 1 < name.size() && name[i + 1] >= '0' && name[i + 1] <= '9') {
      const int colour = name[i + 1] >= '8' ? -1 : name[i + 1] - '0';
      runs.push_back(ColourRun{colour, ""});
      ++i;
      continue;
    }
    runs.back().text += name[i];
  }
  for (ColourRun& run : runs) run.text = decodeEscapes(run.text);
  return runs;
}

}  // namespace

std::string htmlText(const std::string& latin1) {
  std::string html;
  html.reserve(latin1.size() + 8);
  for (char c : latin1) appendEscaped(html, static_cast<unsigned char>(c));
  return html;
}

std::string plainName(const std::string& latin1) {
  std::string plain;
  for (const ColourRun& run : colourRuns(latin1)) plain += run.text;
  return plain;
}

std::string colouredName(const std::string& latin1) {
  std::string html;
  for (const ColourRun& run : colourRuns(latin1)) {
    if (run.text.empty()) continue;
    if (run.colour < 0) {
      html += htmlText(run.text);
    } else {
      html += "<span class=\"c" + std::to_string(run.colour) + "\">" + htmlText(run.text) + "</span>";
    }
  }
  return html;
}

std::int64_t hundredthsOf(const RaceTime& time) {
  return ((time.hours * 60LL + time.minutes) * 60LL + time.seconds) * 100LL + time.hundredths;
}

std::string durationText(std::int64_t hundredths) {
  const bool negative = hundredths < 0;
  if (negative) hundredths = -hundredths;
  const long long hours = hundredths / 360000;
  const long long minutes = hundredths / 6000 % 60;
  const long long seconds = hundredths / 100 % 60;
  const long long rest = hundredths % 100;
  char text[48];
  if (hours > 0) {
    std::snprintf(text, sizeof text, "%s%lld:%02lld:%02lld.%02lld", negative ? "-" : "", hours, minutes,
                  seconds, rest);
  } else {
    std::snprintf(text, sizeof text, "%s%lld:%02lld.%02lld", negative ? "-" : "", minutes, seconds, rest);
  }
  return text;
}

std::string lapTimeText(const RaceTime& time) { return durationText(hundredthsOf(time)); }

std::string totalTimeText(const ReportResult& result) {
  const std::string time = lapTimeText(result.totalTime);
  return result.totalTimeLead == 0 ? time : std::to_string(result.totalTimeLead) + ":" + time;
}

std::string gapText(std::int64_t hundredths) {
  if (hundredths < 6000) {
    char text[32];
    std::snprintf(text, sizeof text, "+%lld.%02lld", static_cast<long long>(hundredths / 100),
                  static_cast<long long>(hundredths % 100));
    return text;
  }
  return "+" + durationText(hundredths);
}

std::string lapsBehindText(std::uint32_t laps) {
  return "+" + std::to_string(laps) + (laps == 1 ? " lap" : " laps");
}

std::string penaltyText(std::uint32_t flags) {
  // The simulator's confirmation flags; "mentioned" and "confirmed" are no penalty.
  static const struct {
    std::uint32_t bit;
    const char* words;
  } kPenalties[] = {
      {4, "drive-through"}, {8, "stop-go"}, {16, "30 s"}, {32, "45 s"}, {64, "did not pit"},
  };
  std::string text;
  for (const auto& penalty : kPenalties) {
    if ((flags & penalty.bit) == 0) continue;
    if (!text.empty()) text += ", ";
    text += penalty.words;
  }
  // An unserved drive-through or stop-go, or a missed pit stop, disqualifies.
  if (flags & (4 | 8 | 64)) text = "disqualified: " + text;
  return text;
}
