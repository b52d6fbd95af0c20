// The XML writer's token handling, element closing and value output.
#include "output/xml_writer.h"

#include <charconv>

namespace {

// Everything after a NUL is not part of the text.
std::string_view untilNul(std::string_view text) {
  const std::size_t nul = text.find('\0');
  return nul == std::string_view::npos ? text : text.substr(0, nul);
}

// Control characters XML 1.0 forbids anywhere in a document.
bool isForbiddenControl(unsigned char c) { return c < 0x20 && c != '\t' && c != '\n' && c != '\r'; }

}  // namespace

XmlToken declaration() { return XmlToken{XmlTokenKind::Declaration, {}}; }
XmlToken startTag(std::string_view name) { return XmlToken{XmlTokenKind::StartTag, std::string(name)}; }
XmlToken endTag() { return XmlToken{XmlTokenKind::EndTag, {}}; }
XmlToken endTag(std::string_view name) { return XmlToken{XmlTokenKind::EndTag, std::string(name)}; }
XmlToken attribute(std::string_view name) { return XmlToken{XmlTokenKind::Attribute, std::string(name)}; }
XmlToken beginContent() { return XmlToken{XmlTokenKind::BeginContent, {}}; }

XmlWriter::XmlWriter(std::ostream& out) : out_(out) {}

XmlWriter::~XmlWriter() {
  if (state_ == XmlWriterState::InTagName) {
    // The nameless element was never pushed; it ends here as an empty element.
    writeRaw("/>");
    state_ = XmlWriterState::InContent;
  }
  while (!openElements_.empty()) {
    const std::string innermost = openElements_.back();
    closeElements(innermost);
  }
  flush();
}

void XmlWriter::writeRaw(std::string_view text) { pending_.append(text); }

void XmlWriter::flush() {
  // The pieces of one call go out together and straight into the stream's
  // buffer: a document is made of many short pieces, and the stream's own
  // write spends more time on its checks per call than on the bytes. Its
  // rules stay: a stream that has failed takes nothing more, and a piece that
  // does not fit marks it bad.
  if (!pending_.empty() && out_) {
    const auto size = static_cast<std::streamsize>(pending_.size());
    if (out_.rdbuf()->sputn(pending_.data(), size) != size) out_.setstate(std::ios::badbit);
  }
  pending_.clear();
}

void XmlWriter::writeEscaped(std::string_view text) {
  const bool inAttribute = state_ == XmlWriterState::InAttributeValue;
  std::size_t runStart = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    std::string_view replacement;
    bool drop = false;
    if (c == '&') {
      replacement = "&amp;";
    } else if (c == '<') {
      replacement = "&lt;";
    } else if (c == '>') {
      replacement = "&gt;";
    } else if (c == '"' && inAttribute) {
      replacement = "&quot;";
    } else if (isForbiddenControl(c)) {
      drop = true;
    } else {
      continue;
    }
    writeRaw(text.substr(runStart, i - runStart));
    if (!drop) writeRaw(replacement);
    runStart = i + 1;
  }
  writeRaw(text.substr(runStart));
}

void XmlWriter::finishStartTag(bool selfClosing) {
  if (state_ == XmlWriterState::InTagName) openElements_.push_back(tagNameBuffer_);
  if (state_ == XmlWriterState::InContent) return;
  if (state_ == XmlWriterState::InAttributeValue) writeRaw("\"");
  if (selfClosing) writeRaw("/");
  writeRaw(">");
}

void XmlWriter::closeElements(std::string_view name) {
  while (!openElements_.empty()) {
    if (state_ == XmlWriterState::InContent) {
      writeRaw("</");
      writeRaw(openElements_.back());
      writeRaw(">");
    } else {
      // The innermost start tag is still open: the element has no content.
      finishStartTag(true);
      state_ = XmlWriterState::InContent;
    }
    const bool stop = name.empty() || name == openElements_.back();
    openElements_.pop_back();
    if (stop) break;
  }
}

XmlWriter& XmlWriter::write(const XmlToken& token) {
  switch (token.kind) {
    case XmlTokenKind::Declaration:
      if (!declarationWritten_ && state_ == XmlWriterState::InContent) {
        writeRaw("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n");
        declarationWritten_ = true;
      }
      break;
    case XmlTokenKind::StartTag:
      finishStartTag(false);
      writeRaw("<");
      if (!token.name.empty()) {
        writeRaw(token.name);
        openElements_.push_back(token.name);
        state_ = XmlWriterState::InStartTag;
      } else {
        tagNameBuffer_.clear();
        state_ = XmlWriterState::InTagName;
      }
      break;
    case XmlTokenKind::Attribute:
      if (state_ == XmlWriterState::InAttributeValue) {
        writeRaw("\"");
      } else if (state_ == XmlWriterState::InTagName) {
        openElements_.push_back(tagNameBuffer_);
      }
      if (state_ != XmlWriterState::InContent) {
        writeRaw(" ");
        writeRaw(token.name);
        writeRaw("=\"");
        state_ = XmlWriterState::InAttributeValue;
      }
      break;
    case XmlTokenKind::BeginContent:
      finishStartTag(false);
      state_ = XmlWriterState::InContent;
      break;
    case XmlTokenKind::EndTag:
      closeElements(token.name);
      break;
  }
  flush();
  return *this;
}

XmlWriter& XmlWriter::write(std::string_view text) {
  text = untilNul(text);
  if (state_ == XmlWriterState::InTagName) {
    tagNameBuffer_.append(text);
    writeRaw(text);
  } else {
    writeEscaped(text);
  }
  flush();
  return *this;
}

XmlWriter& XmlWriter::write(const char* text) { return write(std::string_view(text ? text : "")); }

XmlWriter& XmlWriter::write(std::int32_t value) {
  char digits[16];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  // Digits and a minus sign need no escaping; in a tag name they are collected.
  return write(std::string_view(digits, static_cast<std::size_t>(end - digits)));
}

XmlWriter& XmlWriter::write(std::uint32_t value) {
  char digits[16];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  return write(std::string_view(digits, static_cast<std::size_t>(end - digits)));
}
