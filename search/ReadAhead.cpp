#include "search/ReadAhead.h"

#include <algorithm>
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
    chain = std::make_shared<const FolderChain>(FolderChain{*it, chain});
  std::lock_guard lock(mutex_);
  targets_.push_back(std::move(target));
  return std::make_shared<Folder>(std::move(text), std::move(listPath), 1, targets_.back(), std::move(chain),
                                  std::vector<uint32_t>{targetIndex});
}

void ReadAhead::Uncount(Folder& folder) {
  if (!folder.counted) return;
  folder.counted = false;
  --aheadFolders_;
  work_.notify_all();
}

std::shared_ptr<platform::IFolderListing> ReadAhead::Take(Folder& folder) {
  std::unique_lock lock(mutex_);
  if (folder.state == Folder::State::Waiting) {
    // No reader has started it: listing it here is quicker than waiting for one.
    folder.state = Folder::State::Listing;
    const bool watch = WatchWalk();
    lock.unlock();
    const uint64_t waitsBefore = watch ? platform::TimesThreadWaited() : 0;
    Complete(folder);
    const bool waited = watch && platform::TimesThreadWaited() != waitsBefore;
    lock.lock();
    WalkWaited(waited);
  }
  done_.wait(lock, [&] { return folder.state == Folder::State::Ready; });
  folder.state = Folder::State::Taken;
  Uncount(folder);
  if (folder.error) std::rethrow_exception(folder.error);
  return std::move(folder.listing);
}

ReadAhead::FolderPtr ReadAhead::Child(Folder& folder, size_t k, std::string_view name) {
  // The children were made when the folder was listed; from here on the walk owns each.
  if (k < folder.children.size() && folder.children[k]) return std::move(folder.children[k]);
  // Only a folder the walk would not enter has none; made here all the same, it is listed by the walk.
  std::vector<uint32_t> key = folder.key;
  key.push_back(static_cast<uint32_t>(k + 1));
  return std::make_shared<Folder>(
      folder.text + std::string(name) + '\\', folder.listPath + std::string(name) + '\\',
      static_cast<uint16_t>(folder.level + 1), folder.target, folder.above, std::move(key));
}

void ReadAhead::Complete(Folder& folder) {
  std::shared_ptr<platform::IFolderListing> listing;
  std::exception_ptr error;
  std::vector<FolderPtr> children;
  std::vector<Folder::FileTest> tests;
  std::vector<int32_t> testOf;
  try {
    listing = platform::Os().ListFolder(folder.listPath);
    if (listing) {
      const platform::FolderId id = listing->Identity();
      bool loop = false;
      for (const FolderChain* c = folder.above.get(); c != nullptr && !loop; c = c->up.get())
        loop = c->id == id;
      // A folder the walk is inside of already is not entered: nothing below it is prepared.
      const size_t count = loop ? 0 : listing->Count();
      if (count > 0 && folder.target.MayDescend(folder.level)) {
        auto link = std::make_shared<const FolderChain>(FolderChain{id, folder.above});
        std::vector<uint32_t> key = folder.key;
        key.push_back(0);
        for (size_t i = 0; i < count; ++i) {
          if (!listing->IsDirectory(i)) continue;
          const std::string_view name = listing->Name(i);
          if (IsDotOrDotDot(name)) continue;
          key.back() = static_cast<uint32_t>(children.size() + 1);
          children.push_back(std::make_shared<Folder>(
              folder.text + std::string(name) + '\\', folder.listPath + std::string(name) + '\\',
              static_cast<uint16_t>(folder.level + 1), folder.target, link, key));
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
    return;
  }
  folder.listing = std::move(listing);
  folder.error = error;
  folder.children = std::move(children);
  folder.tests = std::move(tests);
  folder.testOf = std::move(testOf);
  if (settings_.threads > 0) {
    // Queued for the readers: the sub-folders the walk will list, and the file tests.
    for (const FolderPtr& child : folder.children) {
      if (!child->target.MayFind(child->level) && !child->target.MayDescend(child->level)) continue;
      folderQueue_.push_back({child->key, child});
      std::push_heap(folderQueue_.begin(), folderQueue_.end(), Later<FolderJob>());
    }
    if (!folder.tests.empty()) {
      FolderPtr self = folder.shared_from_this();
      std::vector<uint32_t> key = folder.key;
      key.push_back(0);
      key.push_back(0);
      for (size_t t = 0; t < folder.tests.size(); ++t) {
        key.back() = static_cast<uint32_t>(t);
        testQueue_.push_back({key, self, t});
        std::push_heap(testQueue_.begin(), testQueue_.end(), Later<TestJob>());
      }
    }
    started_ += 1 + folder.tests.size();
    if (MayStart()) StartReaders();
    work_.notify_all();
  }
  done_.notify_all();
}

bool ReadAhead::RunTest(const std::string& path, std::string& buffer) const {
  return plan_.Content.Matches(path, buffer, &stop_);
}

bool ReadAhead::ContentMatches(Folder& folder, size_t index, const std::string& fullPath) {
  if (index >= folder.testOf.size() || folder.testOf[index] < 0) return RunTest(fullPath, buffer_);
  Folder::FileTest& test = folder.tests[static_cast<size_t>(folder.testOf[index])];
  std::unique_lock lock(mutex_);
  if (test.state == Folder::FileTest::State::Waiting) {
    test.state = Folder::FileTest::State::Running;
    const bool watch = WatchWalk();
    lock.unlock();
    const uint64_t waitsBefore = watch ? platform::TimesThreadWaited() : 0;
    const bool matches = RunTest(test.path, buffer_);
    const bool waited = watch && platform::TimesThreadWaited() != waitsBefore;
    lock.lock();
    WalkWaited(waited);
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
  std::unique_lock lock(mutex_);
  for (;;) {
    FolderPtr folder;
    size_t test = kListing;
    work_.wait(lock, [&] { return Stopping() || NextWork(folder, test); });
    // Work once claimed is always finished: the walk may be waiting for it.
    if (!folder) return;
    lock.unlock();
    if (test == kListing) {
      Complete(*folder);
    } else {
      const bool matches = RunTest(folder->tests[test].path, buffer);
      lock.lock();
      folder->tests[test].matches = matches;
      folder->tests[test].state = Folder::FileTest::State::Done;
      done_.notify_all();
      lock.unlock();
    }
    folder.reset();
    lock.lock();
  }
}

// Asking whether the thread waited costs a system call, so only every eighth piece of the walk's own
// work is watched: a cold cache shows within a few folders all the same.
bool ReadAhead::WatchWalk() {
  return settings_.threads > 0 && settings_.onlyAfterWaiting && !walkWaited_ && readers_.empty() &&
         walkWork_++ % 8 == 0;
}

void ReadAhead::WalkWaited(bool waited) {
  if (!waited || walkWaited_) return;
  walkWaited_ = true;
  if (MayStart()) StartReaders();
  work_.notify_all();
}

void ReadAhead::StartReaders() {
  try {
    for (unsigned i = 0; i < settings_.threads; ++i) readers_.emplace_back([this] { Reader(); });
  } catch (const std::system_error&) {
    // No more threads to be had: the readers there are (or the walk alone) do the work.
  }
}

}  // namespace velmor::search_detail
