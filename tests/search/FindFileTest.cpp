#include "search/FindFile.h"
#include "search/FindFileEx.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/Platform.h"
#include "tests/Texts.h"
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

  // The folders each walk enters from a location: the finder's breadth first (its Files left as it
  // found them), the search's depth first.
  std::pair<Lines, Lines> Walked(const char* location) {
    Lines breadthFirst, depthFirst;
    finder.Directory = location;
    finder.Recurse = true;
    finder.OnNewPath = [&](TFindFile&, std::string path, bool&) { breadthFirst.push_back(path); };
    finder.Execute();
    TFindFileEx search(platform::HostPlatform());
    search.Criteria().Files.FileName = "*";
    search.Criteria().Files.Location = location;
    search.OnFolderChange = [&](TFindFileEx&, const std::string& folder, TFolderIgnore&) {
      depthFirst.push_back(folder);
    };
    search.Execute();
    return {breadthFirst, depthFirst};
  }

  testing::TempPrefix prefix;
  TFindFile finder{platform::HostPlatform()};
};

TEST_F(FindFileTest, ListsTheFilesOfOneFolder) {
  int ends = 0;
  finder.AfterExecute = [&](TFindFile&) { ++ends; };
  const auto defaults = finder.Attributes;
  // One finder for every row: a run does not add to the files of the one before.
  const auto rows = testing::CaseRows("search/finder.tsv", 3);
  for (const auto& row : rows) {
    SCOPED_TRACE(row[0] + ", attributes " + (row[1].empty() ? "default" : row[1]));
    finder.Directory = row[0];
    finder.Attributes = row[1].empty() ? defaults : static_cast<uint32_t>(std::stoul(row[1], nullptr, 16));
    finder.Execute();
    EXPECT_EQ(finder.Files, testing::ListField(row[2]));
  }
  EXPECT_EQ(ends, static_cast<int>(rows.size()));
}

// Links back to folders on the walk's own path (also through the drive root, which holds NS, and back
// through two links): followed, each would walk the tree again without end. A link elsewhere is a folder
// like any other; one into /proc leads into every process's folders and is not entered.
TEST_F(FindFileTest, BothWalksEndAtLinksBackUpAndFollowOthers) {
  prefix.WriteFile("drive_d/OTHER/I.ASC", "x");
  for (const auto& [target, link] : {std::pair{".", "NS/SELF"},
                                     {"..", "NS/SUB/UP"},
                                     {"../..", "NS/SUB/TOP"},
                                     {"../OTHER", "NS/L"},
                                     {"../NS", "OTHER/BACK"},
                                     {"/proc", "NS/PROC"}})
    std::filesystem::create_directory_symlink(target, prefix.DriveD() + "/" + link);
  const auto [breadthFirst, depthFirst] = Walked("D:\\NS");
  EXPECT_EQ(finder.Files, (Lines{"D:\\NS\\A.ASC", "D:\\NS\\B.ASC", "D:\\NS\\C.ASC", "D:\\NS\\L\\I.ASC",
                                 "D:\\NS\\SUB\\E.ASC", "D:\\NS\\SUB2\\H.ASC", "D:\\NS\\SUB\\DEEP\\F.ASC"}));
  EXPECT_EQ(breadthFirst, (Lines{"D:\\NS\\", "D:\\NS\\L\\", "D:\\NS\\SUB\\", "D:\\NS\\SUB2\\",
                                 "D:\\NS\\X.ASC\\", "D:\\NS\\SUB\\DEEP\\"}));
  EXPECT_EQ(depthFirst, (Lines{"D:\\NS\\", "D:\\NS\\L\\", "D:\\NS\\SUB\\", "D:\\NS\\SUB\\DEEP\\",
                               "D:\\NS\\SUB2\\", "D:\\NS\\X.ASC\\"}));
}

TEST_F(FindFileTest, WalksBelowProcAndDevFdEnd) {
  // /proc/self/fd and /dev/fd hold links to the folders the walk itself has open, /proc/self/root
  // leads to "/", /proc/self/cwd to the working folder: a walk that started on this virtual file
  // system lists its start folder and enters nothing below it.
  for (const char* location : {"Z:\\dev\\fd", "Z:\\proc\\self"}) {
    SCOPED_TRACE(location);
    const auto [breadthFirst, depthFirst] = Walked(location);
    EXPECT_EQ(breadthFirst, Lines{std::string(location) + "\\"});
    EXPECT_EQ(depthFirst, Lines{std::string(location) + "\\"});
  }
}

// A bind mount of a folder the walk is inside of would repeat the walk without end: it is not entered.
// A bind mount of a folder elsewhere is a folder, and one of /proc is not entered either.
TEST_F(FindFileTest, BothWalksEnterNoBindMountBackUpAndNoVirtualFileSystem) {
  const std::pair<const char*, const char*> mounts[] = {{"drive_d/NS", "drive_d/NS/SUB2/BACK"},
                                                        {"/proc", "drive_d/NS/SUB/P"},
                                                        {"drive_d/NS/SUB/DEEP", "drive_d/NS/X.ASC/D2"}};
  for (const auto& [source, target] : mounts)
    if (const std::string refused = prefix.BindMount(source, target); !refused.empty())
      GTEST_SKIP() << refused;
  const auto [breadthFirst, depthFirst] = Walked("D:\\NS");
  EXPECT_EQ(breadthFirst, (Lines{"D:\\NS\\", "D:\\NS\\SUB\\", "D:\\NS\\SUB2\\", "D:\\NS\\X.ASC\\",
                                 "D:\\NS\\SUB\\DEEP\\", "D:\\NS\\X.ASC\\D2\\"}));
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
