// A small streaming XML writer: markup is produced as the caller's tokens and
// values direct, kept in a buffer of the writer's own and handed to a borrowed
// output stream in large pieces, when asked to and when the writer goes away.
// It keeps the stack of open element names. Output is compact; whatever is
// open when the writer goes away is closed by it. Used by whichever thread
// writes the document (the network thread for stats files); a writer is used
// by one thread at a time.
#pragma once

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

enum class XmlTokenKind : std::uint8_t { Declaration, StartTag, EndTag, Attribute, BeginContent };

// The name is a view: the text it names must live until the token is written
// (a literal, or a string that outlasts the write call). The writer keeps its
// own copy of the names of the elements it has open.
struct XmlToken {
  XmlTokenKind kind;
  std::string_view name;
};

constexpr XmlToken declaration() { return XmlToken{XmlTokenKind::Declaration, {}}; }
// An empty name starts an element whose name is taken from the values written next.
constexpr XmlToken startTag(std::string_view name) { return XmlToken{XmlTokenKind::StartTag, name}; }
// Closes the innermost open element.
constexpr XmlToken endTag() { return XmlToken{XmlTokenKind::EndTag, {}}; }
// Closes open elements up to and including the innermost one with this name
// (all of them when none has it).
constexpr XmlToken endTag(std::string_view name) { return XmlToken{XmlTokenKind::EndTag, name}; }
// The attribute's value is the next value written.
constexpr XmlToken attribute(std::string_view name) { return XmlToken{XmlTokenKind::Attribute, name}; }
constexpr XmlToken beginContent() { return XmlToken{XmlTokenKind::BeginContent, {}}; }

enum class XmlWriterState : std::uint8_t { InContent, InStartTag, InAttributeValue, InTagName };

class XmlWriter {
 public:
  // Output reaches the stream in pieces of about this many bytes.
  static constexpr std::size_t kPieceSize = 64 * 1024;

  // Writes nothing yet. pieceSize 0 counts as 1.
  explicit XmlWriter(std::ostream& out, std::size_t pieceSize = kPieceSize);
  // Closes what is open and hands everything kept to the stream's buffer;
  // the stream itself is neither flushed nor closed.
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
  XmlWriter& write(std::int32_t value) { return writeNumber(value); }
  XmlWriter& write(std::uint32_t value) { return writeNumber(value); }

  // Hands the output kept so far to the stream. A stream that has failed
  // takes nothing more; one that does not take a whole piece is marked bad,
  // so the caller sees the failure on the stream as with any other write.
  void flush();

  // Bytes of output so far: handed to the stream (taken or not) or still kept.
  std::size_t outputSize() const { return handedOn_ + static_cast<std::size_t>(next_ - buffer_.get()); }

  XmlWriterState state() const { return state_; }

 private:
  // Token handlers. The inline ones take the common cases of a document (an
  // element opened between tags or in its parent's start tag, its content
  // begun, the innermost element closed, a value in content) and leave the
  // rest to the general handlers in the source file.
  void startElement(std::string_view name);
  void startElementInGeneral(std::string_view name);
  void startContent();
  void endElements(std::string_view name);
  void startAttribute(std::string_view name);
  void writeDeclaration();
  void finishStartTag(bool selfClosing);
  void closeElements(std::string_view name);

  template <typename Number>
  XmlWriter& writeNumber(Number value);
  void writeName(std::string_view text);

  bool fits(std::size_t size) const { return size <= static_cast<std::size_t>(end_ - next_); }
  void put(const char* data, std::size_t size) {
    if (fits(size)) {
      std::memcpy(next_, data, size);
      next_ += size;
    } else {
      putPastPiece(data, size);
    }
  }
  void put(std::string_view text) { put(text.data(), text.size()); }
  void put(char c) {
    if (next_ == end_) flush();
    *next_++ = c;
  }
  void putPastPiece(const char* data, std::size_t size);
  // Copies the text up to `end` or its first NUL, whichever comes first (a
  // null `end` for a NUL-terminated text), escaped for the current state.
  void putEscaped(const char* text, const char* end);
  void handToStream(const char* data, std::size_t size);

