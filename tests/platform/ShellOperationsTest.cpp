#include "platform/ShellOperations.h"

#include <unistd.h>

#include <chrono>
#include <thread>

#include "tests/Texts.h"
#include "tests/platform/PlatformTestUtil.h"

namespace velmor::platform {
namespace {

namespace fs = std::filesystem;

class ShellOperationsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    prefix_.WriteFile("drive_c/src/EXF/EPL_ASC.EXF", "header");
    prefix_.WriteFile("drive_c/src/EXF/SUB/page.EXF", std::string(3 * 1024 * 1024, 'p'));
    prefix_.WriteFile("drive_c/src/EXF/SUB/empty.BMP", "");
    prefix_.MakeDir("drive_c/src/EXF/EMPTYDIR");
    fs::create_symlink("EPL_ASC.EXF", Abs("drive_c/src/EXF/link"));
    fs::permissions(Abs("drive_c/src/EXF/EPL_ASC.EXF"), fs::perms(0444));
    fs::last_write_time(Abs("drive_c/src/EXF/SUB/page.EXF"), kOldTime);
  }
  std::string Abs(const std::string& p) const { return prefix_.Abs(p); }

  // The source folder EXF as Tree() shows it, also wherever it was copied or moved to.
  static constexpr const char* kExfTree =
      "EXF/\nEXF/EMPTYDIR/\nEXF/EPL_ASC.EXF=header ro\nEXF/SUB/\nEXF/SUB/empty.BMP=\n"
      "EXF/SUB/page.EXF (3145728 bytes)\nEXF/link -> EPL_ASC.EXF\n";

  static inline const fs::file_time_type kOldTime =
      fs::file_time_type::clock::now() - std::chrono::hours(24 * 400);
  velmor::testing::TempPrefix prefix_;
  uint32_t error_ = 0;
  std::vector<std::string> asked_;
  // Answers to the replace question that note which file was asked about.
  ShellConfirmReplace Answer(bool replace) {
    return [this, replace](const std::string& f) {
      asked_.push_back(f);
      return replace;
    };
  }
  ShellConfirmReplace yes_ = Answer(true), no_ = Answer(false);
};

TEST_F(ShellOperationsTest, CopyFolderKeepsContentModeTimeAndLinks) {
  uint64_t lastDone = 0, lastTotal = 0;
  int calls = 0;
  ShellProgress progress = [&](uint64_t done, uint64_t total, const std::string&) {
    EXPECT_GE(done, lastDone);
    lastDone = done;
    lastTotal = total;
    ++calls;
    return true;
  };
  ASSERT_TRUE(
      ShellCopyHost(Abs("drive_c/src/EXF"), Abs("drive_d/new/deeper"), false, yes_, progress, error_));
  const std::string t = "drive_d/new/deeper/EXF/";
  EXPECT_EQ(Tree(Abs("drive_d/new/deeper")), kExfTree);
  EXPECT_EQ(Tree(Abs("drive_c/src")), kExfTree);  // a copy keeps the source
  EXPECT_EQ(fs::status(Abs(t + "EPL_ASC.EXF")).permissions() & fs::perms::all, fs::perms(0444));
  EXPECT_EQ(fs::last_write_time(Abs(t + "SUB/page.EXF")), kOldTime);
  EXPECT_TRUE(asked_.empty());
  EXPECT_EQ(lastTotal, 3u * 1024 * 1024 + 6);
  EXPECT_EQ(lastDone, lastTotal);
  EXPECT_GE(calls, 3);
}

TEST_F(ShellOperationsTest, ExistingFilesNeedConfirmationCancelLeavesNoHalfFileAndReadOnlyStays) {
  prefix_.WriteFile("drive_d/EXF/SUB/page.EXF", "old page");
  ASSERT_FALSE(ShellCopyHost(Abs("drive_c/src/EXF/SUB"), Abs("drive_d/EXF"), false, no_, nullptr, error_));
  EXPECT_EQ(Tree(Abs("drive_d/EXF")), "SUB/\nSUB/empty.BMP=\nSUB/page.EXF=old page\n");
  EXPECT_EQ(error_, kErrorCancelled);
  EXPECT_EQ(asked_, std::vector<std::string>{Abs("drive_d/EXF/SUB/page.EXF")});

  // Cancelled in the middle of a file: the old file stays whole and no temporary is left.
  ShellProgress cancelMidFile = [](uint64_t done, uint64_t, const std::string&) {
    return done < 1024 * 1024;
  };
  ASSERT_FALSE(
      ShellCopyHost(Abs("drive_c/src/EXF/SUB"), Abs("drive_d/EXF"), false, yes_, cancelMidFile, error_));
  EXPECT_EQ(error_, kErrorCancelled);
  EXPECT_EQ(Tree(Abs("drive_d/EXF")), "SUB/\nSUB/empty.BMP=\nSUB/page.EXF=old page\n");

  ASSERT_TRUE(ShellCopyHost(Abs("drive_c/src/EXF"), Abs("drive_d"), false, yes_, nullptr, error_));
  EXPECT_EQ(prefix_.ReadFile("drive_d/EXF/SUB/page.EXF")->size(), 3u * 1024 * 1024);

  // The copied header is read-only now: replacing it is refused without asking.
  asked_.clear();
  error_ = 0;
  EXPECT_FALSE(ShellCopyHost(Abs("drive_c/src/EXF"), Abs("drive_d"), false, yes_, nullptr, error_));
  EXPECT_EQ(error_, kErrorAccessDenied);
  EXPECT_TRUE(asked_.empty());

  // Without anybody to ask, nothing is replaced.
  error_ = 0;
  EXPECT_FALSE(
      ShellCopyHost(Abs("drive_c/src/EXF/SUB"), Abs("drive_d/EXF"), false, nullptr, nullptr, error_));
  EXPECT_NE(error_, kErrorSuccess);
}

