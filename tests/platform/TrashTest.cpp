#include "platform/Trash.h"

#include <unistd.h>

#include <regex>

#include "tests/platform/PlatformTestUtil.h"

namespace velmor::platform {
namespace {

namespace fs = std::filesystem;

class TrashTest : public ::testing::Test {
 protected:
  velmor::testing::TempPrefix prefix_;
  std::string trash_ = prefix_.Home() + "/.local/share/Trash";
  uint32_t error_ = 0;
};

TEST_F(TrashTest, FilesAndFoldersGoToHomeTrashWithInfoUnderFreeNames) {
  prefix_.WriteFile("drive_c/P/Mein Plan ä%.EXF", "data");
  const std::string item = prefix_.Abs("drive_c/P/Mein Plan ä%.EXF");
  ASSERT_EQ(TrashFoldersFor(item).at(0), trash_);
  ASSERT_TRUE(MoveHostPathToTrash(item, error_));

  EXPECT_FALSE(prefix_.Exists(item));
  const auto info = prefix_.ReadFile(trash_ + "/info/Mein Plan ä%.EXF.trashinfo");
  ASSERT_TRUE(info);
  const std::string encodedRoot = prefix_.Root();  // mkdtemp names need no encoding
  EXPECT_TRUE(std::regex_match(*info, std::regex("\\[Trash Info\\]\nPath=" + encodedRoot +
                                                 "/drive_c/P/Mein%20Plan%20%C3%A4%25\\.EXF\n"
                                                 "DeletionDate=\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\n")))
      << *info;

  // Taken names get numbered before the extension; folders move whole.
  for (int i = 0; i < 3; ++i) {
    prefix_.WriteFile("drive_c/x/A.ASC", "v" + std::to_string(i));
    ASSERT_TRUE(MoveHostPathToTrash(prefix_.Abs("drive_c/x/A.ASC"), error_));
  }
  prefix_.WriteFile("drive_c/x/SUB/deep/f", "f");
  prefix_.WriteFile(trash_ + "/files/SUB", "orphan without info");  // a taken name without info file
  ASSERT_TRUE(MoveHostPathToTrash(prefix_.Abs("drive_c/x/SUB/"), error_));
  EXPECT_EQ(Tree(trash_ + "/files"),
            "A.2.ASC=v1\nA.3.ASC=v2\nA.ASC=v0\nMein Plan ä%.EXF=data\nSUB.2/\nSUB.2/deep/\nSUB.2/deep/f=f\n"
            "SUB=orphan without info\n");
  EXPECT_EQ(Entries(trash_ + "/info"), (Names{"A.2.ASC.trashinfo", "A.3.ASC.trashinfo", "A.ASC.trashinfo",
                                              "Mein Plan ä%.EXF.trashinfo", "SUB.2.trashinfo"}));
}

TEST_F(TrashTest, FailureLeavesItemAndNoInfo) {
  prefix_.WriteFile("drive_c/keep.txt", "keep");
  const std::string item = prefix_.Abs("drive_c/keep.txt");

  // A trash folder that cannot be created.
  prefix_.WriteFile("blocked", "a file where the trash should be");
  EXPECT_FALSE(MoveHostPathToTrashFolder(item, prefix_.Abs("blocked/Trash"), error_));
  EXPECT_EQ(error_, kErrorAccessDenied);

  // A trash on another file system: the info file is written, the rename fails and is taken back.
  if (const std::string other = FolderOnOtherFileSystem(prefix_.Root()); !other.empty()) {
    error_ = 0;
    EXPECT_FALSE(MoveHostPathToTrashFolder(item, other + "/Trash", error_));
    EXPECT_EQ(error_, kErrorAccessDenied);
    EXPECT_TRUE(fs::is_empty(other + "/Trash/info"));
    // There the trash is the file system's own top folder, never the home trash.
    const auto folders = TrashFoldersFor(other);
    fs::remove_all(other);
    ASSERT_FALSE(folders.empty());
    EXPECT_EQ(folders.back(), "/dev/shm/.Trash-" + std::to_string(::getuid()));
    for (const auto& f : folders) EXPECT_NE(f, trash_);
  }
  EXPECT_EQ(prefix_.ReadFile(item), "keep");

  error_ = 0;
  EXPECT_FALSE(MoveHostPathToTrash(prefix_.Abs("drive_c/missing"), error_));
  EXPECT_EQ(error_, kErrorFileNotFound);

  // A folder cannot go into a trash inside itself.
  prefix_.MakeDir("drive_c/outer");
  EXPECT_FALSE(
      MoveHostPathToTrashFolder(prefix_.Abs("drive_c/outer"), prefix_.Abs("drive_c/outer/T"), error_));
  EXPECT_TRUE(prefix_.Exists("drive_c/outer"));
}

}  // namespace
}  // namespace velmor::platform
