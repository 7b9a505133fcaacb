#include "support/DeleteDir.h"

#include <gtest/gtest.h>

#include "platform/Error.h"
#include "tests/platform/PlatformTestUtil.h"

namespace velmor {
namespace {

using Lines = std::vector<std::string>;

class CopyTreeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* f : {"A.EXF", "B.BMP", "C.TXT", "SUB/A.EXF", "SIASC.ASC", "SIASC/Y.ASC"})
      prefix.WriteFile(std::string("drive_c/DATA/") + f, f);
    copier.Attributes = platform::kAttrNormal;
    copier.SourceFolder = "C:\\DATA";
    copier.TargetFolder = "D:\\PROJ";
    copier.Masks = "*.EXF;*.BMP";
  }
  testing::TempPrefix prefix;
  TCopyTree copier{platform::HostPlatform()};
};

TEST_F(CopyTreeTest, CopiesMatchesFlatTheLaterOfOneNameWinsAndExclusionsStay) {
  ASSERT_TRUE(platform::Os().SetFileAttributes("C:\\DATA\\B.BMP", platform::kAttrReadOnly));
  copier.CopyFiles();
  EXPECT_EQ(copier.FoundFiles, (Lines{"C:\\DATA\\B.BMP", "C:\\DATA\\A.EXF", "C:\\DATA\\SUB\\A.EXF"}));
  EXPECT_EQ(copier.TargetFolder, "D:\\PROJ\\");
  // A read-only source gives a normal copy, so the next run can overwrite it.
  EXPECT_EQ(platform::Tree(prefix.Abs("drive_d/PROJ")), "A.EXF=SUB/A.EXF\nB.BMP=B.BMP\n");
  // An exclusion that stays for a later run of other masks, keeping out SIASC.ASC but not what lies in
  // a folder SIASC, and the progress of the copies are how the transfer copies its symbol files: the
  // golden of ProjectTransferTest.FirstTransferBuildsTheProjectAndMovesTheOldSymbols.
}

TEST_F(CopyTreeTest, NothingWithoutSourceOrMatchesEmptyTargetIsAnErrorAndFailingCopiesArePassedOver) {
  // Without a source or without matches nothing happens, not even the target folder.
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

  copier.Masks = "*.EXF;*.BMP";
  copier.TargetFolder = "";
  try {
    copier.CopyFiles();
    ADD_FAILURE() << "no error";
  } catch (const VelmorError& e) {
    EXPECT_STREQ(e.what(), "Das Verzeichnis kann nicht erstellt werden");
  }
  // A target that cannot be created (a file is in the way): every copy fails quietly.
  prefix.WriteFile("drive_d/PROJ", "in the way");
  copier.TargetFolder = "D:\\PROJ";
  copier.CopyFiles();
  EXPECT_EQ(copier.FoundFiles.size(), 3u);
  EXPECT_EQ(prefix.ReadFile("drive_d/PROJ"), "in the way");
}

}  // namespace
}  // namespace velmor
