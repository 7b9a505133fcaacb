#include "search/ReadAhead.h"

#include <algorithm>
#include <bit>
#include <system_error>

#include "platform/Parallel.h"
#include "search/FindFileEx.h"
#include "search/NameText.h"

namespace velmor::search_detail {

// The walk's order as keys compared element by element: a target's folder is {target}; sub-folder
// number c of folder F is F + {c + 1}; file test number r of F is F + {0, r}. So a folder's file tests
// come before its sub-folders, and everything below sub-folder c before sub-folder c + 1: the order in
// which the depth-first walk asks for them.

namespace {
constexpr size_t kListing = static_cast<size_t>(-1);  // the work is a listing, not a file test

// Whether the calling thread waited for the disk (read blocks from one, or slept) between its making
// and Waited(). Asking costs a system call, so a watch that is off asks nothing and says no.
class WaitWatch {
 public:
  explicit WaitWatch(bool on)
      : on_(on), before_(on ? platform::TimesThreadWaited() : platform::ThreadWaits{}) {}
  bool Waited() const {
    if (!on_) return false;
    const platform::ThreadWaits after = platform::TimesThreadWaited();
    return after.blocksRead != before_.blocksRead || after.sleeps != before_.sleeps;
  }

 private:
  bool on_;
  platform::ThreadWaits before_;
};
}  // namespace

ReadAhead::ReadAhead(const TTargetSearch& plan, Settings settings, const std::atomic<bool>& aborted)
    : plan_(plan), settings_(settings), aborted_(aborted), contentSearch_(plan.Content.PhraseLength() > 0) {}

ReadAhead::~ReadAhead() {
  Stop();
  for (std::thread& reader : readers_) reader.join();
}

void ReadAhead::Stop() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  work_.notify_all();
}

unsigned ReadAhead::ReadersStarted() const {
  std::lock_guard lock(mutex_);
  return static_cast<unsigned>(readers_.size());
}

ReadAhead::FolderPtr ReadAhead::Root(ReadAheadTarget target, uint32_t targetIndex, std::string text,
                                     std::string listPath, const std::vector<platform::FolderId>& above) {
  std::shared_ptr<const FolderChain> chain;
  for (auto it = above.rbegin(); it != above.rend(); ++it)
    chain = std::make_shared<const FolderChain>(FolderChain{nullptr, *it, chain});
  std::lock_guard lock(mutex_);
  targets_.push_back(std::move(target));
  // The start folder is looked at like a mount point: it may be one, or lie on a virtual file system.
  return std::make_shared<Folder>(std::move(text), std::move(listPath), 1, targets_.back(), Reach::Mounted,
                                  std::move(chain), std::vector<uint32_t>{targetIndex});
}

void ReadAhead::Uncount(Folder& folder) {
  if (!folder.counted) return;
  folder.counted = false;
  --aheadFolders_;
  work_.notify_all();
}

std::shared_ptr<platform::IFolderListing> ReadAhead::Take(Folder& folder, bool& blocked) {
  std::unique_lock lock(mutex_);
  if (folder.state == Folder::State::Waiting) {
    // No reader has started it: listing it here is quicker than waiting for one.
    folder.state = Folder::State::Listing;
    const bool watch = WatchWalk();
    lock.unlock();
    const bool waited = Complete(folder, true, watch);
    lock.lock();
    if (watch) WalkWatched(waited);
  }
  done_.wait(lock, [&] { return folder.state == Folder::State::Ready; });
  folder.state = Folder::State::Taken;
  Uncount(folder);
  if (folder.error) std::rethrow_exception(folder.error);
  blocked = folder.blocked;
  return std::move(folder.listing);
}

