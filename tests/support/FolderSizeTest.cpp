#include "support/FolderSize.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <filesystem>
#include <vector>

#include "tests/common/TempPrefix.h"
#include "tests/common/TestPlatform.h"

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
std::string Measured(const std::string& folder, unsigned threads = 1, const FolderSizeControl& control = {},
                     platform::IFileSystem& files = platform::HostPlatform()) {
  const FolderTreeSize size = MeasureFolderTree(files, folder, threads, control);
  return (size.Listed ? "" : "not listed, ") + std::string(size.Cancelled ? "cancelled, " : "") +
         std::to_string(size.Bytes) + " bytes, " + std::to_string(size.Files) + " files, " +
         std::to_string(size.Folders) + " folders";
}

// The counts below are the same with one thread and with eight.
class FolderSizeByThreads : public FolderSizeTest, public ::testing::WithParamInterface<unsigned> {};
INSTANTIATE_TEST_SUITE_P(Threads, FolderSizeByThreads, ::testing::Values(1u, 8u));

TEST_P(FolderSizeByThreads, CountsEveryFileAtEveryDepthOnceAndFollowsNoLinkToAFolder) {
  // Hidden and read-only files count, the sibling Daten2 not; the folders are Unter, Tief, Tiefer, Leer.
  for (const char* spelling : {"C:\\Daten", "c:\\daten\\"})
    EXPECT_EQ(Measured(spelling, GetParam()), "4420 bytes, 4 files, 4 folders") << spelling;
  EXPECT_EQ(Measured("C:\\Fehlt"), "not listed, 0 bytes, 0 files, 0 folders");
  EXPECT_EQ(Measured(""), "not listed, 0 bytes, 0 files, 0 folders");

  // As du counts: a link with its own length (18 bytes), a file with two names once; links to folders,
  // big ones, ones back up and to the root, are not followed.
  namespace fs = std::filesystem;
  fs::create_symlink("../Andere/ziel.bin", prefix.Abs("drive_c/Daten/verweis.bin"));
  fs::create_hard_link(prefix.Abs("drive_c/Daten/Unter/b.asc"), prefix.Abs("drive_c/Daten/Leer/b2.asc"));
  fs::create_directory_symlink(prefix.Abs("drive_c/Andere"), prefix.Abs("drive_c/Daten/Unter/Andere"));
  fs::create_directory_symlink("/usr", prefix.Abs("drive_c/Daten/Gross"));
  fs::create_directory_symlink("..", prefix.Abs("drive_c/Daten/Unter/Tief/Hoch"));
  fs::create_directory_symlink("/", prefix.Abs("drive_c/Daten/Wurzel"));
  fs::create_symlink(prefix.Abs("drive_c/weg"), prefix.Abs("drive_c/Daten/kaputt"));
  EXPECT_EQ(Measured("C:\\Daten", GetParam()), "4438 bytes, 5 files, 4 folders");
  // A virtual file system stores nothing: the count ends at once.
  EXPECT_EQ(Measured("Z:\\proc"), "0 bytes, 0 files, 0 folders");
}

// A bind mount of a folder above shows the tree again, one of a folder elsewhere shows it twice, one of
// /proc shows every process's folders: each folder counts once, nothing of /proc counts.
TEST_P(FolderSizeByThreads, BindMountsCountEachFolderOnceAndProcNothing) {
  const std::pair<const char*, const char*> mounts[] = {
      {"drive_c/Daten", "drive_c/Daten/Unter/Oben"},
      {"drive_c/Daten/Unter/Tief", "drive_c/Daten/Leer/Tief2"},
      {"/proc", "drive_c/Daten/Proc"}};
  for (const auto& [source, target] : mounts)
    if (const std::string refused = prefix.BindMount(source, target); !refused.empty())
      GTEST_SKIP() << refused;
  // The mount points were made as empty folders: Oben, Tief2 and Proc are folders of their own.
  EXPECT_EQ(Measured("C:\\Daten", GetParam()), "4420 bytes, 4 files, 4 folders");
}

TEST_F(FolderSizeTest, ACountReportsProgressAndStopsWhenCancelled) {
  std::atomic<bool> cancel = false;
  std::vector<std::string> reports;
  FolderSizeControl control;
  control.Cancel = &cancel;
  control.ProgressIntervalMs = 0;
  control.Progress = [&](const FolderTreeSize& soFar) {
    reports.push_back(std::to_string(soFar.Files) + (soFar.Cancelled ? " cancelled" : ""));
    cancel = true;
  };
  // One thread: the folder itself is counted, then the walk sees the flag.
  EXPECT_EQ(Measured("C:\\Daten", 1, control), "cancelled, 120 bytes, 2 files, 0 folders");
  EXPECT_EQ(reports, (std::vector<std::string>{"2", "2 cancelled"}));
}

TEST_F(FolderSizeTest, AFolderThatCannotBeReadCountsNothing) {
  testing::TestPlatform faulty;
  faulty.FailWhere(testing::Call::ListFolder, "\\Unter\\", platform::kErrorAccessDenied);
  EXPECT_EQ(Measured("C:\\Daten", 8, {}, faulty), "120 bytes, 2 files, 1 folders");
  faulty.FailWhere(testing::Call::ListFolder, "\\Daten\\", platform::kErrorAccessDenied);
  EXPECT_EQ(Measured("C:\\Daten", 8, {}, faulty), "not listed, 0 bytes, 0 files, 0 folders");
}

}  // namespace
}  // namespace velmor
