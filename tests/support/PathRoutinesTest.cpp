#include "support/PathRoutines.h"

#include <gtest/gtest.h>

namespace velmor {
namespace {

TEST(PathRoutinesTest, EdgeCases) {
  EXPECT_EQ(AppendBackslash(""), "");
  EXPECT_EQ(AppendBackslash("C:"), "C:\\");
  EXPECT_EQ(AppendBackslash("C:\\"), "C:\\");
  EXPECT_EQ(StripBackslash("C:\\"), "C:");
  EXPECT_EQ(StripBackslash("C:\\A\\\\"), "C:\\A\\");
  EXPECT_EQ(StripBackslash("C:\\A"), "C:\\A");

  EXPECT_EQ(PathPart("C:\\EPLAN5\\BIN", -1, 1), "C:\\EPLAN5\\");
  EXPECT_EQ(PathPart("C:\\EPLAN5\\BIN\\", -1, 1), "C:\\EPLAN5\\BIN\\");
  EXPECT_EQ(PathPart("C:\\EPLAN5", -1, 1), "C:\\EPLAN5");
  EXPECT_EQ(PathPart("", -1, 1), "");
  EXPECT_EQ(PathPart("C:\\A", -5, 1), "C:\\A");
  EXPECT_EQ(PathPart("C:\\A\\B", -1, 0), "A");
  EXPECT_EQ(PathPart("C:\\A\\B", 0, 7), "C:\\A\\B");
  EXPECT_EQ(PathPart("C:\\A", 3, 0), "");
  EXPECT_EQ(PathPart("C:\\\\A\\B", -1, 1), "C:\\\\A\\");
  EXPECT_EQ(PathPart("C:\\\"A\\B\"\\C", -1, 1), "C:\\A\\B\\");  // quotes are taken as quotes

  EXPECT_EQ(FieldAt('\xBA', "D:\\EPLAN\\P\\\xBAjunk\xBA", 0), "D:\\EPLAN\\P\\");
  EXPECT_EQ(FieldAt('\xBA', "C:\\X", 0), "C:\\X");
  EXPECT_EQ(FieldAt(',', ",a", 0), "");
  EXPECT_EQ(FieldAt(',', "a,b,c", 2), "c");
  EXPECT_EQ(FieldAt(',', "a,b", 2), "");
  EXPECT_EQ(FieldAt(',', "a,b", -1), "");

  EXPECT_EQ(TrimControlTail("A.ASC,B.ASC\r\n"), "A.ASC,B.ASC");
  EXPECT_EQ(TrimControlTail("\r\n\t\x01"), "");
  EXPECT_EQ(TrimControlTail("a\tb \x1f"), "a\tb ");
  EXPECT_EQ(TrimControlTail("\xE4\x0d"), "\xE4");  // bytes above 127 are no control characters
}

}  // namespace
}  // namespace velmor