bool ReadAhead::Complete(Folder& folder, bool byWalk, bool watch) {
  std::shared_ptr<platform::IFolderListing> listing;
  std::exception_ptr error;
  std::vector<FolderPtr> children;
  std::vector<Folder::FileTest> tests;
  std::vector<int32_t> testOf;
  bool blocked = false;
  bool waited = false;
  try {
    // Only the listing itself is watched: the lock taken below may make the thread sleep as well.
    const WaitWatch waits(watch);
    listing = plan_.Files().ListFolder(folder.listPath);
    waited = waits.Waited();
    if (listing) {
      const WalkBounds& bounds = *folder.target.bounds;
      bool onVirtual = false;
      if (WalkBounds::NeedsIdentity(folder.reach)) {
        const platform::FolderId id = listing->Identity();
        onVirtual = bounds.IsVirtual(id);
        for (const FolderChain* c = folder.above.get(); c != nullptr && !blocked; c = c->up.get())
          blocked = c->Id() == id;
        // Only the start folder is entered on a virtual file system, and nothing below it.
        blocked = blocked || (onVirtual && folder.level > 1);
      }
      if (blocked) listing.reset();
      const size_t count = listing ? listing->Count() : 0;
      if (count > 0 && !onVirtual && folder.target.MayDescend(folder.level)) {
        auto link = std::make_shared<const FolderChain>(FolderChain{listing, {}, folder.above});
        std::vector<uint32_t> key = folder.key;
        key.push_back(0);
        std::string path;
        for (size_t i = 0; i < count; ++i) {
          if (!listing->IsDirectory(i)) continue;
          const std::string_view name = listing->Name(i);
          if (IsDotOrDotDot(name)) continue;
          path.assign(folder.listPath).append(name) += '\\';
          const Reach reach = bounds.SubFolder(path, listing->IsLink(i), folder.reach);
          if (reach == Reach::Skipped) continue;
          key.back() = static_cast<uint32_t>(children.size() + 1);
          children.push_back(std::make_shared<Folder>(folder.text + std::string(name) + '\\', path,
                                                      static_cast<uint16_t>(folder.level + 1), folder.target,
                                                      reach, link, key));
        }
      }
      if (count > 0 && contentSearch_ && settings_.threads > 0 && folder.target.MayFind(folder.level)) {
        // The files the walk will test for the phrase, in the order it will test them: masks from the
        // last to the first, each entry once (a second mask that finds it reuses the first result).
        testOf.assign(count, -1);
        std::vector<size_t> selected;
        TSearchRec record;
        for (size_t m = folder.target.masks.size(); m-- > 0;) {
          selected.clear();
          folder.target.masks[m].Select(*listing, selected);
          for (const size_t i : selected) {
            if (testOf[i] >= 0 || IsDotOrDotDot(listing->Name(i))) continue;
            record.Bind(*listing, i);
            if (!plan_.MatchesBeforeContent(folder.text, record)) continue;
            testOf[i] = static_cast<int32_t>(tests.size());
            tests.push_back({folder.listPath + std::string(listing->Name(i))});
          }
        }
      }
    }
  } catch (...) {
    error = std::current_exception();
    listing.reset();
    children.clear();
    tests.clear();
    testOf.clear();
  }

  std::lock_guard lock(mutex_);
  folder.state = Folder::State::Ready;
  if (folder.dropped) {
    // The walk gave it up meanwhile: nothing of it is kept or queued.
    Uncount(folder);
    done_.notify_all();
    return waited;
  }
  folder.listing = std::move(listing);
  folder.blocked = blocked;
  folder.error = error;
  folder.children = std::move(children);
  folder.tests = std::move(tests);
  folder.testOf = std::move(testOf);
  if (settings_.threads > 0) {
    started_ += 1 + folder.tests.size();
    if (Working() || !byWalk) {
      // A reader queues what it found even when the readers have begun to rest meanwhile: only the
      // walk's own folders are kept on its path.
      Queue(folder);
    } else if (!folder.children.empty() || !folder.tests.empty()) {
      // No reader works (none started yet, or they rest), so only the walk lists: this folder is on
      // its path. Nothing is queued until readers work (a warm walk never starts them and so keeps no
      // record of the folders it has yet to enter); they then take over the rest of the folders on
      // the walk's path.
      walkPath_.push_back(&folder);
    }
    if (MayStart()) StartReaders();
    if (Working()) work_.notify_all();  // resting readers are not woken for every folder
  }
  done_.notify_all();
  return waited;
}

