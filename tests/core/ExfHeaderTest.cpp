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
      {"empty items", "950 ,A,,B,\n", {"1:", "2:A", "3:", "4:B", "5:"}},
      {"950 inside a longer number", "1950 X,Y\r", {"1:X", "2:Y"}},
      {"no blank after 950", "950X,Y\r\n", {}},
      {"only the first record counts", "950 A\n950 B\n", {"1:A"}},
      {"payload after the first 950 of the line", "950 950 A", {"1:950 A"}},
      {"quotes are ordinary text", "950 \"A,B\",C", {"1:\"A", "2:B\"", "3:C"}},
      {"control characters at the end are cut", "950 A,B\t\x01\r\n", {"1:A", "2:B"}},
      {"lone CR ends a line", "100 X\r950 Q\r", {"1:Q"}},
      {"text after a NUL is not read", std::string("100\0\n950 A\n", 11), {}},
      {"Windows-1252 names are decoded", "950 M\xDCLLER.ASC\r\n", {"1:MÜLLER.ASC"}},
      {"record cut at byte 1024",
       std::string(1000, ' ') + "\r\n950 ABCDEFGHIJKLMNOPQRSTUVWXYZ,LATE\r\n",
       {"1:ABCDEFGHIJKLMNOPQR"}},
      {"record after byte 1024, no line breaks", std::string(5000, '\xFF') + "\n950 A", {}},
  };
  for (const Row& row : rows) EXPECT_EQ(SymbolListFromHeader(row.header), row.expected) << row.name;
}

TEST(ExfHeaderFileTest, ReadsTheHeaderOfTheFolderOrNothing) {
  testing::TempPrefix prefix;
  // A huge binary file: only its start is read.
  prefix.WriteFile("drive_d/EXF/EPL_ASC.EXF", "EXF\r\n950 S1.ASC,S2\r\n" + std::string(16 << 20, '\x07'));
  for (const char* folder : {"D:\\EXF", "D:\\EXF\\", "d:\\exf"})
    EXPECT_EQ(FillSymbolList(platform::HostPlatform(), folder), (Lines{"1:S1.ASC", "2:S2"})) << folder;

  prefix.MakeDir("drive_d/ORDNER/EPL_ASC.EXF");  // a folder named like the header is no header
  for (const char* folder : {"D:\\ORDNER", "D:\\GIBTS\\NICHT"}) {
    EXPECT_EQ(ReadSymbolList(platform::HostPlatform(), folder), std::nullopt) << folder;
    EXPECT_EQ(FillSymbolList(platform::HostPlatform(), folder), Lines{}) << folder;
  }
}

}  // namespace
}  // namespace velmor
