#include <sys/stat.h>
#include <sys/xattr.h>

#include <algorithm>
#include <filesystem>

#include <gtest/gtest.h>

#include "platform/Platform.h"
#include "tests/common/TempPrefix.h"

namespace velmor::platform {
namespace {

namespace fs = std::filesystem;
using testing::TempPrefix;

std::vector<std::string> Names(IFolderListing& listing) {
  std::vector<std::string> names;
  for (size_t i = 0; i < listing.Count(); ++i) names.emplace_back(listing.Name(i));
  return names;
}

std::vector<std::string> Names(const std::vector<FindData>& found) {
  std::vector<std::string> names;
  for (const auto& f : found) names.push_back(f.name);
  return names;
}

TEST(ListFolder, SortsLikeWineWithDotsFirstExceptInDriveRoot) {
  TempPrefix prefix;
  for (const char* name : {"b.txt", "a.asc", "A.ASC", "_x", "Zeta", "ärger", "Bx", "!bang"})
    prefix.WriteFile(std::string("drive_d/sub/") + name, "");
  prefix.WriteFile("drive_d/root.txt", "");
  // Names no Windows path can hold are left out.
  prefix.WriteFile("drive_d/sub/back\\slash", "");
  prefix.WriteFile("drive_d/sub/bad\xff", "");
  IPlatform& os = HostPlatform();

  auto listing = os.ListFolder("D:\\SUB");
  ASSERT_NE(listing, nullptr);
  EXPECT_EQ(Names(*listing), (std::vector<std::string>{".", "..", "!bang", "A.ASC", "a.asc", "b.txt", "Bx",
                                                       "Zeta", "_x", "ärger"}));
  EXPECT_TRUE(listing->IsDirectory(0));
  EXPECT_TRUE(listing->IsDirectory(1));
  EXPECT_FALSE(listing->IsDirectory(2));

  auto root = os.ListFolder("D:\\");
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(Names(*root), (std::vector<std::string>{"root.txt", "sub"}));
  EXPECT_TRUE(root->IsDirectory(1));

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
  EXPECT_EQ(Names(*listing), (std::vector<std::string>{".", "..", "Verzeichnis", "Verzeichnisse",
                                                       "VERZEICHNIS_A", "verzeichnis_a", "Verzeichnis_b",
                                                       "\xc3\x84RGERLICH_a", "\xc3\xa4rgerlich_Z"}));
}

TEST(ListFolder, LinksToFoldersAreFoldersBrokenLinksAreNotListedAndDetailsSeeChanges) {
  TempPrefix prefix;
  prefix.MakeDir("drive_d/real");
  prefix.WriteFile("drive_d/file", "");
  fs::create_directory_symlink(prefix.DriveD() + "/real", prefix.DriveD() + "/linkdir");
  fs::create_symlink(prefix.DriveD() + "/file", prefix.DriveD() + "/linkfile");
  // Nothing could open these: a link whose target is gone and a link to itself.
  fs::create_symlink(prefix.DriveD() + "/gone", prefix.DriveD() + "/dangling");
  fs::create_symlink(prefix.DriveD() + "/self", prefix.DriveD() + "/self");
  IPlatform& os = HostPlatform();
  auto listing = os.ListFolder("D:\\");
  ASSERT_NE(listing, nullptr);
  ASSERT_EQ(Names(*listing), (std::vector<std::string>{"file", "linkdir", "linkfile", "real"}));
  EXPECT_TRUE(listing->IsDirectory(1));
  EXPECT_FALSE(listing->IsDirectory(2));
  EXPECT_EQ(listing->Identity(), os.GetFolderId("D:\\").value_or(FolderId{}));
  // A link leads to the same folder as its target; a file is no folder.
  EXPECT_EQ(os.GetFolderId("D:\\LINKDIR"), os.GetFolderId("D:\\real\\"));
  EXPECT_NE(os.GetFolderId("D:\\real"), os.GetFolderId("D:\\"));
  EXPECT_FALSE(os.GetFolderId("D:\\file").has_value());
  EXPECT_FALSE(os.GetFolderId("D:\\dangling").has_value());
  EXPECT_TRUE(Names(os.FindFiles("D:\\dangl*")).empty());

  // Details are fetched when asked: changes made after the listing show.
  prefix.WriteFile("drive_d/real/data.exf", "12345");
  prefix.WriteFile("drive_d/real/.versteckt", "");
  listing = os.ListFolder("D:\\real");
  ASSERT_NE(listing, nullptr);
  ASSERT_EQ(Names(*listing), (std::vector<std::string>{".", "..", ".versteckt", "data.exf"}));
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

TEST(FindFiles, MasksFoldersAndAttributeFilter) {
  TempPrefix prefix;
  for (const char* name :
       {"EPL_ASC.EXF", "S1.EXF", "s2.exf", "S3.EXFX", "bild.bmp", ".hid.exf", "SH1", "SH12"})
    prefix.WriteFile(std::string("drive_d/exf/") + name, "x");
  prefix.MakeDir("drive_d/exf/SUB.EXF");
  prefix.MakeDir("drive_c/work");
  IPlatform& os = HostPlatform();
  ASSERT_TRUE(HostPlatform().SetFileAttributes("D:\\exf\\S1.EXF", kAttrSystem));

  EXPECT_EQ(Names(os.FindFiles("D:\\EXF\\*.exf")),
            (std::vector<std::string>{".hid.exf", "EPL_ASC.EXF", "S1.EXF", "s2.exf", "SUB.EXF"}));
  EXPECT_EQ(Names(os.FindFiles("D:\\EXF\\*.exf", 0)), (std::vector<std::string>{"EPL_ASC.EXF", "s2.exf"}));
  EXPECT_EQ(Names(os.FindFiles("D:/exf/SH??", 0)), (std::vector<std::string>{"SH1", "SH12"}));
  EXPECT_EQ(Names(os.FindFiles("D:\\exf\\*", kAttrDirectory)).front(), ".");
  EXPECT_TRUE(os.FindFiles("D:\\exf\\").empty());
  EXPECT_TRUE(os.FindFiles("D:\\exf\\*.none").empty());
  EXPECT_EQ(os.LastError(), kErrorFileNotFound);
  EXPECT_TRUE(os.FindFiles("D:\\nothing\\*").empty());
  EXPECT_EQ(os.LastError(), kErrorPathNotFound);

  const auto found = os.FindFiles("D:\\exf\\bild.bmp", 0);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].attributes, kAttrArchive);
  EXPECT_EQ(found[0].size, 1u);
  EXPECT_NE(found[0].lastWriteTime, 0u);
}

TEST(FindFiles, PlainNameNamesOneEntryAndDotsNameFolders) {
  TempPrefix prefix;
  for (const char* name : {"A.ASC", "a.asc", "b.Asc", "B.ASC.BAK", "X.TXT", "X"})
    prefix.WriteFile(std::string("drive_d/ns/") + name, "");
  prefix.MakeDir("drive_d/ns/Sub");
  IPlatform& os = HostPlatform();
  const auto find = [&](const std::string& mask) { return Names(os.FindFiles("D:\\ns\\" + mask)); };
  using Names_ = std::vector<std::string>;
  // The exact spelling when it exists, otherwise the first match in listing order; never every variant.
  EXPECT_EQ(find("A.ASC"), Names_{"A.ASC"});
  EXPECT_EQ(find("a.asc"), Names_{"a.asc"});
  EXPECT_EQ(find("a.ASC"), Names_{"A.ASC"});
  EXPECT_EQ(find("B.ASC"), Names_{"b.Asc"});
  EXPECT_EQ(find("A.ASC."), Names_{"A.ASC"});
  EXPECT_EQ(find("X. "), Names_{"X"});
  EXPECT_EQ(find("*.ASC"), (Names_{"A.ASC", "a.asc", "b.Asc"}));
  // Endings of the mask: blanks dropped, dots and blanks as one final dot.
  EXPECT_EQ(find("*.TXT "), Names_{"X.TXT"});
  EXPECT_EQ(find("X.TXT ."), Names_{"X.TXT"});
  EXPECT_EQ(find("X.TXT.."), Names_{"X.TXT"});
  EXPECT_EQ(find("*."), (Names_{".", "..", "Sub", "X"}));
  EXPECT_TRUE(find(" ").empty());
  EXPECT_TRUE(find("...").empty());
  // "." and ".." name the folder and its parent under their own names, as the full path does.
  EXPECT_EQ(find("Sub\\."), Names_{"Sub"});
  EXPECT_EQ(find("SUB\\.."), Names_{"ns"});
  EXPECT_EQ(find("."), Names_{"ns"});
  EXPECT_TRUE(Names(os.FindFiles("D:\\.")).empty());
  EXPECT_EQ(os.LastError(), kErrorFileNotFound);
  EXPECT_TRUE(Names(os.FindFiles("D:\\ns\\Sub\\.", 0)).empty());  // a folder, and the filter wants none
  // A folder part with a trailing dot is the folder without it; only one dot goes.
  EXPECT_EQ(Names(os.FindFiles("D:\\ns.\\*.TXT")), Names_{"X.TXT"});
  EXPECT_TRUE(Names(os.FindFiles("D:\\ns..\\*.TXT")).empty());
  EXPECT_EQ(os.LastError(), kErrorPathNotFound);
  // A pattern without folder means the current folder.
  const fs::path saved = fs::current_path();
  ASSERT_TRUE(os.SetCurrentDirectory("D:\\ns"));
  EXPECT_EQ(Names(os.FindFiles("*.TXT", 0)), Names_{"X.TXT"});
  EXPECT_EQ(Names(os.FindFiles("D:*.TXT", 0)), Names_{"X.TXT"});
  fs::current_path(saved);
}

}  // namespace
}  // namespace velmor::platform
