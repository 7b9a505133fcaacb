#include "platform/Parallel.h"

#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace velmor::platform {

void ForEachParallel(size_t count, unsigned threads, const std::function<void(size_t)>& work) {
  std::atomic<size_t> next = 0;
  std::atomic<bool> failed = false;
  std::mutex errorMutex;
  std::exception_ptr error;
  auto run = [&] {
    for (size_t i; !failed && (i = next.fetch_add(1)) < count;) {
      try {
        work(i);
      } catch (...) {
        std::lock_guard lock(errorMutex);
        if (!error) error = std::current_exception();
        failed = true;
      }
    }
  };
  std::vector<std::thread> helpers;
  const size_t wanted = std::min<size_t>(threads, count);
  try {
    while (helpers.size() + 1 < wanted) helpers.emplace_back(run);
  } catch (const std::system_error&) {
    // No more threads to be had: those there are do the work.
  }
  run();
  for (std::thread& helper : helpers) helper.join();
  if (error) std::rethrow_exception(error);
}

ThreadWaits TimesThreadWaited() {
  rusage usage{};
  if (getrusage(RUSAGE_THREAD, &usage) != 0) return {};
  return {static_cast<uint64_t>(usage.ru_nvcsw), static_cast<uint64_t>(usage.ru_inblock)};
}

}  // namespace velmor::platform
