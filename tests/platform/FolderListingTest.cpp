#include <sys/xattr.h>

#include "tests/platform/PlatformTestUtil.h"

namespace velmor::platform {
namespace {

namespace fs = std::filesystem;

// The names of a listing or of found entries in their order, links with a "@", folders with a "/":
// "./ ../ a.asc sub/ link@/".
std::string Shown(IFolderListing& listing) {
  std::string shown;
  for (size_t i = 0; i < listing.Count(); ++i)
    shown += (i ? " " : "") + std::string(listing.Name(i)) + (listing.IsLink(i) ? "@" : "") +
             (listing.IsDirectory(i) ? "/" : "");
  return shown;
}

std::string Shown(const std::vector<FindData>& found) {
  std::string shown;
  for (const auto& f : found)
    shown += (shown.empty() ? "" : " ") + f.name + (f.attributes & kAttrDirectory ? "/" : "");
  return shown;
}

// The listing order is held to Wine's in the case tables of the check against Wine.
TEST_F(PlatformTest, ListFolderLeavesOutNamesNoWindowsPathCanHoldAndListsAFolderByItsHostForm) {
  prefix.WriteFile("drive_d/sub/b.txt", "");
  prefix.WriteFile("drive_d/sub/back\\slash", "");
  prefix.WriteFile("drive_d/sub/bad\xff", "");
  auto listing = os.ListFolder("D:\\SUB");
  ASSERT_NE(listing, nullptr);
  EXPECT_EQ(Shown(*listing), "./ ../ b.txt");
  EXPECT_EQ(os.ListFolder("D:\\missing"), nullptr);
  EXPECT_EQ(os.ListFolder("D:\\sub\\b.txt"), nullptr);

  std::string unixForm = "\\\\?\\unix" + prefix.Abs("drive_d/sub");
  std::replace(unixForm.begin(), unixForm.end(), '/', '\\');
  listing = os.ListFolder(unixForm);
  ASSERT_NE(listing, nullptr);
  EXPECT_EQ(Shown(*listing), "./ ../ b.txt");
}

TEST_F(PlatformTest, ListFolderLinksToFoldersAreFoldersBrokenLinksAreNotListedAndDetailsSeeChanges) {
  prefix.MakeDir("drive_d/real");
  prefix.WriteFile("drive_d/file", "");
  fs::create_directory_symlink(prefix.DriveD() + "/real", prefix.DriveD() + "/linkdir");
  fs::create_symlink(prefix.DriveD() + "/file", prefix.DriveD() + "/linkfile");
  // Nothing could open these: a link whose target is gone and a link to itself.
  fs::create_symlink(prefix.DriveD() + "/gone", prefix.DriveD() + "/dangling");
  fs::create_symlink(prefix.DriveD() + "/self", prefix.DriveD() + "/self");
  auto listing = os.ListFolder("D:\\");
  ASSERT_NE(listing, nullptr);
  ASSERT_EQ(Shown(*listing), "file linkdir@/ linkfile@ real/");
  // A listing's identity and the stored sizes of links and of files with two names are held by the
  // counts of FolderSizeTest, the identity of a folder reached through a link by the walks of
  // FindFileTest that meet links back up; a file is no folder.
  EXPECT_FALSE(os.GetFolderId("D:\\file").has_value());
  EXPECT_FALSE(os.GetFolderId("D:\\dangling").has_value());

  // Details are fetched when asked: changes made after the listing show.
  prefix.WriteFile("drive_d/real/data.exf", "12345");
  prefix.WriteFile("drive_d/real/.versteckt", "");
  listing = os.ListFolder("D:\\real");
  ASSERT_NE(listing, nullptr);
  ASSERT_EQ(Shown(*listing), "./ ../ .versteckt data.exf");
  chmod((prefix.DriveD() + "/real/data.exf").c_str(), 0444);
  setxattr((prefix.DriveD() + "/real/data.exf").c_str(), "user.DOSATTRIB", "0x4", 3, 0);
  prefix.WriteFile("drive_d/real/data.exf", "1234567");
  EXPECT_EQ(listing->Attributes(3), kAttrArchive | kAttrReadOnly | kAttrSystem);
  EXPECT_EQ(listing->Attributes(2), kAttrArchive | kAttrHidden);
  FindData data;
  ASSERT_TRUE(listing->Details(3, data));
  EXPECT_EQ(data.name, "data.exf");
  EXPECT_EQ(data.size, 7u);
  fs::remove(prefix.DriveD() + "/real/data.exf");
  EXPECT_FALSE(listing->Details(3, data));
}

// Walks below the host's root learn where virtual file systems are mounted, spelled as they spell the
// folder they start from, also when that is reached through a link.
TEST_F(PlatformTest, ListFolderMountsBelowAFolderAreSpelledAsItIs) {
  fs::create_directory_symlink("/", prefix.DriveD() + "/root");
  const auto find = [](const FolderMounts& mounts, const std::string& folder) {
    for (const MountedFolder& m : mounts.mounts)
      if (m.folder == folder) return m.isVirtual ? "virtual" : "stored";
    return "not a mount";
  };
  const FolderMounts host = os.MountsBelow("Z:\\");
  EXPECT_STREQ(find(host, "Z:\\proc\\"), "virtual");
  EXPECT_STREQ(find(host, "Z:\\"), "stored");
  EXPECT_STREQ(find(os.MountsBelow("D:\\root"), "D:\\root\\proc\\"), "virtual");
  EXPECT_STREQ(find(os.MountsBelow("D:\\"), "D:\\proc\\"), "not a mount");
  EXPECT_TRUE(host.IsVirtual(os.GetFolderId("Z:\\proc\\self").value_or(FolderId{})));
  EXPECT_FALSE(host.IsVirtual(os.GetFolderId("D:\\").value_or(FolderId{})));
}

// The masks and what a path names are held to Windows in the case tables of the check against Wine,
// which always ask for every kind of entry; here the attribute filter and the current folder.
TEST_F(PlatformTest, FindFilesFilterAttributesAndCurrentFolder) {
  for (const char* name : {"EPL_ASC.EXF", "S1.EXF", "s2.exf", "S3.EXFX", "bild.bmp", ".hid.exf"})
    prefix.WriteFile(std::string("drive_d/exf/") + name, "x");
  prefix.MakeDir("drive_d/exf/SUB.EXF");
  ASSERT_TRUE(os.SetFileAttributes("D:\\exf\\S1.EXF", kAttrSystem));

  EXPECT_EQ(Shown(os.FindFiles("D:\\EXF\\*.exf", 0)), "EPL_ASC.EXF s2.exf");
  EXPECT_EQ(Shown(os.FindFiles("D:\\exf\\*", kAttrDirectory)).substr(0, 6), "./ ../");
  EXPECT_EQ(Shown(os.FindFiles("D:\\exf\\SUB.EXF\\.", 0)), "");  // a folder, and the filter wants none

  const auto found = os.FindFiles("D:\\exf\\bild.bmp", 0);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].attributes, kAttrArchive);
  EXPECT_EQ(found[0].size, 1u);
  EXPECT_NE(found[0].lastWriteTime, 0u);

  // A pattern without folder means the current folder.
  ASSERT_TRUE(os.SetCurrentDirectory("D:\\exf"));
  EXPECT_EQ(Shown(os.FindFiles("*.bmp", 0)), "bild.bmp");
  EXPECT_EQ(Shown(os.FindFiles("D:*.bmp", 0)), "bild.bmp");
}

}  // namespace
}  // namespace velmor::platform
