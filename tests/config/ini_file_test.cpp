// The settings file library: file texts read into the model and written back,
// section lookup by prefix, value updates, and files that cannot be used.
#include "config/ini_file.h"

#include "temp_folder.h"

#include <gtest/gtest.h>

#include <ostream>
#include <vector>

namespace {

// One line per section: its stored name, then " key=<value>" per entry.
std::string describe(const IniFile& ini) {
  std::string text;
  for (const IniSection& section : ini.sections()) {
    text += section.name;
    for (const IniEntry& entry : section.entries) {
      text += " " + entry.key + "=<" + entry.value + ">";
    }
    text += "\n";
  }
  return text;
}

struct ReadCase {
  std::string name;
  std::string file;   // bytes on disk
  bool complete;      // what load reports
  std::string model;  // describe() of the model
  std::string saved;  // bytes save writes, '\n' standing for the platform line end
};

void PrintTo(const ReadCase& c, std::ostream* out) { *out << c.name; }

std::vector<ReadCase> readCases() {
  const std::string longKey(600, 'k');
  const std::string longValue(3000, 'v');
  const std::string longHeader = "[" + std::string(400, 'h') + "]";
  return {
      {"SpacesAroundEquals", "[s]\nkey =value\nk2   =   v2\nk3 = v3\n", true,
       "[s] key=<value> k2=<v2> k3=<v3>\n", "[s]\nkey = value\nk2 = v2\nk3 = v3"},
      {"QuotedValues", "[s]\na = \"a b\" tail\nb = \"\"\nc = \"127.0.0.1\"\nd = \"open\n", true,
       "[s] a=<a b> b=<> c=<127.0.0.1> d=<open>\n", "[s]\na = a b\nb = \"\"\nc = 127.0.0.1\nd = open"},
      {"SemicolonAndTrailingSpacesStayInValue", "[s]\na = a ; b\nb = v  \nc =\n", true,
       "[s] a=<a ; b> b=<v  > c=<>\n", "[s]\na = a ; b\nb = v  \nc = \"\""},
      {"SpaceLedLinesAndCommentsSkippedTabLedLineIsEntry",
       "[s]\n\tkey = v\n  spaced = skipped\n;comment = x\n\n", true, "[s] \tkey=<v>\n", "[s]\n\tkey = v"},
      {"HashLines", "[s]\n#key = v\n# note\nafter = 1", false, "[s] #key=<v> after=<1>\n",
       "[s]\n#key = v\nafter = 1"},
      {"HeaderCommentAfterSpaceDroppedGluedTextKept", "[main] ; comment\na = 1\n[net];comment\nb = 2\n", true,
       "[main] a=<1>\n[net];comment b=<2>\n", "[main]\na = 1\n\n[net];comment\nb = 2"},
      {"DuplicateKeysAllKept", "[s]\nk = first\nk = second\n", true, "[s] k=<first> k=<second>\n",
       "[s]\nk = first\nk = second"},
      {"HeaderTwiceMergedIntoFirst", "[a]\nx = 1\n[b]\ny = 2\n[a]\nz = 3\n", true,
       "[a] x=<1> z=<3>\n[b] y=<2>\n", "[a]\nx = 1\nz = 3\n\n[b]\ny = 2"},
      {"NoFinalLineEnd", "[s]\nk = v", true, "[s] k=<v>\n", "[s]\nk = v"},
      {"TrailingEmptyLines", "[s]\nk = v\n\n\n", true, "[s] k=<v>\n", "[s]\nk = v"},
      {"WindowsLineEnds", "[s]\r\nk = v\r\nq = \"x\"\r\n\r\n[t]\r\nz = 1", true,
       "[s] k=<v> q=<x>\n[t] z=<1>\n", "[s]\nk = v\nq = x\n\n[t]\nz = 1"},
      {"CarriageReturnsEndingALineAreItsLineEnd", "[s]\r\r\nk = v\r\r\n[t]\r\nz = 1\r\n[s]\r\ny = 2\r", true,
       "[s] k=<v> y=<2>\n[t] z=<1>\n", "[s]\nk = v\ny = 2\n\n[t]\nz = 1"},
      {"QuotedLeadingSpacesStayQuoted", "[s]\na = \"  x\"\nb = \" \"\nc = \"y \"\n", true,
       "[s] a=<  x> b=< > c=<y >\n", "[s]\na = \"  x\"\nb = \" \"\nc = y "},
      {"CarriageReturnsInsideALineStay", "[s]\r\r x\nk = \"v\r\" t\nm\r = w\n", true, "[s] k=<v\r> m\r=<w>\n",
       "[s]\nk = \"v\r\"\nm\r = w"},
      {"KeyGluedToEquals", "[s]\nkey=value\nk2= v2\nk3 =v3\n", true, "[s] key=<value> k2=<v2> k3=<v3>\n",
       "[s]\nkey = value\nk2 = v2\nk3 = v3"},
      {"LinesWithoutEqualsSkippedAndReadingGoesOn",
       "[main]\nlfs = C:\\LFS\\LFS.exe\nbroken\nkey value\n[network]\nserverport = 35743\n", false,
       "[main] lfs=<C:\\LFS\\LFS.exe>\n[network] serverport=<35743>\n",
       "[main]\nlfs = C:\\LFS\\LFS.exe\n\n[network]\nserverport = 35743"},
      {"LineWithoutKeySkipped", "[s]\n= v\nk = 1\n", false, "[s] k=<1>\n", "[s]\nk = 1"},
      {"EntriesBeforeFirstHeaderSkipped", "orphan = 1\n[s]\nk = v\n", false, "[s] k=<v>\n", "[s]\nk = v"},
      {"EmptyFile", "", true, "", ""},
      {"HeadersWithoutEntriesAreNotKept", ";note\n[s]\n\n[t]\n", true, "", ""},
      {"LongTextsAcceptedWhole", longHeader + "\n" + longKey + " = " + longValue + "\n", true,
       longHeader + " " + longKey + "=<" + longValue + ">\n",
       longHeader + "\n" + longKey + " = " + longValue},
  };
}

class IniFileRead : public testing::TestWithParam<ReadCase> {
 protected:
  TempFolder folder;
};

TEST_P(IniFileRead, ReadsModelAndSavesItStably) {
  const ReadCase& c = GetParam();
  const std::string path = folder.file("trbk.ini");
  writeBytes(path, c.file);

  IniFile ini;
  EXPECT_EQ(ini.load(path), c.complete);
  EXPECT_EQ(describe(ini), c.model);
  ASSERT_TRUE(ini.save());
  const std::string saved = readBytes(path);
  EXPECT_EQ(saved, withTextLineEnds(c.saved));

  IniFile again;
  EXPECT_TRUE(again.load(path));
  EXPECT_EQ(describe(again), c.model);
  ASSERT_TRUE(again.save());
  EXPECT_EQ(readBytes(path), saved);
}

INSTANTIATE_TEST_SUITE_P(Texts, IniFileRead, testing::ValuesIn(readCases()),
                         [](const testing::TestParamInfo<ReadCase>& info) { return info.param.name; });

struct LookupCase {
  std::vector<std::string> stored;
  std::string query;
  std::string found;  // stored name of the answer, empty for none
};

void PrintTo(const LookupCase& c, std::ostream* out) {
  *out << "query \"" << c.query << "\" over";
  for (const std::string& name : c.stored) *out << " " << name;
}

class IniFileFindSection : public testing::TestWithParam<LookupCase> {};

TEST_P(IniFileFindSection, MatchesByExactNameOrInnerPrefix) {
  const LookupCase& c = GetParam();
  IniFile ini;
  for (const std::string& name : c.stored) ini.addEntry(name, "k", name);
  const IniSection* section = ini.findSection(c.query);
  EXPECT_EQ(section ? section->name : std::string(), c.found);
  EXPECT_EQ(ini.getValue(c.query, "k"), c.found);
}

INSTANTIATE_TEST_SUITE_P(
    Names, IniFileFindSection,
    testing::Values(LookupCase{{"[main]"}, "main", "[main]"}, LookupCase{{"[main]"}, "mainly", "[main]"},
                    LookupCase{{"[main]"}, "mai", ""}, LookupCase{{"[main]"}, "Main", ""},
                    LookupCase{{"[main]"}, "[main]", "[main]"}, LookupCase{{"[main]"}, "[main", ""},
                    LookupCase{{"[main]"}, "network", ""}, LookupCase{{"[ma]"}, "main", "[ma]"},
                    LookupCase{{"[]"}, "network", "[]"}, LookupCase{{"[main];x"}, "main", ""},
                    LookupCase{{"[main];x"}, "[main];x", "[main];x"}, LookupCase{{"["}, "main", ""},
                    LookupCase{{"[network]", "[main]"}, "main", "[main]"},
                    LookupCase{{"[ma]", "[main]"}, "main", "[ma]"}));

class IniFileUse : public testing::Test {
 protected:
  IniFile loaded(const std::string& text) {
    writeBytes(path, text);
    IniFile ini;
    ini.load(path);
    return ini;
  }

