// Case-insensitive name lookup in a folder without listing it again for every name.
//
// Finding the spelling of a name that does not exist as spelled ("A.ASC" when the folder holds
// "a.asc", or nothing) needs the folder's listing. A copy of many files into one folder asks this for
// every new file; listing the folder each time makes the copy quadratic. The cache keeps the folded
// names of a few folders and trusts them while the folder is unchanged: its device, inode, change
// and modification times are as they were, and no call of this platform has changed any folder since
// (every changing call counts; a copy updates the listing of its own folder instead).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace velmor::platform::detail {

// The name in hostFolder that component names: nullopt when none matches case-insensitively, else
// the first match in listing order. Assumes the exact spelling was looked for already and is missing.
// isFolder (when given) tells whether hostFolder could be listed at all.
std::optional<std::string> FindNameNoCase(const std::string& hostFolder, std::string_view component,
                                          bool* isFolder = nullptr);

// Every call that may add, remove or rename entries marks the change once it is done (the object's
// destructor), so that no cached listing outlives it.
class FolderChange {
 public:
  FolderChange() = default;
  ~FolderChange();
  FolderChange(const FolderChange&) = delete;
  FolderChange& operator=(const FolderChange&) = delete;
  // The change was booked into the cached listings it touched (NameAdded, NameRemoved): the others
  // stay valid. Undo, which moves thousands of files back one by one, would otherwise list a large
  // folder again for every file.
  void Booked() { booked_ = true; }

 private:
  bool booked_ = false;
};

// A copy added name to hostFolder: a cached listing of the folder takes it up (and stays valid);
// other cached folders are untouched.
void NameAdded(const std::string& hostFolder, std::string_view name);

// name was removed from hostFolder (deleted, or renamed away): a cached listing of the folder that was
// current drops it (and stays valid); other cached folders are untouched.
void NameRemoved(const std::string& hostFolder, std::string_view name);

// A file kept under a temporary name in hostFolder was removed in the background: a listing of the
// folder that was current stays so (such names never reach a lookup).
void TemporaryRemoved(const std::string& hostFolder);

}  // namespace velmor::platform::detail
