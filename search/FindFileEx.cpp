#include "search/FindFileEx.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "search/NameText.h"
#include "search/ReadAhead.h"

namespace velmor {

using search_detail::EqualsNoCaseAscii;
using search_detail::IsDotOrDotDot;

namespace {

// The component whose worker runs on this thread, if any.
thread_local const TFindFileEx* tWorkerOf = nullptr;

}  // namespace

// --- the plan ---------------------------------------------------------------------------------------

std::vector<std::string> SplitList(const std::string& text) {
  std::vector<std::string> items;
  std::string_view rest = text;
  while (!rest.empty()) {
    const size_t semicolon = rest.find(';');
    if (semicolon == std::string_view::npos) {
      items.emplace_back(rest);
      break;
    }
    items.emplace_back(rest.substr(0, semicolon));
    rest.remove_prefix(semicolon + 1);
  }
  return items;
}

bool TakeSubfolderPrefix(std::string& text, bool defaultValue) {
  if (!text.empty() && text[0] == '<') {
    text.erase(0, 1);
    return false;
  }
  if (!text.empty() && text[0] == '>') {
    text.erase(0, 1);
    return true;
  }
  return defaultValue;
}

TTargetFolder* TTargetFolderList::IndexOf(const std::string& path) {
  for (auto& item : items_)
    if (EqualsNoCaseAscii(item->Path, path)) return item.get();
  return nullptr;
}

TTargetFolder& TTargetFolderList::InsertFront(std::string path) {
  auto item = std::make_unique<TTargetFolder>();
  item->Path = std::move(path);
  items_.insert(items_.begin(), std::move(item));
  return *items_.front();
}

TTargetSearch::TTargetSearch(const TSearchCriteria& criteria, platform::IFileSystem& fileSystem)
    : files_(fileSystem) {
  const TFileCriteria& files = criteria.Files;
  TargetFolders.Excluded = files.Excluded;
  for (std::string line : files.Included) {
    const bool subfolders = TakeSubfolderPrefix(line, files.Subfolders);
    const size_t cut = line.find_last_of("\\:");
    const std::string folder = cut == std::string::npos ? std::string() : line.substr(0, cut + 1);
    const std::string mask = cut == std::string::npos ? line : line.substr(cut + 1);
    TTargetFolder& target = AddTarget(folder);
    target.FileMasks.push_back(mask);
    target.Subfolders = subfolders;
    target.MinLevel = files.MinLevel;
    target.MaxLevel = files.MaxLevel;
  }
  const std::vector<std::string> masks = SplitList(files.FileName);
  for (std::string location : SplitList(files.Location)) {
    const bool subfolders = TakeSubfolderPrefix(location, files.Subfolders);
    TTargetFolder& target = AddTarget(location);
    target.FileMasks.insert(target.FileMasks.end(), masks.begin(), masks.end());
    target.Subfolders = subfolders;
    target.MinLevel = files.MinLevel;
    target.MaxLevel = files.MaxLevel;
  }
  Attribute.Assign(criteria.Attribute);
  TimeStamp.Assign(criteria.TimeStamp);
  Size.Assign(criteria.Size);
  Content.Assign(criteria.Content);
  // A content search reports files only.
  if (Content.PhraseLength() > 0) Attribute.SetAttributes(Attribute.Attributes() & ~uint32_t{ffDirectory});
}

TTargetFolder& TTargetSearch::AddTarget(const std::string& text) {
  std::string path;
  if (!text.empty()) path = files_.FullPath(text).value_or(std::string());
  if (!path.empty() && path.back() != '\\' && path.back() != ':') path.push_back('\\');
  if (TTargetFolder* existing = TargetFolders.IndexOf(path)) return *existing;
  return TargetFolders.InsertFront(std::move(path));
}

bool TTargetSearch::IsExcluded(const std::string& folder, std::string_view name) const {
  const auto& lines = TargetFolders.Excluded;
  for (auto it = lines.rbegin(); it != lines.rend(); ++it)
    if (ExcludedEntryMatch(folder, name, *it)) return true;
  return false;
}

bool TTargetSearch::Matches(const std::string& folder, const TSearchRec& entry) const {
  return Matches(folder, entry, folder);
}

bool TTargetSearch::Matches(const std::string& folder, const TSearchRec& entry,
                            const std::string& openFolder) const {
  if (!MatchesBeforeContent(folder, entry)) return false;
  if (Content.PhraseLength() > 0) {
    fullPath_.assign(openFolder);
    fullPath_.append(entry.Name);
    if (!Content.Matches(files_, fullPath_)) return false;
  }
  return true;
}

bool TTargetSearch::MatchesBeforeContent(const std::string& folder, const TSearchRec& entry) const {
  // Each test asks the entry only for what it needs: with the default criteria nothing but the folder
  // bit of the listing is looked at, so no entry is ever stat'ed.
  if (Attribute.OnlyFolderBitMatters()) {
    if (entry.IsDirectory() && (Attribute.Attributes() & ffDirectory) == 0) return false;
  } else if (!Attribute.Matches(entry.Attr())) {
    return false;
  }
  if (Size.HasBounds() && !Size.Matches(entry.Size())) return false;
  if (TimeStamp.HasBounds()) {
    const platform::FindData& data = entry.FindData();
    if (!TimeStamp.Matches(data.creationTime, data.lastWriteTime, data.lastAccessTime)) return false;
  }
  return !IsExcluded(folder, entry.Name);
}

// --- the walk ---------------------------------------------------------------------------------------

// The depth-first walk of one search. The folders come from the read-ahead, which lists them (and
// tests their files' contents) on reader threads ahead of the walk where it can; the walk alone
// decides what is entered and reported, and fires every event. One record serves all entries.
class TFindFileEx::Walker {
 public:
  Walker(TFindFileEx& owner, search_detail::ReadAhead& readAhead) : owner_(owner), readAhead_(readAhead) {}

