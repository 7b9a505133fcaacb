#include "search/FindFileEx.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <utility>

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
       {"P/A.EXF", "P/SH1",   "P/A.DAT",    "P/SEITEN.SPL", "P/B",         "P/SUB/C.EXF",  "D/b.exf",
        "D/A.EXF", "D/Z.BMP", "D/S1/X.EXF", "D/S1/T/Y.BMP", "D/S2/W.BMP",  "E/A.TXT",      "E/S/B.TXT",
        "M/A.ASC", "M/a.asc", "M/X.TXT",    "M/S/Y.TXT",    "H/.hidden.X", "H/D.X/INNER.Y"})
    File(f);
  std::filesystem::create_symlink(prefix.DriveC() + "/M/gone", prefix.DriveC() + "/M/Z.TXT");
  for (const auto& row : testing::CaseRows("search/plans.tsv", 10)) {
    SCOPED_TRACE(row[0]);
    Search(row[1].c_str(), row[2].c_str());
    files.MinLevel = static_cast<uint16_t>(std::stoi(row[3]));
    files.MaxLevel = static_cast<uint16_t>(std::stoi(row[4]));
    files.Included = testing::ListField(row[5]);
    files.Excluded = testing::ListField(row[6]);
    search.Criteria().Attribute = TAttributeCriteria{};
    if (!row[7].empty()) search.Criteria().Attribute.SetAttributes(std::stoul(row[7], nullptr, 16));
    search.Criteria().Content.SetPhrase(row[8]);
    EXPECT_EQ(Run(), row[9]);
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

TEST_F(FindFileExTest, AHandlerMayKeepTheRecordItWasGiven) {
  prefix.WriteFile("drive_c/R/A.X", "12345");
  Search("*.X", "C:\\R");
  std::vector<TSearchRec> kept;
  search.OnFileMatch = [&](TFindFileEx&, const std::string&, const TSearchRec& info) {
    kept.push_back(info);
  };
  search.Execute();
  search.Criteria().Size.Min = 6;  // too large for the only file
  search.Execute();
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_EQ(kept[0].Name, "A.X");
  EXPECT_EQ(kept[0].Size(), 5u);
  EXPECT_EQ(kept[0].Attr() & (ffDirectory | ffArchive), uint32_t{ffArchive});
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

TEST_F(FindFileExTest, NothingToLookForAndNoSubFoldersToEnterListsNoFolder) {
  File("M/A.X");
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

// Reader threads that list folders and test file contents ahead of the search's walk: what is reported,
// and in which order, must not depend on them; an abort must stop them at once; what goes wrong on a
// reader must surface exactly where the walk would have met it.

// Watches the listings and file opens of a file role from every thread, and lets a test hold the
// readers' listings, slow the walk down or make listings throw.
class Watcher {
 public:
  Watcher(testing::TestPlatform& os, std::thread::id walkThread) : walkThread_(walkThread) {
    os.Watch = [this](testing::Call call, std::string_view path, std::string_view) {
      if (call == testing::Call::ListFolder) Listing(path);
      if (call != testing::Call::OpenFile) return;
      readerOpens += std::this_thread::get_id() != walkThread_;
      opensAfterStop += stopped;
    };
  }

  // Holds the walk until count readers wait in a held listing, then aborts through abort and lets
  // them go; from then on every listing or open counts as one after the stop.
  void AbortWhenHeld(int count, const std::function<void()>& abort) {
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [&] { return held >= count; });
    }
    abort();
    stopped = true;
    {
      std::lock_guard lock(mutex_);
      holdReaders = false;
    }
    changed_.notify_all();
  }

  std::atomic<bool> holdReaders = false, slowWalk = false, stopped = false;
  std::atomic<int> slowWalkListings = 0;  // only that many of the walk's next listings are slowed
  std::string throwIn;                    // a listing of a folder whose path contains this throws
  std::atomic<int> listings = 0, readerListings = 0, readerOpens = 0, listingsAfterStop = 0,
                   opensAfterStop = 0;

 private:
  void Listing(std::string_view folder) {
    const bool onWalk = std::this_thread::get_id() == walkThread_;
    ++listings;
    readerListings += !onWalk;
    listingsAfterStop += stopped;
    if (!onWalk && holdReaders) {
      std::unique_lock lock(mutex_);
      ++held;
      changed_.notify_all();
      changed_.wait(lock, [&] { return !holdReaders; });
    }
    // The walk is slowed down so that the readers surely get work of their own.
    if (onWalk && (slowWalk || slowWalkListings-- > 0))
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (!throwIn.empty() && folder.find(throwIn) != std::string_view::npos)
      throw std::runtime_error("listing failed: " + std::string(folder));
  }

  const std::thread::id walkThread_;
  int held = 0;
  std::mutex mutex_;
  std::condition_variable changed_;
};

class FindFileExReadAheadTest : public ::testing::Test {
 protected:
  // A tree of 3 × 3 × 3 folders below C:\T, files of several kinds in each, some holding the phrase;
  // a link back up; a hidden folder.
  void MakeTree() {
    const char* names[] = {"a.EXF", "B.bmp", "c.asc", "D.EXF", "SH1", "e.txt"};
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j)
        for (int k = 0; k < 3; ++k) {
          const std::string folder =
              "drive_c/T/F" + std::to_string(i) + "/G" + std::to_string(j) + "/H" + std::to_string(k) + "/";
          int n = 0;
          for (const char* name : names) {
            const bool phrase = (i + j + k + n++) % 3 == 0;
            prefix.WriteFile(folder + std::to_string(i * 9 + j * 3 + k) + name,
                             phrase ? "vor der KLEMMENLEISTE X1" : "nichts");
          }
        }
    prefix.WriteFile("drive_c/T/top.EXF", "klemmenleiste");
    prefix.WriteFile("drive_c/T/.versteckt/x.EXF", "klemmenleiste");
    std::filesystem::create_directory_symlink("../..", prefix.DriveC() + "/T/F1/G1/UP");
  }

  // Runs the search that configure sets up without readers, then `runs` times with eager readers for
  // each room ahead in `rooms`: the reports, the folders entered and the idle state afterwards must be
  // the same each time. Gives the reports.
  Lines ExpectTheSameWithReaders(const std::function<void(TFindFileEx&)>& configure,
                                 std::initializer_list<size_t> rooms, int runs) {
    TFindFileEx alone(os);
    alone.ReadAhead.Threads = 0;
    configure(alone);
    const Lines expected = Run(alone);
    const Lines aloneFolders = std::exchange(entered, {});
    for (const size_t maxReady : rooms) {
      for (int run = 0; run < runs; ++run) {
        SCOPED_TRACE("room for " + std::to_string(maxReady) + " folders ahead");
        TFindFileEx search(os);
        Eager(search, maxReady);
        configure(search);
        EXPECT_EQ(Run(search), expected);
        EXPECT_EQ(std::exchange(entered, {}), aloneFolders);
        EXPECT_FALSE(search.Busy());
        EXPECT_EQ(search.Level(), 0);
      }
    }
    return expected;
  }

  // The reports of a search, then the error that ended it, if one did.
  Lines Run(TFindFileEx& search) {
    Lines found;
    search.OnFileMatch = [&](TFindFileEx&, const std::string& folder, const TSearchRec& info) {
      found.push_back(folder + info.Name);
    };
    try {
      search.Execute();
    } catch (const std::runtime_error& e) {
      found.push_back(std::string("error: ") + e.what());
    }
    return found;
  }

  static void Look(TFindFileEx& search, const char* masks, const char* location, const char* phrase = "") {
    search.Criteria().Files.FileName = masks;
    search.Criteria().Files.Location = location;
    search.Criteria().Content.SetPhrase(phrase);
  }
  static void Eager(TFindFileEx& search, size_t maxReady) {
    search.ReadAhead.Threads = 4;
    search.ReadAhead.StartAfter = 0;
    search.ReadAhead.OnlyAfterWaiting = false;
    search.ReadAhead.MaxReadyFolders = maxReady;
  }

  testing::TempPrefix prefix;
  testing::TestPlatform os;
  Watcher watching{os, std::this_thread::get_id()};
  Lines entered;  // the folders a search entered, where its configuration records them
};

