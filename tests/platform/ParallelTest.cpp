#include "platform/Parallel.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

namespace velmor::platform {
namespace {

TEST(ForEachParallel, RunsEveryPieceOnceAndPassesTheFirstErrorOn) {
  for (const unsigned threads : {0u, 1u, 3u, 16u}) {
    SCOPED_TRACE(threads);
    std::vector<std::atomic<int>> runs(1000);
    ForEachParallel(runs.size(), threads, [&](size_t i) { ++runs[i]; });
    for (const auto& r : runs) ASSERT_EQ(r, 1);
    ForEachParallel(0, threads, [&](size_t) { FAIL(); });
  }
  std::atomic<int> started = 0;
  EXPECT_THROW(ForEachParallel(10000, 4,
                               [&](size_t i) {
                                 ++started;
                                 if (i == 10) throw std::runtime_error("probe failed");
                                 // Long enough that the other threads cannot finish every piece
                                 // while the failing one is still unwinding.
                                 std::this_thread::sleep_for(std::chrono::microseconds(100));
                               }),
               std::runtime_error);
  EXPECT_LT(started, 10000);  // the pieces after the error are skipped
}

}  // namespace
}  // namespace velmor::platform
