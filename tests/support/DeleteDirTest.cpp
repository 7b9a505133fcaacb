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
    for (const char* f : {"A.EXF", "B.BMP", "C.TXT", "SUB/D.EXF"})
      prefix.WriteFile(std::string("drive_c/DATA/") + f, f);
    copier.Attributes = platform::kAttrNormal;
    copier.SourceFolder = "C:\\DATA";
    copier.TargetFolder = "D:\\PROJ";
    copier.Masks = "*.EXF;*.BMP";
  }
  testing::TempPrefix prefix;
  TCopyTree copier;
};

TEST_F(CopyTreeTest, CopiesMatchesFlatAndTheLaterOfOneNameWins) {
  prefix.WriteFile("drive_c/DATA/SUB/A.EXF", "from sub");
  ASSERT_TRUE(platform::Os().SetFileAttributes("C:\\DATA\\B.BMP", platform::kAttrReadOnly));
  copier.CopyFiles();
  EXPECT_EQ(copier.FoundFiles,
            (Lines{"C:\\DATA\\B.BMP", "C:\\DATA\\A.EXF", "C:\\DATA\\SUB\\A.EXF", "C:\\DATA\\SUB\\D.EXF"}));
  EXPECT_EQ(copier.TargetFolder, "D:\\PROJ\\");
  EXPECT_EQ(prefix.ReadFile("drive_d/PROJ/A.EXF"), "from sub");
  EXPECT_EQ(prefix.ReadFile("drive_d/PROJ/D.EXF"), "SUB/D.EXF");
  EXPECT_FALSE(prefix.Exists("drive_d/PROJ/C.TXT"));
  EXPECT_FALSE(prefix.Exists("drive_d/PROJ/SUB"));
  // A read-only source gives a normal copy, so the next run can overwrite it.
  EXPECT_EQ(platform::Os().GetFileAttributes("D:\\PROJ\\B.BMP") & platform::kAttrReadOnly, 0u);
}

TEST_F(CopyTreeTest, NothingHappensWithoutSourceOrMatches) {
  for (const char* source : {"C:\\NOPE", ""}) {
    copier.SourceFolder = source;
    copier.CopyFiles();
  }
  copier.SourceFolder = "C:\\DATA";
  copier.Masks = "*.ZZZ";
  copier.CopyFiles();
  EXPECT_TRUE(copier.FoundFiles.empty());
  EXPECT_EQ(copier.TargetFolder, "D:\\PROJ");
  EXPECT_FALSE(prefix.Exists("drive_d/PROJ"));
}

TEST_F(CopyTreeTest, EmptyTargetWithMatchesIsAnErrorAndFailingCopiesArePassedOver) {
  copier.TargetFolder = "";
  EXPECT_THROW(
      try { copier.CopyFiles(); } catch (const VelmorError& e) {
        EXPECT_STREQ(e.what(), "Das Verzeichnis kann nicht erstellt werden");
        throw;
      },
      VelmorError);
  // A target that cannot be created (a file is in the way): every copy fails quietly.
  prefix.WriteFile("drive_d/PROJ", "in the way");
  copier.TargetFolder = "D:\\PROJ";
  copier.CopyFiles();
  EXPECT_EQ(copier.FoundFiles.size(), 3u);
  EXPECT_EQ(prefix.ReadFile("drive_d/PROJ"), "in the way");
}

TEST_F(CopyTreeTest, ExclusionsStayAndFoldersOfThatNameAreStillSearched) {
  for (const char* f : {"X.ASC", "SIASC.ASC", "SIASC/Y.ASC"})
    prefix.WriteFile(std::string("drive_c/NS/") + f, f);
  copier.CopyFiles();
  copier.Search.Criteria().Files.Excluded.push_back("SIASC");
  copier.SourceFolder = "C:\\NS";
  copier.TargetFolder = "D:\\SYM";
  copier.Masks = "*.ASC";
  std::vector<size_t> progress;
  copier.OnProgress = [&](size_t done, size_t total, const std::string&) {
    progress.push_back(done * 10 + total);
  };
  copier.CopyFiles();
  EXPECT_EQ(copier.FoundFiles, (Lines{"C:\\NS\\X.ASC", "C:\\NS\\SIASC\\Y.ASC"}));
  EXPECT_FALSE(prefix.Exists("drive_d/SYM/SIASC.ASC"));
  EXPECT_EQ(progress, (std::vector<size_t>{2, 12, 22}));
}

}  // namespace
}  // namespace velmor
