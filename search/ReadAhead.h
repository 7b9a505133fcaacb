// Work done ahead of a search's walk on worker threads: listing the folders the walk will enter next
// and testing the contents of the files it will test next.
//
// The walk stays one depth-first pass on one thread that fires every event in its fixed order; the
// readers only prepare what it will ask for. Every piece of work has a place in the walk's order (a
// folder's file tests before its sub-folders, sub-folders in listing order, depth first), and a reader
// always takes the piece the walk will reach first. The walk never waits for work nobody has started:
// it does such work itself, so readers change how much runs at once, never what is reported or when.
//
// Bounds: at most `maxReadyFolders` listings lie ready ahead of the walk (each holds its folder open
// and its names in memory); file tests are queued only for folders that are listed. Stop() ends every
// reader after the listing or file block at hand; the destructor stops and joins them.
//
// Errors: a folder that cannot be listed gives no entries, as it does for the walk. An exception a
// reader meets while listing (out of memory, a platform that throws) is kept with the folder and raised
// in the walk when the walk takes that folder, as if the walk had met it there; work the walk never
// reaches is dropped with its errors.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/Parallel.h"
#include "platform/Platform.h"
#include "search/WalkBounds.h"

namespace velmor {
class TTargetSearch;
}

namespace velmor::search_detail {

// The folders above a folder, innermost first, shared by the folders below it: the listings of the
// walk's own folders (whose identity is asked for only when a link or a mount is met below them), then
// the identities of the folders above the walk's start.
struct FolderChain {
  std::shared_ptr<platform::IFolderListing> listing;
  platform::FolderId id;  // without a listing
  std::shared_ptr<const FolderChain> up;
  platform::FolderId Id() const { return listing ? listing->Identity() : id; }
};

// What the readers need to know about one target folder of the plan.
struct ReadAheadTarget {
  std::vector<platform::FolderMask> masks;  // in the target's order (the walk runs them backwards)
  bool anyMask = false;                     // some mask can deliver something
  bool subfolders = true;
  uint16_t minLevel = 0;
  uint16_t maxLevel = 0;
  std::shared_ptr<const WalkBounds> bounds;  // the mounts below the target folder

  bool MayFind(uint16_t level) const { return anyMask && level >= minLevel; }
  bool MayDescend(uint16_t level) const { return subfolders && (maxLevel == 0 || maxLevel > level); }
};

class ReadAhead {
 public:
  struct Settings {
    unsigned threads = 0;   // 0: the walk does everything itself
    size_t startAfter = 0;  // folders listed and files queued before the readers start
    size_t maxReadyFolders = 64;
    bool onlyAfterWaiting = false;  // and only once the walk has waited for a listing or a file
  };

  // One folder of the walk. The walk reads the constant fields; the rest belongs to the read-ahead.
  class Folder : public std::enable_shared_from_this<Folder> {
   public:
    Folder(std::string text_, std::string listPath_, uint16_t level_, const ReadAheadTarget& target_,
           Reach reach_, std::shared_ptr<const FolderChain> above_, std::vector<uint32_t> key_)
        : text(std::move(text_)),
          listPath(std::move(listPath_)),
          level(level_),
          target(target_),
          reach(reach_),
          above(std::move(above_)),
          key(std::move(key_)) {}

    const std::string text;      // as reported: absolute, trailing backslash (or empty)
    const std::string listPath;  // what the platform lists (the direct host form where there is one)
    const uint16_t level;        // the target folder is 1
    const ReadAheadTarget& target;

   private:
    friend class ReadAhead;
    enum class State : uint8_t { Waiting, Listing, Ready, Taken };
    struct FileTest {
      std::string path;
      enum class State : uint8_t { Waiting, Running, Done } state = State::Waiting;
      bool matches = false;
    };

    const Reach reach;
    const std::shared_ptr<const FolderChain> above;
    const std::vector<uint32_t> key;  // place in the walk's order (see ReadAhead.cpp)
    State state = State::Waiting;
    bool blocked = false;       // a folder the walk is inside of, or on a virtual file system
    bool dropped = false;       // the walk will not enter this folder
    bool filesDropped = false;  // the walk will not test this folder's files
    bool counted = false;       // a reader claimed it: it counts against the budget until taken
    std::shared_ptr<platform::IFolderListing> listing;
    std::exception_ptr error;
    std::vector<std::shared_ptr<Folder>> children;  // sub-folders in listing order, once listed
    std::vector<FileTest> tests;                    // content tests of its files, in the walk's order
    std::vector<int32_t> testOf;                    // entry index → its test, or -1
  };
  using FolderPtr = std::shared_ptr<Folder>;

