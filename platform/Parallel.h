// Many small independent pieces of work that mostly wait for the disk (probing folders, asking for
// file sizes), run on several threads at once: with a cold cache the disk serves many requests in the
// time it takes for one, and with a warm one the cores share the work.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace velmor::platform {

// Runs work(i) for every i in [0, count) on up to `threads` threads, the calling thread among them, and
// returns when all have run. The pieces are handed out in index order. When a piece throws, the pieces
// not yet started are skipped and the first error is raised here once every thread has stopped.
void ForEachParallel(size_t count, unsigned threads, const std::function<void(size_t)>& work);

// What the calling thread has waited for so far: how often it went to sleep waiting for something (the
// disk, the network, a lock; never for being preempted) and how many 512-byte blocks it had read from
// a disk. 0 where the system does not count it. Work that finds both unchanged across a call did not
// wait for the disk there; a sleep alone may have been a short wait for a lock.
struct ThreadWaits {
  uint64_t sleeps = 0;
  uint64_t blocksRead = 0;
};
ThreadWaits TimesThreadWaited();

}  // namespace velmor::platform
