// The report web site: its page for one uploaded stats file, and the address
// of its front page that the tray menu opens.
#pragma once

#include <string>

// The report page; the stats file's web address follows "rfile=".
extern const char kReportPageAddress[];
// The report site's front page.
extern const char kReportSiteAddress[];

// The report page address for an uploaded stats file: kReportPageAddress, the
// encoded HTTP address from the settings, then name unchanged.
std::string reportLink(const std::string& name);

// The address without its first seven characters (the length of "http://",
// whatever they are), every "/" written as "%2F"; nothing else is encoded.
std::string encodeHttpAddress(const std::string& address);
