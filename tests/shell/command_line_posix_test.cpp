// The Linux program's command line: where the folder option is taken from,
// what it is made into, and every way it can be unusable; the other
// arguments reach the launcher as the first argument always did.
#include "shell/command_line_posix.h"

#include "support/scratch_folder.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <vector>

namespace {

CommandLine read(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), "tarnbeck");
  std::vector<const char*> argv;
  for (const std::string& argument : arguments) argv.push_back(argument.c_str());
  return readCommandLine(static_cast<int>(argv.size()), argv.data());
}

struct LineCase {
  const char* name;
  std::vector<std::string> arguments;
  std::string folder;  // "@" stands for the scratch folder's path
  std::string firstArgument;
  bool help;
  std::string error;  // "@" stands for the scratch folder's path
};

std::string withScratch(const std::string& text, const std::string& scratch) {
  std::string out;
  for (char c : text) out += c == '@' ? scratch : std::string(1, c);
  return out;
}

TEST(CommandLineTest, FolderOptionHelpAndTheLaunchersArgument) {
  ScratchFolder folder;
  const std::string scratch = std::filesystem::canonical(folder.path()).string();
  writeFileBytes(folder.path() / "file", "x");
  const LineCase cases[] = {
      {"nothing", {}, "", "", false, ""},
      {"start option alone", {"-startlfs"}, "", "-startlfs", false, ""},
      {"start option with a tail, as before", {"-startlfsx", "more"}, "", "-startlfsx", false, ""},
      {"folder, then start option", {"--folder", "@", "-startlfs"}, "@", "-startlfs", false, ""},
      {"start option, then folder", {"-startlfs", "--folder", "@"}, "@", "-startlfs", false, ""},
      {"joined form", {"--folder=@"}, "@", "", false, ""},
      {"trailing separators go", {"--folder", "@//"}, "@", "", false, ""},
      {"dot and dot-dot resolved",
       {"--folder", "@/./../" + folder.path().filename().string()},
       "@",
       "",
       false,
       ""},
      {"help", {"--help"}, "", "--help", true, ""},
      {"short help after a folder", {"--folder", "@", "-h"}, "", "-h", true, ""},
      {"help wins over a bad folder", {"--folder", "@/none", "--help"}, "", "--help", true, ""},
      {"help only counts first", {"-startlfs", "--help"}, "", "-startlfs", false, ""},
      {"folder name missing", {"--folder"}, "", "", false, "tarnbeck: --folder needs the name of a folder"},
      {"folder name empty", {"--folder="}, "", "", false, "tarnbeck: --folder needs the name of a folder"},
      {"no such folder", {"--folder", "@/none"}, "", "", false, "tarnbeck: --folder @/none: no such folder"},
      {"a file, not a folder",
       {"--folder", "@/file"},
       "",
       "",
       false,
       "tarnbeck: --folder @/file: not a folder"},
      {"given twice", {"--folder", "@", "--folder", "@"}, "", "", false, "tarnbeck: --folder is given twice"},
      {"similar option is no folder option", {"--folders", "@"}, "", "--folders", false, ""},
  };
  for (const LineCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> arguments;
    for (const std::string& argument : c.arguments) arguments.push_back(withScratch(argument, scratch));
    const CommandLine line = read(arguments);
    EXPECT_EQ(line.folder, withScratch(c.folder, scratch));
    EXPECT_EQ(line.firstArgument, c.firstArgument);
    EXPECT_EQ(line.help, c.help);
    EXPECT_EQ(line.error, withScratch(c.error, scratch));
  }
}

TEST(CommandLineTest, RelativeFolderBecomesAbsolute) {
  ScratchFolder folder(ScratchFolder::MakeCurrent);
  std::filesystem::create_directory(folder.path() / "league1");
  const CommandLine line = read({"--folder", "league1"});
  EXPECT_EQ(line.error, "");
  EXPECT_EQ(line.folder, std::filesystem::canonical(folder.path() / "league1").string());
}

}  // namespace
