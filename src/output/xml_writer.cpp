// The XML writer's token handling, element closing, value output and its
// output buffer.
#include "output/xml_writer.h"

#include <algorithm>
#include <array>
#include <charconv>

namespace {

// What escaping does with a byte.
enum CharClass : std::uint8_t { Plain, Ampersand, LessThan, GreaterThan, Quote, Dropped, TextEnd };

constexpr std::string_view kReplacements[] = {{}, "&amp;", "&lt;", "&gt;", "&quot;"};

// One table per place a text can go, so the scan looks each byte up once.
// Control characters XML 1.0 forbids anywhere in a document are dropped;
// everything after a NUL is not part of the text.
constexpr std::array<CharClass, 256> charClasses(bool inAttribute) {
  std::array<CharClass, 256> classes{};
  for (unsigned c = 1; c < 0x20; ++c) classes[c] = Dropped;
  classes['\t'] = classes['\n'] = classes['\r'] = Plain;
  classes[0] = TextEnd;
  classes['&'] = Ampersand;
  classes['<'] = LessThan;
  classes['>'] = GreaterThan;
  if (inAttribute) classes['"'] = Quote;
  return classes;
}

constexpr std::array<CharClass, 256> kContentClasses = charClasses(false);
constexpr std::array<CharClass, 256> kAttributeClasses = charClasses(true);

// Room for the names of a document's open elements, usually enough for all.
constexpr std::size_t kNamesAtStart = 256;

}  // namespace

XmlWriter::XmlWriter(std::ostream& out, std::size_t pieceSize)
    : out_(out), buffer_(new char[pieceSize ? pieceSize : 1]) {
  next_ = buffer_.get();
  end_ = next_ + (pieceSize ? pieceSize : 1);
  growNames(kNamesAtStart);
  nameStarts_.reserve(16);
}

XmlWriter::~XmlWriter() {
  if (state_ == XmlWriterState::InTagName) {
    // The nameless element was never pushed; it ends here as an empty element.
    put("/>");
    namesSize_ = collectedNameStart_;
    state_ = XmlWriterState::InContent;
  }
  // Each pass closes exactly the innermost element.
  while (!nameStarts_.empty()) closeElements({});
  flush();
}

void XmlWriter::flush() {
  handToStream(buffer_.get(), static_cast<std::size_t>(next_ - buffer_.get()));
  next_ = buffer_.get();
}

void XmlWriter::handToStream(const char* data, std::size_t size) {
  handedOn_ += size;
  // Straight into the stream's buffer; its rules stay: a stream that has
  // failed takes nothing more, and a piece that does not fit marks it bad.
  if (size == 0 || !out_) return;
  const auto length = static_cast<std::streamsize>(size);
  if (out_.rdbuf()->sputn(data, length) != length) out_.setstate(std::ios::badbit);
}

void XmlWriter::putPastPiece(const char* data, std::size_t size) {
  flush();
  if (size <= static_cast<std::size_t>(end_ - next_)) {
    std::memcpy(next_, data, size);
    next_ += size;
  } else {
    // Larger than a piece: it goes on as it is, after what came before it.
    handToStream(data, size);
  }
}

void XmlWriter::putEscaped(const char* text, const char* end) {
  const std::array<CharClass, 256>& classes =
      state_ == XmlWriterState::InAttributeValue ? kAttributeClasses : kContentClasses;
  const char* run = text;
  for (const char* p = text; p != end; ++p) {
    const CharClass kind = classes[static_cast<unsigned char>(*p)];
    if (kind == Plain) continue;
    if (p != run) put(run, static_cast<std::size_t>(p - run));
    if (kind == TextEnd) return;
    if (kind != Dropped) put(kReplacements[kind]);
    run = p + 1;
  }
  if (end != run) put(run, static_cast<std::size_t>(end - run));
}

void XmlWriter::growNames(std::size_t more) {
  // Doubling: the stack grows with the nesting depth, a few times a document.
  const std::size_t capacity = std::max(namesCapacity_ * 2, namesSize_ + more);
  std::unique_ptr<char[]> grown(new char[capacity]);
  if (namesSize_ != 0) std::memcpy(grown.get(), names_.get(), namesSize_);
  names_ = std::move(grown);
  namesCapacity_ = capacity;
}

void XmlWriter::finishStartTag(bool selfClosing) {
  if (state_ == XmlWriterState::InTagName) pushName(collectedNameStart_);
  if (state_ == XmlWriterState::InContent) return;
  if (state_ == XmlWriterState::InAttributeValue) put('"');
  if (selfClosing) put('/');
  put('>');
}

void XmlWriter::closeElements(std::string_view name) {
  while (!nameStarts_.empty()) {
    if (state_ == XmlWriterState::InContent) {
      put("</");
      put(innermostName());
      put('>');
    } else {
      // The innermost start tag is still open: the element has no content.
      finishStartTag(true);
      state_ = XmlWriterState::InContent;
    }
    const bool stop = name.empty() || name == innermostName();
    popName();
    if (stop) break;
  }
}

void XmlWriter::writeDeclaration() {
  if (declarationWritten_ || state_ != XmlWriterState::InContent) return;
  put("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n");
  declarationWritten_ = true;
}

void XmlWriter::startElementInGeneral(std::string_view name) {
  finishStartTag(false);
  put('<');
  if (!name.empty()) {
    put(name);
    pushName(namesSize_);
    appendToNames(name);
    state_ = XmlWriterState::InStartTag;
  } else {
    collectedNameStart_ = namesSize_;
    state_ = XmlWriterState::InTagName;
  }
}

void XmlWriter::startAttribute(std::string_view name) {
  if (state_ == XmlWriterState::InAttributeValue) {
    put('"');
  } else if (state_ == XmlWriterState::InTagName) {
    pushName(collectedNameStart_);
  }
  if (state_ == XmlWriterState::InContent) return;
  put(' ');
  if (!name.empty()) put(name);
  put("=\"");
  state_ = XmlWriterState::InAttributeValue;
}

void XmlWriter::writeName(std::string_view text) {
  if (text.empty()) return;
  appendToNames(text);
  put(text);
}

XmlWriter& XmlWriter::write(const char* text) {
  if (text == nullptr) return *this;
  if (state_ == XmlWriterState::InTagName) {
    writeName(text);
  } else {
    // A NUL-terminated text has no end but its NUL.
    putEscaped(text, nullptr);
  }
  return *this;
}
