#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <fstream>

#include "tests/Texts.h"
#include "tests/platform/PlatformTestUtil.h"

namespace velmor::platform {
namespace {

namespace fs = std::filesystem;

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  stat(path.c_str(), &st);
  return st.st_mode & 0777;
}

std::string DosAttribute(const std::string& path) {
  char value[32];
  const ssize_t n = getxattr(path.c_str(), "user.DOSATTRIB", value, sizeof value);
  return n < 0 ? std::string() : std::string(value, static_cast<size_t>(n));
}

TEST_F(PlatformTest, AttributesMapToModeBitsAndExtendedAttribute) {
  prefix.WriteFile("drive_c/a.txt", "a");
  prefix.WriteFile("drive_c/.hidden", "h");
  prefix.MakeDir("drive_c/folder");
  prefix.WriteFile("drive_c/ro.txt", "old");
  fs::create_symlink(prefix.DriveC() + "/folder", prefix.DriveC() + "/dirlink");
  EXPECT_EQ(os.GetFileAttributes("C:\\A.TXT"), kAttrArchive);
  EXPECT_EQ(os.GetFileAttributes("C:\\.hidden"), kAttrArchive | kAttrHidden);
  EXPECT_EQ(os.GetFileAttributes("C:\\folder"), kAttrDirectory);
  EXPECT_EQ(os.GetFileAttributes("C:\\none"), kInvalidAttributes);
  EXPECT_EQ(LastError(), kErrorFileNotFound);
  EXPECT_EQ(os.GetFileAttributes("C:\\a.txt\\"), kInvalidAttributes);
  EXPECT_FALSE(os.SetFileAttributes("C:\\a.txt\\", kAttrReadOnly));

  const std::string host = prefix.DriveC() + "/a.txt";
  ASSERT_TRUE(os.SetFileAttributes("C:\\a.txt", kAttrReadOnly | kAttrHidden | kAttrSystem));
  EXPECT_EQ(os.GetFileAttributes("C:\\a.txt"), kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrArchive);
  EXPECT_EQ(ModeOf(host) & 0222, 0u);
  EXPECT_EQ(DosAttribute(host), "0x6");

  // Normal clears everything; write bits come back per the umask and the attribute is removed.
  const mode_t mask = umask(022);
  ASSERT_TRUE(os.SetFileAttributes("C:\\a.txt", kAttrNormal));
  umask(mask);
  EXPECT_EQ(os.GetFileAttributes("C:\\a.txt"), kAttrArchive);
  EXPECT_EQ(ModeOf(host) & 0222, 0200u);
  EXPECT_EQ(DosAttribute(host), "");

  // Wine writes the value with an ending NUL; garbage counts as no bits.
  setxattr(host.c_str(), "user.DOSATTRIB", "0x2\0", 4, 0);
  EXPECT_EQ(os.GetFileAttributes("C:\\a.txt"), kAttrArchive | kAttrHidden);
  setxattr(host.c_str(), "user.DOSATTRIB", "hidden", 6, 0);
  EXPECT_EQ(os.GetFileAttributes("C:\\a.txt"), kAttrArchive);

  // Read-only means nothing for folders, also reached through a link.
  ASSERT_TRUE(os.SetFileAttributes("C:\\DIRLINK", kAttrReadOnly | kAttrHidden));
  EXPECT_EQ(os.GetFileAttributes("C:\\folder"), kAttrDirectory | kAttrHidden);

  // For files it is enforced, even for root.
  ASSERT_TRUE(os.SetFileAttributes("C:\\ro.txt", kAttrReadOnly));
  EXPECT_EQ(Err(os.WriteFile("C:\\ro.txt", "x")), kErrorAccessDenied);
  EXPECT_EQ(Err(os.DeleteFile("C:\\ro.txt")), kErrorAccessDenied);
  EXPECT_EQ(Err(os.CopyFile("C:\\a.txt", "C:\\ro.txt", false)), kErrorAccessDenied);
  EXPECT_EQ(Err(os.OpenFile("C:\\ro.txt", OpenMode::ReadWrite) != nullptr), kErrorAccessDenied);
  EXPECT_EQ(os.OpenFile("C:\\ro.txt", OpenMode::CreateAlways), nullptr);
  EXPECT_NE(os.OpenFile("C:\\ro.txt", OpenMode::Read), nullptr);
  EXPECT_EQ(prefix.ReadFile("drive_c/ro.txt"), "old");
  ASSERT_TRUE(os.SetFileAttributes("C:\\ro.txt", 0));
  EXPECT_TRUE(os.DeleteFile("C:\\ro.txt"));
}

TEST_F(PlatformTest, ExistenceFilesFoldersLinksAndTrailingBackslash) {
  prefix.WriteFile("drive_c/EPLAN5/BIN/eplan.exe", "");
  fs::create_symlink(prefix.DriveC() + "/EPLAN5/BIN", prefix.DriveC() + "/binlink");
  EXPECT_TRUE(os.FileExists("c:\\eplan5\\bin\\EPLAN.EXE"));
  EXPECT_FALSE(os.FileExists("C:\\EPLAN5\\BIN\\eplan.exe\\"));
  EXPECT_FALSE(os.FileExists("C:\\EPLAN5\\BIN"));
  EXPECT_TRUE(os.DirectoryExists("C:\\EPLAN5\\BIN\\"));
  EXPECT_FALSE(os.DirectoryExists("C:\\EPLAN5\\BIN\\eplan.exe"));
  EXPECT_TRUE(os.DirectoryExists("C:\\BINLINK"));
  EXPECT_FALSE(os.FileExists("C:\\binlink"));
  EXPECT_FALSE(os.FileExists(""));
  EXPECT_FALSE(os.FileExists("Q:\\x"));
}

TEST_F(PlatformTest, CopyFileCopiesContentTimeAndBitsIntoTheSpellingOnDiskAndThroughLinks) {
  prefix.WriteFile("drive_c/src.asc", "symbol data");
  prefix.WriteFile("drive_d/Other.ASC", "old");
  prefix.WriteFile("drive_d/real.exf", "old");
  fs::create_symlink(prefix.DriveD() + "/real.exf", prefix.DriveD() + "/link.exf");
  fs::create_symlink(prefix.DriveD() + "/gone.exf", prefix.DriveD() + "/dangling.exf");
  const std::string src = prefix.DriveC() + "/src.asc";
  fs::last_write_time(src, fs::file_time_type::clock::now() - std::chrono::hours(48));
  ASSERT_TRUE(os.SetFileAttributes("C:\\src.asc", kAttrReadOnly | kAttrSystem));
  ASSERT_TRUE(os.CopyFile("C:\\SRC.ASC", "D:\\copy.asc", false));
  EXPECT_EQ(fs::last_write_time(prefix.DriveD() + "/copy.asc"), fs::last_write_time(src));
  EXPECT_EQ(os.GetFileAttributes("D:\\copy.asc"), kAttrReadOnly | kAttrSystem | kAttrArchive);
  ASSERT_TRUE(os.SetFileAttributes("C:\\src.asc", 0));

  // Overwriting replaces a file in the way under its own spelling; through a link the file it points
  // to is replaced and the link stays; a link to nothing counts as no file and the copy takes its place.
  ASSERT_TRUE(os.CopyFile("C:\\src.asc", "D:\\other.asc", false));
  ASSERT_TRUE(os.CopyFile("C:\\src.asc", "D:\\LINK.EXF", false));
  ASSERT_TRUE(os.CopyFile("C:\\src.asc", "D:\\dangling.exf", true));
  // Without replacing: under the exact spelling, beside a file of the name in another case; a name
  // that is there, as a link too, is never taken.
  ASSERT_TRUE(os.CopyFileNoReplace("C:\\src.asc", "D:\\OTHER.ASC"));
  EXPECT_EQ(Err(os.CopyFileNoReplace("C:\\src.asc", "D:\\Other.ASC")), kErrorFileExists);
  EXPECT_EQ(Err(os.CopyFileNoReplace("C:\\src.asc", "D:\\link.exf")), kErrorFileExists);
  // Where a link points (ReadLink): the transfer's refusals of links, StaleLocksAreTakenOver....
  EXPECT_EQ(
      Tree(prefix.DriveD()),
      "OTHER.ASC=symbol data\nOther.ASC=symbol data\ncopy.asc=symbol data ro\ndangling.exf=symbol data\n"
      "link.exf -> real.exf\nreal.exf=symbol data\n");
}

TEST_F(PlatformTest, CopyFileNamesInOtherCaseReachTheFileThatIsThereThroughEveryChange) {
  // A copy resolves target names against a listing of the folder that it keeps current; every other
  // change of this platform, and a change by another program, makes the folder be read again.
  prefix.WriteFile("drive_d/src.txt", "new");
  prefix.MakeDir("drive_d/t");
  const std::string t = prefix.DriveD() + "/t";
  ASSERT_TRUE(os.CopyFile("D:\\src.txt", "D:\\t\\b.asc", false));
  ASSERT_TRUE(os.CopyFile("D:\\src.txt", "D:\\T\\B.ASC", false));  // the copy's own file
  EXPECT_EQ(Tree(t), "b.asc=new\n");
  ASSERT_TRUE(os.WriteFile("D:\\t\\a.asc", "old"));
  ASSERT_TRUE(os.CopyFile("D:\\src.txt", "D:\\t\\A.ASC", false));  // a file written in between
  EXPECT_EQ(Tree(t), "a.asc=new\nb.asc=new\n");
  ASSERT_TRUE(os.DeleteFile("D:\\t\\b.asc"));
  ASSERT_TRUE(os.CopyFile("D:\\src.txt", "D:\\t\\B.ASC", false));  // deleted in between
  EXPECT_EQ(Tree(t), "B.ASC=new\na.asc=new\n");
  // A file renamed frees its old name and is found under the new one in any case.
  ASSERT_TRUE(os.MoveFile("D:\\t\\a.asc", "D:\\t\\d.asc"));
  ASSERT_TRUE(os.CopyFile("D:\\src.txt", "D:\\t\\A.ASC", false));
  ASSERT_TRUE(os.WriteFile("D:\\T\\D.ASC", "via D"));
  EXPECT_EQ(Tree(t), "A.ASC=new\nB.ASC=new\nd.asc=via D\n");
  ASSERT_TRUE(os.DeleteFile("D:\\t\\A.ASC") && os.MoveFile("D:\\t\\d.asc", "D:\\t\\a.asc"));
  // Another program's change shows once the folder's time stamps moved on.
  usleep(30000);
  prefix.WriteFile("drive_d/t/c.asc", "other");
  ASSERT_TRUE(os.CopyFile("D:\\src.txt", "D:\\t\\C.ASC", false));
  EXPECT_EQ(Tree(t), "B.ASC=new\na.asc=via D\nc.asc=new\n");
}

TEST_F(PlatformTest, CopyFileRefusesBadTargetsAndLeavesNoTemporaryNorOpenDescriptor) {
  prefix.WriteFile("drive_c/src.txt", "new");
  prefix.WriteFile("drive_d/kept.txt", "old");
  prefix.MakeDir("drive_d/folder");
  ASSERT_EQ(mkfifo((prefix.DriveC() + "/pipe").c_str(), 0600), 0);
  const size_t descriptors = Entries("/proc/self/fd").size();
  for (const auto& row : testing::CaseRows("platform/copy-refusals.tsv", 5))
    EXPECT_EQ(Err(os.CopyFile(row[1], row[2], row[3] == "keep")), std::stoul(row[4])) << row[0];
  EXPECT_EQ(Entries("/proc/self/fd").size(), descriptors);
  EXPECT_EQ(Tree(prefix.DriveD()), "folder/\nkept.txt=old\n");  // no temporary left behind
  EXPECT_EQ(prefix.ReadFile("drive_c/src.txt"), "new");
}

TEST_F(PlatformTest, WriteFileReplacesAtomicallyKeepsOldContentOnFailureAndWritesThroughLinks) {
  prefix.WriteFile("drive_c/EPLAN5/ARGV.DAT", "old");
  const std::string host = prefix.DriveC() + "/EPLAN5/ARGV.DAT";
  chmod(host.c_str(), 0640);
  ASSERT_TRUE(os.SetFileAttributes("C:\\EPLAN5\\ARGV.DAT", kAttrHidden));
  ASSERT_TRUE(os.WriteFile("c:\\eplan5\\argv.dat", "PROJEKT"));
  EXPECT_EQ(ModeOf(host), 0640u);
  EXPECT_EQ(os.GetFileAttributes("C:\\EPLAN5\\ARGV.DAT"), kAttrArchive | kAttrHidden);

  EXPECT_EQ(Err(os.WriteFile("C:\\none\\x.dat", "x")), kErrorPathNotFound);
  EXPECT_EQ(Err(os.WriteFile("C:\\EPLAN5", "x")), kErrorAccessDenied);

  // Special files are never replaced by a regular one.
  ASSERT_EQ(mkfifo((prefix.DriveC() + "/pipe").c_str(), 0666), 0);
  EXPECT_FALSE(os.WriteFile("C:\\pipe", "x"));
  EXPECT_FALSE(os.CopyFile("C:\\EPLAN5\\ARGV.DAT", "C:\\pipe", false));
  ASSERT_TRUE(os.SetFileAttributes("C:\\EPLAN5\\ARGV.DAT", kAttrReadOnly));
  EXPECT_EQ(Tree(prefix.DriveC()), "EPLAN5/\nEPLAN5/ARGV.DAT=PROJEKT ro\npipe (special)\nwindows/\n");

  prefix.WriteFile("drive_d/real.ini", "a");
  fs::create_symlink(prefix.DriveD() + "/real.ini", prefix.DriveC() + "/link.ini");
  ASSERT_TRUE(os.WriteFile("C:\\link.ini", "b"));
  EXPECT_TRUE(fs::is_symlink(prefix.DriveC() + "/link.ini"));
  EXPECT_EQ(prefix.ReadFile("drive_d/real.ini"), "b");
}

// Makes every write past `bytes` fail with EFBIG, like a disk that fills up, for its lifetime.
struct ScopedFileSizeLimit {
  explicit ScopedFileSizeLimit(rlim_t bytes) : handler(signal(SIGXFSZ, SIG_IGN)) {
    getrlimit(RLIMIT_FSIZE, &saved);
    const rlimit limit{bytes, saved.rlim_max};
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~ScopedFileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, handler);
  }
  sighandler_t handler;
  rlimit saved{};
};

