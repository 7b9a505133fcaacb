#include "tests/common/FaultInjectingPlatform.h"

#include "tests/platform/PlatformTestUtil.h"

namespace velmor::platform {
namespace {

using FaultInjectingPlatformTest = PlatformTest;

TEST_F(FaultInjectingPlatformTest, FailsTheNthOnePathOrFromACallOnAndCountsAll) {
  prefix.WriteFile("drive_c/a.txt", "a");
  FaultInjectingPlatform faulty(HostPlatform());
  ScopedPlatform use(faulty);
  faulty.FailNth(FaultKind::CopyFile, 2, kErrorDiskFull);

  EXPECT_TRUE(Os().CopyFile("C:\\a.txt", "D:\\1.txt", false));
  EXPECT_EQ(Err(Os().CopyFile("C:\\a.txt", "D:\\2.txt", false)), kErrorDiskFull);
  EXPECT_TRUE(Os().CopyFile("C:\\a.txt", "D:\\3.txt", false));
  EXPECT_EQ(faulty.Calls(FaultKind::CopyFile), 3u);
  EXPECT_EQ(faulty.InjectedFailures(), 1u);
  EXPECT_EQ(Tree(prefix.DriveD()), "1.txt=a\n3.txt=a\n");  // a failed call never reaches the disk

  faulty.Reset();
  faulty.FailFrom(FaultKind::WriteFile, 2, kErrorDiskFull);
  EXPECT_TRUE(faulty.WriteFile("C:\\1.dat", "1"));
  for (int i = 0; i < 3; ++i) EXPECT_FALSE(faulty.WriteFile("C:\\n.dat", "n"));
  EXPECT_FALSE(prefix.Exists("drive_c/n.dat"));

  faulty.Reset();
  EXPECT_TRUE(faulty.WriteFile("C:\\n.dat", "n"));
  EXPECT_EQ(faulty.Calls(FaultKind::WriteFile), 1u);

  prefix.WriteFile("drive_c/keep.asc", "k");
  prefix.WriteFile("drive_c/bad.asc", "b");
  faulty.FailWhere(FaultKind::DeleteFile, "BAD.ASC", kErrorAccessDenied);
  EXPECT_EQ(Err(faulty.DeleteFile("C:\\bad.asc")), kErrorAccessDenied);
  EXPECT_TRUE(faulty.DeleteFile("C:\\keep.asc"));

  faulty.FailNext(FaultKind::FileWrite, kErrorWriteFault);
  auto file = faulty.OpenFile("C:\\out.dat", OpenMode::CreateAlways);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(Err(file->Write("x", 1)), kErrorWriteFault);
  EXPECT_TRUE(file->Write("y", 1));

  faulty.FailNext(FaultKind::ListFolder, kErrorNotReady);
  EXPECT_EQ(faulty.ListFolder("C:\\"), nullptr);
  EXPECT_NE(faulty.ListFolder("C:\\"), nullptr);
  faulty.FailNext(FaultKind::FindFiles, kErrorNotReady);
  EXPECT_TRUE(faulty.FindFiles("C:\\*").empty());
  EXPECT_FALSE(faulty.FindFiles("C:\\*").empty());
}

}  // namespace
}  // namespace velmor::platform
