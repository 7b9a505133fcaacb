#include "search/FindFileEx.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <thread>

#include "platform/Platform.h"
#include "tests/common/FaultInjectingPlatform.h"
#include "tests/common/TempPrefix.h"

namespace velmor {
namespace {

class FindFileExTest : public ::testing::Test {
 protected:
  void File(const std::string& path) { prefix.WriteFile("drive_c/" + path, "x"); }

  // Runs the search and returns the reports as "Folder + Name".
  std::vector<std::string> Run() {
    std::vector<std::string> found;
    search.OnFileMatch = [&](TFindFileEx&, const std::string& folder, const TSearchRec& info) {
      found.push_back(folder + info.Name);
    };
    search.Execute();
    return found;
  }

  testing::TempPrefix prefix;
  TFindFileEx search;
  TFileCriteria& files = search.Criteria().Files;
};

using Lines = std::vector<std::string>;

TEST_F(FindFileExTest, PlansAndReportOrder) {
  for (const char* f :
       {"P/A.EXF", "P/SH1", "P/A.DAT", "P/SEITEN.SPL", "P/B", "P/SUB/C.EXF", "D/b.exf", "D/A.EXF", "D/Z.BMP",
        "D/S1/X.EXF", "D/S1/T/Y.BMP", "D/S2/W.BMP", "E/A.TXT", "E/S/B.TXT"})
    File(f);
  // Expected paths are below C:\ ; a "<" location has no sub-folders.
  struct Row {
    const char* name;
    const char* fileName;
    const char* location;
    Lines expected;
    uint16_t minLevel = 0, maxLevel = 0;
    Lines included = {}, excluded = {};
  };
  const Row rows[] = {
      {"flat", "*.*", "<C:\\P", {"P\\A.DAT", "P\\A.EXF", "P\\B", "P\\SEITEN.SPL", "P\\SH1"}},
      {"exclusions", "*.*", "<C:\\P", {"P\\A.EXF", "P\\B"}, 0, 0, {}, {"SH1", "*.DAT", "*.SPL"}},
      {"last mask first, sub-folders depth-first",
       "*.EXF;*.BMP",
       "C:\\D\\",
       {"D\\Z.BMP", "D\\A.EXF", "D\\b.exf", "D\\S1\\X.EXF", "D\\S1\\T\\Y.BMP", "D\\S2\\W.BMP"}},
      {"two masks report a file twice",
       "*.*;*.EXF",
       "<C:\\D",
       {"D\\A.EXF", "D\\b.exf", "D\\A.EXF", "D\\b.exf", "D\\Z.BMP"}},
      // One target for both spellings, its masks twice; the sub-folder is searched again with D.
      {"same folder twice",
       "*.EXF",
       "C:\\D\\S1;C:\\D;c:\\d\\s1\\",
       {"D\\S1\\X.EXF", "D\\S1\\X.EXF", "D\\A.EXF", "D\\b.exf", "D\\S1\\X.EXF"}},
      {"included lines first",
       "*.EXF",
       "<C:\\P",
       {"E\\A.TXT", "E\\S\\B.TXT", "P\\A.EXF"},
       0,
       0,
       {">C:\\E\\*.TXT", "<"}},
      {"max level 1", "*.BMP", "C:\\D", {"D\\Z.BMP"}, 0, 1},
      {"max level 2", "*.BMP", "C:\\D", {"D\\Z.BMP", "D\\S2\\W.BMP"}, 0, 2},
      {"min level 2", "*.BMP", "C:\\D", {"D\\S1\\T\\Y.BMP", "D\\S2\\W.BMP"}, 2, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    files.FileName = row.fileName;
    files.Location = row.location;
    files.Included = row.included;
    files.Excluded = row.excluded;
    files.MinLevel = row.minLevel;
    files.MaxLevel = row.maxLevel;
    Lines expected;
    for (const std::string& path : row.expected) expected.push_back("C:\\" + path);
    EXPECT_EQ(Run(), expected);
  }
}

TEST_F(FindFileExTest, FolderEventVisitsEveryFolderAndSteersTheWalk) {
  File("F/A.X");
  File("F/S/B.X");
  File("F/S/T/C.X");
  files.Location = "C:\\F;C:\\MISSING";
  Lines visited;
  search.OnFolderChange = [&](TFindFileEx&, const std::string& folder, TFolderIgnore& ignore) {
    visited.push_back(folder);
    if (folder == "C:\\F\\") ignore = fiIgnoreFiles;
    if (folder == "C:\\F\\S\\") ignore = fiIgnoreSubfolders;
  };
  // No mask: nothing is reported, yet the walk still visits the folders (a missing one too).
  files.FileName = "";
  files.Subfolders = true;
  EXPECT_TRUE(Run().empty());
  EXPECT_EQ(visited, (Lines{"C:\\F\\", "C:\\F\\S\\", "C:\\MISSING\\"}));
  files.FileName = "*.X";
  EXPECT_EQ(Run(), (Lines{"C:\\F\\S\\B.X"}));
}

TEST_F(FindFileExTest, AttributesDecideAboutFoldersAndHiddenFiles) {
  File("H/.hidden.X");
  File("H/D.X/INNER.Y");
  files.FileName = "*.X";
  files.Location = "C:\\H";
  EXPECT_EQ(Run(), (Lines{"C:\\H\\.hidden.X"}));
  search.Criteria().Attribute.SetAttributes(ffDirectory | ffArchive);
  EXPECT_EQ(Run(), (Lines{"C:\\H\\D.X"}));
  // A content search never reports folders.
  search.Criteria().Content.SetPhrase("x");
  EXPECT_TRUE(Run().empty());
}

TEST_F(FindFileExTest, RecordDetailsAreAvailableToHandlersAndCopies) {
  prefix.WriteFile("drive_c/R/A.X", "12345");
  files.FileName = "*.X";
  files.Location = "C:\\R";
  std::vector<TSearchRec> kept;
  search.OnFileMatch = [&](TFindFileEx&, const std::string&, const TSearchRec& info) {
    kept.push_back(info);
  };
  search.Execute();
  search.Criteria().Size.Min = 6;  // too large for the only file
  search.Execute();
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_EQ(kept[0].Name + " " + std::to_string(kept[0].Size()) + " " + std::to_string(kept[0].Attr() & 0x30),
            "A.X 5 32");
  EXPECT_NE(kept[0].FindData().lastWriteTime, 0u);
}

TEST_F(FindFileExTest, AbortAndReentry) {
  for (const char* f : {"B/A.X", "B/B.X", "B/C.X", "B/S/D.X"}) File(f);
  files.FileName = "*.X";
  files.Location = "C:\\B";
  Lines events;
  search.OnSearchAbort = [&](TFindFileEx& s) { events.push_back(s.Busy() ? "abort busy" : "abort idle"); };
  search.OnSearchFinish = [&](TFindFileEx& s) { events.push_back(s.Busy() ? "finish busy" : "finish idle"); };
  search.OnFolderChange = [&](TFindFileEx&, const std::string& f, TFolderIgnore&) { events.push_back(f); };
  search.OnFileMatch = [&](TFindFileEx& s, const std::string&, const TSearchRec& info) {
    events.push_back(info.Name);
    s.Execute();  // ignored while busy
    if (info.Name == "B.X") s.Abort();
  };
  search.Execute();
  EXPECT_EQ(events, (Lines{"C:\\B\\", "A.X", "B.X", "abort busy", "finish busy"}));
  EXPECT_FALSE(search.Busy());
  EXPECT_TRUE(search.Aborted());
  search.Abort();  // idle: nothing happens
  EXPECT_EQ(events.size(), 5u);
}

TEST_F(FindFileExTest, HandlerExceptionEndsTheSearch) {
  File("E/A.X");
  File("E/S/B.X");
  files.FileName = "*.X";
  files.Location = "C:\\E";
  int finished = 0;
  search.OnSearchFinish = [&](TFindFileEx&) { ++finished; };
  search.OnFileMatch = [](TFindFileEx&, const std::string&, const TSearchRec&) {
    throw std::runtime_error("handler failed");
  };
  EXPECT_THROW(search.Execute(), std::runtime_error);
  EXPECT_FALSE(search.Busy());
  EXPECT_EQ(search.Level(), 0);
  EXPECT_EQ(finished, 0);
  // The component is usable again.
  EXPECT_EQ(Run(), (Lines{"C:\\E\\A.X", "C:\\E\\S\\B.X"}));
  EXPECT_EQ(finished, 1);
}

TEST_F(FindFileExTest, FolderLinksBackUpEndTheWalkOthersAreFollowed) {
  File("K/A.X");
  File("K/S/B.X");
  File("OTHER/C.X");
  std::filesystem::create_directory_symlink("..", prefix.DriveC() + "/K/S/UP");
  std::filesystem::create_directory_symlink(".", prefix.DriveC() + "/K/SELF");
  std::filesystem::create_directory_symlink("../OTHER", prefix.DriveC() + "/K/L");
  // Above the searched folder counts too: this one leads to the drive root, which holds K itself.
  std::filesystem::create_directory_symlink("../..", prefix.DriveC() + "/K/S/TOP");
  files.FileName = "*.X";
  files.Location = "C:\\K";
  EXPECT_EQ(Run(), (Lines{"C:\\K\\A.X", "C:\\K\\L\\C.X", "C:\\K\\S\\B.X"}));
}

TEST_F(FindFileExTest, MasksDeliverWhatTheEnumerationWould) {
  for (const char* f : {"M/A.ASC", "M/a.asc", "M/X.TXT", "M/S/Y.TXT"}) File(f);
  std::filesystem::create_symlink(prefix.DriveC() + "/M/gone", prefix.DriveC() + "/M/Z.TXT");
  files.Location = "C:\\M";
  const struct {
    const char* masks;
    Lines expected;
  } rows[] = {
      // A plain name names one entry, the one opening that name finds.
      {"A.ASC", {"C:\\M\\A.ASC"}},
      {"a.ASC", {"C:\\M\\A.ASC"}},
      {"*.ASC", {"C:\\M\\A.ASC", "C:\\M\\a.asc"}},
      // Blanks and dots at the end of a mask; a link to nothing is no file.
      {"*.TXT ;X.TXT .", {"C:\\M\\X.TXT", "C:\\M\\X.TXT", "C:\\M\\S\\Y.TXT"}},
      {"*.", {}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.masks);
    files.FileName = row.masks;
    EXPECT_EQ(Run(), row.expected);
  }

  // Nothing to look for and no sub-folders to enter: the folder is not even listed.
  platform::FaultInjectingPlatform counting(platform::HostPlatform());
  platform::ScopedPlatform scope(counting);
  files.Location = "";
  files.Included = {"<", "<C:\\M\\"};
  files.FileName = "*.X";
  EXPECT_TRUE(Run().empty());
  EXPECT_EQ(counting.Calls(platform::FaultKind::ListFolder), 0u);
}

TEST_F(FindFileExTest, ThreadedSearchHandsEveryEventAndItsEndToTheMainThread) {
  for (const char* f : {"T/A.X", "T/S/B.X"}) File(f);
  files.FileName = "*.X";
  files.Location = "C:\\T";
  const std::thread::id mainThread = std::this_thread::get_id();
  std::atomic<int> notified = 0;
  Lines found;
  bool allOnMain = true;
  search.Threaded = true;
  search.NotifyMainThread = [&] { ++notified; };
  search.OnFolderChange = [&](TFindFileEx&, const std::string&, TFolderIgnore&) {
    allOnMain = allOnMain && std::this_thread::get_id() == mainThread;
  };
  search.OnFileMatch = [&](TFindFileEx&, const std::string& f, const TSearchRec& info) {
    allOnMain = allOnMain && std::this_thread::get_id() == mainThread;
    found.push_back(f + info.Name);
  };
  bool finishedOnMain = false;
  search.OnSearchFinish = [&](TFindFileEx& sender) {
    finishedOnMain = std::this_thread::get_id() == mainThread && sender.Busy();
  };
  search.Execute();
  // The main thread's loop: nothing happens until it runs what the worker handed over.
  while (search.Busy()) {
    if (search.RunHandedOverEvents() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  search.WaitFor();
  EXPECT_TRUE(allOnMain);
  EXPECT_TRUE(finishedOnMain);
  EXPECT_EQ(found, (Lines{"C:\\T\\A.X", "C:\\T\\S\\B.X"}));
  EXPECT_EQ(notified, 5);  // two folders, two matches, the end
}

TEST_F(FindFileExTest, DestroyingARunningThreadedSearchRunsItsPendingHandOver) {
  for (int i = 0; i < 50; ++i) File("T/F" + std::to_string(i) + ".X");
  files.FileName = "*.X";
  files.Location = "C:\\T";
  auto threaded = std::make_unique<TFindFileEx>();
  threaded->SetCriteria(search.Criteria());
  threaded->Threaded = true;
  std::atomic<int> notified = 0;
  threaded->NotifyMainThread = [&] { ++notified; };  // a main thread that is busy elsewhere
  int matches = 0;
  bool finished = false;
  threaded->OnFileMatch = [&](TFindFileEx&, const std::string&, const TSearchRec&) { ++matches; };
  threaded->OnSearchFinish = [&](TFindFileEx&) { finished = true; };
  threaded->Execute();
  while (notified == 0) std::this_thread::yield();  // the worker now waits for its first hand-over

  // Should the destructor wait for the worker without running its hand-over, both would wait forever
  // (and the test time out).
  threaded.reset();
  EXPECT_EQ(matches, 0);  // aborted before anything ran on this thread, and no finish while going
  EXPECT_FALSE(finished);
}

TEST(SplitList, Items) {
  EXPECT_EQ(SplitList("*.EXF;*.BMP"), (Lines{"*.EXF", "*.BMP"}));
  EXPECT_EQ(SplitList("a;"), (Lines{"a"}));
  EXPECT_EQ(SplitList("a;;b"), (Lines{"a", "", "b"}));
  EXPECT_EQ(SplitList(""), Lines{});
  EXPECT_EQ(SplitList(" a ; b"), (Lines{" a ", " b"}));
}

}  // namespace
}  // namespace velmor