void ReadAhead::Queue(Folder& folder) {
  // The sub-folders the walk will list, and the file tests it has not made yet.
  for (const FolderPtr& child : folder.children) {
    if (!child || child->dropped || child->state != Folder::State::Waiting) continue;
    if (!child->target.MayFind(child->level) && !child->target.MayDescend(child->level)) continue;
    folderQueue_.push_back({child->key, child});
    std::push_heap(folderQueue_.begin(), folderQueue_.end(), Later<FolderJob>());
  }
  if (folder.tests.empty() || folder.filesDropped) return;
  FolderPtr self = folder.shared_from_this();
  std::vector<uint32_t> key = folder.key;
  key.push_back(0);
  key.push_back(0);
  for (size_t t = 0; t < folder.tests.size(); ++t) {
    if (folder.tests[t].state != Folder::FileTest::State::Waiting) continue;
    key.back() = static_cast<uint32_t>(t);
    testQueue_.push_back({key, self, t});
    std::push_heap(testQueue_.begin(), testQueue_.end(), Later<TestJob>());
  }
}

bool ReadAhead::RunTest(const std::string& path, std::string& buffer) const {
  return plan_.Content.Matches(plan_.Files(), path, buffer, &stop_);
}

bool ReadAhead::ContentMatches(Folder& folder, size_t index, const std::string& fullPath) {
  if (index >= folder.testOf.size() || folder.testOf[index] < 0) return RunTest(fullPath, buffer_);
  Folder::FileTest& test = folder.tests[static_cast<size_t>(folder.testOf[index])];
  std::unique_lock lock(mutex_);
  if (test.state == Folder::FileTest::State::Waiting) {
    test.state = Folder::FileTest::State::Running;
    const bool watch = WatchWalk();
    lock.unlock();
    const WaitWatch waits(watch);
    const bool matches = RunTest(test.path, buffer_);
    const bool waited = waits.Waited();
    lock.lock();
    if (watch) WalkWatched(waited);
    test.matches = matches;
    test.state = Folder::FileTest::State::Done;
    return matches;
  }
  done_.wait(lock, [&] { return test.state == Folder::FileTest::State::Done; });
  return test.matches;
}

void ReadAhead::DropFiles(Folder& folder) {
  std::lock_guard lock(mutex_);
  folder.filesDropped = true;
}

void ReadAhead::DropChildren(Folder& folder) {
  std::lock_guard lock(mutex_);
  // The walk leaves the folder: it goes off the path, with anything a way out skipped above it.
  const auto onPath = std::find(walkPath_.rbegin(), walkPath_.rend(), &folder);
  if (onPath != walkPath_.rend()) walkPath_.erase(std::prev(onPath.base()), walkPath_.end());
  for (const FolderPtr& child : folder.children)
    if (child) DropTree(*child);
  folder.children.clear();
}

void ReadAhead::DropTree(Folder& folder) {
  folder.dropped = true;
  folder.filesDropped = true;
  if (folder.state != Folder::State::Ready) return;  // a reader still lists it; it drops it itself
  folder.listing.reset();
  Uncount(folder);
  for (const FolderPtr& child : folder.children)
    if (child) DropTree(*child);
  folder.children.clear();
}

bool ReadAhead::NextWork(FolderPtr& folder, size_t& test) {
  // What the walk has done itself or given up meanwhile is taken off the tops first.
  while (!testQueue_.empty()) {
    const TestJob& top = testQueue_.front();
    if (!top.folder->filesDropped && top.folder->tests[top.test].state == Folder::FileTest::State::Waiting)
      break;
    std::pop_heap(testQueue_.begin(), testQueue_.end(), Later<TestJob>());
    testQueue_.pop_back();
  }
  while (!folderQueue_.empty()) {
    const FolderJob& top = folderQueue_.front();
    if (!top.folder->dropped && top.folder->state == Folder::State::Waiting) break;
    std::pop_heap(folderQueue_.begin(), folderQueue_.end(), Later<FolderJob>());
    folderQueue_.pop_back();
  }
  bool takeTest = !testQueue_.empty();
  bool takeFolder = !folderQueue_.empty() && aheadFolders_ < settings_.maxReadyFolders;
  if (takeTest && takeFolder) {
    takeTest = testQueue_.front().key < folderQueue_.front().key;
    takeFolder = !takeTest;
  }
  if (takeTest) {
    std::pop_heap(testQueue_.begin(), testQueue_.end(), Later<TestJob>());
    folder = std::move(testQueue_.back().folder);
    test = testQueue_.back().test;
    testQueue_.pop_back();
    folder->tests[test].state = Folder::FileTest::State::Running;
    return true;
  }
  if (takeFolder) {
    std::pop_heap(folderQueue_.begin(), folderQueue_.end(), Later<FolderJob>());
    folder = std::move(folderQueue_.back().folder);
    folderQueue_.pop_back();
    folder->state = Folder::State::Listing;
    folder->counted = true;
    ++aheadFolders_;
    test = kListing;
    return true;
  }
  return false;
}

