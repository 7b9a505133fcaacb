#include "support/FolderSize.h"

#include <chrono>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <unordered_set>
#include <vector>

#include "platform/Platform.h"
#include "search/NameText.h"
#include "search/WalkBounds.h"

namespace velmor {
namespace {

struct IdHash {
  size_t operator()(const platform::FolderId& id) const {
    return std::hash<uint64_t>()(id.inode * 31 + id.device);
  }
};

using Clock = std::chrono::steady_clock;

class TreeWalk {
 public:
  TreeWalk(platform::IFileSystem& os, const FolderSizeControl& control) : os_(os), control_(control) {}

  FolderTreeSize Run(const std::string& folder, unsigned threads) {
    std::string path = folder;
    if (!path.empty() && path.back() != '\\' && path.back() != '/') path.push_back('\\');
    // Below the folder every path is made of names as listed: the direct host form spares the
    // platform looking up each of them again.
    if (const auto host = os_.ToHost(path)) {
      const std::string direct = platform::DirectHostForm(*host);
      if (!direct.empty()) path = direct;
    }
    bounds_.emplace(os_, path);
    // A bind mount of a folder above this one, met below it, is a folder counted already.
    for (const platform::FolderId& id : search_detail::FoldersAbove(os_, path)) counted_.insert(id);
    stack_.push_back(path);
    root_ = true;
    nextProgress_ = Clock::now() + std::chrono::milliseconds(control_.ProgressIntervalMs);

    std::vector<std::thread> helpers;
    try {
      while (helpers.size() + 1 < threads) helpers.emplace_back([this] { Work(); });
    } catch (const std::system_error&) {
      // No more threads to be had: those there are do the work.
    }
    Work();
    for (std::thread& helper : helpers) helper.join();
    if (error_) std::rethrow_exception(error_);
    if (control_.Progress) control_.Progress(Totals());
    return Totals();
  }

 private:
  FolderTreeSize Totals() const {
    FolderTreeSize totals;
    totals.Bytes = bytes_;
    totals.Files = files_;
    totals.Folders = folders_;
    totals.Listed = listed_;
    totals.Cancelled = cancelled_;
    return totals;
  }

  void Work() {
    std::unique_lock lock(mutex_);
    for (;;) {
      changed_.wait(lock, [&] { return stopped_ || !stack_.empty() || busy_ == 0; });
      if (!stopped_ && control_.Cancel != nullptr && control_.Cancel->load(std::memory_order_relaxed)) {
        cancelled_ = true;
        stopped_ = true;
      }
      if (stopped_ || stack_.empty()) break;  // stopped, or nothing left and nobody who could add more
      std::string path = std::move(stack_.back());
      stack_.pop_back();
      const bool root = root_;
      root_ = false;
      ++busy_;
      lock.unlock();
      std::vector<std::string> found;
      try {
        Measure(path, root, found);
        ReportProgress();
      } catch (...) {
        lock.lock();
        if (!error_) error_ = std::current_exception();
        stopped_ = true;
        --busy_;
        break;
      }
      lock.lock();
      --busy_;
      for (std::string& p : found) stack_.push_back(std::move(p));
      if (!found.empty() || busy_ == 0) changed_.notify_all();
    }
    changed_.notify_all();
  }

  void Measure(const std::string& path, bool root, std::vector<std::string>& found) {
    const std::unique_ptr<platform::IFolderListing> listing = os_.ListFolder(path);
    if (!listing) return;
    const platform::FolderId id = listing->Identity();
    {
      std::lock_guard lock(mutex_);
      if (root) listed_ = true;
      // Nothing on a virtual file system is stored; a folder met again counts once.
      if (bounds_->IsVirtual(id) || !counted_.insert(id).second) return;
      if (!root) ++folders_;
    }
    uint64_t bytes = 0, files = 0;
    std::string sub;
    std::optional<platform::FolderId> shared;
    for (size_t i = 0, n = listing->Count(); i < n; ++i) {
      const std::string_view name = listing->Name(i);
      if (search_detail::IsDotOrDotDot(name)) continue;
      if (listing->IsDirectory(i)) {
        if (listing->IsLink(i)) continue;
        sub.assign(path).append(name) += '\\';
        if (bounds_->SubFolder(sub, false, search_detail::Reach::Plain) != search_detail::Reach::Skipped)
          found.push_back(sub);
        continue;
      }
      uint64_t size = 0;
      if (!listing->StoredSize(i, size, shared)) continue;
      if (shared) {
        std::lock_guard lock(mutex_);
        if (!countedFiles_.insert(*shared).second) continue;
      }
      bytes += size;
      ++files;
    }
    bytes_ += bytes;
    files_ += files;
  }

  void ReportProgress() {
    if (!control_.Progress) return;
    std::unique_lock lock(progressMutex_, std::try_to_lock);
    if (!lock.owns_lock() || Clock::now() < nextProgress_) return;
    control_.Progress(Totals());
    nextProgress_ = Clock::now() + std::chrono::milliseconds(control_.ProgressIntervalMs);
  }

  platform::IFileSystem& os_;
  const FolderSizeControl& control_;
  std::optional<search_detail::WalkBounds> bounds_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> stack_;
  std::unordered_set<platform::FolderId, IdHash> counted_;       // folders
  std::unordered_set<platform::FolderId, IdHash> countedFiles_;  // files with more than one name
  size_t busy_ = 0;
  bool root_ = false;
  bool stopped_ = false;
  std::atomic<bool> listed_ = false, cancelled_ = false;  // read by the progress report without the lock
  std::exception_ptr error_;
  std::atomic<uint64_t> bytes_ = 0, files_ = 0, folders_ = 0;
  std::mutex progressMutex_;
  Clock::time_point nextProgress_;
};

}  // namespace

FolderTreeSize MeasureFolderTree(platform::IFileSystem& files, const std::string& folder, unsigned threads,
                                 const FolderSizeControl& control) {
  if (folder.empty()) return {};
  TreeWalk walk(files, control);
  return walk.Run(folder, threads == 0 ? 1 : threads);
}

}  // namespace velmor
