// The search component: walks the folders a TSearchCriteria names and reports every entry that passes
// the criteria through OnFileMatch.
//
// Report order: target folders in the order they were first named (Included lines, then locations);
// within a folder all matches of its last mask, then of the one before, each in the enumeration's
// order; then each sub-folder in enumeration order, depth-first.
//
// Error policy: the component itself raises nothing and shows nothing; a folder that cannot be listed
// gives no entries. An exception thrown by an event handler ends the search (OnSearchFinish does not
// fire, Busy returns to false) and passes out of Execute.
#pragma once

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "search/SearchCriteria.h"

namespace velmor {

namespace search_detail {
class ReadAhead;
}
class TFindFileEx;

enum TFolderIgnore {
  fiNone = 0,              // search the folder's entries and its sub-folders
  fiIgnoreFiles = 1,       // skip the entries, still descend
  fiIgnoreSubfolders = 2,  // search the entries, do not descend
  fiIgnoreBoth = 3,
};

enum TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

using TFileMatchEvent =
    std::function<void(TFindFileEx& Sender, const std::string& Folder, const TSearchRec& FileInfo)>;
using TFolderChangeEvent =
    std::function<void(TFindFileEx& Sender, const std::string& Folder, TFolderIgnore& IgnoreFolder)>;
using TNotifyEvent = std::function<void(TFindFileEx& Sender)>;

// One folder to search, with its masks and limits.
struct TTargetFolder {
  std::string Path;  // absolute, with trailing backslash; or empty (the current folder, reported empty)
  bool Subfolders = true;
  std::vector<std::string> FileMasks;
  uint16_t MinLevel = 0;
  uint16_t MaxLevel = 0;
};

// The target folders of a plan, newest first, and the exclusion lines.
class TTargetFolderList {
 public:
  // The target whose Path equals path ignoring the case of a to z, or nullptr.
  TTargetFolder* IndexOf(const std::string& path);
  // Inserts a new target at the front.
  TTargetFolder& InsertFront(std::string path);
  size_t Count() const { return items_.size(); }
  TTargetFolder& Items(size_t index) { return *items_[index]; }
  const TTargetFolder& Items(size_t index) const { return *items_[index]; }

  std::vector<std::string> Excluded;

 private:
  std::vector<std::unique_ptr<TTargetFolder>> items_;
};

// The compiled plan of one search: built from a copy of the criteria when the search starts; it
// reaches the folders and files through files.
class TTargetSearch {
 public:
  TTargetSearch(const TSearchCriteria& criteria, platform::IFileSystem& files);

  platform::IFileSystem& Files() const { return files_; }

  // Makes text absolute, gives it a trailing backslash and returns its target (created when new).
  TTargetFolder& AddTarget(const std::string& text);
  bool IsExcluded(const std::string& folder, std::string_view name) const;
  // The combined test in its order: attributes, size, times, exclusions, content.
  bool Matches(const std::string& folder, const TSearchRec& entry) const;
  // Every test but the content test (which comes last).
  bool MatchesBeforeContent(const std::string& folder, const TSearchRec& entry) const;
  // The same, opening the file for the content test below openFolder (another spelling of folder).
  bool Matches(const std::string& folder, const TSearchRec& entry, const std::string& openFolder) const;

  TTargetFolderList TargetFolders;
  TAttributeCriteria Attribute;
  TDateTimeCriteria TimeStamp;
  TSizeCriteria Size;
  TContentCriteria Content;

 private:
  platform::IFileSystem& files_;
  mutable std::string fullPath_;  // reused for the content test
};

// Work a search may hand to reader threads: listing the folders its walk enters next and testing the
// contents of the files it tests next. The walk and its events stay on the thread that runs the
// search, in the same order; only the preparation runs at once. Small searches never start a reader.
struct ReadAheadOptions {
  unsigned Threads = 8;    // readers (0: the walk does everything itself)
  size_t StartAfter = 32;  // folders listed and files queued before the readers start
  // Readers start only once the walk has had to wait for the disk (or the network), and rest again
  // while their listings no longer wait: with every folder in the cache the walk alone is quicker than
  // with readers beside it, which only take the cores.
  bool OnlyAfterWaiting = true;
  size_t MaxReadyFolders = 128;  // listings held ready ahead of the walk (each keeps its folder open)
};

// Splits text at ";": a trailing ";" adds no item, ";;" adds an empty one, blanks are kept.
std::vector<std::string> SplitList(const std::string& text);
// Removes a leading "<" (returns false) or ">" (returns true); otherwise returns defaultValue.
bool TakeSubfolderPrefix(std::string& text, bool defaultValue);

class TFindFileEx {
 public:
  // Every folder and file of its searches is reached through files.
  explicit TFindFileEx(platform::IFileSystem& files);
  // A running search is aborted; a threaded one is waited for, its pending hand-overs run meanwhile
  // (without its handlers: none fires while the component goes).
  virtual ~TFindFileEx();
  TFindFileEx(const TFindFileEx&) = delete;
  TFindFileEx& operator=(const TFindFileEx&) = delete;

