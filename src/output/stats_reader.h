// Reads a saved stats file back into a race report, with a real XML parser.
// Only the Linux program has it (libxml2); main thread of the report command.
#pragma once

#include "output/report_model.h"

#include <string>

// False, with a one-line reason in error, when the file cannot be read, is
// not well-formed XML, is not a stats document or holds a value that is not
// what a stats file writes there. Elements that older files lack are left at
// their empty values. savedAt is left empty.
bool readStatsFile(const std::string& path, RaceReport& report, std::string& error);