  void pushName(std::size_t start) { nameStarts_.push_back(start); }
  void appendToNames(std::string_view text) {
    if (text.size() > namesCapacity_ - namesSize_) growNames(text.size());
    std::memcpy(names_.get() + namesSize_, text.data(), text.size());
    namesSize_ += text.size();
  }
  void growNames(std::size_t more);
  std::string_view innermostName() const {
    return std::string_view(names_.get() + nameStarts_.back(), namesSize_ - nameStarts_.back());
  }
  void popName() {
    namesSize_ = nameStarts_.back();
    nameStarts_.pop_back();
  }

  std::ostream& out_;
  std::unique_ptr<char[]> buffer_;
  char* next_;
  char* end_;
  std::size_t handedOn_ = 0;
  // The names of the open elements end to end, innermost last, and where
  // each begins. A name collected from values grows at the end of the names
  // from `collectedNameStart_` until it is pushed.
  std::unique_ptr<char[]> names_;
  std::size_t namesSize_ = 0;
  std::size_t namesCapacity_ = 0;
  std::vector<std::size_t> nameStarts_;
  std::size_t collectedNameStart_ = 0;
  XmlWriterState state_ = XmlWriterState::InContent;
  bool declarationWritten_ = false;
};

inline XmlWriter& XmlWriter::write(const XmlToken& token) {
  switch (token.kind) {
    case XmlTokenKind::Declaration:
      writeDeclaration();
      break;
    case XmlTokenKind::StartTag:
      startElement(token.name);
      break;
    case XmlTokenKind::Attribute:
      startAttribute(token.name);
      break;
    case XmlTokenKind::BeginContent:
      startContent();
      break;
    case XmlTokenKind::EndTag:
      endElements(token.name);
      break;
  }
  return *this;
}

inline void XmlWriter::startElement(std::string_view name) {
  const bool simple = state_ == XmlWriterState::InContent || state_ == XmlWriterState::InStartTag;
  if (!simple || name.empty() || !fits(name.size() + 2)) return startElementInGeneral(name);
  if (state_ == XmlWriterState::InStartTag) *next_++ = '>';
  *next_++ = '<';
  std::memcpy(next_, name.data(), name.size());
  next_ += name.size();
  pushName(namesSize_);
  appendToNames(name);
  state_ = XmlWriterState::InStartTag;
}

inline void XmlWriter::startContent() {
  if (state_ == XmlWriterState::InStartTag && next_ != end_) {
    *next_++ = '>';
    state_ = XmlWriterState::InContent;
    return;
  }
  finishStartTag(false);
  state_ = XmlWriterState::InContent;
}

inline void XmlWriter::endElements(std::string_view name) {
  const bool simple = state_ == XmlWriterState::InContent || state_ == XmlWriterState::InStartTag;
  if (simple && name.empty() && !nameStarts_.empty()) {
    const std::string_view innermost = innermostName();
    if (fits(innermost.size() + 3)) {
      if (state_ == XmlWriterState::InContent) {
        *next_++ = '<';
        *next_++ = '/';
        std::memcpy(next_, innermost.data(), innermost.size());
        next_ += innermost.size();
      } else {
        *next_++ = '/';
        state_ = XmlWriterState::InContent;
      }
      *next_++ = '>';
      popName();
      return;
    }
  }
  closeElements(name);
}

inline XmlWriter& XmlWriter::write(std::string_view text) {
  if (state_ == XmlWriterState::InTagName) {
    writeName(text.substr(0, text.find('\0')));
  } else {
    putEscaped(text.data(), text.data() + text.size());
  }
  return *this;
}

template <typename Number>
XmlWriter& XmlWriter::writeNumber(Number value) {
  // Digits and a minus sign need no escaping; in a tag name they are collected.
  char digits[16];
  const char* end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  const std::string_view text(digits, static_cast<std::size_t>(end - digits));
  if (state_ == XmlWriterState::InTagName) {
    writeName(text);
  } else {
    put(text);
  }
  return *this;
}
