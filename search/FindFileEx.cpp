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

TTargetSearch::TTargetSearch(const TSearchCriteria& criteria) {
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
  if (!text.empty()) path = platform::Os().FullPath(text).value_or(std::string());
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
  if (IsExcluded(folder, entry.Name)) return false;
  if (Content.PhraseLength() > 0) {
    fullPath_.assign(openFolder);
    fullPath_.append(entry.Name);
    if (!Content.Matches(fullPath_)) return false;
  }
  return true;
}

// --- the walk ---------------------------------------------------------------------------------------

// The depth-first walk of one search. It keeps one growing folder text and one record for all entries,
// so the walk allocates per folder, not per entry.
class TFindFileEx::Walker {
 public:
  explicit Walker(TFindFileEx& owner) : owner_(owner) {}

  void SearchTarget(TTargetFolder& target) {
    masks_.clear();
    anyMask_ = false;
    for (const std::string& mask : target.FileMasks) {
      masks_.emplace_back(mask);
      anyMask_ = anyMask_ || !masks_.back().FindsNothing();
    }
    folder_ = target.Path;
    listFolder_ = DirectFolder(target.Path);
    path_ = search_detail::FoldersAbove(listFolder_.empty() ? folder_ : listFolder_);
    SearchFolder(target);
  }

 private:
  // Level goes down again on every way out, also when a handler's exception passes through.
  struct LevelGuard {
    explicit LevelGuard(std::atomic<uint16_t>& level) : level_(level) { ++level_; }
    ~LevelGuard() { --level_; }
    std::atomic<uint16_t>& level_;
  };

  void SearchFolder(TTargetFolder& target) {
    LevelGuard guard(owner_.level_);
    const uint16_t level = owner_.level_;
    const bool mayFind = level >= target.MinLevel && anyMask_;
    const bool mayDescend = target.Subfolders && (target.MaxLevel == 0 || target.MaxLevel > level);
    // The listing comes before the folder event: a folder that is one of the folders the walk is
    // inside of (reached through a link of any kind, /proc's links to open folders included) is not
    // entered at all, or the walk would never end. A folder with nothing to look for is not listed.
    std::unique_ptr<platform::IFolderListing> listing;
    platform::FolderId id;
    if (mayFind || mayDescend) {
      listing = platform::Os().ListFolder(listFolder_.empty() ? folder_ : listFolder_);
      if (listing) {
        id = listing->Identity();
        if (std::find(path_.begin(), path_.end(), id) != path_.end()) return;
      }
    }

    const TFolderIgnore ignore = owner_.CallFolderChange(folder_);
    const bool searchFiles = mayFind && (ignore == fiNone || ignore == fiIgnoreSubfolders);
    const bool descend = mayDescend && (ignore == fiNone || ignore == fiIgnoreFiles);
    if (owner_.aborted_ || !listing || (!searchFiles && !descend)) return;

    const size_t count = listing->Count();
    if (searchFiles) {
      // Masks run from the last to the first; each delivers what its own enumeration would.
      for (size_t m = masks_.size(); m-- > 0 && !owner_.aborted_;) {
        selected_.clear();
        masks_[m].Select(*listing, selected_);
        for (const size_t i : selected_) {
          if (IsDotOrDotDot(listing->Name(i))) continue;
          record_.Bind(*listing, i);
          if (owner_.targetSearch_->Matches(folder_, record_, listFolder_.empty() ? folder_ : listFolder_))
            owner_.CallFileMatch(folder_, record_);
          if (owner_.aborted_) break;
        }
      }
    }
    if (!descend || owner_.aborted_) return;

    path_.push_back(id);
    const size_t length = folder_.size();
    const size_t listLength = listFolder_.size();
    // A handler's exception ends the whole search, and this walker with it: nothing to restore then.
    for (size_t i = 0; i < count && !owner_.aborted_; ++i) {
      if (!listing->IsDirectory(i)) continue;
      const std::string_view name = listing->Name(i);
      if (IsDotOrDotDot(name)) continue;
      folder_.append(name);
      folder_.push_back('\\');
      if (listLength != 0) {
        listFolder_.append(name);
        listFolder_.push_back('\\');
      }
      SearchFolder(target);
      folder_.resize(length);
      listFolder_.resize(listLength);
    }
    path_.pop_back();
  }

  // The folder in the platform's direct host form (\\?\unix\...), built from the names exactly as
  // listed. Handing the platform this form instead of the drive path spares it matching every
  // component of the path case-insensitively again for each folder, which costs more than the listing
  // itself. Empty when the target has no host path; then the drive path is used.
  static std::string DirectFolder(const std::string& path) {
    auto host = platform::Os().ToHost(path.empty() ? platform::Os().CurrentDirectory() : path);
    if (!host || host->empty() || host->front() != '/') return {};
    std::string direct = "\\\\?\\unix";
    for (char c : *host) direct.push_back(c == '/' ? '\\' : c);
    if (direct.back() != '\\') direct.push_back('\\');
    return direct;
  }

  TFindFileEx& owner_;
  std::vector<platform::FolderMask> masks_;
  bool anyMask_ = false;
  std::vector<size_t> selected_;
  std::vector<platform::FolderId> path_;  // the folders the walk is inside of, outermost first
  std::string folder_;
  std::string listFolder_;
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

TFindFileEx::TFindFileEx() = default;

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
  DoSearchAbort();
}

void TFindFileEx::BeginSearch() {
  busy_ = true;
  aborted_ = false;
  level_ = 0;
  try {
    targetSearch_ = std::make_unique<TTargetSearch>(criteria_);
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
  Walker walker(*this);
  TTargetFolderList& targets = targetSearch_->TargetFolders;
  // The list holds the newest target first; walking it backwards searches in order of first naming.
  for (size_t i = targets.Count(); i-- > 0 && !aborted_;) {
    level_ = 0;
    currentTarget_ = &targets.Items(i);
    walker.SearchTarget(*currentTarget_);
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