TEST_F(PlatformTest, WriteFileFullDiskKeepsOldFilesAndLeavesNoTemporary) {
  prefix.WriteFile("drive_c/ARGV.DAT", "old");
  prefix.WriteFile("drive_c/big.asc", std::string(100000, 'b'));
  prefix.WriteFile("drive_d/big.asc", "previous copy");
  {
    ScopedFileSizeLimit limit(4096);
    EXPECT_EQ(Err(os.WriteFile("C:\\ARGV.DAT", std::string(10000, 'n'))), kErrorDiskFull);
    EXPECT_EQ(Err(os.CopyFile("C:\\big.asc", "D:\\big.asc", false)), kErrorDiskFull);
  }
  EXPECT_EQ(Tree(prefix.DriveC()), "ARGV.DAT=old\nbig.asc (100000 bytes)\nwindows/\n");
  EXPECT_EQ(Tree(prefix.DriveD()), "big.asc=previous copy\n");
}

TEST_F(PlatformTest, ReadAndOpenFindOtherCaseReadNoMoreThanAskedAndRefuseFoldersPipesAndMissingFiles) {
  prefix.WriteFile("drive_c/Eplan5/Sub/big.apd", std::string(200000, 'x') + "END");
  prefix.WriteFile("drive_c/Eplan5/Sub/file.txt", "inhalt");
  prefix.MakeDir("drive_c/Eplan5/Sub/Folder");
  ASSERT_EQ(mkfifo(prefix.Abs("drive_c/Eplan5/Sub/pipe").c_str(), 0644), 0);
  auto other = os.OpenFile("c:/EPLAN5/sub/FILE.TXT", OpenMode::Read);
  ASSERT_NE(other, nullptr);
  char bytes[16];
  ASSERT_EQ(other->Read(bytes, sizeof bytes), 6);
  EXPECT_EQ(std::string(bytes, 6), "inhalt");
  EXPECT_EQ(os.ReadFile("C:\\EPLAN5\\SUB\\BIG.APD", 10).value_or("").size(), 10u);
  EXPECT_EQ(os.ReadFile("C:\\Eplan5\\Sub\\big.apd").value_or("").size(), 200003u);
  EXPECT_EQ(os.ReadFile("C:\\Eplan5\\Sub\\big.apd", 0).value_or("?"), "");

  const auto openError = [&](const char* path) { return Err(os.OpenFile(path, OpenMode::Read) != nullptr); };
  EXPECT_EQ(openError("C:\\EPLAN5\\SUB\\FOLDER"), kErrorAccessDenied);
  EXPECT_EQ(openError("C:\\EPLAN5\\SUB\\none.txt"), kErrorFileNotFound);
  EXPECT_EQ(openError("C:\\EPLAN5\\none\\x.txt"), kErrorPathNotFound);
  EXPECT_NE(openError("C:\\EPLAN5\\SUB\\file.txt\\"), kErrorSuccess);
  // A named pipe is refused at once, never waited on (a content search meeting one must go on).
  EXPECT_EQ(openError("C:\\EPLAN5\\SUB\\pipe"), kErrorAccessDenied);
  EXPECT_FALSE(os.ReadFile("C:\\EPLAN5\\SUB\\pipe"));
  EXPECT_EQ(Err(os.ReadFile("C:\\missing").has_value()), kErrorFileNotFound);
  EXPECT_FALSE(os.ReadFile("C:\\").has_value());
}

