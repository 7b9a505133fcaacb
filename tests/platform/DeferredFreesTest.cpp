// Copies and deletes that leave freeing the old files to background threads: the names are as without
// it at every moment, and nothing is left behind once the scope ends.

#include "tests/platform/PlatformTestUtil.h"

namespace velmor::platform {
namespace {

namespace fs = std::filesystem;
using DeferredFreesTest = PlatformTest;

TEST_F(DeferredFreesTest, ReplacedAndDeletedFilesGoInTheBackgroundAndAreGoneAtTheEnd) {
  prefix.WriteFile("drive_c/src/new.asc", "new content");
  for (int i = 0; i < 40; ++i) prefix.WriteFile("drive_d/t/F" + std::to_string(i) + ".ASC", "old");
  prefix.WriteFile("drive_d/t/gone.asc", "old");
  const std::string held = prefix.Abs("drive_d/t/F0.ASC");
  fs::create_hard_link(held, prefix.Abs("drive_d/keep.asc"));
  {
    const DeferredFrees frees;
    const DeferredFrees nested;  // only the outermost waits
    for (int i = 0; i < 40; ++i) {
      const std::string target = "D:\\t\\F" + std::to_string(i) + ".ASC";
      ASSERT_TRUE(os.CopyFile("C:\\src\\new.asc", target, false));
      EXPECT_EQ(os.ReadFile(target), "new content");
    }
    ASSERT_TRUE(os.DeleteFile("D:\\t\\gone.asc"));
    EXPECT_FALSE(os.FileExists("D:\\t\\gone.asc"));
    EXPECT_EQ(Err(os.DeleteFile("D:\\t\\gone.asc")), kErrorFileNotFound);
    // A name in another case still reaches the replaced file.
    ASSERT_TRUE(os.CopyFile("C:\\src\\new.asc", "D:\\T\\f1.asc", false));
    EXPECT_EQ(prefix.ReadFile("drive_d/t/F1.ASC"), "new content");
  }
  Names expected;
  for (int i = 0; i < 40; ++i) expected.push_back("F" + std::to_string(i) + ".ASC");
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(Entries(prefix.Abs("drive_d/t")), expected);  // no temporary left
  // A file that had another link keeps its content there.
  EXPECT_EQ(prefix.ReadFile("drive_d/keep.asc"), "old");
}

// A read-only file neither replaced nor deleted while frees are deferred: the transfers on stations with
// write-protected originals (velmorctl's AWriteProtectedOriginalIsAWarningAFailedCopyAnError, the kill
// sweep's listings), which run so.
TEST_F(DeferredFreesTest, FailuresLeaveEverythingAsItWas) {
  prefix.WriteFile("drive_d/t/x.asc", "old");
  {
    const DeferredFrees frees;
    EXPECT_FALSE(os.CopyFile("C:\\missing.asc", "D:\\t\\x.asc", false));
    EXPECT_FALSE(os.DeleteFile("D:\\t"));
  }
  EXPECT_EQ(Tree(prefix.Abs("drive_d/t")), "x.asc=old\n");
}

}  // namespace
}  // namespace velmor::platform