  // plan: the search plan (its content criteria and its tests before the content test); aborted: the
  // search's flag, which stops the readers too.
  ReadAhead(const TTargetSearch& plan, Settings settings, const std::atomic<bool>& aborted);
  ~ReadAhead();
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  // The folder a target starts with (targetIndex: its place among the targets, in walk order; above:
  // the identities of the folders above it, innermost first).
  FolderPtr Root(ReadAheadTarget target, uint32_t targetIndex, std::string text, std::string listPath,
                 const std::vector<platform::FolderId>& above);
  // The folder's listing (nullptr when it cannot be listed): ready from a reader, awaited from the
  // reader busy with it, or made here. Raises what a reader met while listing it. blocked: the folder
  // is not to be entered at all (see WalkBounds).
  std::shared_ptr<platform::IFolderListing> Take(Folder& folder, bool& blocked);
  // The sub-folders of a taken folder the walk may enter (none when it does not descend), in listing
  // order; Child hands number k over to the walk.
  size_t ChildCount(const Folder& folder) const { return folder.children.size(); }
  FolderPtr Child(Folder& folder, size_t k) { return std::move(folder.children[k]); }
  // Whether entry index of a taken folder contains the phrase; fullPath names it for a test made here.
  bool ContentMatches(Folder& folder, size_t index, const std::string& fullPath);
  // The walk will not test the folder's files (the rest of them) / not enter its sub-folders (the rest).
  void DropFiles(Folder& folder);
  void DropChildren(Folder& folder);
  // Ends the readers' work: each stops after the listing or file block at hand. Any thread may call it.
  void Stop();

  // Readers started (for tests).
  unsigned ReadersStarted() const;

 private:
  struct FolderJob {
    std::vector<uint32_t> key;
    FolderPtr folder;
  };
  struct TestJob {
    std::vector<uint32_t> key;
    FolderPtr folder;
    size_t test;
  };
  template <typename Job>
  struct Later {
    bool operator()(const Job& a, const Job& b) const { return a.key > b.key; }
  };

  bool Stopping() const { return stop_ || aborted_; }
  // Lists the folder and prepares its children and file tests; publishes them under the lock. Returns
  // whether the listing waited for the disk (only asked when watch is set).
  bool Complete(Folder& folder, bool byWalk, bool watch);
  // Under the lock: queues the folder's sub-folders and file tests for the readers.
  void Queue(Folder& folder);
  // Under the lock: a folder listed ahead leaves the budget.
  void Uncount(Folder& folder);
  // Runs a content test with this thread's buffer.
  bool RunTest(const std::string& path, std::string& buffer) const;
  void Reader();
  // Under the lock: the next piece of work for a reader, claimed; false when there is none now.
  bool NextWork(FolderPtr& folder, size_t& test);
  void DropTree(Folder& folder);  // under the lock
  void StartReaders();            // under the lock; wakes them when they rest
  // Under the lock: whether the walk should watch the listing or test it makes itself for waiting.
  bool WatchWalk();
  // Under the lock: what the walk waited for in a piece of work of its own that it watched.
  void WalkWatched(bool waited);
  // Under the lock: what a reader waited for in a piece of work it watched.
  void ReaderWatched(bool waited);
  bool Working() const { return !readers_.empty() && !resting_; }  // under the lock
  bool MayStart() const {  // under the lock: start the readers, or wake them
    return !Working() && started_ >= settings_.startAfter && (walkWaited_ || !settings_.onlyAfterWaiting);
  }

  const TTargetSearch& plan_;
  const Settings settings_;
  const std::atomic<bool>& aborted_;
  std::atomic<bool> stop_ = false;
  bool contentSearch_ = false;

  mutable std::mutex mutex_;
  std::condition_variable work_;         // readers: new work, budget freed, stop
  std::condition_variable done_;         // the walk: a listing or a test finished
  std::vector<FolderJob> folderQueue_;   // heap, earliest in walk order on top
  std::vector<TestJob> testQueue_;       // heap, earliest in walk order on top
  size_t aheadFolders_ = 0;              // claimed by readers, not yet taken or given up by the walk
  size_t started_ = 0;                   // folders listed and tests queued so far
  size_t walkWork_ = 0;                  // listings and tests the walk made itself before readers started
  bool walkWaited_ = false;              // one of them waited for the disk
  uint8_t recentWaits_ = 0;              // one bit per watched piece, newest lowest: it waited
  std::vector<Folder*> walkPath_;        // before readers start: the walk's listed folders, outermost first
  std::deque<ReadAheadTarget> targets_;  // the folders refer to them
  std::vector<std::thread> readers_;
  bool resting_ = false;    // the readers take no work: the cache held the tree again
  size_t readersWarm_ = 0;  // pieces the readers watched in a row that did not wait
  std::string buffer_;      // the walk's own content buffer
};

}  // namespace velmor::search_detail
