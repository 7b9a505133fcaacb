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
  TFindFile finder;
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
  // leads to "/": each is a link back to a folder the walk is inside of. The working folder is the
  // small prefix, so /proc/self/cwd adds little. Both searches must end there.
  const std::filesystem::path saved = std::filesystem::current_path();
  std::filesystem::current_path(prefix.Root());
  for (const char* location : {"Z:\\dev\\fd", "Z:\\proc\\self"}) {
    SCOPED_TRACE(location);
    size_t folders = 0, walked = 0;
    finder.Recurse = true;
    finder.Filter = "*";
    finder.Directory = location;
    finder.OnNewPath = [&](TFindFile&, std::string, bool&) { ++folders; };
    finder.Execute();
    TFindFileEx search;
    search.Criteria().Files.FileName = "*";
    search.Criteria().Files.Location = location;
    search.OnFolderChange = [&](TFindFileEx&, const std::string&, TFolderIgnore&) { ++walked; };
    search.Execute();
    for (const size_t n : {folders, walked}) {
      EXPECT_GT(n, 0u);
      EXPECT_LT(n, 20000u);
    }
  }
  std::filesystem::current_path(saved);
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
