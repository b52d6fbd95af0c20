// The XML writer driven by any sequence of tokens and values, used as its
// callers use it (valid names, a value only where a value may go, each
// attribute once per element), with output pieces from one byte to the
// default size and flushes in between: after each flush the stream holds
// every byte produced so far; once the writer is gone, the output is the same
// as that of a writer with pieces of another size (one byte against the
// default), well-formed XML to a real parser, holds one element per start
// tag, and gives back every text and attribute value that was written.
#include "fuzz_support.h"
#include "output/xml_writer.h"

#include <libxml/parser.h>

#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

namespace {

const char kNameStart[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz_";
const char kNameRest[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz_0123456789.-";
const char* const kKnownNames[] = {"TRBKSTATS", "PLAYER", "LAPS", "LAP", "SPLITS", "SPLIT", "NAME", "A", "B"};
const std::string kDeclaration = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n";
// libxml2 nests at most 2048 elements deep, even with its "huge" option.
constexpr std::size_t kMaxElements = 1000;
// Small pieces put the ends of pieces everywhere in the markup.
const std::size_t kPieceSizes[] = {1, 2, 3, 7, 16, 64, XmlWriter::kPieceSize};
constexpr std::uint8_t kFlushFirst = 13 * 16;

std::string makeName(FuzzInput& input) {
  const std::uint8_t choice = input.byte();
  if (choice < 128) return kKnownNames[choice % (sizeof kKnownNames / sizeof kKnownNames[0])];
  std::string name(1, kNameStart[input.byte() % (sizeof kNameStart - 1)]);
  const std::size_t length = input.byte() % 12;
  for (std::size_t i = 0; i < length; ++i) name += kNameRest[input.byte() % (sizeof kNameRest - 1)];
  return name;
}

// What a text becomes in the writer: cut at its NUL, without the control
// characters XML forbids.
std::string writtenText(std::string text) {
  const std::size_t nul = text.find('\0');
  if (nul != std::string::npos) text.resize(nul);
  std::string kept;
  for (char c : text) {
    const auto code = static_cast<unsigned char>(c);
    if (code >= 0x20 || c == '\t' || c == '\n' || c == '\r') kept += c;
  }
  return kept;
}

// A parser reads every CR LF pair and every lone CR as LF ...
std::string parsedLineEnds(const std::string& text) {
  std::string result;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      result += '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      result += text[i];
    }
  }
  return result;
}

// ... and, in an attribute value, every tab and line end as a space.
std::string parsedAttributeValue(const std::string& text) {
  std::string result = parsedLineEnds(text);
  for (char& c : result) {
    if (c == '\t' || c == '\n') c = ' ';
  }
  return result;
}

std::string latin1(const xmlChar* utf8) {
  // The parser hands back UTF-8; the writer's bytes are ISO-8859-1.
  std::string result;
  for (const xmlChar* p = utf8; p && *p; ++p) {
    if (*p < 0x80) {
      result += static_cast<char>(*p);
    } else {
      result += static_cast<char>(((p[0] & 0x03) << 6) | (p[1] & 0x3F));
      ++p;
    }
  }
  return result;
}

// Bytes outside printable ASCII as hexadecimal escapes, for messages.
std::string visible(const std::string& text) {
  std::string shown;
  for (char c : text) {
    const auto code = static_cast<unsigned char>(c);
    if (code >= 0x20 && code < 0x7F) {
      shown += c;
    } else {
      const char digits[] = "0123456789abcdef";
      shown += "\\x";
      shown += digits[code >> 4];
      shown += digits[code & 15];
    }
  }
  return shown;
}

struct ParsedTexts {
  std::size_t elements = 0;
  std::size_t attributes = 0;
  std::string content;
  std::string attributeValues;
};

void collect(const xmlNode* node, ParsedTexts& parsed) {
  for (; node != nullptr; node = node->next) {
    if (node->type == XML_TEXT_NODE) parsed.content += latin1(node->content);
    if (node->type != XML_ELEMENT_NODE) continue;
    ++parsed.elements;
    for (const xmlAttr* attribute = node->properties; attribute; attribute = attribute->next) {
      ++parsed.attributes;
      xmlChar* value = xmlNodeListGetString(node->doc, attribute->children, 1);
      parsed.attributeValues += latin1(value);
      xmlFree(value);
    }
    collect(node->children, parsed);
  }
}

// The texts written, in runs that reach the output without markup between
// them: a parser joins a CR and a LF into one line end only within a run.
class TextRuns {
 public:
  void add(std::size_t outputSize, const std::string& text) {
    if (outputSize != runEnd_) close();
    run_ += text;
  }
  void wrote(std::size_t outputSize) { runEnd_ = outputSize; }
  // Everything written, each run as the parser reads it.
  std::string parsed(std::string (*reading)(const std::string&)) {
    close();
    std::string all;
    for (const std::string& run : runs_) all += reading(run);
    return all;
  }

