#include "support/DeleteDir.h"

#include <gtest/gtest.h>

#include "platform/Error.h"
#include "platform/Platform.h"
#include "tests/common/TempPrefix.h"

namespace velmor {
namespace {

using Lines = std::vector<std::string>;

class CopyTreeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    prefix.WriteFile("drive_c/DATA/A.EXF", "a");
    prefix.WriteFile("drive_c/DATA/B.BMP", "b");
    prefix.WriteFile("drive_c/DATA/C.TXT", "c");
    prefix.WriteFile("drive_c/DATA/SUB/D.EXF", "d");
    copier.Attributes = platform::kAttrNormal;
    copier.SourceFolder = "C:\\DATA";
    copier.TargetFolder = "D:\\PROJ";
    copier.Masks = "*.EXF;*.BMP";
  }

  testing::TempPrefix prefix;
  TCopyTree copier;
};

TEST_F(CopyTreeTest, CopiesMatchesFlatIntoACreatedTarget) {
  copier.CopyFiles();
  EXPECT_EQ(copier.FoundFiles, (Lines{"C:\\DATA\\B.BMP", "C:\\DATA\\A.EXF", "C:\\DATA\\SUB\\D.EXF"}));
  EXPECT_EQ(copier.TargetFolder, "D:\\PROJ\\");
  EXPECT_EQ(prefix.ReadFile("drive_d/PROJ/A.EXF"), "a");
  EXPECT_EQ(prefix.ReadFile("drive_d/PROJ/B.BMP"), "b");
  EXPECT_EQ(prefix.ReadFile("drive_d/PROJ/D.EXF"), "d");
  EXPECT_FALSE(prefix.Exists("drive_d/PROJ/C.TXT"));
  EXPECT_FALSE(prefix.Exists("drive_d/PROJ/SUB"));
}

TEST_F(CopyTreeTest, LaterMatchOfTheSameNameWinsAndReadOnlyBecomesNormal) {
  prefix.WriteFile("drive_c/DATA/SUB/A.EXF", "from sub");
  prefix.WriteFile("drive_d/PROJ/A.EXF", "old");
  ASSERT_TRUE(platform::Os().SetFileAttributes("C:\\DATA\\B.BMP", platform::kAttrReadOnly));
  // A read-only file in the target refuses the copy but is still made normal, so the next run replaces it.
  copier.CopyFiles();
  ASSERT_TRUE(platform::Os().SetFileAttributes("D:\\PROJ\\B.BMP", platform::kAttrReadOnly));
  copier.Attributes = platform::kAttrNormal;
  copier.CopyFiles();
  EXPECT_EQ(prefix.ReadFile("drive_d/PROJ/A.EXF"), "from sub");
  EXPECT_EQ(platform::Os().GetFileAttributes("D:\\PROJ\\B.BMP") & platform::kAttrReadOnly, 0u);
}

TEST_F(CopyTreeTest, NothingHappensWithoutSourceOrMatches) {
  copier.SourceFolder = "C:\\NOPE";
  copier.CopyFiles();
  EXPECT_EQ(copier.TargetFolder, "D:\\PROJ");
  copier.SourceFolder = "";
  copier.CopyFiles();
  copier.SourceFolder = "C:\\DATA";
  copier.Masks = "*.ZZZ";
  copier.CopyFiles();
  EXPECT_TRUE(copier.FoundFiles.empty());
  EXPECT_EQ(copier.TargetFolder, "D:\\PROJ");
  EXPECT_FALSE(prefix.Exists("drive_d/PROJ"));
}

TEST_F(CopyTreeTest, EmptyTargetWithMatchesIsAnError) {
  copier.TargetFolder = "";
  try {
    copier.CopyFiles();
    FAIL() << "no error";
  } catch (const VelmorError& e) {
    EXPECT_STREQ(e.what(), "Das Verzeichnis kann nicht erstellt werden");
  }
}

TEST_F(CopyTreeTest, ExclusionsStayAndFoldersOfThatNameAreStillSearched) {
  prefix.WriteFile("drive_c/NS/X.ASC", "x");
  prefix.WriteFile("drive_c/NS/SIASC.ASC", "s");
  prefix.WriteFile("drive_c/NS/SIASC/Y.ASC", "y");
  copier.CopyFiles();
  copier.Search.Criteria().Files.Excluded.push_back("SIASC");
  copier.SourceFolder = "C:\\NS";
  copier.TargetFolder = "D:\\SYM";
  copier.Masks = "*.ASC";
  size_t calls = 0, lastDone = 0;
  copier.OnProgress = [&](size_t done, size_t total, const std::string&) {
    ++calls;
    lastDone = done;
    EXPECT_EQ(total, 2u);
  };
  copier.CopyFiles();
  EXPECT_EQ(copier.FoundFiles, (Lines{"C:\\NS\\X.ASC", "C:\\NS\\SIASC\\Y.ASC"}));
  EXPECT_FALSE(prefix.Exists("drive_d/SYM/SIASC.ASC"));
  EXPECT_EQ(calls, 3u);
  EXPECT_EQ(lastDone, 2u);
}

TEST_F(CopyTreeTest, FailingCopiesArePassedOver) {
  // The target is a file, so it cannot be created: every copy fails quietly.
  prefix.WriteFile("drive_d/PROJ", "in the way");
  copier.CopyFiles();
  EXPECT_EQ(copier.FoundFiles.size(), 3u);
  EXPECT_EQ(prefix.ReadFile("drive_d/PROJ"), "in the way");
}

}  // namespace
}  // namespace velmor
