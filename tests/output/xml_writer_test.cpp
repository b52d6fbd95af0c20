// Byte output of the XML writer: tokens, element closing, values, escaping,
// what the writer closes when it goes away, and what reaches the stream once
// the writer is flushed or gone, also when the stream fails.
#include "output/xml_writer.h"

#include "support/xml_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <limits>
#include <sstream>
#include <streambuf>
#include <string>

namespace {

// Everything the writer produced, including what it closed when destroyed.
std::string written(const std::function<void(XmlWriter&)>& steps) {
  std::ostringstream out;
  {
    XmlWriter writer(out);
    steps(writer);
  }
  return out.str();
}

struct WriterCase {
  const char* what;
  std::function<void(XmlWriter&)> steps;
  std::string expected;
};

const char kDeclaration[] = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n";

TEST(XmlWriterOutput, TokensAndClosing) {
  const WriterCase cases[] = {
      {"nothing written", [](XmlWriter&) {}, ""},
      {"declaration once",
       [](XmlWriter& w) { w.write(declaration()).write(declaration()).write(startTag("R")); },
       std::string(kDeclaration) + "<R/>"},
      {"declaration inside an open start tag is ignored",
       [](XmlWriter& w) { w.write(startTag("A")).write(declaration()); }, "<A/>"},
      {"attribute between elements writes nothing", [](XmlWriter& w) { w.write(attribute("k")).write("v"); },
       "v"},
      {"element without content", [](XmlWriter& w) { w.write(startTag("A")).write(endTag()); }, "<A/>"},
      {"attribute on an element without content",
       [](XmlWriter& w) { w.write(startTag("A")).write(attribute("k")).write("v").write(endTag()); },
       "<A k=\"v\"/>"},
      {"begun but empty content",
       [](XmlWriter& w) { w.write(startTag("A")).write(beginContent()).write(endTag()); }, "<A></A>"},
      {"text content",
       [](XmlWriter& w) { w.write(startTag("NAME")).write(beginContent()).write("n").write(endTag()); },
       "<NAME>n</NAME>"},
      {"two attributes, then content",
       [](XmlWriter& w) {
         w.write(startTag("R")).write(attribute("a")).write(1).write(attribute("b")).write("x");
         w.write(beginContent()).write("c");
       },
       "<R a=\"1\" b=\"x\">c</R>"},
      {"a child start tag finishes its parent's",
       [](XmlWriter& w) { w.write(startTag("R")).write(attribute("a")).write("1").write(startTag("C")); },
       "<R a=\"1\"><C/></R>"},
      {"named end tag closes up to that element and leaves the outer one open",
       [](XmlWriter& w) {
         w.write(startTag("R")).write(beginContent()).write(startTag("A")).write(beginContent());
         w.write(startTag("B")).write(beginContent()).write(endTag("A")).write("x");
       },
       "<R><A><B></B></A>x</R>"},
      {"named end tag of an element not open closes everything",
       [](XmlWriter& w) {
         w.write(startTag("R")).write(beginContent()).write(startTag("A")).write(beginContent());
         w.write(endTag("X")).write("after");
       },
       "<R><A></A></R>after"},
      {"end tag names are case-sensitive",
       [](XmlWriter& w) { w.write(startTag("R")).write(startTag("a")).write(endTag("r")); }, "<R><a/></R>"},
      {"end tag with nothing open", [](XmlWriter& w) { w.write(endTag()).write(endTag("R")); }, ""},
      {"named end tag of an element whose start tag is open",
       [](XmlWriter& w) {
         w.write(startTag("R")).write(startTag("L")).write(startTag("S")).write(endTag("L"));
       },
       "<R><L><S/></L></R>"},
      {"destroyed with a start tag open inside an element",
       [](XmlWriter& w) { w.write(startTag("R")).write(beginContent()).write(startTag("B")); },
       "<R><B/></R>"},
      {"destroyed inside an attribute value",
       [](XmlWriter& w) { w.write(startTag("A")).write(attribute("k")).write("v"); }, "<A k=\"v\"/>"},
      {"name from values",
       [](XmlWriter& w) {
         w.write(startTag("")).write("N").write(beginContent()).write("x").write(endTag());
       },
       "<N>x</N>"},
      {"name from several values, then an attribute",
       [](XmlWriter& w) {
         w.write(startTag("")).write("P").write(std::uint16_t{7}).write(attribute("k")).write("v");
         w.write(endTag("P7")).write("z");
       },
       "<P7 k=\"v\"/>z"},
      {"name from values ended by a child start tag",
       [](XmlWriter& w) { w.write(startTag("")).write("N").write(startTag("C")).write(endTag("N")); },
       "<N><C/></N>"},
      {"destroyed while a name is being collected",
       [](XmlWriter& w) { w.write(startTag("R")).write(startTag("")).write("N"); }, "<R><N/></R>"},
      {"end tag while a name is being collected inside an element",
       [](XmlWriter& w) { w.write(startTag("R")).write(startTag("")).write("N").write(endTag()).write("t"); },
       "<R><N/>t</R>"},
      {"names from values nested, closed by the outer one's name",
       [](XmlWriter& w) {
         w.write(startTag("")).write("A").write(startTag("")).write("B").write(std::uint8_t{2});
         w.write(beginContent()).write("x").write(endTag("A")).write("y");
       },
       "<A><B2>x</B2></A>y"},
      {"an empty name from values",
       [](XmlWriter& w) {
         w.write(startTag("R")).write(startTag("")).write(attribute("k")).write(endTag(""));
       },
       "<R>< k=\"\"/></R>"},
      {"a name ends at its NUL",
       [](XmlWriter& w) {
         w.write(startTag("R"))
             .write(startTag(""))
             .write(std::string("N\0X", 3))
             .write(endTag("N"))
             .write("t");
       },
       "<R><N/>t</R>"},
  };
  for (const WriterCase& c : cases) EXPECT_EQ(written(c.steps), c.expected) << c.what;
}

TEST(XmlWriterOutput, NumbersAreDecimalAndSignedByTheirType) {
  const WriterCase cases[] = {
      {"signed 16-bit -1", [](XmlWriter& w) { w.write(std::int16_t{-1}); }, "-1"},
      {"the same bits unsigned", [](XmlWriter& w) { w.write(std::uint16_t{0xFFFF}); }, "65535"},
      {"signed 32-bit minimum", [](XmlWriter& w) { w.write(std::numeric_limits<std::int32_t>::min()); },
       "-2147483648"},
      {"unsigned 32-bit maximum", [](XmlWriter& w) { w.write(std::numeric_limits<std::uint32_t>::max()); },
       "4294967295"},
      {"a byte is a number, not a character", [](XmlWriter& w) { w.write(std::uint8_t{65}); }, "65"},
      {"byte 255", [](XmlWriter& w) { w.write(std::uint8_t{255}); }, "255"},
      {"zero", [](XmlWriter& w) { w.write(std::uint32_t{0}); }, "0"},
      {"no grouping or fill", [](XmlWriter& w) { w.write(std::int32_t{1234567}); }, "1234567"},
  };
  for (const WriterCase& c : cases) EXPECT_EQ(written(c.steps), c.expected) << c.what;
}

TEST(XmlWriterOutput, StreamFormattingFlagsDoNotChangeNumbers) {
  std::ostringstream out;
  out << std::hex << std::showpos;
  {
    XmlWriter writer(out);
    writer.write(std::int32_t{255}).write(" ").write(std::uint16_t{16});
  }
  EXPECT_EQ(out.str(), "255 16");
}

TEST(XmlWriterEscaping, MarkupInValuesIsEscaped) {
  const WriterCase cases[] = {
      {"content", [](XmlWriter& w) { w.write(startTag("N")).write(beginContent()).write("a<b&c>d\"e'f"); },
       "<N>a&lt;b&amp;c&gt;d\"e'f</N>"},
      {"attribute value",
       [](XmlWriter& w) { w.write(startTag("N")).write(attribute("v")).write("a<b&c>d\"e"); },
       "<N v=\"a&lt;b&amp;c&gt;d&quot;e\"/>"},
      {"already escaped text is escaped again", [](XmlWriter& w) { w.write("&amp;"); }, "&amp;amp;"},
      {"forbidden control characters are left out",
       [](XmlWriter& w) {
         w.write(
             std::string("a\x01"
                         "b\tc\nd\re\x1f"
                         "f\x7f"));
       },
       "ab\tc\nd\ref\x7f"},
      {"bytes above 0x7F stay as they are", [](XmlWriter& w) { w.write("Ren\xe9 \xff"); }, "Ren\xe9 \xff"},
      {"a text ends at its NUL", [](XmlWriter& w) { w.write(std::string("ab\0cd", 5)); }, "ab"},
      {"a null text is empty", [](XmlWriter& w) { w.write(static_cast<const char*>(nullptr)); }, ""},
      {"names are the program's own and written unchanged",
       [](XmlWriter& w) { w.write(startTag("")).write("N&"); }, "<N&/>"},
  };
  for (const WriterCase& c : cases) EXPECT_EQ(written(c.steps), c.expected) << c.what;
}

TEST(XmlWriterEscaping, ParserReadsBackTheOriginalTexts) {
  const std::string name = "<b>Tom & \"Jerry\"</b> \xe9\x01";
  const std::string document = written([&](XmlWriter& w) {
    w.write(declaration()).write(startTag("R")).write(attribute("a")).write(name);
    w.write(startTag("NAME")).write(beginContent()).write(name);
  });
  ASSERT_TRUE(isWellFormedXml(document));
  const std::string expected = "<b>Tom & \"Jerry\"</b> \xe9";  // the control character is gone
  EXPECT_EQ(xpathString(document, "/R/NAME"), expected);
  EXPECT_EQ(xpathString(document, "/R/@a"), expected);
}

TEST(XmlWriterEscaping, UnescapedMarkupIsWhatTheParserRejects) {
  // Guards the check above: a name written raw would make the file unreadable.
  EXPECT_FALSE(isWellFormedXml("<R><NAME>Tom & Jerry</NAME></R>"));
  EXPECT_FALSE(isWellFormedXml("<R><NAME>a<b</NAME></R>"));
  EXPECT_FALSE(isWellFormedXml("<R a=\"x\"y\"/>"));
  EXPECT_TRUE(isWellFormedXml("<R a=\"x&quot;y\"><NAME>Tom &amp; Jerry</NAME></R>"));
  EXPECT_EQ(xpathString("<R a=\"x&quot;y\"/>", "/R/@a"), "x\"y");
  EXPECT_EQ(xpathString("<R><broken></R>", "/R"), std::nullopt);
}

// A device with room for a number of bytes that refuses the rest, as a full
// disk does.
class LimitedDevice : public std::streambuf {
 public:
  explicit LimitedDevice(std::size_t room) : room_(room) {}
  const std::string& received() const { return received_; }

