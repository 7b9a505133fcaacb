#include "support/PathRoutines.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace velmor {
namespace {

struct Row {
  const char* name;
  std::string input;
  std::string expected;
};

TEST(PathRoutinesTest, AppendAndStripBackslash) {
  const std::vector<Row> append = {
      {"empty stays empty", "", ""},
      {"drive", "C:", "C:\\"},
      {"already ends in backslash", "C:\\", "C:\\"},
      {"folder", "C:\\EPLAN5", "C:\\EPLAN5\\"},
  };
  for (const Row& row : append) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(AppendBackslash(row.input), row.expected);
  }
  const std::vector<Row> strip = {
      {"empty", "", ""},
      {"drive root", "C:\\", "C:"},
      {"only one of two", "C:\\A\\\\", "C:\\A\\"},
      {"no backslash", "C:\\A", "C:\\A"},
      {"just a backslash", "\\", ""},
  };
  for (const Row& row : strip) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(StripBackslash(row.input), row.expected);
  }
}

TEST(PathRoutinesTest, PathPart) {
  struct PartRow {
    const char* name;
    std::string path;
    int offset;
    int mode;
    std::string expected;
  };
  const std::vector<PartRow> rows = {
      {"parent folder", "C:\\EPLAN5\\BIN", -1, 1, "C:\\EPLAN5\\"},
      {"trailing backslash keeps the folder", "C:\\EPLAN5\\BIN\\", -1, 1, "C:\\EPLAN5\\BIN\\"},
      {"two parts stay whole", "C:\\EPLAN5", -1, 1, "C:\\EPLAN5"},
      {"empty path", "", -1, 1, ""},
      {"offset below the first part", "C:\\A", -5, 1, "C:\\A"},
      {"last part", "C:\\A\\B", 0, 0, "B"},
      {"middle part", "C:\\A\\B", -1, 0, "A"},
      {"whole path in mode 1", "C:\\A\\B", 0, 1, "C:\\A\\B\\"},
      {"unknown mode", "C:\\A\\B", 0, 7, "C:\\A\\B"},
      {"offset past the end, mode 0", "C:\\A", 3, 0, ""},
      {"doubled backslash is an empty part", "C:\\\\A\\B", -1, 1, "C:\\\\A\\"},
      {"quote in a path is taken as a quote", "C:\\\"A\\B\"\\C", -1, 1, "C:\\A\\B\\"},
  };
  for (const PartRow& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(PathPart(row.path, row.offset, row.mode), row.expected);
  }
}

TEST(PathRoutinesTest, FieldAt) {
  struct FieldRow {
    const char* name;
    char separator;
    std::string text;
    int index;
    std::string expected;
  };
  const char ba = '\xBA';
  const std::vector<FieldRow> rows = {
      {"slot cut at 0xBA", ba, "D:\\EPLAN\\P\\\xBAjunk\xBAmore", 0, "D:\\EPLAN\\P\\"},
      {"no separator gives the whole text", ba, "C:\\X", 0, "C:\\X"},
      {"leading separator", ',', ",a", 0, ""},
      {"second field", ',', "a,b,c", 1, "b"},
      {"last field", ',', "a,b,c", 2, "c"},
      {"past the last field", ',', "a,b", 2, ""},
      {"empty text", ',', "", 0, ""},
      {"negative index", ',', "a,b", -1, ""},
  };
  for (const FieldRow& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(FieldAt(row.separator, row.text, row.index), row.expected);
  }
}

TEST(PathRoutinesTest, TrimControlTail) {
  const std::vector<Row> rows = {
      {"CR LF", "A.ASC,B.ASC\r\n", "A.ASC,B.ASC"},
      {"only control characters", "\r\n\t\x01", ""},
      {"inner control characters stay", "a\tb\x1f", "a\tb"},
      {"blank is kept", "a \r", "a "},
      {"bytes above 127 are not control characters", "\xE4\x0d", "\xE4"},
      {"empty", "", ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(TrimControlTail(row.input), row.expected);
  }
}

}  // namespace
}  // namespace velmor