  void SearchTarget(TTargetFolder& target, uint32_t targetIndex) {
    search_detail::ReadAheadTarget plan;
    for (const std::string& mask : target.FileMasks) {
      plan.masks.emplace_back(mask);
      plan.anyMask = plan.anyMask || !plan.masks.back().FindsNothing();
    }
    plan.subfolders = target.Subfolders;
    plan.minLevel = target.MinLevel;
    plan.maxLevel = target.MaxLevel;
    const std::string direct = DirectFolder(target.Path);
    const std::string& listPath = direct.empty() ? target.Path : direct;
    plan.bounds = std::make_shared<const search_detail::WalkBounds>(owner_.files_, listPath);
    search_detail::ReadAhead::FolderPtr root =
        readAhead_.Root(std::move(plan), targetIndex, target.Path, listPath,
                        search_detail::FoldersAbove(owner_.files_, listPath));
    SearchFolder(*root);
  }

 private:
  using Folder = search_detail::ReadAhead::Folder;

  // Level goes down again on every way out, also when a handler's exception passes through.
  struct LevelGuard {
    explicit LevelGuard(std::atomic<uint16_t>& level) : level_(level) { ++level_; }
    ~LevelGuard() { --level_; }
    std::atomic<uint16_t>& level_;
  };

  void SearchFolder(Folder& folder) {
    LevelGuard guard(owner_.level_);
    const search_detail::ReadAheadTarget& target = folder.target;
    const uint16_t level = owner_.level_;
    const bool mayFind = target.MayFind(level);
    const bool mayDescend = target.MayDescend(level);
    // The listing comes before the folder event: a folder that is one of the folders the walk is
    // inside of (reached through a link or a bind mount) or lies on a virtual file system is not
    // entered at all, or the walk might never end (see WalkBounds). A folder with nothing to look for
    // is not listed.
    std::shared_ptr<platform::IFolderListing> listing;
    if (mayFind || mayDescend) {
      bool blocked = false;
      listing = readAhead_.Take(folder, blocked);
      if (blocked) return;
    }

    const TFolderIgnore ignore = owner_.CallFolderChange(folder.text);
    const bool searchFiles = mayFind && (ignore == fiNone || ignore == fiIgnoreSubfolders);
    const bool descend = mayDescend && (ignore == fiNone || ignore == fiIgnoreFiles);
    if (!searchFiles || owner_.aborted_) readAhead_.DropFiles(folder);
    if (!descend || owner_.aborted_) readAhead_.DropChildren(folder);
    if (owner_.aborted_ || !listing || (!searchFiles && !descend)) return;

    if (searchFiles) {
      const TTargetSearch& plan = *owner_.targetSearch_;
      const bool content = plan.Content.PhraseLength() > 0;
      // Masks run from the last to the first; each delivers what its own enumeration would.
      for (size_t m = target.masks.size(); m-- > 0 && !owner_.aborted_;) {
        selected_.clear();
        target.masks[m].Select(*listing, selected_);
        for (const size_t i : selected_) {
          if (IsDotOrDotDot(listing->Name(i))) continue;
          record_.Bind(*listing, i);
          bool matches = plan.MatchesBeforeContent(folder.text, record_);
          if (matches && content) {
            fullPath_.assign(folder.listPath);
            fullPath_.append(record_.Name);
            matches = readAhead_.ContentMatches(folder, i, fullPath_);
          }
          if (matches) owner_.CallFileMatch(folder.text, record_);
          if (owner_.aborted_) break;
        }
      }
      readAhead_.DropFiles(folder);
    }
    if (!descend || owner_.aborted_) {
      readAhead_.DropChildren(folder);
      return;
    }

    for (size_t k = 0, n = readAhead_.ChildCount(folder); k < n && !owner_.aborted_; ++k) {
      const search_detail::ReadAhead::FolderPtr child = readAhead_.Child(folder, k);
      SearchFolder(*child);
    }
    readAhead_.DropChildren(folder);
  }