 protected:
  std::streamsize xsputn(const char* data, std::streamsize size) override {
    const std::size_t taken = std::min(static_cast<std::size_t>(size), room_ - received_.size());
    received_.append(data, taken);
    return static_cast<std::streamsize>(taken);
  }
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    if (received_.size() == room_) return traits_type::eof();
    received_ += traits_type::to_char_type(c);
    return c;
  }

 private:
  std::size_t room_;
  std::string received_;
};

constexpr std::size_t kSmallPiece = 64;
// A value longer than the pieces of the writers below, escaped on the way.
const std::string kLongValue = std::string(3 * kSmallPiece + 5, 'v') + "&" + std::string(kSmallPiece, 'w');

// A document of many pieces: about 50 elements of the small piece size each,
// with markup in values, numbers, an attribute and a value longer than a piece.
void writeManyElements(XmlWriter& w) {
  w.write(declaration()).write(startTag("RACE")).write(attribute("laps")).write(std::uint16_t{3});
  for (std::int32_t i = 0; i < 50; ++i) {
    w.write(startTag("LAP")).write(beginContent()).write("<").write(i).write(endTag());
  }
  w.write(startTag("LONG")).write(beginContent()).write(kLongValue);
}

std::string manyElementsExpected() {
  std::string expected = std::string(kDeclaration) + "<RACE laps=\"3\">";
  for (int i = 0; i < 50; ++i) expected += "<LAP>&lt;" + std::to_string(i) + "</LAP>";
  const std::size_t amp = kLongValue.find('&');
  expected += "<LONG>" + kLongValue.substr(0, amp) + "&amp;" + kLongValue.substr(amp + 1) + "</LONG></RACE>";
  return expected;
}

