#include <sys/wait.h>
#include <unistd.h>

#include "tests/platform/PlatformTestUtil.h"

namespace velmor::platform {
namespace {

using Durability = PlatformTest;

// The id of a process that has ended and been reaped.
pid_t EndedProcess() {
  const pid_t child = fork();
  if (child == 0) _exit(0);
  waitpid(child, nullptr, 0);
  return child;
}

TEST_F(Durability, LockFileIsExclusiveNamesItsHolderAndFlushesReachTheDisk) {
  std::unique_ptr<IFileLock> first = os.TryLockFile("C:\\station.lock", "velmorctl, Prozess 42");
  ASSERT_TRUE(first);
  // A second open of the same file is a second holder, even in the same process.
  EXPECT_EQ(Err(os.TryLockFile("C:\\STATION.LOCK", "Fenster") != nullptr), kErrorLockViolation);
  EXPECT_EQ(prefix.ReadFile("drive_c/station.lock"), "velmorctl, Prozess 42");

  first.reset();
  EXPECT_TRUE(os.TryLockFile("C:\\station.lock", "Fenster"));
  EXPECT_EQ(prefix.ReadFile("drive_c/station.lock"), "Fenster");
  EXPECT_EQ(Err(os.TryLockFile("C:\\missing\\station.lock", "x") != nullptr), kErrorPathNotFound);
  // Flushes reach the disk or say why.
  std::unique_ptr<IFile> file = os.OpenFile("C:\\journal", OpenMode::CreateAlways);
  ASSERT_TRUE(file);
  ASSERT_TRUE(file->Write("abc", 3));
  EXPECT_TRUE(file->Flush());
  EXPECT_TRUE(os.FlushFileSystem("C:\\"));
  EXPECT_FALSE(os.FlushFileSystem("C:\\missing"));
}

TEST_F(Durability, StaleTemporariesGoOnlyWhenTheirProcessHasEnded) {
  const std::string dead = std::to_string(EndedProcess());
  const std::string alive = std::to_string(getppid());
  const std::string self = std::to_string(getpid());
  const std::string gone = ".velmor-" + dead + "-1f.tmp";
  // Only a temporary of an ended process goes: not of a running one or of this one, not a name of
  // another shape, and not a folder.
  const Names kept = {"SYM.ASC",
                      "X.velmor-" + dead + "-1.tmp",
                      ".velmor-" + alive + "-2.tmp",
                      ".velmor-" + self + "-3.tmp",
                      ".velmor-" + dead + "-zz.tmp",
                      ".velmor-" + dead + ".tmp"};
  for (const std::string& name : kept) prefix.WriteFile("drive_c/NS/" + name, "x");
  prefix.WriteFile("drive_c/NS/" + gone, "x");
  prefix.MakeDir("drive_c/NS/.velmor-" + dead + "-4.tmp");
  EXPECT_EQ(os.RemoveStaleTemporaries("C:\\ns"), 1u);
  Names expected = kept;
  expected.push_back(".velmor-" + dead + "-4.tmp");
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(Entries(prefix.DriveC() + "/NS"), expected);
  EXPECT_EQ(os.RemoveStaleTemporaries("C:\\missing"), 0u);

  EXPECT_EQ(os.ProcessId(), getpid());
  EXPECT_TRUE(os.ProcessRunning(getpid()));
  EXPECT_FALSE(os.ProcessRunning(std::stoll(dead)));
  // Ended but not reaped yet: a zombie runs no more.
  const pid_t zombie = fork();
  if (zombie == 0) _exit(0);
  for (int i = 0; i < 200 && os.ProcessRunning(zombie); ++i) usleep(5000);
  EXPECT_FALSE(os.ProcessRunning(zombie));
  waitpid(zombie, nullptr, 0);
  EXPECT_FALSE(os.ProcessRunning(0));
}

}  // namespace
}  // namespace velmor::platform