  // The folder in the platform's direct host form, built from the names exactly as listed. Handing
  // the platform this form instead of the drive path spares it matching every component of the path
  // case-insensitively again for each folder, which costs more than the listing itself. Empty when the
  // target has no host path; then the drive path is used.
  std::string DirectFolder(const std::string& path) const {
    platform::IFileSystem& files = owner_.files_;
    const auto host = files.ToHost(path.empty() ? files.CurrentDirectory() : path);
    return host ? platform::DirectHostForm(*host) : std::string();
  }

  TFindFileEx& owner_;
  search_detail::ReadAhead& readAhead_;
  std::vector<size_t> selected_;
  std::string fullPath_;
  TSearchRec record_;
};

// --- the component ----------------------------------------------------------------------------------

// The worker of a threaded search and the events it has handed over to the main thread.
struct TFindFileEx::ThreadState {
  struct HandOverItem {
    std::function<void()> work;
    bool waited = false;  // the worker waits for it (an event), or not (the end of the search)
    bool done = false;
    std::exception_ptr error;
  };

  std::thread worker;
  std::mutex mutex;
  std::condition_variable changed;  // an item queued or done, or the worker finished
  std::deque<std::shared_ptr<HandOverItem>> pending;
  bool finished = false;
  std::exception_ptr error;  // what the walk or the end raised, passed on by WaitFor
  std::mutex eventMutex;     // events of a worker without NotifyMainThread run one at a time
};

TFindFileEx::TFindFileEx(platform::IFileSystem& files) : files_(files) {}

TFindFileEx::~TFindFileEx() {
  destroying_ = true;
  if (busy_) Abort();
  // The worker may be waiting for an event to run on this thread: run it (no handler fires, the
  // search is aborted) until the worker is done, or the two threads would wait for each other.
  if (thread_) JoinWorker();
}

void TFindFileEx::Execute() {
  if (busy_) return;
  if (thread_ && thread_->worker.joinable()) JoinWorker();
  BeginSearch();
  if (!Threaded) {
    try {
      SearchTargets();
    } catch (...) {
      // A handler's error ends the search without further events and passes on to the caller.
      ClearSearch();
      throw;
    }
    EndSearch();
    return;
  }
  thread_ = std::make_unique<ThreadState>();
  thread_->worker = std::thread([this, state = thread_.get()] {
    tWorkerOf = this;
    try {
      SearchTargets();
    } catch (...) {
      state->error = std::current_exception();
    }
    try {
      HandOver([this] { EndSearch(); }, false);
    } catch (...) {
      if (!state->error) state->error = std::current_exception();
    }
    {
      std::lock_guard lock(state->mutex);
      state->finished = true;
    }
    state->changed.notify_all();
  });
}

void TFindFileEx::HandOver(std::function<void()> work, bool wait) {
  ThreadState& state = *thread_;
  if (!NotifyMainThread) {
    std::lock_guard events(state.eventMutex);
    work();
    return;
  }
  auto item = std::make_shared<ThreadState::HandOverItem>();
  item->work = std::move(work);
  item->waited = wait;
  {
    std::lock_guard lock(state.mutex);
    state.pending.push_back(item);
  }
  state.changed.notify_all();
  NotifyMainThread();
  if (!wait) return;
  std::unique_lock lock(state.mutex);
  state.changed.wait(lock, [&] { return item->done; });
  if (item->error) std::rethrow_exception(item->error);
}

size_t TFindFileEx::RunHandedOverEvents() {
  if (!thread_) return 0;
  ThreadState& state = *thread_;
  std::deque<std::shared_ptr<ThreadState::HandOverItem>> batch;
  {
    std::lock_guard lock(state.mutex);
    batch.swap(state.pending);
  }
  for (const auto& item : batch) {
    std::exception_ptr error;
    try {
      item->work();
    } catch (...) {
      error = std::current_exception();
    }
    std::lock_guard lock(state.mutex);
    item->done = true;
    if (item->waited) {
      item->error = error;
    } else if (error && !state.error) {
      state.error = error;
    }
  }
  if (!batch.empty()) state.changed.notify_all();
  return batch.size();
}

std::exception_ptr TFindFileEx::JoinWorker() {
  ThreadState& state = *thread_;
  if (!state.worker.joinable() || state.worker.get_id() == std::this_thread::get_id()) return nullptr;
  std::unique_lock lock(state.mutex);
  // Over when the worker has left and the end it handed over has run (Busy false).
  while (!(state.finished && state.pending.empty() && !busy_)) {
    if (!state.pending.empty()) {
      lock.unlock();
      RunHandedOverEvents();
      lock.lock();
      continue;
    }
    state.changed.wait(lock);
  }
  lock.unlock();
  state.worker.join();
  std::exception_ptr error = state.error;
  state.error = nullptr;
  return error;
}

void TFindFileEx::WaitFor() {
  if (!thread_) return;
  if (std::exception_ptr error = JoinWorker()) std::rethrow_exception(error);
}

void TFindFileEx::Abort() {
  if (!busy_) return;
  aborted_ = true;
  {
    std::lock_guard lock(readAheadMutex_);
    if (readAhead_ != nullptr) readAhead_->Stop();
  }
  DoSearchAbort();
}

void TFindFileEx::BeginSearch() {
  busy_ = true;
  aborted_ = false;
  level_ = 0;
  try {
    targetSearch_ = std::make_unique<TTargetSearch>(criteria_, files_);
    DoSearchBegin();
  } catch (...) {
    ClearSearch();
    throw;
  }
}

void TFindFileEx::EndSearch() {
  // The search is over even when the finish handler throws.
  struct Clear {
    TFindFileEx& owner;
    ~Clear() { owner.ClearSearch(); }
  } clear{*this};
  DoSearchFinish();
}

void TFindFileEx::ClearSearch() {
  targetSearch_.reset();
  currentTarget_ = nullptr;
  busy_ = false;
}

void TFindFileEx::SearchTargets() {
  search_detail::ReadAhead::Settings settings;
  settings.threads = ReadAhead.Threads;
  settings.startAfter = ReadAhead.StartAfter;
  settings.onlyAfterWaiting = ReadAhead.OnlyAfterWaiting;
  settings.maxReadyFolders = std::max<size_t>(ReadAhead.MaxReadyFolders, 1);
  search_detail::ReadAhead readAhead(*targetSearch_, settings, aborted_);
  // Abort stops the readers from whichever thread it comes; they are gone when this returns.
  struct Registration {
    TFindFileEx& owner;
    Registration(TFindFileEx& o, search_detail::ReadAhead& r) : owner(o) {
      std::lock_guard lock(owner.readAheadMutex_);
      owner.readAhead_ = &r;
    }
    ~Registration() {
      std::lock_guard lock(owner.readAheadMutex_);
      owner.readAhead_ = nullptr;
    }
  } registration(*this, readAhead);
  Walker walker(*this, readAhead);
  TTargetFolderList& targets = targetSearch_->TargetFolders;
  // The list holds the newest target first; walking it backwards searches in order of first naming.
  uint32_t order = 0;
  for (size_t i = targets.Count(); i-- > 0 && !aborted_;) {
    level_ = 0;
    currentTarget_ = &targets.Items(i);
    walker.SearchTarget(*currentTarget_, order++);
  }
}

TFolderIgnore TFindFileEx::CallFolderChange(const std::string& Folder) {
  if (tWorkerOf != this) return DoFolderChange(Folder);
  TFolderIgnore result = fiNone;
  HandOver([&] { result = DoFolderChange(Folder); }, true);
  return result;
}

void TFindFileEx::CallFileMatch(const std::string& Folder, const TSearchRec& FileInfo) {
  if (tWorkerOf != this) {
    DoFileMatch(Folder, FileInfo);
    return;
  }
  HandOver([&] { DoFileMatch(Folder, FileInfo); }, true);
}

void TFindFileEx::DoSearchBegin() {
  if (OnSearchBegin) OnSearchBegin(*this);
}

void TFindFileEx::DoSearchFinish() {
  if (OnSearchFinish && !destroying_) OnSearchFinish(*this);
}

void TFindFileEx::DoSearchAbort() {
  if (OnSearchAbort && !destroying_) OnSearchAbort(*this);
}

TFolderIgnore TFindFileEx::DoFolderChange(const std::string& Folder) {
  TFolderIgnore result = aborted_ ? fiIgnoreBoth : fiNone;
  if (!aborted_ && OnFolderChange) OnFolderChange(*this, Folder, result);
  return result;
}

void TFindFileEx::DoFileMatch(const std::string& Folder, const TSearchRec& FileInfo) {
  if (!aborted_ && OnFileMatch) OnFileMatch(*this, Folder, FileInfo);
}

}  // namespace velmor