TEST_F(PlatformTest, OpenFileReadWriteSeekAndSizeThatFollowsTheFile) {
  {
    auto file = os.OpenFile("C:\\new.dat", OpenMode::CreateAlways);
    ASSERT_NE(file, nullptr);
    EXPECT_TRUE(file->Write("0123456789", 10));
    EXPECT_TRUE(file->Seek(2));
    char buffer[4];
    EXPECT_EQ(file->Read(buffer, 4), 4);
    EXPECT_EQ(std::string(buffer, 4), "2345");
    EXPECT_EQ(file->Size().value_or(0), 10u);
  }
  auto file = os.OpenFile("C:\\new.dat", OpenMode::ReadWrite);
  ASSERT_NE(file, nullptr);
  EXPECT_TRUE(file->Write("ab", 2));
  file.reset();
  EXPECT_EQ(prefix.ReadFile("drive_c/new.dat"), "ab23456789");
  EXPECT_EQ(os.OpenFile("C:\\missing.dat", OpenMode::ReadWrite), nullptr);
  EXPECT_EQ(Err(os.OpenFile("C:\\no\\x.dat", OpenMode::CreateAlways) != nullptr), kErrorPathNotFound);

  // A later call of Size asks the file again, also after reading.
  file = os.OpenFile("C:\\new.dat", OpenMode::Read);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(file->Size().value_or(0), 10u);
  std::ofstream(prefix.DriveC() + "/new.dat", std::ios::app) << "def";
  EXPECT_EQ(file->Size().value_or(0), 13u);
  char c;
  EXPECT_EQ(file->Read(&c, 1), 1);
  std::ofstream(prefix.DriveC() + "/new.dat", std::ios::app) << "g";
  EXPECT_EQ(file->Size().value_or(0), 14u);
}

