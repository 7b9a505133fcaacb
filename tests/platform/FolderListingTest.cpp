#include <sys/xattr.h>

#include "tests/platform/PlatformTestUtil.h"

namespace velmor::platform {
namespace {

namespace fs = std::filesystem;
using ListFolder = PlatformTest;
using FindFiles = PlatformTest;

// The names of a listing or of found entries in their order, folders with a "/": "./ ../ a.asc sub/".
std::string Shown(IFolderListing& listing) {
  std::string shown;
  for (size_t i = 0; i < listing.Count(); ++i)
    shown += (i ? " " : "") + std::string(listing.Name(i)) + (listing.IsDirectory(i) ? "/" : "");
  return shown;
}

std::string Shown(const std::vector<FindData>& found) {
  std::string shown;
  for (const auto& f : found)
    shown += (shown.empty() ? "" : " ") + f.name + (f.attributes & kAttrDirectory ? "/" : "");
  return shown;
}

TEST_F(ListFolder, SortsLikeWineWithDotsFirstExceptInDriveRoot) {
  for (const char* name : {"b.txt", "a.asc", "A.ASC", "_x", "Zeta", "ärger", "Bx", "!bang"})
    prefix.WriteFile(std::string("drive_d/sub/") + name, "");
  prefix.WriteFile("drive_d/root.txt", "");
  // Names no Windows path can hold are left out.
  prefix.WriteFile("drive_d/sub/back\\slash", "");
  prefix.WriteFile("drive_d/sub/bad\xff", "");

  auto listing = os.ListFolder("D:\\SUB");
  ASSERT_NE(listing, nullptr);
  EXPECT_EQ(Shown(*listing), "./ ../ !bang A.ASC a.asc b.txt Bx Zeta _x ärger");
  auto root = os.ListFolder("D:\\");
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(Shown(*root), "root.txt sub/");

  EXPECT_EQ(os.ListFolder("D:\\missing"), nullptr);
  EXPECT_EQ(os.ListFolder("D:\\root.txt"), nullptr);

  // Names that agree in their first eight folded letters are ordered by the rest of the folded name,
  // then by their bytes; non-ASCII letters fold as well. A folder outside every drive lists too.
  for (const char* name : {"Verzeichnis_b", "verzeichnis_a", "Verzeichnisse", "VERZEICHNIS_A", "Verzeichnis",
                           "\xc3\xa4rgerlich_Z", "\xc3\x84RGERLICH_a"})
    prefix.WriteFile(std::string("long/") + name, "");
  std::string unixForm = "\\\\?\\unix" + prefix.Abs("long");
  std::replace(unixForm.begin(), unixForm.end(), '/', '\\');
  listing = os.ListFolder(unixForm);
  ASSERT_NE(listing, nullptr);
  EXPECT_EQ(Shown(*listing),
            "./ ../ Verzeichnis Verzeichnisse VERZEICHNIS_A verzeichnis_a Verzeichnis_b \xc3\x84RGERLICH_a "
            "\xc3\xa4rgerlich_Z");
}

TEST_F(ListFolder, LinksToFoldersAreFoldersBrokenLinksAreNotListedAndDetailsSeeChanges) {
  prefix.MakeDir("drive_d/real");
  prefix.WriteFile("drive_d/file", "");
  fs::create_directory_symlink(prefix.DriveD() + "/real", prefix.DriveD() + "/linkdir");
  fs::create_symlink(prefix.DriveD() + "/file", prefix.DriveD() + "/linkfile");
  // Nothing could open these: a link whose target is gone and a link to itself.
  fs::create_symlink(prefix.DriveD() + "/gone", prefix.DriveD() + "/dangling");
  fs::create_symlink(prefix.DriveD() + "/self", prefix.DriveD() + "/self");
  auto listing = os.ListFolder("D:\\");
  ASSERT_NE(listing, nullptr);
  ASSERT_EQ(Shown(*listing), "file linkdir/ linkfile real/");
  EXPECT_EQ(listing->Identity(), os.GetFolderId("D:\\").value_or(FolderId{}));
  // A link leads to the same folder as its target; a file is no folder.
  EXPECT_EQ(os.GetFolderId("D:\\LINKDIR"), os.GetFolderId("D:\\real\\"));
  EXPECT_NE(os.GetFolderId("D:\\real"), os.GetFolderId("D:\\"));
  EXPECT_FALSE(os.GetFolderId("D:\\file").has_value());
  EXPECT_FALSE(os.GetFolderId("D:\\dangling").has_value());
  EXPECT_EQ(Shown(os.FindFiles("D:\\dangl*")), "");

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

TEST_F(FindFiles, MasksFoldersAndAttributeFilter) {
  for (const char* name :
       {"EPL_ASC.EXF", "S1.EXF", "s2.exf", "S3.EXFX", "bild.bmp", ".hid.exf", "SH1", "SH12"})
    prefix.WriteFile(std::string("drive_d/exf/") + name, "x");
  prefix.MakeDir("drive_d/exf/SUB.EXF");
  prefix.MakeDir("drive_c/work");
  ASSERT_TRUE(os.SetFileAttributes("D:\\exf\\S1.EXF", kAttrSystem));

  EXPECT_EQ(Shown(os.FindFiles("D:\\EXF\\*.exf")), ".hid.exf EPL_ASC.EXF S1.EXF s2.exf SUB.EXF/");
  EXPECT_EQ(Shown(os.FindFiles("D:\\EXF\\*.exf", 0)), "EPL_ASC.EXF s2.exf");
  EXPECT_EQ(Shown(os.FindFiles("D:/exf/SH??", 0)), "SH1 SH12");
  EXPECT_EQ(Shown(os.FindFiles("D:\\exf\\*", kAttrDirectory)).substr(0, 6), "./ ../");
  EXPECT_TRUE(os.FindFiles("D:\\exf\\").empty());
  EXPECT_EQ(Err(!os.FindFiles("D:\\exf\\*.none").empty()), kErrorFileNotFound);
  EXPECT_EQ(Err(!os.FindFiles("D:\\nothing\\*").empty()), kErrorPathNotFound);

  const auto found = os.FindFiles("D:\\exf\\bild.bmp", 0);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].attributes, kAttrArchive);
  EXPECT_EQ(found[0].size, 1u);
  EXPECT_NE(found[0].lastWriteTime, 0u);
}

TEST_F(FindFiles, PlainNameNamesOneEntryAndDotsNameFolders) {
  for (const char* name : {"A.ASC", "a.asc", "b.Asc", "B.ASC.BAK", "X.TXT", "X"})
    prefix.WriteFile(std::string("drive_d/ns/") + name, "");
  prefix.MakeDir("drive_d/ns/Sub");
  const auto find = [&](const std::string& mask) { return Shown(os.FindFiles("D:\\ns\\" + mask)); };
  // The exact spelling when it exists, otherwise the first match in listing order; never every variant.
  EXPECT_EQ(find("A.ASC"), "A.ASC");
  EXPECT_EQ(find("a.asc"), "a.asc");
  EXPECT_EQ(find("a.ASC"), "A.ASC");
  EXPECT_EQ(find("B.ASC"), "b.Asc");
  EXPECT_EQ(find("A.ASC."), "A.ASC");
  EXPECT_EQ(find("X. "), "X");
  EXPECT_EQ(find("*.ASC"), "A.ASC a.asc b.Asc");
  // Endings of the mask: blanks dropped, dots and blanks as one final dot.
  EXPECT_EQ(find("*.TXT "), "X.TXT");
  EXPECT_EQ(find("X.TXT ."), "X.TXT");
  EXPECT_EQ(find("X.TXT.."), "X.TXT");
  EXPECT_EQ(find("*."), "./ ../ Sub/ X");
  EXPECT_EQ(find(" "), "");
  EXPECT_EQ(find("..."), "");
  // "." and ".." name the folder and its parent under their own names, as the full path does.
  EXPECT_EQ(find("Sub\\."), "Sub/");
  EXPECT_EQ(find("SUB\\.."), "ns/");
  EXPECT_EQ(find("."), "ns/");
  EXPECT_EQ(Err(!os.FindFiles("D:\\.").empty()), kErrorFileNotFound);
  EXPECT_EQ(Shown(os.FindFiles("D:\\ns\\Sub\\.", 0)), "");  // a folder, and the filter wants none
  // A folder part with a trailing dot is the folder without it; only one dot goes.
  EXPECT_EQ(Shown(os.FindFiles("D:\\ns.\\*.TXT")), "X.TXT");
  EXPECT_EQ(Err(!os.FindFiles("D:\\ns..\\*.TXT").empty()), kErrorPathNotFound);
  // A pattern without folder means the current folder.
  ASSERT_TRUE(os.SetCurrentDirectory("D:\\ns"));
  EXPECT_EQ(Shown(os.FindFiles("*.TXT", 0)) + " " + Shown(os.FindFiles("D:*.TXT", 0)), "X.TXT X.TXT");
}

}  // namespace
}  // namespace velmor::platform
