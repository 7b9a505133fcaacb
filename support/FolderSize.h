// The size of a folder tree: what the folder tree's size command reports and `velmorctl size` prints.
// Every file directly in the folder and in each folder below it counts with its size (hidden, system
// and read-only files too; a link with the size of what it points to). Sub-folders are entered whatever
// their attributes, links to folders too, except a link back to a folder the walk is inside of, which
// would never end. A folder that cannot be listed counts nothing.
//
// Several threads list folders and ask for the sizes of their files at once: with a cold cache the
// disk serves many of those requests in the time of one, with a warm one the cores share the work.
// The sums do not depend on the order.
#pragma once

#include <cstdint>
#include <string>

namespace velmor {

struct FolderTreeSize {
  uint64_t Bytes = 0;
  uint64_t Files = 0;
  uint64_t Folders = 0;  // below the folder; the folder itself is not counted
  bool Listed = false;   // the folder itself could be listed
};

inline constexpr unsigned kFolderSizeThreads = 8;

// Measures the folder (a Windows path, with or without trailing backslash).
FolderTreeSize MeasureFolderTree(const std::string& folder, unsigned threads = kFolderSizeThreads);

}  // namespace velmor
