#include <gtest/gtest.h>

#include "platform/Platform.h"
#include "tests/cli/CliTestSupport.h"

namespace velmor::cli {
namespace {

CliRun Copy(std::vector<std::string> args) {
  args.insert(args.begin(), "copy");
  return Velmorctl(args);
}

TEST(CopyCommandTest, CopiesListsAndSaysWhatDidNotArrive) {
  testing::TempPrefix prefix;
  prefix.WriteFile("drive_d/NS/A.ASC", "a");
  prefix.WriteFile("drive_d/NS/SIASC.ASC", "s");
  prefix.WriteFile("drive_d/NS/SUB/B.ASC", "b");
  prefix.WriteFile("drive_d/NS/C.TXT", "c");

  CliRun r = Copy({"--source", "D:\\NS", "--target", "C:\\OUT", "--masks", "*.ASC", "--exclude", "SIASC"});
  EXPECT_EQ(r.code, kExitOk) << r.err;
  EXPECT_EQ(r.out, "D:\\NS\\A.ASC\nD:\\NS\\SUB\\B.ASC\n");
  EXPECT_EQ(prefix.ReadFile("drive_c/OUT/B.ASC"), "b");
  EXPECT_FALSE(prefix.Exists("drive_c/OUT/SIASC.ASC"));

  r = Copy(
      {"--source", prefix.DriveD() + "/NS", "--target", "C:\\OUT", "--masks", "*.TXT", "--attributes", "1"});
  EXPECT_EQ(r.code, kExitOk) << r.err;
  EXPECT_NE(platform::Os().GetFileAttributes("C:\\OUT\\C.TXT") & platform::kAttrReadOnly, 0u);
  // The read-only copy refuses the next overwrite: the old file stays and the exit code says so.
  prefix.WriteFile("drive_d/NS/C.TXT", "new");
  r = Copy({"--source", "D:\\NS", "--target", "C:\\OUT", "--masks", "*.TXT", "--attributes", "1"});
  EXPECT_EQ(prefix.ReadFile("drive_c/OUT/C.TXT"), "c");
  EXPECT_EQ(r.code, kExitFailed);
  EXPECT_EQ(r.err, "Nicht kopiert: D:\\NS\\C.TXT\n");

  for (const auto& [args, code] : std::vector<std::pair<std::vector<std::string>, int>>{
           {{"--source", "D:\\NS", "--target", "C:\\OUT", "--masks", "*.ZZZ"}, kExitFailed},
           {{"--source", "D:\\NONE", "--target", "C:\\OUT", "--masks", "*.*"}, kExitFailed},
           {{"--source", "D:\\NS", "--masks", "*.*"}, kExitUsage}}) {
    r = Copy(args);
    EXPECT_EQ(r.code, code) << args[1];
    EXPECT_NE(r.err, "");
  }
}

}  // namespace
}  // namespace velmor::cli