TEST(XmlWriterStream, EveryPieceSizeGivesTheSameBytes) {
  const std::string expected = manyElementsExpected();
  ASSERT_GT(expected.size(), 10 * kSmallPiece);
  for (std::size_t pieceSize :
       {std::size_t{0}, std::size_t{1}, std::size_t{7}, kSmallPiece, XmlWriter::kPieceSize}) {
    SCOPED_TRACE(pieceSize);
    std::ostringstream out;
    {
      XmlWriter writer(out, pieceSize);
      writeManyElements(writer);
    }
    EXPECT_EQ(out.str(), expected);
    EXPECT_TRUE(out.good());
  }
}

TEST(XmlWriterStream, FlushHandsOnEverythingSoFarAndWritingGoesOn) {
  std::ostringstream out;
  XmlWriter writer(out, kSmallPiece);
  writer.write(startTag("R")).write(attribute("a")).write("1");
  writer.flush();
  EXPECT_EQ(out.str(), "<R a=\"1");
  EXPECT_EQ(writer.outputSize(), out.str().size());
  writer.write(beginContent()).write(kLongValue.substr(0, 2 * kSmallPiece)).write(endTag());
  const std::string expected = "<R a=\"1\">" + kLongValue.substr(0, 2 * kSmallPiece) + "</R>";
  // Counted whether handed on or still kept.
  EXPECT_EQ(writer.outputSize(), expected.size());
  writer.flush();
  EXPECT_EQ(out.str(), expected);
  EXPECT_EQ(writer.outputSize(), out.str().size());
}