  TempFolder folder;
  const std::string path = folder.file("trbk.ini");
};

TEST_F(IniFileUse, GetValueGivesFirstEntryOrEmptyText) {
  IniFile ini = loaded("[main]\nlfs = one\nlfs = two\n[network]\nserverip = \"\"\n");
  EXPECT_EQ(ini.getValue("main", "lfs"), "one");
  EXPECT_EQ(ini.getValue("network", "serverip"), "");
  EXPECT_EQ(ini.getValue("main", "LFS"), "");
  EXPECT_EQ(ini.getValue("main", "lf"), "");
  EXPECT_EQ(ini.getValue("extra", "ftpaddr"), "");
}

TEST_F(IniFileUse, SetValueReplacesExistingEntriesOnlyAndSaveKeepsThem) {
  IniFile ini = loaded("[main]\nlfs = \"\"\nlfs = second\n[network]\nserverport = 1\n");
  EXPECT_TRUE(ini.setValue("main", "lfs", "D:\\Games\\LFS\\LFS.exe"));
  EXPECT_TRUE(ini.setValue("network", "serverport", ""));
  EXPECT_FALSE(ini.setValue("main", "missing", "x"));
  EXPECT_FALSE(ini.setValue("extra", "ftpaddr", "x"));
  EXPECT_EQ(describe(ini), "[main] lfs=<D:\\Games\\LFS\\LFS.exe> lfs=<second>\n[network] serverport=<>\n");

  ASSERT_TRUE(ini.save());
  EXPECT_EQ(readBytes(path), withTextLineEnds("[main]\nlfs = D:\\Games\\LFS\\LFS.exe\nlfs = second\n\n"
                                              "[network]\nserverport = \"\""));
}

TEST_F(IniFileUse, LeadingSpacesSurviveSaveAndReadQuotesDoNot) {
  IniFile ini = loaded("[s]\na = 1\nb = 2\nc = 3\n");
  ini.setValue("s", "a", "  padded");
  ini.setValue("s", "b", "\"quoted\" rest");
  ini.setValue("s", "c", "say \"hi\"");
  ASSERT_TRUE(ini.save());

  IniFile reread;
  EXPECT_TRUE(reread.load(path));
  EXPECT_EQ(describe(reread), "[s] a=<  padded> b=<quoted> c=<say >\n");
}

TEST_F(IniFileUse, LoadStartsAFreshModel) {
  IniFile ini = loaded("[a]\nx = 1\n");
  const std::string other = folder.file("other.ini");
  writeBytes(other, "[b]\ny = 2\n");
  EXPECT_TRUE(ini.load(other));
  EXPECT_EQ(describe(ini), "[b] y=<2>\n");
  EXPECT_EQ(ini.path(), other);
}

TEST_F(IniFileUse, MissingFileGivesEmptyModelAndSaveCreatesIt) {
  IniFile ini;
  EXPECT_FALSE(ini.load(path));
  EXPECT_TRUE(ini.sections().empty());
  EXPECT_EQ(ini.getValue("main", "lfs"), "");
  EXPECT_FALSE(ini.setValue("main", "lfs", "x"));

  ini.addEntry("[main]", "lfs", "x");
  ASSERT_TRUE(ini.save());
  EXPECT_EQ(readBytes(path), withTextLineEnds("[main]\nlfs = x"));
}

TEST_F(IniFileUse, SaveToUnwritablePlaceFailsAndKeepsModel) {
  const std::string nowhere = folder.file("missing-folder") + "/trbk.ini";
  IniFile ini;
  ini.load(nowhere);
  ini.addEntry("[main]", "lfs", "x");
  EXPECT_FALSE(ini.save());
  EXPECT_EQ(describe(ini), "[main] lfs=<x>\n");
  EXPECT_FALSE(std::filesystem::exists(nowhere));
}

}  // namespace
