// Where a stats file's race report goes and how it is written: beside the
// stats file, the same name with ".html". Network thread at save time; the
// report command and the upload step use the naming as well.
#pragma once

#include "output/report_model.h"

#include <string>

// The stats file's name with its extension replaced by ".html" (or ".html"
// added when it has none), in the same folder. A stats file that is itself
// named ".html" gets a second ".html", so the report never replaces it.
std::string reportPathBeside(const std::string& statsPath);

// Writes the report to path, complete or not at all: a partial file is removed.
bool saveHtmlReport(const std::string& path, const RaceReport& report);
