#include <gtest/gtest.h>

#include <sstream>

#include "cli/Cli.h"
#include "tests/common/TempPrefix.h"

namespace velmor::cli {
namespace {

struct Result {
  int code;
  std::string out;
  std::string err;
};

Result Find(std::vector<std::string> args) {
  args.insert(args.begin(), "find");
  std::ostringstream out, err;
  std::istringstream in;
  Console console{out, err, in};
  const int code = RunMain(args, console);
  return {code, out.str(), err.str()};
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

TEST_F(FindCommandTest, PrintsMatchesInReportOrder) {
  const Result r = Find({"--location", "D:\\EXF", "--mask", "*.ASC;*.EXF"});
  EXPECT_EQ(r.code, kExitOk);
  EXPECT_EQ(
      r.out,
      "D:\\EXF\\A.EXF\nD:\\EXF\\BIG.EXF\nD:\\EXF\\SIASC.ASC\nD:\\EXF\\S\\C.ASC\nD:\\EXF\\S\\T\\D.EXF\n");
}

TEST_F(FindCommandTest, OptionsReachTheCriteria) {
  struct Row {
    std::vector<std::string> args;
    std::string out;
  };
  const Row rows[] = {
      {{"--mask", "*.ASC", "--exclude", "SIASC"}, "D:\\EXF\\S\\C.ASC\n"},
      {{"--mask", "*.EXF", "--no-subfolders"}, "D:\\EXF\\A.EXF\nD:\\EXF\\BIG.EXF\n"},
      {{"--mask", "*.EXF", "--min-level", "2"}, "D:\\EXF\\S\\T\\D.EXF\n"},
      {{"--mask", "*.EXF", "--max-level", "1"}, "D:\\EXF\\A.EXF\nD:\\EXF\\BIG.EXF\n"},
      {{"--mask", "*.EXF", "--min-size", "100"}, "D:\\EXF\\BIG.EXF\n"},
      {{"--mask", "*.EXF", "--max-size", "100"}, "D:\\EXF\\A.EXF\nD:\\EXF\\S\\T\\D.EXF\n"},
      {{"--mask", "*.EXF", "--phrase", "KLEMMEN"}, "D:\\EXF\\A.EXF\nD:\\EXF\\S\\T\\D.EXF\n"},
      {{"--mask", "*.*", "--attributes", "d", "--max-level", "2"}, "D:\\EXF\\S\nD:\\EXF\\S\\T\n"},
      {{"--mask", "*.EXF", "--count"}, "3\n"},
  };
  for (const Row& row : rows) {
    std::vector<std::string> args = {"--location", "D:\\EXF"};
    args.insert(args.end(), row.args.begin(), row.args.end());
    SCOPED_TRACE(::testing::PrintToString(args));
    const Result r = Find(args);
    EXPECT_EQ(r.code, kExitOk) << r.err;
    EXPECT_EQ(r.out, row.out);
  }
  const Result sensitive =
      Find({"--location", "D:\\EXF", "--mask", "*.EXF", "--phrase", "KLEMMEN", "--case-sensitive"});
  EXPECT_EQ(sensitive.code, kExitFailed);
  EXPECT_EQ(sensitive.out, "");
}

TEST_F(FindCommandTest, HostPathsAndWrongUsage) {
  const Result r = Find({"--location", "<" + prefix.DriveD() + "/EXF", "--mask", "*.BMP"});
  EXPECT_EQ(r.code, kExitOk) << r.err;
  EXPECT_EQ(r.out, "D:\\EXF\\B.BMP\n");
  for (const auto& bad : std::vector<std::vector<std::string>>{{"--mask", "*.*"},
                                                               {"--location", "D:\\", "--attributes", "x"},
                                                               {"--location", "D:\\", "--max-level", "70000"},
                                                               {"--location", "D:\\", "--min-size", "-1"}}) {
    SCOPED_TRACE(::testing::PrintToString(bad));
    const Result u = Find(bad);
    EXPECT_EQ(u.code, kExitUsage);
    EXPECT_EQ(u.out, "");
  }
}

}  // namespace
}  // namespace velmor::cli
