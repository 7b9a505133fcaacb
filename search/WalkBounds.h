// What keeps a walk of folders finite and on stored files: which sub-folders a walk enters plainly,
// which only after a look at their identity, and which not at all.
//
// A sub-folder reached through a plain directory entry cannot lead back up to a folder the walk is
// inside of, except through a mount (a bind mount of that folder); nor can it lie on another file
// system, except at a mount point. So only mount points (from the mount table, read once per walk) and
// folders reached through links, and everything below a link (its names are no real paths, so the
// mount table cannot be matched there), need their identity: a folder whose identity is one of the
// folders the walk is inside of, or lies on a virtual file system (/proc, /sys, /dev, cgroup, …), is
// not entered. A walk that starts on a virtual file system lists its start folder and nothing below.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>

#include "platform/Platform.h"

namespace velmor::search_detail {

// How a walk reached a folder, and so what it must check before entering it.
enum class Reach : uint8_t {
  Plain,    // through plain entries: enter without a look at its identity
  Mounted,  // a mount point, or the start folder: check its identity; below it, plain again
  Linked,   // through a link, or below one: check its identity, and that of every folder below
  Skipped,  // a virtual file system's mount point: not entered
};

class WalkBounds {
 public:
  // Reads the mount table for a walk that starts at `start`, spelled as the walk spells its folders.
  WalkBounds(platform::IFileSystem& os, const std::string& start);

  // A sub-folder at `path` (the walk's spelling, trailing backslash), listed as a link or not, of a
  // folder reached as `parent`.
  Reach SubFolder(const std::string& path, bool link, Reach parent) const {
    if (link || parent == Reach::Linked) return Reach::Linked;
    if (mounts_.empty()) return Reach::Plain;
    const auto found = mounts_.find(path);
    if (found == mounts_.end()) return Reach::Plain;
    return found->second ? Reach::Skipped : Reach::Mounted;
  }
  static bool NeedsIdentity(Reach reach) { return reach == Reach::Mounted || reach == Reach::Linked; }
  // The folder lies on a file system without stored files.
  bool IsVirtual(const platform::FolderId& id) const { return table_.IsVirtual(id); }

 private:
  platform::FolderMounts table_;
  std::unordered_map<std::string, bool> mounts_;  // mount point → virtual
};

}  // namespace velmor::search_detail
