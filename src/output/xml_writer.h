// A small streaming XML writer: markup goes straight into a borrowed output
// stream as the caller's tokens and values direct, keeping only the stack of
// open element names. Output is compact; whatever is open when the writer goes
// away is closed by it.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

enum class XmlTokenKind : std::uint8_t { Declaration, StartTag, EndTag, Attribute, BeginContent };

struct XmlToken {
  XmlTokenKind kind;
  std::string name;
};

XmlToken declaration();
// An empty name starts an element whose name is taken from the values written next.
XmlToken startTag(std::string_view name);
// Closes the innermost open element.
XmlToken endTag();
// Closes open elements up to and including the innermost one with this name
// (all of them when none has it).
XmlToken endTag(std::string_view name);
// The attribute's value is the next value written.
XmlToken attribute(std::string_view name);
XmlToken beginContent();

enum class XmlWriterState : std::uint8_t { InContent, InStartTag, InAttributeValue, InTagName };

class XmlWriter {
 public:
  explicit XmlWriter(std::ostream& out);
  ~XmlWriter();
  XmlWriter(const XmlWriter&) = delete;
  XmlWriter& operator=(const XmlWriter&) = delete;

  XmlWriter& write(const XmlToken& token);

  // Texts end at their first NUL. In element content and attribute values the
  // markup characters are written as entity references and control characters
  // XML does not allow are left out; a text forming an element name is written
  // as it is.
  XmlWriter& write(std::string_view text);
  XmlWriter& write(const char* text);
  XmlWriter& write(const std::string& text) { return write(std::string_view(text)); }

  // Decimal, as a default-formatted stream writes them; the declared type
  // decides the sign. Bytes are numbers too, never characters.
  XmlWriter& write(std::uint8_t value) { return write(static_cast<std::uint32_t>(value)); }
  XmlWriter& write(std::int16_t value) { return write(static_cast<std::int32_t>(value)); }
  XmlWriter& write(std::uint16_t value) { return write(static_cast<std::uint32_t>(value)); }
  XmlWriter& write(std::int32_t value);
  XmlWriter& write(std::uint32_t value);

  XmlWriterState state() const { return state_; }

 private:
  void finishStartTag(bool selfClosing);
  void closeElements(std::string_view name);
  // Collects the pieces of one call; flush hands them to the stream at its end.
  void writeRaw(std::string_view text);
  void writeEscaped(std::string_view text);
  void flush();

  std::ostream& out_;
  std::vector<std::string> openElements_;
  XmlWriterState state_ = XmlWriterState::InContent;
  bool declarationWritten_ = false;
  std::string tagNameBuffer_;
  std::string pending_;
};
