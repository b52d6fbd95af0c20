// Checks XML documents with a real parser, xmllint (libxml2): well-formedness
// and XPath look-ups, so a test sees a document the way a reader of the file does.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

struct XmllintRun {
  bool ran = false;  // false when xmllint could not be started or did not finish
  int exitCode = -1;
  std::string out;
  std::string err;
};

// Runs xmllint with the arguments, followed by the name of a file holding the
// document. Implemented per platform: under Wine the Linux xmllint is started
// through the host's shell.
XmllintRun runXmllint(const std::string& document, const std::vector<std::string>& arguments);

// Success when xmllint parses the document without a complaint; otherwise the
// parser's messages.
::testing::AssertionResult isWellFormedXml(const std::string& document);

// The XPath expression's string value (xmllint --xpath "string(...)"), with the
// parser's UTF-8 turned back into ISO-8859-1, the document's encoding.
// Nothing when the document does not parse or xmllint fails.
std::optional<std::string> xpathString(const std::string& document, const std::string& expression);