TEST_F(ShellOperationsTest, RefusesIntoItselfAndMissingSource) {
  fs::create_symlink(Abs("drive_c/src/EXF"), Abs("drive_d/via"));
  for (bool move : {false, true}) {
    for (const auto& row : velmor::testing::CaseRows("platform/shell-refusals.tsv", 4)) {
      SCOPED_TRACE(row[0] + (move ? " (move)" : " (copy)"));
      error_ = 0;
      EXPECT_FALSE(ShellCopyHost(Abs(row[1]), Abs(row[2]), move, yes_, nullptr, error_));
      EXPECT_EQ(error_, std::stoul(row[3]));
    }
  }
  EXPECT_EQ(Tree(Abs("drive_c/src")), kExfTree);
}

TEST_F(ShellOperationsTest, MoveRenamesAndMergesIntoExistingFolder) {
  prefix_.WriteFile("drive_d/EXF/SUB/page.EXF", "old");
  prefix_.WriteFile("drive_d/EXF/SUB/other", "kept");
  ASSERT_TRUE(ShellCopyHost(Abs("drive_c/src/EXF"), Abs("drive_d"), true, yes_, nullptr, error_));
  EXPECT_EQ(Tree(Abs("drive_c/src")), "");
  EXPECT_EQ(
      Tree(Abs("drive_d")),
      "EXF/\nEXF/EMPTYDIR/\nEXF/EPL_ASC.EXF=header ro\nEXF/SUB/\nEXF/SUB/empty.BMP=\nEXF/SUB/other=kept\n"
      "EXF/SUB/page.EXF (3145728 bytes)\nEXF/link -> EPL_ASC.EXF\n");
  EXPECT_EQ(asked_.size(), 1u);
}

TEST_F(ShellOperationsTest, MoveToAnotherFileSystemCopiesThenDeletes) {
  const std::string other = FolderOnOtherFileSystem(prefix_.Root());
  if (other.empty()) GTEST_SKIP() << "needs /dev/shm on a file system of its own";
  const bool ok = ShellCopyHost(Abs("drive_c/src/EXF"), other, true, yes_, nullptr, error_);
  const std::string tree = Tree(other);
  std::error_code ec;
  const auto time = fs::last_write_time(other + "/EXF/SUB/page.EXF", ec);
  fs::remove_all(other);
  ASSERT_TRUE(ok) << error_;
  EXPECT_EQ(tree, kExfTree);
  EXPECT_EQ(time, kOldTime);
  EXPECT_EQ(Tree(Abs("drive_c/src")), "");
}

// A rename that goes through: the folder tree's RenameAsksAndRefusesBadNames.
TEST_F(ShellOperationsTest, RenameAndDeleteTree) {
  prefix_.WriteFile("drive_c/src/taken", "x");
  EXPECT_FALSE(ShellRenameHost(Abs("drive_c/src/EXF"), Abs("drive_c/src/taken"), error_));
  EXPECT_EQ(error_, kErrorAlreadyExists);
  EXPECT_FALSE(ShellRenameHost(Abs("drive_c/src/none"), Abs("drive_c/src/x"), error_));
  EXPECT_EQ(error_, kErrorFileNotFound);

  // Read-only files and a folder without permissions inside do not stop the delete; a link is removed,
  // never followed.
  prefix_.WriteFile("drive_d/outside/keep", "keep");
  fs::create_symlink(Abs("drive_d/outside"), Abs("drive_c/src/EXF/SUB/out"));
  fs::permissions(Abs("drive_c/src/EXF/SUB"), fs::perms(0500));
  ASSERT_TRUE(DeleteHostTree(Abs("drive_c/src/EXF"), error_));
  EXPECT_FALSE(prefix_.Exists("drive_c/src/EXF"));
  EXPECT_EQ(prefix_.ReadFile("drive_d/outside/keep"), "keep");
  EXPECT_FALSE(DeleteHostTree(Abs("drive_c/src/EXF"), error_));
  EXPECT_EQ(error_, kErrorFileNotFound);
}

TEST_F(ShellOperationsTest, OpenRunsXdgOpenDetached) {
  prefix_.WriteFile("bin/xdg-open", "#!/bin/sh\necho \"$1\" > \"$(dirname \"$0\")/opened\"\n");
  fs::permissions(Abs("bin/xdg-open"), fs::perms(0755));
  {
    velmor::testing::ScopedEnv path("PATH", Abs("bin") + ":/usr/bin:/bin");
    ASSERT_TRUE(OpenHostPathWithAssociatedProgram("/some/file with blanks.txt"));
  }
  for (int i = 0; i < 200 && !prefix_.Exists("bin/opened"); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(prefix_.ReadFile("bin/opened"), "/some/file with blanks.txt\n");

  velmor::testing::ScopedEnv empty("PATH", Abs("nothing"));
  EXPECT_FALSE(OpenHostPathWithAssociatedProgram("/some/file"));
}

}  // namespace
}  // namespace velmor::platform
