#include "support/FolderSize.h"

#include <atomic>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/Platform.h"
#include "search/NameText.h"

namespace velmor {
namespace {

// The identities of the folders above a folder, innermost first, shared by the folders below it.
struct Chain {
  platform::FolderId id;
  std::shared_ptr<const Chain> up;
};

struct Pending {
  std::string path;  // ends in a backslash
  std::shared_ptr<const Chain> above;
};

class TreeWalk {
 public:
  explicit TreeWalk(platform::IPlatform& os) : os_(os) {}

  FolderTreeSize Run(const std::string& folder, unsigned threads) {
    std::string path = folder;
    if (!path.empty() && path.back() != '\\' && path.back() != '/') path.push_back('\\');
    // Below the folder every path is made of names as listed: the direct host form spares the
    // platform looking up each of them again.
    if (const auto host = os_.ToHost(path)) {
      const std::string direct = platform::DirectHostForm(*host);
      if (!direct.empty()) path = direct;
    }
    std::shared_ptr<const Chain> above;
    const std::vector<platform::FolderId> ids = search_detail::FoldersAbove(path);
    for (auto it = ids.rbegin(); it != ids.rend(); ++it)
      above = std::make_shared<const Chain>(Chain{*it, above});
    stack_.push_back({path, above});
    root_ = true;

    std::vector<std::thread> helpers;
    try {
      while (helpers.size() + 1 < threads) helpers.emplace_back([this] { Work(); });
    } catch (const std::system_error&) {
      // No more threads to be had: those there are do the work.
    }
    Work();
    for (std::thread& helper : helpers) helper.join();
    if (error_) std::rethrow_exception(error_);
    result_.Bytes = bytes_;
    result_.Files = files_;
    result_.Folders = folders_;
    return result_;
  }

 private:
  void Work() {
    std::unique_lock lock(mutex_);
    for (;;) {
      changed_.wait(lock, [&] { return failed_ || !stack_.empty() || busy_ == 0; });
      if (failed_ || stack_.empty()) break;  // failed, or nothing left and nobody who could add more
      Pending item = std::move(stack_.back());
      stack_.pop_back();
      const bool root = root_;
      root_ = false;
      ++busy_;
      lock.unlock();
      std::vector<Pending> found;
      try {
        Measure(item, root, found);
      } catch (...) {
        lock.lock();
        if (!error_) error_ = std::current_exception();
        failed_ = true;
        --busy_;
        break;
      }
      lock.lock();
      --busy_;
      for (Pending& p : found) stack_.push_back(std::move(p));
      if (!found.empty() || busy_ == 0) changed_.notify_all();
    }
    changed_.notify_all();
  }

  void Measure(const Pending& item, bool root, std::vector<Pending>& found) {
    const std::unique_ptr<platform::IFolderListing> listing = os_.ListFolder(item.path);
    if (!listing) return;
    if (root) result_.Listed = true;
    const platform::FolderId id = listing->Identity();
    for (const Chain* c = item.above.get(); c != nullptr; c = c->up.get())
      if (c->id == id) return;  // a link back up
    if (!root) ++folders_;
    std::shared_ptr<const Chain> chain;
    uint64_t bytes = 0, files = 0;
    for (size_t i = 0, n = listing->Count(); i < n; ++i) {
      const std::string_view name = listing->Name(i);
      if (search_detail::IsDotOrDotDot(name)) continue;
      if (listing->IsDirectory(i)) {
        if (!chain) chain = std::make_shared<const Chain>(Chain{id, item.above});
        found.push_back({item.path + std::string(name) + '\\', chain});
        continue;
      }
      bytes += listing->Size(i);
      ++files;
    }
    bytes_ += bytes;
    files_ += files;
  }

  platform::IPlatform& os_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Pending> stack_;
  size_t busy_ = 0;
  bool root_ = false;
  bool failed_ = false;
  std::exception_ptr error_;
  std::atomic<uint64_t> bytes_ = 0, files_ = 0, folders_ = 0;
  FolderTreeSize result_;
};

}  // namespace

FolderTreeSize MeasureFolderTree(const std::string& folder, unsigned threads) {
  if (folder.empty()) return {};
  TreeWalk walk(platform::Os());
  return walk.Run(folder, threads == 0 ? 1 : threads);
}

}  // namespace velmor
