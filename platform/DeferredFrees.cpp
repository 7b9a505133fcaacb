// Files kept under temporary names by copies and deletes, removed by background threads.
#include <unistd.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/HostPlatformImpl.h"
#include "platform/NameCache.h"

namespace velmor::platform {
namespace detail {
namespace {

// Removing a file waits for the disk, but removals from several threads wait together: 2,000 of them
// took 7 s one after the other and 0.2 s from 16 threads at once.
constexpr size_t kMaxFreers = 16;

thread_local int tDepth = 0;

class Freer {
 public:
  void Add(std::string hostPath) {
    std::lock_guard lock(mutex_);
    queue_.push_back(std::move(hostPath));
    if (threads_.size() < kMaxFreers && queue_.size() > idle_) {
      try {
        threads_.emplace_back([this] { Work(); });
      } catch (const std::system_error&) {
        if (threads_.empty()) {
          // No thread to be had: remove it here and now.
          unlink(queue_.back().c_str());
          queue_.pop_back();
        }
      }
    }
    changed_.notify_one();
  }

  // Waits until every file handed over is gone; the threads end.
  void Finish() {
    std::unique_lock lock(mutex_);
    while (!threads_.empty()) {
      stop_ = true;
      changed_.notify_all();
      std::vector<std::thread> threads = std::move(threads_);
      threads_.clear();
      lock.unlock();
      for (std::thread& t : threads) t.join();
      lock.lock();
    }
    stop_ = false;
  }

  ~Freer() { Finish(); }

 private:
  void Work() {
    std::unique_lock lock(mutex_);
    for (;;) {
      ++idle_;
      changed_.wait(lock, [&] { return stop_ || !queue_.empty(); });
      --idle_;
      if (queue_.empty()) return;  // stopping, and nothing left
      const std::string path = std::move(queue_.front());
      queue_.pop_front();
      lock.unlock();
      unlink(path.c_str());
      TemporaryRemoved(HostParent(path));
      lock.lock();
    }
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::string> queue_;
  std::vector<std::thread> threads_;
  size_t idle_ = 0;
  bool stop_ = false;
};

Freer& TheFreer() {
  static Freer freer;
  return freer;
}

}  // namespace

bool FreesDeferred() {
  return tDepth > 0;
}

void FreeLater(std::string hostPath) {
  TheFreer().Add(std::move(hostPath));
}

}  // namespace detail

DeferredFrees::DeferredFrees() {
  ++detail::tDepth;
}

DeferredFrees::~DeferredFrees() {
  if (--detail::tDepth == 0) detail::TheFreer().Finish();
}

}  // namespace velmor::platform