TEST_F(PlatformTest, FoldersCreateRemoveForceAndMove) {
  prefix.WriteFile("drive_c/file", "");
  prefix.WriteFile("drive_c/other", "");
  EXPECT_TRUE(os.CreateDirectory("C:\\Neu"));
  EXPECT_EQ(Err(os.CreateDirectory("c:\\NEU")), kErrorAlreadyExists);
  EXPECT_EQ(Err(os.CreateDirectory("C:\\a\\b")), kErrorPathNotFound);
  EXPECT_FALSE(os.CreateDirectory(""));
  EXPECT_FALSE(os.CreateDirectory("C:\\file"));

  EXPECT_TRUE(os.ForceDirectories("C:\\neu\\x\\y\\z\\"));
  EXPECT_TRUE(os.ForceDirectories("C:\\neu\\x"));
  EXPECT_FALSE(os.ForceDirectories("C:\\file\\sub"));

  EXPECT_EQ(Err(os.RemoveDirectory("C:\\neu\\x")), kErrorDirNotEmpty);
  EXPECT_TRUE(os.RemoveDirectory("C:\\neu\\x\\y\\z"));
  EXPECT_FALSE(os.RemoveDirectory("C:\\file"));
  EXPECT_EQ(Err(os.DeleteFile("C:\\neu")), kErrorAccessDenied);
  EXPECT_EQ(Err(os.DeleteFile("C:\\missing")), kErrorFileNotFound);

  EXPECT_EQ(Err(os.MoveFile("C:\\file", "C:\\OTHER")), kErrorAlreadyExists);
  EXPECT_TRUE(os.MoveFile("C:\\file", "C:\\FILE"));  // a change of case only
  EXPECT_EQ(Entries(prefix.DriveC()), (Names{"FILE", "Neu", "other", "windows"}));
  EXPECT_TRUE(os.MoveFile("C:\\FILE", "D:\\moved"));
  EXPECT_TRUE(os.MoveFile("C:\\Neu", "D:\\Neu2"));
  EXPECT_EQ(Tree(prefix.DriveD()), "Neu2/\nNeu2/x/\nNeu2/x/y/\nmoved=\n");
}

