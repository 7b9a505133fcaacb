#include "search/FindFileEx.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <thread>

#include "platform/Platform.h"
#include "tests/Texts.h"
#include "tests/common/TempPrefix.h"
#include "tests/common/TestPlatform.h"

namespace velmor {
namespace {

using Lines = std::vector<std::string>;

class FindFileExTest : public ::testing::Test {
 protected:
  void File(const std::string& path) { prefix.WriteFile("drive_c/" + path, "x"); }
  void Search(const char* masks, const char* location) {
    files.FileName = masks;
    files.Location = location;
  }

  // Runs the search; its reports (folder + name, below C:\) separated by blanks.
  std::string Run() {
    std::string found;
    search.OnFileMatch = [&](TFindFileEx&, const std::string& folder, const TSearchRec& info) {
      found += (found.empty() ? "" : " ") + (folder + info.Name).substr(3);
    };
    search.Execute();
    return found;
  }

  // Records every event as a line: the folder entered, the match, or "abort"/"finish" with the busy
  // state at that moment; an event that runs on another thread than the one that set this up is
  // marked "(worker)".
  void Record(TFindFileEx& target) {
    const std::thread::id owner = std::this_thread::get_id();
    auto add = [this, owner](const std::string& line) {
      events.push_back(std::this_thread::get_id() == owner ? line : line + " (worker)");
    };
    target.OnFolderChange = [add](TFindFileEx&, const std::string& folder, TFolderIgnore&) { add(folder); };
    target.OnFileMatch = [add](TFindFileEx&, const std::string& folder, const TSearchRec& info) {
      add(folder + info.Name);
    };
    target.OnSearchAbort = [add](TFindFileEx& s) { add(s.Busy() ? "abort busy" : "abort idle"); };
    target.OnSearchFinish = [add](TFindFileEx& s) { add(s.Busy() ? "finish busy" : "finish idle"); };
  }

