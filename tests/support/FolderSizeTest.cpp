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

// What a measurement found, in one line.
std::string Measured(const std::string& folder, unsigned threads = 1) {
  const FolderTreeSize size = MeasureFolderTree(folder, threads);
  return (size.Listed ? "" : "not listed, ") + std::to_string(size.Bytes) + " bytes, " +
         std::to_string(size.Files) + " files, " + std::to_string(size.Folders) + " folders";
}

TEST_F(FolderSizeTest, CountsEveryFileAtEveryDepthAndLinkTargetsOnceWithAnyNumberOfThreads) {
  for (const unsigned threads : {1u, 8u}) {
    SCOPED_TRACE(threads);
    // Hidden and read-only files count, the sibling Daten2 not; the folders are Unter, Tief, Tiefer, Leer.
    for (const char* spelling : {"C:\\Daten", "c:\\daten\\"})
      EXPECT_EQ(Measured(spelling, threads), "4420 bytes, 4 files, 4 folders");
  }
  EXPECT_EQ(Measured("C:\\Fehlt"), "not listed, 0 bytes, 0 files, 0 folders");
  EXPECT_EQ(Measured(""), "not listed, 0 bytes, 0 files, 0 folders");

  // Links count what they point to, once; links back up or to the root are not entered.
  namespace fs = std::filesystem;
  fs::create_symlink(prefix.Abs("drive_c/Andere/ziel.bin"), prefix.Abs("drive_c/Daten/verweis.bin"));
  fs::create_directory_symlink(prefix.Abs("drive_c/Andere"), prefix.Abs("drive_c/Daten/Unter/Andere"));
  fs::create_directory_symlink("..", prefix.Abs("drive_c/Daten/Unter/Tief/Hoch"));
  fs::create_directory_symlink("/", prefix.Abs("drive_c/Daten/Wurzel"));
  fs::create_symlink(prefix.Abs("drive_c/weg"), prefix.Abs("drive_c/Daten/kaputt"));
  for (const unsigned threads : {1u, 8u}) {
    EXPECT_EQ(Measured("C:\\Daten", threads), "4520 bytes, 6 files, 5 folders") << threads;
  }
}

TEST_F(FolderSizeTest, AFolderThatCannotBeReadCountsNothing) {
  // One thread: the fault-injecting platform counts its calls without a lock.
  platform::FaultInjectingPlatform faulty(platform::HostPlatform());
  platform::ScopedPlatform scope(faulty);
  faulty.FailWhere(platform::FaultKind::ListFolder, "\\Unter\\", platform::kErrorAccessDenied);
  EXPECT_EQ(Measured("C:\\Daten"), "120 bytes, 2 files, 1 folders");
  faulty.FailWhere(platform::FaultKind::ListFolder, "\\Daten\\", platform::kErrorAccessDenied);
  EXPECT_EQ(Measured("C:\\Daten"), "not listed, 0 bytes, 0 files, 0 folders");
}

}  // namespace
}  // namespace velmor