 private:
  void close() {
    if (!run_.empty()) runs_.push_back(run_);
    run_.clear();
  }
  std::vector<std::string> runs_;
  std::string run_;
  std::size_t runEnd_ = 0;
};

class Driver {
 public:
  explicit Driver(FuzzInput& input) : input_(input) {
    // The input's length picks the piece size, so the operations keep their bytes.
    const std::size_t pieceSize =
        kPieceSizes[input_.remaining() % (sizeof kPieceSizes / sizeof kPieceSizes[0])];
    writer_.emplace(out_, pieceSize);
    // The writer to compare with hands on its bytes in pieces of another size.
    other_.emplace(otherOut_, pieceSize == XmlWriter::kPieceSize ? 1 : XmlWriter::kPieceSize);
  }

  void run() {
    while (!input_.empty()) step();
  }

  // Ends the writer, which closes what is still open, and checks the result.
  void finish() {
    flushed();
    writer_.reset();
    other_.reset();
    std::string output = out_.str();
    FUZZ_CHECK(output == otherOut_.str(), "the output depends on the piece size\n" + visible(output) +
                                              "\nother pieces: " + visible(otherOut_.str()));
    if (declared_) {
      FUZZ_CHECK(output.compare(0, kDeclaration.size(), kDeclaration) == 0,
                 "the declaration leads the document");
      output.erase(0, kDeclaration.size());
    }
    FUZZ_CHECK(output.find(kDeclaration) == std::string::npos, "a second declaration");
    // Several top-level elements and text are fine for the writer: a wrapper
    // makes one document of them.
    const std::string document = kDeclaration + "<fuzzwrapper>" + output + "</fuzzwrapper>";
    std::string error;
    const XmlDocument doc = parseXml(document, error, XML_PARSE_HUGE);
    FUZZ_CHECK(doc != nullptr, "not well-formed: " + error + "\n" + output);
    ParsedTexts parsed;
    collect(xmlDocGetRootElement(doc.get())->children, parsed);
    FUZZ_CHECK(parsed.elements == elements_, "one element per start tag\n" + output);
    FUZZ_CHECK(parsed.attributes == attributes_, "one attribute per attribute token\n" + output);
    const std::string content = content_.parsed(parsedLineEnds);
    FUZZ_CHECK(parsed.content == content, "element content differs\n" + output + "\nparsed: " +
                                              visible(parsed.content) + "\nwritten: " + visible(content));
    const std::string values = attributeValues_.parsed(parsedAttributeValue);
    FUZZ_CHECK(parsed.attributeValues == values, "attribute values differ\n" + output +
                                                     "\nparsed: " + visible(parsed.attributeValues) +
                                                     "\nwritten: " + visible(values));
  }

 private:
  // Everything produced so far, whether or not it has reached the stream.
  std::size_t outputSize() { return writer_->outputSize(); }

  // Every call goes to the writer under test and to the one to compare with.
  template <typename Argument>
  void write(const Argument& argument) {
    writer_->write(argument);
    other_->write(argument);
  }

