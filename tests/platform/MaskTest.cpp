#include <gtest/gtest.h>

#include "platform/Platform.h"

namespace velmor::platform {
namespace {

TEST(MaskMatches, FollowsWindowsWildcardRules) {
  const struct {
    const char *what, *name, *mask;
    bool matches;
  } rows[] = {
      {"star takes everything", "README", "*", true},
      {"star-dot-star takes names without a dot", "SH1", "*.*", true},
      {"star crosses dots", "A.B.C", "*C", true},
      {"extension must match whole", "C.ASCX", "*.ASC", false},
      {"no short-name match", "X.DATA", "*.DAT", false},
      {"several dots before extension", "A.B.ASC", "*.ASC", true},
      {"case folded", "sym1.asc", "*.ASC", true},
      {"case folded umlaut", "ärger.txt", "ÄRGER.*", true},
      {"sharp s has no upper case", "STRASSE", "straße", false},
      {"question takes one char", "AB.ASC", "A?.ASC", true},
      {"question run before dot takes none", "A.ASC", "A?.ASC", true},
      {"question run at end takes fewer", "SH1", "SH??", true},
      {"question run at end takes none", "SH", "SH??", true},
      {"question run at end not more", "SH123", "SH??", false},
      {"question in middle is exact", "AB", "A?B", false},
      {"question is one UTF-8 character", "Ä1", "?1", true},
      {"question is not one byte", "Ä1", "??1", false},
      {"trailing dot: no extension", "SH1", "SH1.", true},
      {"trailing dot: extension refused", "SH1.TXT", "SH1.", false},
      {"star-dot: names without dot", "MAKROS", "*.", true},
      {"star-dot: refuses dotted", "A.B", "*.", false},
      {"x-dot-star finds bare x", "X", "X.*", true},
      {"x-dot-star finds x with extension", "X.TXT", "X.*", true},
      {"x-dot-star refuses longer", "XY", "X.*", false},
      {"empty mask finds nothing", "A", "", false},
      {"literal must match whole", "ABC", "AB", false},
      {"star in middle", "EPL_ASC.EXF", "EPL*.EXF", true},
      {"star then question", "A", "*?", true},
      {"dot literal before letters", "A.B", "A.B", true},
      {"trailing blank dropped", "X.TXT", "*.TXT ", true},
      {"trailing blanks dropped", "X.TXT", "*.TXT   ", true},
      {"blank and dot end in one dot", "X.TXT", "X.TXT .", true},
      {"two dots end in one dot", "X.TXT", "X.TXT..", true},
      {"dot blank dot at the end", "X", "X. .", true},
      {"final dot after blanks still refuses extensions", "X.TXT", "X. .", false},
      {"star-dot-blank: names without dot", "MAKROS", "*. ", true},
      {"star-dot-blank refuses dotted", "A.B", "*. ", false},
      {"only blanks find nothing", "A", "   ", false},
      {"only dots find nothing", "A", "...", false},
      {"dot blank finds nothing", "A", ". ", false},
      {"inner blank kept", "A B", "A *", true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    EXPECT_EQ(MaskMatches(row.name, row.mask), row.matches) << row.name << " vs " << row.mask;
  }
  // Many stars on a long name must not take exponential time.
  const std::string name(4000, 'a');
  EXPECT_TRUE(MaskMatches(name, "*a*a*a*a*a*a*a*a"));
  EXPECT_FALSE(MaskMatches(name, "*a*a*a*a*a*a*a*b"));
}

TEST(CodePage, FoldsWindows1252LettersAndEveryByteRoundTrips) {
  const struct {
    const char *what, *in, *upper;
  } rows[] = {
      {"ascii", "abc.asc", "ABC.ASC"},
      {"umlauts", "äöü", "ÄÖÜ"},
      {"accents", "éèà", "ÉÈÀ"},
      {"sharp s kept", "ß", "ß"},
      {"caron", "šž", "ŠŽ"},
      {"y diaeresis", "ÿ", "Ÿ"},
      {"division sign kept", "÷", "÷"},
      {"other scripts kept", "я", "я"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    EXPECT_EQ(FoldUpper(row.in), row.upper);
  }
  EXPECT_TRUE(EqualsNoCase("Straße.TXT", "STRAßE.txt"));
  EXPECT_FALSE(EqualsNoCase("a", "ab"));
  // Every byte survives the way to UTF-8 and back.
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  EXPECT_EQ(Utf8ToAnsi(AnsiToUtf8(all)), all);
  EXPECT_EQ(AnsiToUtf8("\x80\x81\xe4"), "\u20ac\u0081\u00e4");
  EXPECT_EQ(Utf8ToAnsi("\u20ac\u00df\u0159\U0001F600"), "\x80\xdf??");
}

}  // namespace
}  // namespace velmor::platform
