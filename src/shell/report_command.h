// "tarnbeck --report STATS.xml [OUT.html]": the race report of a stats file
// already saved, without the rest of the program (no lock, no settings
// file). Linux program only; main thread.
#pragma once

// True when the command line asks for a report.
bool isReportCommand(int argc, char** argv);

// Writes the report and returns the exit code: 0 when it was written; 2 with
// one line on the error output when the input is no readable stats file or
// the arguments are wrong (nothing is written then); 1 when the report
// cannot be written.
int runReportCommand(int argc, char** argv);
