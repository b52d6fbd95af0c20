// Well-formedness and XPath checks on top of the platform's way of running xmllint.
#include "support/xml_check.h"

namespace {

// Characters above 0x7F come back from xmllint as two-byte UTF-8 sequences.
std::string utf8ToLatin1(const std::string& text) {
  std::string latin1;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if ((c == 0xC2 || c == 0xC3) && i + 1 < text.size()) {
      const unsigned char next = static_cast<unsigned char>(text[++i]);
      latin1 += static_cast<char>(((c & 0x03) << 6) | (next & 0x3F));
    } else {
      latin1 += static_cast<char>(c);
    }
  }
  return latin1;
}

}  // namespace

::testing::AssertionResult isWellFormedXml(const std::string& document) {
  const XmllintRun run = runXmllint(document, {"--noout"});
  if (!run.ran) return ::testing::AssertionFailure() << "xmllint could not be run: " << run.err;
  if (run.exitCode != 0 || !run.err.empty()) {
    return ::testing::AssertionFailure() << "xmllint rejects the document (exit " << run.exitCode << "):\n"
                                         << run.err << "\ndocument:\n"
                                         << document;
  }
  return ::testing::AssertionSuccess();
}

std::optional<std::string> xpathString(const std::string& document, const std::string& expression) {
  const XmllintRun run = runXmllint(document, {"--xpath", "string(" + expression + ")"});
  if (!run.ran || run.exitCode != 0) return std::nullopt;
  std::string value = run.out;
  if (!value.empty() && value.back() == '\n') value.pop_back();  // xmllint ends the value with a line feed
  return utf8ToLatin1(value);
}
