#include "support/PathRoutines.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace velmor {
namespace {

TEST(PathRoutinesTest, EdgeCases) {
  struct Row {
    const char* name;
    std::string got;
    std::string expected;
  };
  const std::vector<Row> rows = {
      {"append: empty stays empty", AppendBackslash(""), ""},
      {"append: drive", AppendBackslash("C:"), "C:\\"},
      {"append: already there", AppendBackslash("C:\\"), "C:\\"},
      {"strip: drive root", StripBackslash("C:\\"), "C:"},
      {"strip: only one of two", StripBackslash("C:\\A\\\\"), "C:\\A\\"},
      {"strip: none there", StripBackslash("C:\\A"), "C:\\A"},
      {"part: parent folder", PathPart("C:\\EPLAN5\\BIN", -1, 1), "C:\\EPLAN5\\"},
      {"part: trailing backslash keeps the folder", PathPart("C:\\EPLAN5\\BIN\\", -1, 1),
       "C:\\EPLAN5\\BIN\\"},
      {"part: two parts stay whole", PathPart("C:\\EPLAN5", -1, 1), "C:\\EPLAN5"},
      {"part: empty path", PathPart("", -1, 1), ""},
      {"part: offset below the first part", PathPart("C:\\A", -5, 1), "C:\\A"},
      {"part: mode 0 picks one part", PathPart("C:\\A\\B", -1, 0), "A"},
      {"part: unknown mode", PathPart("C:\\A\\B", 0, 7), "C:\\A\\B"},
      {"part: offset past the end", PathPart("C:\\A", 3, 0), ""},
      {"part: doubled backslash is an empty part", PathPart("C:\\\\A\\B", -1, 1), "C:\\\\A\\"},
      {"part: quotes are taken as quotes", PathPart("C:\\\"A\\B\"\\C", -1, 1), "C:\\A\\B\\"},
      {"field: slot cut at 0xBA", FieldAt('\xBA', "D:\\EPLAN\\P\\\xBAjunk\xBA", 0), "D:\\EPLAN\\P\\"},
      {"field: no separator", FieldAt('\xBA', "C:\\X", 0), "C:\\X"},
      {"field: leading separator", FieldAt(',', ",a", 0), ""},
      {"field: last field", FieldAt(',', "a,b,c", 2), "c"},
      {"field: past the last", FieldAt(',', "a,b", 2), ""},
      {"field: negative index", FieldAt(',', "a,b", -1), ""},
      {"trim: CR LF", TrimControlTail("A.ASC,B.ASC\r\n"), "A.ASC,B.ASC"},
      {"trim: only control characters", TrimControlTail("\r\n\t\x01"), ""},
      {"trim: inner ones and blanks stay", TrimControlTail("a\tb \x1f"), "a\tb "},
      {"trim: bytes above 127 are no control characters", TrimControlTail("\xE4\x0d"), "\xE4"},
  };
  for (const Row& row : rows) EXPECT_EQ(row.got, row.expected) << row.name;
}

}  // namespace
}  // namespace velmor
