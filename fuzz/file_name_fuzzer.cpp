// Stats file naming over any template and any race info: the name always lies
// in the stats folder, whatever the track code from the network holds, and a
// template without tags is the file name unchanged.
#include "config/settings.h"
#include "fuzz_support.h"
#include "output/stats_file.h"
#include "race/race_model.h"
#include "system/clock.h"
#include "system/executable_path.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace {

const std::string& outputFolder() {
  static const std::string folder = [] {
    std::string path = scratchFolder() + "/out" + pathSeparator();
    std::filesystem::create_directories(path);
    Settings settings;
    settings.outputpath = path;
    replaceSettings(settings);
    setFixedLocalTime(LocalTime{2006, 11, 21, 12, 6, 0});
    return path;
  }();
  return folder;
}

// Tag texts the program knows, so the fuzzer meets them often.
const char* const kTags[] = {"[DATE]", "[TIME]", "[TRACK]", "[MODE]", "[MODE+]", "[PLAYER]", "[", "]"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string& folder = outputFolder();
  FuzzInput input(data, size);
  const std::uint8_t shape = input.byte();
  std::optional<RaceInfo> info;
  if (shape & 1) {
    RaceStats race;
    race.setRaceInfo(input.paddedBytes(6), input.byte(), 0, 0, (shape & 2) ? input.byte() : 0);
    info = race.info;
  }
  // The template is the user's: pieces of it come from the input, tags from the list.
  std::string nameTemplate;
  while (!input.empty()) {
    const std::uint8_t piece = input.byte();
    if (piece >= 0xF8) {
      nameTemplate += kTags[piece - 0xF8];
    } else {
      nameTemplate += input.bytes(piece % 16);
    }
  }
  // A NUL cannot come from the settings file and would end the path early.
  if (nameTemplate.find('\0') != std::string::npos) return 0;

  const std::string path = makeStatsFileName(nameTemplate, info);
  FUZZ_CHECK(statsFolder() == folder, "the output folder changed");
  FUZZ_CHECK(path.compare(0, folder.size(), folder) == 0,
             "the name does not start with the output folder: " + path);
  const std::string name = path.substr(folder.size());
  if (nameTemplate.find('[') == std::string::npos) {
    FUZZ_CHECK(name == nameTemplate, "a template without tags is not the name unchanged");
  }
  // Only the template may lead elsewhere; nothing from the race can.
  const bool templateStaysInFolder =
      nameTemplate.find(pathSeparator()) == std::string::npos && nameTemplate.find('/') == std::string::npos;
  if (templateStaysInFolder) {
    FUZZ_CHECK(name.find(pathSeparator()) == std::string::npos && name.find('/') == std::string::npos,
               "the race info put a folder separator into the name: " + name);
  }
  if (info) {
    const std::string track = expandTag("TRACK", info);
    FUZZ_CHECK(track.size() == info->track.size(), "the track code changed its length in the name");
    // Dots alone would name the folder or its parent where the track is a whole path step.
    FUZZ_CHECK(track.empty() || track.find_first_not_of('.') != std::string::npos,
               "the track code can name a folder: " + track);
    // Nothing a file name on Windows may not hold.
    for (char c : track) {
      const auto code = static_cast<unsigned char>(c);
      FUZZ_CHECK(
          code >= 0x20 && code != 0x7F && std::string_view("\\/:*?\"<>|").find(c) == std::string_view::npos,
          "an unsafe character from the track: " + track);
    }
  }
  return 0;
}