  testing::TempPrefix prefix;
  testing::TestPlatform os;
  TFindFileEx search{os};
  TFileCriteria& files = search.Criteria().Files;
  Lines events;
};

TEST_F(FindFileExTest, PlansAndReportOrder) {
  for (const char* f :
       {"P/A.EXF", "P/SH1", "P/A.DAT", "P/SEITEN.SPL", "P/B", "P/SUB/C.EXF", "D/b.exf", "D/A.EXF", "D/Z.BMP",
        "D/S1/X.EXF", "D/S1/T/Y.BMP", "D/S2/W.BMP", "E/A.TXT", "E/S/B.TXT"})
    File(f);
  for (const auto& row : testing::CaseRows("search/plans.tsv", 8)) {
    SCOPED_TRACE(row[0]);
    Search(row[1].c_str(), row[2].c_str());
    files.MinLevel = static_cast<uint16_t>(std::stoi(row[3]));
    files.MaxLevel = static_cast<uint16_t>(std::stoi(row[4]));
    files.Included = testing::ListField(row[5]);
    files.Excluded = testing::ListField(row[6]);
    EXPECT_EQ(Run(), row[7]);
  }
}

TEST_F(FindFileExTest, FolderEventVisitsEveryFolderAndSteersTheWalk) {
  for (const char* f : {"F/A.X", "F/S/B.X", "F/S/T/C.X"}) File(f);
  Lines visited;
  search.OnFolderChange = [&](TFindFileEx&, const std::string& folder, TFolderIgnore& ignore) {
    visited.push_back(folder);
    if (folder == "C:\\F\\") ignore = fiIgnoreFiles;
    if (folder == "C:\\F\\S\\") ignore = fiIgnoreSubfolders;
  };
  // No mask: nothing is reported, yet the walk still visits the folders (a missing one too).
  Search("", "C:\\F;C:\\MISSING");
  files.Subfolders = true;
  EXPECT_EQ(Run(), "");
  EXPECT_EQ(visited, (Lines{"C:\\F\\", "C:\\F\\S\\", "C:\\MISSING\\"}));
  files.FileName = "*.X";
  EXPECT_EQ(Run(), "F\\S\\B.X");
}

TEST_F(FindFileExTest, AttributesDecideAboutFoldersAndHiddenFilesAndRecordsKeepTheirDetails) {
  File("H/.hidden.X");
  File("H/D.X/INNER.Y");
  prefix.WriteFile("drive_c/R/A.X", "12345");
  Search("*.X", "C:\\H");
  EXPECT_EQ(Run(), "H\\.hidden.X");
  search.Criteria().Attribute.SetAttributes(ffDirectory | ffArchive);
  EXPECT_EQ(Run(), "H\\D.X");
  // A content search never reports folders.
  search.Criteria().Content.SetPhrase("x");
  EXPECT_EQ(Run(), "");

  // A handler may keep the record it was given.
  search.Criteria() = TSearchCriteria{};
  Search("*.X", "C:\\R");
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
  Search("*.X", "C:\\B");
  Record(search);
  const auto record = search.OnFileMatch;
  search.OnFileMatch = [&](TFindFileEx& s, const std::string& folder, const TSearchRec& info) {
    record(s, folder, info);
    s.Execute();  // ignored while busy
    if (info.Name == "B.X") s.Abort();
  };
  search.Execute();
  search.Abort();  // idle: nothing happens
  EXPECT_EQ(events, (Lines{"C:\\B\\", "C:\\B\\A.X", "C:\\B\\B.X", "abort busy", "finish busy"}));
  EXPECT_FALSE(search.Busy());
  EXPECT_TRUE(search.Aborted());
}

TEST_F(FindFileExTest, HandlerExceptionEndsTheSearch) {
  File("E/A.X");
  File("E/S/B.X");
  Search("*.X", "C:\\E");
  Record(search);
  search.OnFileMatch = [](TFindFileEx&, const std::string&, const TSearchRec&) {
    throw std::runtime_error("handler failed");
  };
  EXPECT_THROW(search.Execute(), std::runtime_error);
  EXPECT_FALSE(search.Busy());
  EXPECT_EQ(search.Level(), 0);
  // The component is usable again; the failed run did not finish.
  EXPECT_EQ(Run(), "E\\A.X E\\S\\B.X");
  EXPECT_EQ(events, (Lines{"C:\\E\\", "C:\\E\\", "C:\\E\\S\\", "finish busy"}));
}
TEST_F(FindFileExTest, FolderLinksBackUpEndTheWalkOthersAreFollowed) {
  for (const char* f : {"K/A.X", "K/S/B.X", "OTHER/C.X"}) File(f);
  std::filesystem::create_directory_symlink("..", prefix.DriveC() + "/K/S/UP");
  std::filesystem::create_directory_symlink(".", prefix.DriveC() + "/K/SELF");
  std::filesystem::create_directory_symlink("../OTHER", prefix.DriveC() + "/K/L");
  // Above the searched folder counts too: this one leads to the drive root, which holds K itself.
  std::filesystem::create_directory_symlink("../..", prefix.DriveC() + "/K/S/TOP");
  // Back up through two links; and into a file system without stored files.
  std::filesystem::create_directory_symlink("../K", prefix.DriveC() + "/OTHER/BACK");
  std::filesystem::create_directory_symlink("/proc", prefix.DriveC() + "/K/PROC");
  Search("*.X", "C:\\K");
  EXPECT_EQ(Run(), "K\\A.X K\\L\\C.X K\\S\\B.X");
}

TEST_F(FindFileExTest, MasksDeliverWhatTheEnumerationWould) {
  for (const char* f : {"M/A.ASC", "M/a.asc", "M/X.TXT", "M/S/Y.TXT"}) File(f);
  std::filesystem::create_symlink(prefix.DriveC() + "/M/gone", prefix.DriveC() + "/M/Z.TXT");
  const struct {
    const char* masks;
    const char* expected;
  } rows[] = {
      // A plain name names one entry, the one opening that name finds.
      {"A.ASC", "M\\A.ASC"},
      {"a.ASC", "M\\A.ASC"},
      {"*.ASC", "M\\A.ASC M\\a.asc"},
      // Blanks and dots at the end of a mask; a link to nothing is no file.
      {"*.TXT ;X.TXT .", "M\\X.TXT M\\X.TXT M\\S\\Y.TXT"},
      {"*.", ""},
  };
  for (const auto& row : rows) {
    Search(row.masks, "C:\\M");
    EXPECT_EQ(Run(), row.expected) << row.masks;
  }

  // Nothing to look for and no sub-folders to enter: the folder is not even listed.
  os.Reset();
  Search("*.X", "");
  files.Included = {"<", "<C:\\M\\"};
  EXPECT_EQ(Run(), "");
  EXPECT_EQ(os.Calls(testing::Call::ListFolder), 0u);
}

TEST_F(FindFileExTest, ThreadedSearchHandsEveryEventAndItsEndToTheMainThread) {
  for (const char* f : {"T/A.X", "T/S/B.X"}) File(f);
  Search("*.X", "C:\\T");
  Record(search);
  std::atomic<int> notified = 0;
  search.Threaded = true;
  search.NotifyMainThread = [&] { ++notified; };
  search.Execute();
  // The main thread's loop: nothing happens until it runs what the worker handed over.
  while (search.Busy()) {
    if (search.RunHandedOverEvents() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  search.WaitFor();
  EXPECT_EQ(events, (Lines{"C:\\T\\", "C:\\T\\A.X", "C:\\T\\S\\", "C:\\T\\S\\B.X", "finish busy"}));
  EXPECT_EQ(notified, 5);  // two folders, two matches, the end
}

TEST_F(FindFileExTest, DestroyingARunningThreadedSearchRunsItsPendingHandOver) {
  for (int i = 0; i < 50; ++i) File("T/F" + std::to_string(i) + ".X");
  Search("*.X", "C:\\T");
  auto threaded = std::make_unique<TFindFileEx>(os);
  threaded->SetCriteria(search.Criteria());
  threaded->Threaded = true;
  std::atomic<int> notified = 0;
  threaded->NotifyMainThread = [&] { ++notified; };  // a main thread that is busy elsewhere
  Record(*threaded);
  threaded->Execute();
  while (notified == 0) std::this_thread::yield();  // the worker now waits for its first hand-over

  // Should the destructor wait for the worker without running its hand-over, both would wait forever
  // (and the test time out).
  threaded.reset();
  EXPECT_EQ(events, Lines{});  // aborted before anything ran on this thread, and no finish while going
}

}  // namespace
}  // namespace velmor
