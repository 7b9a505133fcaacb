#include "search/FindFile.h"
#include "search/FindFileEx.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/Platform.h"
#include "tests/common/TempPrefix.h"

namespace velmor {
namespace {

using Lines = std::vector<std::string>;

class FindFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* f : {"NS/A.ASC", "NS/B.ASC", "NS/C.ASC", "NS/D.TXT", "NS/SUB/E.ASC", "NS/SUB/DEEP/F.ASC",
                          "NS/X.ASC/G.TXT", "NS/SUB2/H.ASC"})
      prefix.WriteFile(std::string("drive_d/") + f, "x");
    ASSERT_TRUE(platform::Os().SetFileAttributes("D:\\NS\\B.ASC", platform::kAttrHidden));
    ASSERT_TRUE(platform::Os().SetFileAttributes("D:\\NS\\C.ASC", platform::kAttrReadOnly));
    finder.Filter = "*.ASC";
  }

  testing::TempPrefix prefix;
  TFindFile finder{platform::HostPlatform()};
};

TEST_F(FindFileTest, ListsTheFilesOfOneFolder) {
  const struct {
    const char* directory;
    uint32_t attributes;  // 0: the default
    Lines expected;
  } rows[] = {
      {"D:\\NS", 0, {"D:\\NS\\A.ASC", "D:\\NS\\B.ASC", "D:\\NS\\C.ASC"}},
      {"D:\\NS\\", 0, {"D:\\NS\\A.ASC", "D:\\NS\\B.ASC", "D:\\NS\\C.ASC"}},
      {"D:\\NS", ffArchive, {"D:\\NS\\A.ASC", "D:\\NS\\C.ASC"}},
      {"D:\\NS", ffArchive | ffDirectory, {"D:\\NS\\A.ASC", "D:\\NS\\C.ASC", "D:\\NS\\X.ASC"}},
      {"D:\\NOPE", 0, {}},
      {"", 0, {}},
  };
  int ends = 0;
  finder.AfterExecute = [&](TFindFile&) { ++ends; };
  const auto defaults = finder.Attributes;
  // One finder for every row: a run does not add to the files of the one before.
  for (const auto& row : rows) {
    SCOPED_TRACE(row.directory);
    finder.Directory = row.directory;
    finder.Attributes = row.attributes ? row.attributes : defaults;
    finder.Execute();
    EXPECT_EQ(finder.Files, row.expected);
  }
  EXPECT_EQ(ends, 6);
}

TEST_F(FindFileTest, RecurseListsBreadthFirstAndSkipsLinksBackUp) {
  // Two links back to folders on their own path: followed, each would list the tree again without end.
  std::filesystem::create_directory_symlink(".", prefix.DriveD() + "/NS/SELF");
  std::filesystem::create_directory_symlink("..", prefix.DriveD() + "/NS/SUB/UP");
  finder.Directory = "D:\\NS";
  finder.Recurse = true;
  Lines paths;
  finder.OnNewPath = [&](TFindFile&, std::string path, bool&) { paths.push_back(path); };
  finder.Execute();
  EXPECT_EQ(finder.Files, (Lines{"D:\\NS\\A.ASC", "D:\\NS\\B.ASC", "D:\\NS\\C.ASC", "D:\\NS\\SUB\\E.ASC",
                                 "D:\\NS\\SUB2\\H.ASC", "D:\\NS\\SUB\\DEEP\\F.ASC"}));
  EXPECT_EQ(paths,
            (Lines{"D:\\NS\\", "D:\\NS\\SUB\\", "D:\\NS\\SUB2\\", "D:\\NS\\X.ASC\\", "D:\\NS\\SUB\\DEEP\\"}));
}