TEST_F(FindFileExReadAheadTest, ReportsAndEventsKeepTheirOrder) {
  MakeTree();
  watching.slowWalk = true;
  for (const auto& row : testing::CaseRows("search/read-ahead.tsv", 7)) {
    SCOPED_TRACE(row[0]);
    auto configure = [&](TFindFileEx& search) {
      Look(search, row[1].c_str(), row[2].c_str(), row[3].c_str());
      search.Criteria().Files.MinLevel = static_cast<uint16_t>(std::stoi(row[4]));
      search.Criteria().Files.MaxLevel = static_cast<uint16_t>(std::stoi(row[5]));
      search.Criteria().Files.Excluded = testing::ListField(row[6]);
      // The folder event steers the walk: files of G0 folders are skipped, H1 folders not entered.
      search.OnFolderChange = [this](TFindFileEx&, const std::string& folder, TFolderIgnore& ignore) {
        entered.push_back(folder);
        if (folder.find("\\G0\\") != std::string::npos) ignore = fiIgnoreFiles;
        if (folder.find("\\H1\\") != std::string::npos) ignore = fiIgnoreSubfolders;
        if (folder.find("\\F2\\G2\\") != std::string::npos) ignore = fiIgnoreBoth;
      };
    };
    // Readers with no room ahead, with a little, and with as much as they like; several runs each.
    EXPECT_FALSE(ExpectTheSameWithReaders(configure, {1, 3, 1000}, 3).empty());
  }
  // The readers did list folders and open files of their own.
  EXPECT_GT(watching.readerListings, 0);
  EXPECT_GT(watching.readerOpens, 0);
}