  TSearchCriteria& Criteria() { return criteria_; }
  const TSearchCriteria& Criteria() const { return criteria_; }
  void SetCriteria(const TSearchCriteria& value) { criteria_.Assign(value); }

  // Runs a search. Does nothing while a search is running (also when called from its own handlers).
  // Unthreaded, every event fires inside the call and the search is over when it returns.
  void Execute();
  // Stops the running search: no OnFileMatch or OnFolderChange fires after it; OnSearchAbort at once,
  // OnSearchFinish when the search ends. Does nothing while idle.
  void Abort();

  bool Busy() const { return busy_; }
  bool Aborted() const { return aborted_; }
  uint16_t Level() const { return level_; }

  // Threaded mode: Execute starts a worker thread and returns at once. The worker hands OnFolderChange
  // and OnFileMatch over to the main thread and waits until each has run there; the end of the search
  // (OnSearchFinish, Busy false) is handed over too. A hand-over is queued in the component and
  // announced by NotifyMainThread, called on the worker: it must make the main thread call
  // RunHandedOverEvents soon (post that call to the event loop) and must not outlive the component.
  // Without NotifyMainThread the events and the end run on the worker, one at a time.
  bool Threaded = false;
  TThreadPriority ThreadPriority = tpNormal;
  std::function<void()> NotifyMainThread;
  // Runs the events handed over so far, on the calling (main) thread; returns how many ran.
  size_t RunHandedOverEvents();
  // Waits until a threaded search has ended, running its hand-overs meanwhile (returns at once when
  // none runs). Call on the main thread; an error that a handler raised on the worker passes out here.
  void WaitFor();

  ReadAheadOptions ReadAhead;

  TFileMatchEvent OnFileMatch;
  TFolderChangeEvent OnFolderChange;
  TNotifyEvent OnSearchBegin;
  TNotifyEvent OnSearchFinish;
  TNotifyEvent OnSearchAbort;

 protected:
  virtual void DoSearchBegin();
  virtual void DoSearchFinish();
  virtual void DoSearchAbort();
  virtual TFolderIgnore DoFolderChange(const std::string& Folder);
  virtual void DoFileMatch(const std::string& Folder, const TSearchRec& FileInfo);

 private:
  class Walker;
  friend class Walker;

  void BeginSearch();
  void EndSearch();
  // Frees the plan and leaves the component idle.
  void ClearSearch();
  void SearchTargets();
  // Run the two walk events; from a worker they are handed over to the main thread.
  TFolderIgnore CallFolderChange(const std::string& Folder);
  void CallFileMatch(const std::string& Folder, const TSearchRec& FileInfo);
  // On the worker: runs work on the main thread (or here, without NotifyMainThread); with wait, returns
  // when it has run and passes its error on.
  void HandOver(std::function<void()> work, bool wait);
  // Waits for the worker to end, running hand-overs meanwhile; returns the worker's error, if any.
  std::exception_ptr JoinWorker();

  platform::IFileSystem& files_;
  TSearchCriteria criteria_;
  std::mutex readAheadMutex_;  // guards readAhead_, which Abort stops from any thread
  search_detail::ReadAhead* readAhead_ = nullptr;
  std::atomic<bool> aborted_ = false;
  std::atomic<bool> busy_ = false;
  std::atomic<uint16_t> level_ = 0;
  std::atomic<bool> destroying_ = false;
  std::unique_ptr<TTargetSearch> targetSearch_;
  TTargetFolder* currentTarget_ = nullptr;
  struct ThreadState;
  std::unique_ptr<ThreadState> thread_;
};

}  // namespace velmor
