#include "support/FolderSize.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "tests/common/FaultInjectingPlatform.h"
#include "tests/common/TempPrefix.h"

namespace velmor {
namespace {

class FolderSizeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    prefix.WriteFile("drive_c/Daten/a.txt", std::string(100, 'a'));
    prefix.WriteFile("drive_c/Daten/.versteckt", std::string(20, 'h'));
    prefix.WriteFile("drive_c/Daten/Unter/b.asc", std::string(300, 'b'));
    prefix.WriteFile("drive_c/Daten/Unter/Tief/Tiefer/c.exf", std::string(4000, 'c'));
    prefix.MakeDir("drive_c/Daten/Leer");
    prefix.WriteFile("drive_c/Daten2/nicht.txt", std::string(7, 'x'));
    prefix.WriteFile("drive_c/Andere/ziel.bin", std::string(50, 'z'));
    chmod(prefix.Abs("drive_c/Daten/a.txt").c_str(), 0444);
  }
  testing::TempPrefix prefix;
};

TEST_F(FolderSizeTest, CountsEveryFileAtEveryDepthAndLinkTargetsOnceWithAnyNumberOfThreads) {
  for (const unsigned threads : {1u, 8u}) {
    SCOPED_TRACE(threads);
    for (const char* spelling : {"C:\\Daten", "c:\\daten\\"}) {
      const FolderTreeSize size = MeasureFolderTree(spelling, threads);
      EXPECT_TRUE(size.Listed);
      EXPECT_EQ(size.Bytes, 4420u);  // hidden and read-only files too; the sibling Daten2 not
      EXPECT_EQ(size.Files, 4u);
      EXPECT_EQ(size.Folders, 4u);  // Unter, Tief, Tiefer, Leer
    }
  }
  EXPECT_FALSE(MeasureFolderTree("C:\\Fehlt").Listed);
  EXPECT_EQ(MeasureFolderTree("C:\\Fehlt").Bytes, 0u);
  EXPECT_FALSE(MeasureFolderTree("").Listed);

  // Links count what they point to, once; links back up or to the root are not entered.
  namespace fs = std::filesystem;
  fs::create_symlink(prefix.Abs("drive_c/Andere/ziel.bin"), prefix.Abs("drive_c/Daten/verweis.bin"));
  fs::create_directory_symlink(prefix.Abs("drive_c/Andere"), prefix.Abs("drive_c/Daten/Unter/Andere"));
  fs::create_directory_symlink("..", prefix.Abs("drive_c/Daten/Unter/Tief/Hoch"));
  fs::create_directory_symlink("/", prefix.Abs("drive_c/Daten/Wurzel"));
  fs::create_symlink(prefix.Abs("drive_c/weg"), prefix.Abs("drive_c/Daten/kaputt"));
  for (const unsigned threads : {1u, 8u}) {
    SCOPED_TRACE(threads);
    const FolderTreeSize size = MeasureFolderTree("C:\\Daten", threads);
    EXPECT_EQ(size.Bytes, 4420u + 50u + 50u);
    EXPECT_EQ(size.Files, 6u);
  }
}

TEST_F(FolderSizeTest, AFolderThatCannotBeReadCountsNothing) {
  // One thread: the fault-injecting platform counts its calls without a lock.
  platform::FaultInjectingPlatform faulty(platform::HostPlatform());
  platform::ScopedPlatform scope(faulty);
  faulty.FailWhere(platform::FaultKind::ListFolder, "\\Unter\\", platform::kErrorAccessDenied);
  EXPECT_EQ(MeasureFolderTree("C:\\Daten", 1).Bytes, 120u);
  faulty.FailWhere(platform::FaultKind::ListFolder, "\\Daten\\", platform::kErrorAccessDenied);
  EXPECT_FALSE(MeasureFolderTree("C:\\Daten", 1).Listed);
}

}  // namespace
}  // namespace velmor