TEST(XmlWriterStream, DeepNestingIsClosedInOrder) {
  // The names of the open elements outgrow the room the writer starts with.
  std::string expected;
  std::string closing;
  const std::string document = written([&](XmlWriter& w) {
    for (int depth = 0; depth < 200; ++depth) {
      const std::string name = "ELEMENT_AT_DEPTH_" + std::to_string(depth);
      w.write(startTag(name)).write(beginContent());
      expected += "<" + name + ">";
      closing = "</" + name + ">" + closing;
    }
  });
  EXPECT_EQ(document, expected + closing);
  EXPECT_TRUE(isWellFormedXml(document));
}

TEST(XmlWriterStream, AStreamThatRefusesBytesIsMarkedBadWithNothingOutOfOrder) {
  const std::string expected = manyElementsExpected();
  for (std::size_t pieceSize : {kSmallPiece, XmlWriter::kPieceSize}) {
    for (std::size_t room : {std::size_t{0}, std::size_t{1}, kSmallPiece - 1, kSmallPiece, kSmallPiece + 1,
                             expected.size() / 2, expected.size() - 1}) {
      SCOPED_TRACE(::testing::Message() << "piece " << pieceSize << ", room " << room);
      LimitedDevice device(room);
      std::ostream out(&device);
      {
        XmlWriter writer(out, pieceSize);
        writeManyElements(writer);
      }
      // The failure shows on the stream, where the file's writer looks for it.
      EXPECT_TRUE(out.bad());
      EXPECT_EQ(device.received(), expected.substr(0, device.received().size()));
      EXPECT_LE(device.received().size(), room);
    }
  }
}

TEST(XmlWriterStream, AStreamWithRoomForAllStaysGood) {
  const std::string expected = manyElementsExpected();
  LimitedDevice device(expected.size());
  std::ostream out(&device);
  {
    XmlWriter writer(out, kSmallPiece);
    writeManyElements(writer);
  }
  EXPECT_TRUE(out.good());
  EXPECT_EQ(device.received(), expected);
}

TEST(XmlWriterStream, AFailedStreamTakesNothingAndTheWriterGoesOn) {
  std::ostringstream out;
  out << "before";
  out.setstate(std::ios::failbit);
  {
    XmlWriter writer(out, kSmallPiece);
    writeManyElements(writer);
    EXPECT_EQ(writer.state(), XmlWriterState::InContent);
    writer.flush();
    EXPECT_EQ(writer.outputSize(), manyElementsExpected().size() - std::string("</LONG></RACE>").size());
  }
  EXPECT_EQ(out.str(), "before");
  EXPECT_TRUE(out.fail());
}

TEST(XmlWriterState, FollowsTheMarkup) {
  std::ostringstream out;
  XmlWriter writer(out);
  EXPECT_EQ(writer.state(), XmlWriterState::InContent);
  writer.write(startTag("R"));
  EXPECT_EQ(writer.state(), XmlWriterState::InStartTag);
  writer.write(attribute("a"));
  EXPECT_EQ(writer.state(), XmlWriterState::InAttributeValue);
  writer.write(beginContent());
  EXPECT_EQ(writer.state(), XmlWriterState::InContent);
  writer.write(startTag(""));
  EXPECT_EQ(writer.state(), XmlWriterState::InTagName);
  writer.write("N");
  EXPECT_EQ(writer.state(), XmlWriterState::InTagName);
  writer.write(endTag());
  EXPECT_EQ(writer.state(), XmlWriterState::InContent);
  writer.flush();
  EXPECT_EQ(out.str(), "<R a=\"\"><N/>");
}

}  // namespace
