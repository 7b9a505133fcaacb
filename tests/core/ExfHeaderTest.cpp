#include "core/ExfHeader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/core/CoreTestSupport.h"

namespace velmor {
namespace {

using Lines = std::vector<std::string>;

TEST(SymbolListFromHeaderTest, FindsTheFirstSymbolRecord) {
  for (const auto& row : testing::CaseRows("core/exf-symbols.tsv", 3))
    EXPECT_EQ(SymbolListFromHeader(testing::Expanded(row[1])), testing::ListField(row[2])) << row[0];
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
