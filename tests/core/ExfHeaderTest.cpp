#include "core/ExfHeader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/common/TempPrefix.h"

namespace velmor {
namespace {

using Lines = std::vector<std::string>;

TEST(SymbolListFromHeaderTest, FindsTheFirstSymbolRecord) {
  struct Row {
    const char* name;
    std::string header;
    Lines expected;
  };
  const std::vector<Row> rows = {
      {"third line, CR LF", "EXF\r\n100 X\r\n950 A.ASC,B.ASC\r\n999\r\n", {"1:A.ASC", "2:B.ASC"}},
      {"trailing comma gives an empty last item", "950 A,B,\n", {"1:A", "2:B", "3:"}},
      {"leading and doubled commas", "950 ,A,,B", {"1:", "2:A", "3:", "4:B"}},
      {"950 inside a longer number", "1950 X,Y\r", {"1:X", "2:Y"}},
      {"no blank after 950", "950X,Y\r\n", {}},
      {"only the first record counts", "950 A\n950 B\n", {"1:A"}},
      {"payload after the first 950 of the line", "950 950 A", {"1:950 A"}},
      {"quotes are ordinary text", "950 \"A,B\",C", {"1:\"A", "2:B\"", "3:C"}},
      {"control characters at the end are cut", "950 A,B\t\x01\r\n", {"1:A", "2:B"}},
      {"empty payload is one empty item", "950 \r\n", {"1:"}},
      {"lone CR ends a line", "100 X\r950 Q\r", {"1:Q"}},
      {"text after a NUL is not read", std::string("100\0\n950 A\n", 11), {}},
      {"Windows-1252 names are decoded", "950 M\xDCLLER.ASC\r\n", {"1:MÜLLER.ASC"}},
      {"empty header", "", {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(SymbolListFromHeader(row.header), row.expected);
  }
}

TEST(SymbolListFromHeaderTest, ReadsOnlyTheFirst1024Bytes) {
  // The record starts inside the first 1024 bytes and is cut there.
  std::string header = std::string(1000, ' ') + "\r\n950 ABCDEFGHIJKLMNOPQRSTUVWXYZ,LATE\r\n";
  EXPECT_EQ(SymbolListFromHeader(header), Lines{"1:ABCDEFGHIJKLMNOPQR"});
  // A record that starts after byte 1024 is never seen, also in a file without line breaks.
  EXPECT_EQ(SymbolListFromHeader(std::string(5000, '\xFF') + "\n950 A"), Lines{});
}

class ExfHeaderFileTest : public ::testing::Test {
 protected:
  testing::TempPrefix prefix;
};

TEST_F(ExfHeaderFileTest, ReadsTheHeaderOfTheFolder) {
  prefix.WriteFile("drive_d/EXF/EPL_ASC.EXF", "EXF\r\n950 S1.ASC,S2.ASC\r\n");
  EXPECT_EQ(FillSymbolList("D:\\EXF"), (Lines{"1:S1.ASC", "2:S2.ASC"}));
  EXPECT_EQ(FillSymbolList("D:\\EXF\\"), (Lines{"1:S1.ASC", "2:S2.ASC"}));
  EXPECT_EQ(FillSymbolList("d:\\exf"), (Lines{"1:S1.ASC", "2:S2.ASC"}));  // case-insensitive like Windows
}

TEST_F(ExfHeaderFileTest, NothingToReadGivesNoLines) {
  prefix.MakeDir("drive_d/LEER");
  EXPECT_EQ(FillSymbolList("D:\\LEER"), Lines{});
  EXPECT_EQ(ReadSymbolList("D:\\LEER"), std::nullopt);
  EXPECT_EQ(ReadSymbolList("D:\\GIBTS\\NICHT"), std::nullopt);
  // A folder named like the header is not a header.
  prefix.MakeDir("drive_d/ORDNER/EPL_ASC.EXF");
  EXPECT_EQ(ReadSymbolList("D:\\ORDNER"), std::nullopt);

  // A header without a record is read, but gives no lines.
  prefix.WriteFile("drive_d/OHNE/EPL_ASC.EXF", "EXF\r\n100 X\r\n");
  EXPECT_EQ(ReadSymbolList("D:\\OHNE"), Lines{});
}

TEST_F(ExfHeaderFileTest, HugeBinaryHeaderIsReadOnlyAtItsStart) {
  std::string bytes = "950 A.ASC,B";
  bytes += std::string(16 << 20, '\x07');
  prefix.WriteFile("drive_d/EXF/EPL_ASC.EXF", bytes);
  EXPECT_EQ(FillSymbolList("D:\\EXF"), (Lines{"1:A.ASC", "2:B"}));
}

}  // namespace
}  // namespace velmor
