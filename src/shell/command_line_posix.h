// The Linux program's command line: the folder option, the help request and
// the argument the simulator launcher looks at. Read once on the main thread
// at start-up.
#pragma once

#include <string>

struct CommandLine {
  // --help or -h came first (after any folder option).
  bool help = false;
  // The folder named by --folder DIR (or --folder=DIR), made absolute; empty
  // without the option, so the executable's folder is used.
  std::string folder;
  // The first argument that is not the folder option, as the launcher reads
  // it ("-startlfs"); later ones are ignored as they always were.
  std::string firstArgument;
  // Why the command line cannot be used, as one line for the error output;
  // empty when it can.
  std::string error;
};

CommandLine readCommandLine(int argc, const char* const* argv);