// By default the readers start only once the walk has had to wait in a listing of its own (as it does
// on a cold cache, see the next test); with every folder in the cache the walk does all the work itself.
TEST_F(FindFileExReadAheadTest, ReadersStartOnlyOnceTheWalkWaits) {
  MakeTree();
  auto search = [&] {
    TFindFileEx s(os);
    s.ReadAhead.StartAfter = 0;
    Look(s, "*.EXF", "C:\\T");
    return Run(s);
  };
  const Lines first = search();
  ASSERT_FALSE(first.empty());
  const int before = watching.readerListings;
  EXPECT_EQ(search(), first);
  EXPECT_EQ(watching.readerListings, before);
}

TEST_F(FindFileExReadAheadTest, ReadersRestOnceTheCacheHoldsTheTreeAgain) {
  // Only the walk's first listings wait, as if a few folders had dropped out of the cache: the readers
  // start, find everything else at hand and rest, and the walk lists the rest itself.
  const int folders = 400;
  for (int i = 0; i < folders; ++i) prefix.WriteFile("drive_c/W/F" + std::to_string(1000 + i) + "/x.EXF", "");
  TFindFileEx search(os);
  search.ReadAhead.StartAfter = 0;
  Look(search, "*.EXF", "C:\\W");
  watching.slowWalkListings = 64;
  EXPECT_EQ(Run(search).size(), static_cast<size_t>(folders));
  EXPECT_GT(watching.readerListings, 0);
  EXPECT_GT(watching.listings - watching.readerListings, folders / 2) << watching.readerListings;
}

TEST_F(FindFileExReadAheadTest, AbortStopsTheReadersAtOnce) {
  MakeTree();
  TFindFileEx search(os);
  Eager(search, 1000);
  Look(search, "*.EXF", "C:\\T", "klemmenleiste");
  // Every reader is held inside a listing when the first match (in C:\T itself) aborts the search.
  watching.holdReaders = true;
  int matches = 0;
  search.OnFileMatch = [&](TFindFileEx& sender, const std::string&, const TSearchRec&) {
    ++matches;
    // A reader in each of the four sub-folders of C:\T.
    watching.AbortWhenHeld(4, [&] { sender.Abort(); });
  };
  search.Execute();
  EXPECT_EQ(matches, 1);
  // Once the readers were told, none started another listing or opened another file, and all of
  // them are gone: nothing more happens after the search returned.
  const int listings = watching.listings;
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(watching.listingsAfterStop.load(), 0);
  EXPECT_EQ(watching.opensAfterStop.load(), 0);
  EXPECT_EQ(watching.listings.load(), listings);
  EXPECT_FALSE(search.Busy());
}

TEST_F(FindFileExReadAheadTest, ReaderErrorsSurfaceWhereTheWalkMeetsThem) {
  MakeTree();
  watching.slowWalk = true;
  auto configure = [](TFindFileEx& search) { Look(search, "*.EXF;*.ASC", "C:\\T", "klemmenleiste"); };

  // Folders and files that cannot be read give nothing, with readers as without.
  os.FailWhere(testing::Call::ListFolder, "\\G2\\", platform::kErrorAccessDenied);
  os.FailWhere(testing::Call::OpenFile, "\\G2\\", platform::kErrorAccessDenied);
  EXPECT_FALSE(ExpectTheSameWithReaders(configure, {1, 1000}, 1).empty());

  // A listing that throws ends the search at that folder, whichever thread listed it: the reports
  // before it are the same, and the component is idle and usable afterwards.
  os.Reset();
  watching.throwIn = "\\F1\\G1\\";
  const Lines before = ExpectTheSameWithReaders(configure, {1000}, 3);
  ASSERT_GT(before.size(), 1u);
  EXPECT_TRUE(before.back().starts_with("error: ")) << before.back();
  EXPECT_TRUE(before.back().ends_with("\\T\\F1\\G1\\")) << before.back();
  // An error in a folder the walk never enters is never raised.
  TFindFileEx skipping(os);
  Eager(skipping, 1000);
  configure(skipping);
  skipping.OnFolderChange = [](TFindFileEx&, const std::string& folder, TFolderIgnore& ignore) {
    if (folder.find("\\F1\\") != std::string::npos) ignore = fiIgnoreSubfolders;
  };
  EXPECT_FALSE(Run(skipping).back().starts_with("error: "));
}

}  // namespace
}  // namespace velmor