TEST_F(PlatformTest, FileDataTimesAsWindowsFileTimes) {
  prefix.WriteFile("drive_c/t.txt", "12345");
  // 2001-09-09 01:46:40 UTC = 1000000000 s after 1970.
  const timespec times[2] = {{1000000000, 0}, {1000000000, 500}};
  utimensat(AT_FDCWD, (prefix.DriveC() + "/t.txt").c_str(), times, 0);
  FindData data;
  ASSERT_TRUE(os.GetFileData("C:\\T.TXT", data));
  EXPECT_EQ(data.name, "t.txt");
  EXPECT_EQ(data.size, 5u);
  EXPECT_EQ(data.lastWriteTime, (1000000000ull + 11644473600ull) * 10000000ull + 5);
  EXPECT_EQ(data.lastAccessTime, (1000000000ull + 11644473600ull) * 10000000ull);
  EXPECT_NE(data.creationTime, 0u);
  EXPECT_FALSE(os.GetFileData("C:\\none", data));
  // A time set comes back to the 100 ns step: the undo tests' station listings, which give a file its
  // time back.
  EXPECT_EQ(Err(os.SetFileTime("C:\\Y.ASC", 133000000001234567)), kErrorFileNotFound);
}

}  // namespace
}  // namespace velmor::platform