TEST_F(FindFileTest, WalksBelowProcAndDevFdEnd) {
  // /proc/self/fd and /dev/fd hold links to the folders the walk itself has open, /proc/self/root
  // leads to "/", /proc/self/cwd to the working folder: a walk that started on this virtual file
  // system lists its start folder and enters nothing below it.
  for (const char* location : {"Z:\\dev\\fd", "Z:\\proc\\self"}) {
    SCOPED_TRACE(location);
    size_t folders = 0, walked = 0;
    finder.Recurse = true;
    finder.Filter = "*";
    finder.Directory = location;
    finder.OnNewPath = [&](TFindFile&, std::string, bool&) { ++folders; };
    finder.Execute();
    TFindFileEx search(platform::HostPlatform());
    search.Criteria().Files.FileName = "*";
    search.Criteria().Files.Location = location;
    search.OnFolderChange = [&](TFindFileEx&, const std::string&, TFolderIgnore&) { ++walked; };
    search.Execute();
    EXPECT_EQ(folders, 1u);
    EXPECT_EQ(walked, 1u);
  }
}

// A bind mount of a folder the walk is inside of would repeat the walk without end, one of /proc leads
// into every process's folders: neither is entered. A bind mount of a folder elsewhere is a folder.
TEST_F(FindFileTest, BothWalksEnterNoBindMountBackUpAndNoVirtualFileSystem) {
  const std::pair<const char*, const char*> mounts[] = {{"drive_d/NS", "drive_d/NS/SUB2/BACK"},
                                                        {"/proc", "drive_d/NS/SUB/P"},
                                                        {"drive_d/NS/SUB/DEEP", "drive_d/NS/X.ASC/D2"}};
  for (const auto& [source, target] : mounts)
    if (const std::string refused = prefix.BindMount(source, target); !refused.empty())
      GTEST_SKIP() << refused;
  std::filesystem::create_directory_symlink("/proc", prefix.DriveD() + "/NS/PROC");
  Lines breadthFirst, depthFirst;
  finder.Directory = "D:\\NS";
  finder.Recurse = true;
  finder.OnNewPath = [&](TFindFile&, std::string path, bool&) { breadthFirst.push_back(path); };
  finder.Execute();
  EXPECT_EQ(breadthFirst, (Lines{"D:\\NS\\", "D:\\NS\\SUB\\", "D:\\NS\\SUB2\\", "D:\\NS\\X.ASC\\",
                                 "D:\\NS\\SUB\\DEEP\\", "D:\\NS\\X.ASC\\D2\\"}));
  TFindFileEx search(platform::HostPlatform());
  search.Criteria().Files.FileName = "*";
  search.Criteria().Files.Location = "D:\\NS";
  search.OnFolderChange = [&](TFindFileEx&, const std::string& folder, TFolderIgnore&) {
    depthFirst.push_back(folder);
  };
  search.Execute();
  EXPECT_EQ(depthFirst, (Lines{"D:\\NS\\", "D:\\NS\\SUB\\", "D:\\NS\\SUB\\DEEP\\", "D:\\NS\\SUB2\\",
                               "D:\\NS\\X.ASC\\", "D:\\NS\\X.ASC\\D2\\"}));
}

TEST_F(FindFileTest, AbortFromNewPathStopsThisAndLaterRuns) {
  finder.Directory = "D:\\NS";
  finder.Recurse = true;
  std::string log;
  finder.BeforeExecute = [&](TFindFile&) { log += "begin "; };
  finder.AfterExecute = [&](TFindFile&) { log += "end "; };
  finder.OnNewPath = [](TFindFile&, std::string path, bool& abort) {
    if (path == "D:\\NS\\SUB\\") abort = true;
  };
  finder.Execute();
  EXPECT_EQ(finder.Files, (Lines{"D:\\NS\\A.ASC", "D:\\NS\\B.ASC", "D:\\NS\\C.ASC"}));
  finder.Execute();
  EXPECT_TRUE(finder.Files.empty());
  EXPECT_EQ(log, "begin end begin end ");
}

}  // namespace
}  // namespace velmor
