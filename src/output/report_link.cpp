// Report page addresses for uploaded stats files.
#include "output/report_link.h"

#include "config/settings.h"

const char kReportPageAddress[] = "http://lfsreport.example.com/lfsreport/index.php?qfile=&rfile=";
const char kReportSiteAddress[] = "http://lfsreport.example.com/lfsreport/";

std::string reportLink(const std::string& name) {
  return kReportPageAddress + encodeHttpAddress(httpAddress()) + name;
}

std::string encodeHttpAddress(const std::string& address) {
  const std::string::size_type kSchemeLength = 7;
  std::string encoded;
  if (address.size() <= kSchemeLength) return encoded;
  for (std::string::size_type i = kSchemeLength; i < address.size(); ++i) {
    if (address[i] == '/') {
      encoded += "%2F";
    } else {
      encoded += address[i];
    }
  }
  return encoded;
}
