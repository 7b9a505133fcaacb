#include <gtest/gtest.h>

#include "platform/Platform.h"
#include "tests/Texts.h"

namespace velmor::platform {
namespace {

// The wildcard rules themselves are held to Windows in the case tables of the check against Wine.
TEST(MaskMatches, ManyStarsOnALongNameDoNotTakeExponentialTime) {
  const std::string name(4000, 'a');
  EXPECT_TRUE(MaskMatches(name, "*a*a*a*a*a*a*a*a"));
  EXPECT_FALSE(MaskMatches(name, "*a*a*a*a*a*a*a*b"));
}

TEST(CodePage, FoldsWindows1252LettersAndEveryByteRoundTrips) {
  for (const auto& row : velmor::testing::CaseRows("platform/fold.tsv", 2))
    EXPECT_EQ(FoldUpper(row[0]), row[1]);
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
