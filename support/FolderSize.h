// The size of a folder tree: what the folder tree's size commands report and `velmorctl size` prints,
// counted as `du -sb` counts a tree. Every file directly in the folder and in each folder below it
// counts with its size (hidden, system and read-only files too); a file with several names (hard links)
// counts once, and a symbolic link with its own length, not with what it points to. Links to folders are
// not followed; each folder counts once, by its identity, however often mounts show it (a bind mount of
// a folder counted already, or of one above, counts nothing). Virtual file systems (/proc, /sys, /dev,
// cgroup, …) store nothing and count nothing, also when the folder itself lies on one. A folder that
// cannot be listed counts nothing.
//
// Several threads list folders and ask for the sizes of their files at once: with a cold cache the
// disk serves many of those requests in the time of one, with a warm one the cores share the work.
// The sums do not depend on the order. A count can be cancelled from any thread and reports its
// progress, so that the window can run it off its own thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/Platform.h"

namespace velmor {

struct FolderTreeSize {
  uint64_t Bytes = 0;
  uint64_t Files = 0;
  uint64_t Folders = 0;    // below the folder; the folder itself is not counted
  bool Listed = false;     // the folder itself could be listed
  bool Cancelled = false;  // stopped by the cancel flag: the counts are what was found until then
};

// How a caller follows and stops a count.
struct FolderSizeControl {
  // Set to true from any thread: the count stops after the folders at hand.
  const std::atomic<bool>* Cancel = nullptr;
  // The counts so far, about every ProgressInterval and once at the end; on one of the counting
  // threads, never on two at once. What it throws ends the count and passes out of MeasureFolderTree.
  std::function<void(const FolderTreeSize& soFar)> Progress;
  unsigned ProgressIntervalMs = 100;
};

inline constexpr unsigned kFolderSizeThreads = 8;

// Measures the folder (a Windows path, with or without trailing backslash), listing it through files.
FolderTreeSize MeasureFolderTree(platform::IFileSystem& files, const std::string& folder,
                                 unsigned threads = kFolderSizeThreads,
                                 const FolderSizeControl& control = {});

}  // namespace velmor
