// Reading, copying and attribute calls take the spelled path first and reuse what the lookup already
// learnt; these cases make sure the shortcuts still end where the full lookup would.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "platform/Platform.h"
#include "tests/common/TempPrefix.h"

namespace velmor::platform {
namespace {

namespace fs = std::filesystem;
using testing::TempPrefix;

std::string ReadAllOf(IFile& file) {
  std::string bytes;
  char buffer[64];
  for (int64_t n; (n = file.Read(buffer, sizeof buffer)) > 0;) bytes.append(buffer, static_cast<size_t>(n));
  return bytes;
}

TEST(ReadOpen, FindsOtherCaseAndRefusesFoldersAndMissingFiles) {
  TempPrefix prefix;
  prefix.WriteFile("drive_c/Eplan5/Sub/file.txt", "inhalt");
  prefix.MakeDir("drive_c/Eplan5/Sub/Folder");
  IPlatform& os = HostPlatform();

  auto exact = os.OpenFile("C:\\Eplan5\\Sub\\file.txt", OpenMode::Read);
  ASSERT_NE(exact, nullptr);
  EXPECT_EQ(ReadAllOf(*exact), "inhalt");
  auto other = os.OpenFile("c:/EPLAN5/sub/FILE.TXT", OpenMode::Read);
  ASSERT_NE(other, nullptr);
  EXPECT_EQ(ReadAllOf(*other), "inhalt");
  EXPECT_EQ(os.ReadFile("C:\\EPLAN5\\SUB\\File.Txt").value_or(""), "inhalt");

  EXPECT_EQ(os.OpenFile("C:\\EPLAN5\\SUB\\FOLDER", OpenMode::Read), nullptr);
  EXPECT_EQ(os.LastError(), kErrorAccessDenied);
  EXPECT_EQ(os.OpenFile("C:\\EPLAN5\\SUB\\none.txt", OpenMode::Read), nullptr);
  EXPECT_EQ(os.LastError(), kErrorFileNotFound);
  EXPECT_EQ(os.OpenFile("C:\\EPLAN5\\none\\x.txt", OpenMode::Read), nullptr);
  EXPECT_EQ(os.LastError(), kErrorPathNotFound);
  EXPECT_EQ(os.OpenFile("C:\\EPLAN5\\SUB\\file.txt\\", OpenMode::Read), nullptr);

  // A named pipe is refused at once, never waited on (a content search meeting one must go on).
  ASSERT_EQ(mkfifo(prefix.Abs("drive_c/Eplan5/Sub/pipe").c_str(), 0644), 0);
  EXPECT_EQ(os.OpenFile("C:\\EPLAN5\\SUB\\pipe", OpenMode::Read), nullptr);
  EXPECT_EQ(os.LastError(), kErrorAccessDenied);
  EXPECT_FALSE(os.ReadFile("C:\\EPLAN5\\SUB\\pipe"));
  EXPECT_FALSE(os.CopyFile("C:\\EPLAN5\\SUB\\pipe", "C:\\EPLAN5\\copy", false));
}

TEST(ReadOpen, SizeFollowsTheFileOnceItIsUsed) {
  TempPrefix prefix;
  prefix.WriteFile("drive_c/grow.dat", "abc");
  auto file = HostPlatform().OpenFile("C:\\grow.dat", OpenMode::Read);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(file->Size().value_or(0), 3u);
  std::ofstream(prefix.DriveC() + "/grow.dat", std::ios::app) << "def";
  EXPECT_EQ(file->Size().value_or(0), 6u);  // a later call asks the file again
  char c;
  EXPECT_EQ(file->Read(&c, 1), 1);
  std::ofstream(prefix.DriveC() + "/grow.dat", std::ios::app) << "g";
  EXPECT_EQ(file->Size().value_or(0), 7u);
}

TEST(CopyLookup, OtherCaseLinksAndDanglingLinks) {
  TempPrefix prefix;
  prefix.WriteFile("drive_c/Src/Data.EXF", "neu");
  prefix.WriteFile("drive_d/Out/real.exf", "alt");
  prefix.WriteFile("drive_d/Out/Ziel.exf", "alt");
  fs::create_symlink(prefix.DriveD() + "/Out/real.exf", prefix.DriveD() + "/Out/link.exf");
  fs::create_symlink(prefix.DriveD() + "/Out/gone.exf", prefix.DriveD() + "/Out/dangling.exf");
  IPlatform& os = HostPlatform();

  // Names in another case reach the existing files; the target keeps its spelling on disk.
  ASSERT_TRUE(os.CopyFile("C:\\SRC\\data.exf", "D:\\OUT\\ZIEL.EXF", false));
  EXPECT_EQ(prefix.ReadFile("drive_d/Out/Ziel.exf"), "neu");
  EXPECT_FALSE(prefix.Exists("drive_d/Out/ZIEL.EXF"));

  // Through a link the file it points to is replaced and the link stays.
  ASSERT_TRUE(os.CopyFile("C:\\Src\\Data.EXF", "D:\\Out\\link.exf", false));
  EXPECT_TRUE(fs::is_symlink(prefix.DriveD() + "/Out/link.exf"));
  EXPECT_EQ(prefix.ReadFile("drive_d/Out/real.exf"), "neu");

  // A link to nothing counts as no file: the copy takes its place.
  ASSERT_TRUE(os.CopyFile("C:\\Src\\Data.EXF", "D:\\Out\\dangling.exf", true));
  EXPECT_FALSE(fs::is_symlink(prefix.DriveD() + "/Out/dangling.exf"));
  EXPECT_EQ(prefix.ReadFile("drive_d/Out/dangling.exf"), "neu");

  EXPECT_FALSE(os.CopyFile("C:\\Src\\missing.exf", "D:\\Out\\x.exf", false));
  EXPECT_EQ(os.LastError(), kErrorFileNotFound);
  EXPECT_FALSE(os.CopyFile("C:\\Src\\Data.EXF", "D:\\Out\\Ziel.exf\\", false));
  EXPECT_EQ(os.LastError(), kErrorPathNotFound);
  EXPECT_EQ(prefix.ReadFile("drive_d/Out/Ziel.exf"), "neu");
}

TEST(AttributeLookup, LinksAreFollowedAndTrailingSeparatorsNeedFolders) {
  TempPrefix prefix;
  prefix.WriteFile("drive_c/plain.txt", "x");
  prefix.MakeDir("drive_c/dir");
  fs::create_symlink(prefix.DriveC() + "/dir", prefix.DriveC() + "/dirlink");
  IPlatform& os = HostPlatform();
  EXPECT_TRUE(os.DirectoryExists("C:\\DIRLINK"));
  EXPECT_FALSE(os.FileExists("C:\\dirlink"));
  EXPECT_TRUE(os.DirectoryExists("C:\\dir\\"));
  EXPECT_EQ(os.GetFileAttributes("C:\\plain.txt\\"), kInvalidAttributes);
  EXPECT_FALSE(os.SetFileAttributes("C:\\plain.txt\\", kAttrReadOnly));
  ASSERT_TRUE(os.SetFileAttributes("C:\\DIRLINK", kAttrReadOnly));  // read-only means nothing for folders
  EXPECT_EQ(os.GetFileAttributes("C:\\dirlink"), kAttrDirectory);
}

}  // namespace
}  // namespace velmor::platform