  void flushed() {
    writer_->flush();
    FUZZ_CHECK(static_cast<std::size_t>(out_.tellp()) == writer_->outputSize(),
               "a flush left bytes behind or lost them");
  }

  void step() {
    const XmlWriter& writer = *writer_;
    // An operation byte from kFlushFirst on also flushes the writer first.
    const std::uint8_t operation = input_.byte();
    if (operation >= kFlushFirst) flushed();
    switch (operation % 13) {
      case 0: {
        // A declaration only opens a document; a second one writes nothing.
        const std::size_t before = outputSize();
        if (before != 0 && !declared_) return;
        write(declaration());
        if (declared_) FUZZ_CHECK(outputSize() == before, "a second declaration wrote something");
        declared_ = true;
        return;
      }
      case 1:
        if (elements_ >= kMaxElements) return;
        write(startTag(makeName(input_)));
        startedElement();
        return;
      case 2: {
        if (elements_ >= kMaxElements) return;
        // The name comes from the values written next; its first one is due at once.
        write(startTag(""));
        startedElement();
        FUZZ_CHECK(writer.state() == XmlWriterState::InTagName, "a nameless start tag waits for its name");
        write(std::string(1, kNameStart[input_.byte() % (sizeof kNameStart - 1)]));
        return;
      }
      case 3:
        write(endTag());
        return;
      case 4:
        write(endTag(makeName(input_)));
        return;
      case 5: {
        const std::string name = makeName(input_);
        const std::size_t before = outputSize();
        const XmlWriterState state = writer.state();
        if (state != XmlWriterState::InContent && !tagAttributes_.insert(name).second) return;
        write(attribute(name));
        if (state == XmlWriterState::InContent) {
          FUZZ_CHECK(outputSize() == before && writer.state() == XmlWriterState::InContent,
                     "an attribute between tags wrote something");
        } else {
          ++attributes_;
        }
        return;
      }
      case 6:
        write(beginContent());
        return;
      case 7:
        value(input_.shortText());
        return;
      case 8:
        value(static_cast<std::int16_t>(input_.u16()));
        return;
      case 9:
        value(static_cast<std::uint16_t>(input_.u16()));
        return;
      case 10:
        value(static_cast<std::int32_t>(input_.u16() | (static_cast<std::uint32_t>(input_.u16()) << 16)));
        return;
      case 11:
        value(input_.u16() | (static_cast<std::uint32_t>(input_.u16()) << 16));
        return;
      default:
        value(static_cast<std::uint8_t>(input_.byte()));
        return;
    }
  }

  void startedElement() {
    ++elements_;
    tagAttributes_.clear();
  }

  template <typename Value>
  void value(Value raw) {
    const XmlWriter& writer = *writer_;
    std::string text;
    if constexpr (std::is_same_v<Value, std::string>) {
      text = raw;
    } else {
      text = std::to_string(+raw);
    }
    switch (writer.state()) {
      case XmlWriterState::InContent:
        content_.add(outputSize(), writtenText(text));
        write(raw);
        content_.wrote(outputSize());
        return;
      case XmlWriterState::InAttributeValue:
        attributeValues_.add(outputSize(), writtenText(text));
        write(raw);
        attributeValues_.wrote(outputSize());
        return;
      case XmlWriterState::InTagName: {
        // Inside a name only name characters are written, as a caller would.
        std::string name;
        for (char c : text) name += kNameRest[static_cast<unsigned char>(c) % (sizeof kNameRest - 1)];
        write(name);
        return;
      }
      case XmlWriterState::InStartTag:
        // Between a name and its attributes a value has no place.
        return;
    }
  }

  FuzzInput& input_;
  std::ostringstream out_;
  std::optional<XmlWriter> writer_;
  std::ostringstream otherOut_;
  std::optional<XmlWriter> other_;
  bool declared_ = false;
  std::size_t elements_ = 0;
  std::size_t attributes_ = 0;
  std::set<std::string> tagAttributes_;
  TextRuns content_;
  TextRuns attributeValues_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput input(data, size);
  Driver driver(input);
  driver.run();
  driver.finish();
  return 0;
}
