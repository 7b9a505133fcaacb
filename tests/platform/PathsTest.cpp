#include "platform/HostPlatformImpl.h"
#include "tests/platform/PlatformTestUtil.h"

namespace velmor::platform {
namespace {

namespace fs = std::filesystem;
using testing::ScopedEnv;

TEST_F(PlatformTest, PathMappingResolvesComponentsCaseInsensitively) {
  prefix.WriteFile("drive_c/EPLAN5/P/Ärger.P/SH1", "x");
  EXPECT_EQ(os.ToHost("c:\\eplan5\\p\\ärger.p\\sh1").value_or(""), prefix.DriveC() + "/EPLAN5/P/Ärger.P/SH1");
  EXPECT_EQ(os.ToHost("C:/EPLAN5/P/ÄRGER.P").value_or(""), prefix.DriveC() + "/EPLAN5/P/Ärger.P");
  // Missing parts are appended as spelled; a trailing backslash survives.
  EXPECT_EQ(os.ToHost("C:\\eplan5\\Neu\\Sub\\").value_or(""), prefix.DriveC() + "/EPLAN5/Neu/Sub/");
  EXPECT_FALSE(os.ToHost("Q:\\x").has_value());
  EXPECT_FALSE(os.ToHost("\\\\server\\share\\x").has_value());
  // Among folders in several spellings the exact one wins, else the byte-smallest.
  for (const char* name : {"data", "Data", "DATA"}) prefix.MakeDir(std::string("drive_d/") + name);
  EXPECT_EQ(os.ToHost("D:\\Data").value_or(""), prefix.DriveD() + "/Data");
  EXPECT_EQ(os.ToHost("D:\\dAtA").value_or(""), prefix.DriveD() + "/DATA");
}

TEST_F(PlatformTest, PathMappingHostToWindowsPicksLongestDriveAndRoundTrips) {
  prefix.MakeDir("drive_c/EPLAN5/P");
  prefix.AddDrive('e', "../drive_c/EPLAN5");
  prefix.AddDrive('f', "../drive_c/EPLAN5");  // same target: the lower letter wins
  EXPECT_EQ(os.ToWindows(prefix.DriveC() + "/EPLAN5/P"), "E:\\P");
  EXPECT_EQ(os.ToWindows(prefix.DriveC()), "C:\\");
  EXPECT_EQ(os.ToWindows(prefix.DriveD() + "/new/file.txt"), "D:\\new\\file.txt");
  // A link is resolved before mapping.
  fs::create_symlink(prefix.DriveD(), prefix.Abs("linkd"));
  EXPECT_EQ(os.ToWindows(prefix.Abs("linkd") + "/x"), "D:\\x");

  prefix.RemoveDrive('z');
  const std::string outside = prefix.Abs("outside");
  fs::create_directories(outside);
  const std::string unixForm = os.ToWindows(outside);
  EXPECT_EQ(unixForm.rfind("\\\\?\\unix\\", 0), 0u) << unixForm;
  EXPECT_EQ(os.ToHost(unixForm).value_or(""), outside);
}

// The prefix's drives C:, D: and Z:, fixed and ready, are the folder tree's drive nodes
// (ShowsOneNodePerDrive..., APressOnARemovableDrive...).
TEST_F(PlatformTest, DrivesFollowTheDosdevicesLinksAndWithoutPrefixOnlyZ) {
  fs::create_symlink("../missing", prefix.Abs("dosdevices/G:"));  // upper case, target missing
  EXPECT_EQ(os.LogicalDrives() & (1u << 6), 1u << 6);
  EXPECT_EQ(os.GetDriveType('g'), DriveType::NoRootDir);
  EXPECT_FALSE(os.DriveReady('G'));
  uint64_t total = 0, available = 0;
  ASSERT_TRUE(os.DriveSpace('c', total, available));
  EXPECT_GT(total, 0u);
  EXPECT_LE(available, total);
  EXPECT_EQ(os.DriveTarget('c'), prefix.DriveC());
  EXPECT_EQ(os.DriveTarget('q'), "");
  EXPECT_EQ(os.GetDriveType('q'), DriveType::NoRootDir);

  // Without a prefix there is only Z:, and the Windows folder is the configuration folder.
  ScopedEnv env("WINEPREFIX", prefix.Abs("not-there"));
  EXPECT_EQ(os.LogicalDrives(), 1u << 25);
  EXPECT_EQ(os.DriveTarget('z'), "/");
  EXPECT_EQ(os.ToWindows("/usr/lib"), "Z:\\usr\\lib");
  std::string expected = "Z:" + prefix.Home() + "/.config/velmor";
  std::replace(expected.begin(), expected.end(), '/', '\\');
  EXPECT_EQ(os.WindowsDirectory(), expected);
}

// A fixed drive's name ("Lokaler Datenträger (C:)"): the folder tree's drive nodes.
TEST_F(PlatformTest, DrivesTypeFromRegistryAndDisplayName) {
  prefix.WriteRegistry("[Software\\\\Wine\\\\Drives] 1700000000\n\"d:\"=\"CDROM\"\n\"c:\"=\"network\"\n");
  EXPECT_EQ(os.GetDriveType('d'), DriveType::CdRom);
  EXPECT_EQ(os.DriveDisplayName('d'), "CD-Laufwerk (D:)");
  prefix.WriteFile("drive_d/.windows-label", "EXF-Daten\r\nzweite Zeile\n");
  EXPECT_EQ(os.DriveDisplayName('D'), "EXF-Daten (D:)");

  // Only a network drive can be disconnected, only a free letter connected to a folder that exists.
  // (Connecting a folder and disconnecting a network drive: the folder tree's ConnectAndDisconnect...)
  EXPECT_EQ(Err(os.DisconnectNetworkDrive('d')), kErrorNotConnected);
  prefix.MakeDir("share");
  EXPECT_EQ(Err(os.ConnectNetworkDrive('d', prefix.Abs("share"))), kErrorAlreadyExists);
  EXPECT_FALSE(os.ConnectNetworkDrive('n', prefix.Abs("nothing")));
}

// A profile named without a folder lives in the Windows folder (the case table set.tsv, t04); without
// C: the configuration folder takes it, created when needed.
TEST_F(PlatformTest, EnvironmentProfileWithoutFolderAndWithoutDriveCLivesInTheConfigurationFolder) {
  prefix.RemoveDrive('c');
  ASSERT_TRUE(os.WritePrivateProfileString("Velmor", "ProjektName", "OHNE_C", "Velmor.INI"));
  EXPECT_TRUE(prefix.Exists("home/.config/velmor/Velmor.INI"));
  EXPECT_EQ(os.GetPrivateProfileString("Velmor", "ProjektName", "-", "Velmor.INI"), "OHNE_C");
}

// The prefix of WINEPREFIX (velmorctl's journal per station) and its Windows folder C:\windows (the
// window's Velmor.INI in FormStorageTest) are held elsewhere; here the prefix without WINEPREFIX, long
// values and the program folder.
TEST_F(PlatformTest, EnvironmentPrefixHomeProgramFolderAndLongValues) {
  ScopedEnv noPrefix("WINEPREFIX", std::nullopt);
  EXPECT_EQ(os.PrefixDirectory(), prefix.Home() + "/.wine");
  // A value of 256 bytes counts as empty: EplanEnvironmentTest's station number.
  ScopedEnv shortValue("VELMOR_TEST_VALUE", std::string(255, 'x'));
  EXPECT_EQ(os.GetEnv("VELMOR_TEST_VALUE").size(), 255u);
  // The program folder is the executable's, named through the drive map with a final backslash.
  EXPECT_EQ(os.ToHost(os.ProgramDirectory()).value_or(""),
            fs::canonical("/proc/self/exe").parent_path().string() + "/");
}

// The sample project decides the program folder: beside the executable first (build tree, a copied
// program folder), else share/velmor of an installed tree, else the executable's own folder.
TEST_F(PlatformTest, EnvironmentProgramFolderFollowsTheSampleProject) {
  const std::string tree = prefix.Abs("opt/velmor");
  const std::string exe = tree + "/bin/velmorctl";
  prefix.WriteFile(exe, "");
  EXPECT_EQ(detail::ProgramFolderOf(exe), tree + "/bin") << "no sample project anywhere";
  prefix.WriteFile(tree + "/share/velmor/EXF0", "");
  EXPECT_EQ(detail::ProgramFolderOf(exe), tree + "/bin") << "a file named EXF0 is no sample project";
  fs::remove(tree + "/share/velmor/EXF0");
  prefix.MakeDir(tree + "/share/velmor/EXF0");
  EXPECT_EQ(detail::ProgramFolderOf(exe), tree + "/share/velmor") << "installed tree";
  prefix.MakeDir(tree + "/bin/EXF0");
  EXPECT_EQ(detail::ProgramFolderOf(exe), tree + "/bin") << "a sample project beside the program wins";
}

}  // namespace
}  // namespace velmor::platform