void ReadAhead::Reader() {
  std::string buffer;
  size_t pieces = 0;
  std::unique_lock lock(mutex_);
  for (;;) {
    FolderPtr folder;
    size_t test = kListing;
    work_.wait(lock, [&] { return Stopping() || (!resting_ && NextWork(folder, test)); });
    // Work once claimed is always finished: the walk may be waiting for it.
    if (!folder) return;
    lock.unlock();
    const bool watch = settings_.onlyAfterWaiting && pieces++ % 8 == 0;
    bool waited = false;
    if (test == kListing) {
      waited = Complete(*folder, false, watch);
    } else {
      const WaitWatch waits(watch);
      const bool matches = RunTest(folder->tests[test].path, buffer);
      waited = waits.Waited();
      lock.lock();
      folder->tests[test].matches = matches;
      folder->tests[test].state = Folder::FileTest::State::Done;
      done_.notify_all();
      lock.unlock();
    }
    folder.reset();
    lock.lock();
    if (watch) ReaderWatched(waited);
  }
}

// Readers that have not waited for the disk in eight pieces watched in a row (about 64 pieces of work)
// rest: the cache holds the tree again (the cold part was a few folders the system had dropped), and
// the walk alone is quicker there. The walk then watches itself again and wakes them when it waits.
void ReadAhead::ReaderWatched(bool waited) {
  readersWarm_ = waited ? 0 : readersWarm_ + 1;
  if (readersWarm_ < 8 || resting_) return;
  resting_ = true;
  walkWaited_ = false;
  recentWaits_ = 0;
}

// Asking whether the thread waited costs a system call, so only every eighth piece of the walk's own
// work is watched: a cold cache shows within a few dozen folders all the same.
bool ReadAhead::WatchWalk() {
  return settings_.threads > 0 && settings_.onlyAfterWaiting && !walkWaited_ && !Working() &&
         walkWork_++ % 8 == 0;
}

// The walk has waited for the disk when it read blocks from one, or slept, in three of the last four
// pieces watched. One such piece alone proves nothing: a machine short of memory drops folders here
// and there from a cache that otherwise holds the whole tree, and a busy one lets the walk sleep for a
// moment on a lock in the kernel; readers started for that would slow down the rest of a warm walk
// until they rest again. A cold disk reads in nearly every piece; a disk that reads nothing (a network
// file system) shows as sleeps.
void ReadAhead::WalkWatched(bool waited) {
  if (walkWaited_) return;
  recentWaits_ = static_cast<uint8_t>((recentWaits_ << 1) | (waited ? 1 : 0));
  if (std::popcount(recentWaits_ & 0xFu) < 3) return;
  walkWaited_ = true;
  if (MayStart()) StartReaders();
  work_.notify_all();
}

void ReadAhead::StartReaders() {
  for (Folder* folder : walkPath_) Queue(*folder);
  walkPath_.clear();
  readersWarm_ = 0;
  if (resting_) {
    resting_ = false;
    return;
  }
  try {
    for (unsigned i = 0; i < settings_.threads; ++i) readers_.emplace_back([this] { Reader(); });
  } catch (const std::system_error&) {
    // No more threads to be had: the readers there are (or the walk alone) do the work.
  }
}

}  // namespace velmor::search_detail
