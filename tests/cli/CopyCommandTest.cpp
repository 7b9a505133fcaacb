#include <gtest/gtest.h>

#include <sstream>

#include "cli/Cli.h"
#include "platform/Platform.h"
#include "tests/common/TempPrefix.h"

namespace velmor::cli {
namespace {

struct Result {
  int code;
  std::string out;
  std::string err;
};

Result Copy(std::vector<std::string> args) {
  args.insert(args.begin(), "copy");
  std::ostringstream out, err;
  std::istringstream in;
  Console console{out, err, in};
  const int code = RunMain(args, console);
  return {code, out.str(), err.str()};
}

class CopyCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    prefix.WriteFile("drive_d/NS/A.ASC", "a");
    prefix.WriteFile("drive_d/NS/SIASC.ASC", "s");
    prefix.WriteFile("drive_d/NS/SUB/B.ASC", "b");
    prefix.WriteFile("drive_d/NS/C.TXT", "c");
  }
  testing::TempPrefix prefix;
};

TEST_F(CopyCommandTest, CopiesAndListsTheFiles) {
  const Result r =
      Copy({"--source", "D:\\NS", "--target", "C:\\OUT", "--masks", "*.ASC", "--exclude", "SIASC"});
  EXPECT_EQ(r.code, kExitOk) << r.err;
  EXPECT_EQ(r.out, "D:\\NS\\A.ASC\nD:\\NS\\SUB\\B.ASC\n");
  EXPECT_EQ(prefix.ReadFile("drive_c/OUT/B.ASC"), "b");
  EXPECT_FALSE(prefix.Exists("drive_c/OUT/SIASC.ASC"));
}

TEST_F(CopyCommandTest, AttributesAndFailures) {
  Result r = Copy(
      {"--source", prefix.DriveD() + "/NS", "--target", "C:\\OUT", "--masks", "*.TXT", "--attributes", "1"});
  EXPECT_EQ(r.code, kExitOk) << r.err;
  EXPECT_NE(platform::Os().GetFileAttributes("C:\\OUT\\C.TXT") & platform::kAttrReadOnly, 0u);
  // The read-only copy refuses the next overwrite; the copier passes that over and keeps the old file.
  prefix.WriteFile("drive_d/NS/C.TXT", "new");
  r = Copy({"--source", "D:\\NS", "--target", "C:\\OUT", "--masks", "*.TXT", "--attributes", "1"});
  EXPECT_EQ(prefix.ReadFile("drive_c/OUT/C.TXT"), "c");
  r = Copy({"--source", "D:\\NS", "--target", "C:\\OUT", "--masks", "*.ZZZ"});
  EXPECT_EQ(r.code, kExitFailed);
  EXPECT_FALSE(r.err.empty());
  r = Copy({"--source", "D:\\NONE", "--target", "C:\\OUT", "--masks", "*.*"});
  EXPECT_EQ(r.code, kExitFailed);
  r = Copy({"--source", "D:\\NS", "--masks", "*.*"});
  EXPECT_EQ(r.code, kExitUsage);
}

}  // namespace
}  // namespace velmor::cli
