#include <sys/wait.h>
#include <unistd.h>

#include "tests/common/LockedByAnotherProcess.h"
#include "tests/platform/PlatformTestUtil.h"

namespace velmor::platform {
namespace {

TEST_F(PlatformTest, DurabilityLockFileIsExclusiveNeverWrittenThroughALinkAndFlushesReachTheDisk) {
  std::unique_ptr<IFileLock> first = os.OpenLockFile("C:\\station.lock");
  ASSERT_TRUE(first && first->TryLock());
  ASSERT_TRUE(first->Replace("velmorctl, Prozess 42"));
  // A second open of the same file is a second holder, even in the same process; it reads the record.
  std::unique_ptr<IFileLock> second = os.OpenLockFile("C:\\STATION.LOCK");
  ASSERT_TRUE(second);
  EXPECT_EQ(Err(second->TryLock()), kErrorLockViolation);
  EXPECT_EQ(second->Read(100), "velmorctl, Prozess 42");
  EXPECT_TRUE(second->StillAtPath());
  EXPECT_TRUE(first->Remove());
  EXPECT_FALSE(second->StillAtPath());
  EXPECT_EQ(Err(second->Remove()), kErrorFileNotFound);
  first.reset();
  EXPECT_TRUE(second->TryLock());
  EXPECT_FALSE(prefix.ReadFile("drive_c/station.lock"));
  EXPECT_EQ(Err(os.OpenLockFile("C:\\missing\\station.lock") != nullptr), kErrorPathNotFound);

  // A link at the name, a second name of a file elsewhere, and a folder are refused: nothing opened
  // for writing, nothing truncated.
  prefix.WriteFile("drive_d/outside.txt", "bleibt");
  std::filesystem::create_symlink(prefix.Abs("drive_d/outside.txt"), prefix.Abs("drive_c/link.lock"));
  std::filesystem::create_hard_link(prefix.Abs("drive_d/outside.txt"), prefix.Abs("drive_c/hard.lock"));
  prefix.MakeDir("drive_c/folder.lock");
  for (const char* name : {"C:\\link.lock", "C:\\hard.lock", "C:\\folder.lock"})
    EXPECT_EQ(Err(os.OpenLockFile(name) != nullptr), kErrorAccessDenied) << name;
  EXPECT_EQ(prefix.ReadFile("drive_d/outside.txt"), "bleibt");
  // Byte-range locks of other processes (a Windows program's LockFile) show; this process's do not.
  EXPECT_FALSE(os.FileLockedByOther("D:\\outside.txt"));
  {
    testing::LockedByAnotherProcess held(prefix.Root() + "/drive_d/outside.txt");
    ASSERT_TRUE(held.Locked());
    EXPECT_TRUE(os.FileLockedByOther("D:\\OUTSIDE.TXT"));
  }
  EXPECT_FALSE(os.FileLockedByOther("D:\\outside.txt"));

  // Flushes reach the disk or say why.
  std::unique_ptr<IFile> file = os.OpenFile("C:\\journal", OpenMode::CreateAlways);
  ASSERT_TRUE(file);
  ASSERT_TRUE(file->Write("abc", 3));
  EXPECT_TRUE(file->Flush());
  EXPECT_TRUE(os.FlushFileSystem("C:\\"));
  EXPECT_FALSE(os.FlushFileSystem("C:\\missing"));
}

TEST_F(PlatformTest, DurabilityStaleTemporariesGoOnlyWhenTheirProcessHasEnded) {
  const std::string dead = std::to_string(testing::EndedProcess());
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

  // Which processes run and since when, as the station's lock and the journal ask, is held in their
  // tables of stale locks and running transfers (TransferSafetyTest, TransferJournalTest).
  EXPECT_EQ(os.ProcessId(), getpid());
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
