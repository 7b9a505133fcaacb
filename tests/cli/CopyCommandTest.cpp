#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

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

// A copy killed earlier left its temporaries (a half-written copy, an old file kept for freeing) in the
// target: the next copy into that folder takes them away, and only them.
TEST(CopyCommandTest, TakesAwayTheTemporariesOfAKilledCopy) {
  testing::TempPrefix prefix;
  const pid_t child = fork();
  if (child == 0) _exit(0);
  ASSERT_GT(child, 0);
  ASSERT_EQ(waitpid(child, nullptr, 0), child);
  const std::string dead = ".velmor-" + std::to_string(child) + "-";
  prefix.WriteFile("drive_d/NS/A.ASC", "a");
  prefix.WriteFile("drive_c/OUT/" + dead + "1.tmp", "half");
  prefix.WriteFile("drive_c/OUT/" + dead + "2.tmp", "old");
  prefix.WriteFile("drive_c/OUT/.velmor-" + std::to_string(getpid()) + "-3.tmp", "mine");

  const CliRun r = Copy({"--source", "D:\\NS", "--target", "C:\\OUT", "--masks", "*.ASC"});
  EXPECT_EQ(r.code, kExitOk) << r.err;
  EXPECT_EQ(prefix.ReadFile("drive_c/OUT/A.ASC"), "a");
  EXPECT_FALSE(prefix.Exists("drive_c/OUT/" + dead + "1.tmp"));
  EXPECT_FALSE(prefix.Exists("drive_c/OUT/" + dead + "2.tmp"));
  EXPECT_TRUE(prefix.Exists("drive_c/OUT/.velmor-" + std::to_string(getpid()) + "-3.tmp"));
}

}  // namespace
}  // namespace velmor::cli
