#include <gtest/gtest.h>

#include "tests/cli/CliTestSupport.h"

namespace velmor::cli {
namespace {

using Args = std::vector<std::string>;

CliRun Find(Args args) {
  args.insert(args.begin(), "find");
  return Velmorctl(args);
}

class FindCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* f : {"EXF/A.EXF", "EXF/B.BMP", "EXF/SIASC.ASC", "EXF/S/C.ASC", "EXF/S/T/D.EXF"})
      prefix.WriteFile(std::string("drive_d/") + f, "klemmenleiste");
    prefix.WriteFile("drive_d/EXF/BIG.EXF", std::string(500, 'x'));
  }
  testing::TempPrefix prefix;
};

TEST_F(FindCommandTest, OptionsReachTheCriteriaAndMatchesComeInReportOrder) {
  const std::string all =
      "D:\\EXF\\A.EXF\nD:\\EXF\\BIG.EXF\nD:\\EXF\\SIASC.ASC\nD:\\EXF\\S\\C.ASC\nD:\\EXF\\S\\T\\D.EXF\n";
  struct Row {
    Args args;
    std::string out;
  };
  const Row rows[] = {
      {{"--mask", "*.ASC;*.EXF"}, all},
      {{"--mask", "*.ASC", "--exclude", "SIASC"}, "D:\\EXF\\S\\C.ASC\n"},
      {{"--mask", "*.EXF", "--no-subfolders"}, "D:\\EXF\\A.EXF\nD:\\EXF\\BIG.EXF\n"},
      {{"--mask", "*.EXF", "--min-level", "2"}, "D:\\EXF\\S\\T\\D.EXF\n"},
      {{"--mask", "*.EXF", "--max-level", "1"}, "D:\\EXF\\A.EXF\nD:\\EXF\\BIG.EXF\n"},
      {{"--mask", "*.EXF", "--min-size", "100"}, "D:\\EXF\\BIG.EXF\n"},
      {{"--mask", "*.EXF", "--max-size", "100", "--phrase", "KLEMMEN"},
       "D:\\EXF\\A.EXF\nD:\\EXF\\S\\T\\D.EXF\n"},
      {{"--mask", "*.*", "--attributes", "d", "--max-level", "2"}, "D:\\EXF\\S\nD:\\EXF\\S\\T\n"},
      {{"--mask", "*.EXF", "--count"}, "3\n"},
  };
  for (const Row& row : rows) {
    Args args = {"--location", "D:\\EXF"};
    args.insert(args.end(), row.args.begin(), row.args.end());
    SCOPED_TRACE(::testing::PrintToString(args));
    const CliRun r = Find(args);
    EXPECT_EQ(r.code, kExitOk) << r.err;
    EXPECT_EQ(r.out, row.out);
  }
  const CliRun none =
      Find({"--location", "D:\\EXF", "--mask", "*.EXF", "--phrase", "KLEMMEN", "--case-sensitive"});
  EXPECT_EQ(none.code, kExitFailed);
  EXPECT_EQ(none.out, "");
}

TEST_F(FindCommandTest, HostPathsAndWrongUsage) {
  const CliRun r = Find({"--location", "<" + prefix.DriveD() + "/EXF", "--mask", "*.BMP"});
  EXPECT_EQ(r.code, kExitOk) << r.err;
  EXPECT_EQ(r.out, "D:\\EXF\\B.BMP\n");
  for (const Args& bad :
       {Args{"--mask", "*.*"}, Args{"--location", "D:\\", "--attributes", "x"},
        Args{"--location", "D:\\", "--max-level", "70000"}, Args{"--location", "D:\\", "--min-size", "-1"}}) {
    SCOPED_TRACE(::testing::PrintToString(bad));
    EXPECT_EQ(Find(bad).code, kExitUsage);
  }
}

}  // namespace
}  // namespace velmor::cli
