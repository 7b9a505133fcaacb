#include "search/FindFile.h"

#include <optional>

#include "platform/Platform.h"
#include "search/NameText.h"

namespace velmor {

using search_detail::IsDotOrDotDot;

namespace {

void AppendBackslash(std::string& folder) {
  if (folder.empty() || folder.back() != '\\') folder.push_back('\\');
}

constexpr size_t kNoParent = static_cast<size_t>(-1);

// One folder of the breadth-first walk. The folder it was found in is kept so that a sub-folder can be
// checked against every folder on its own path.
struct QueuedFolder {
  std::string path;
  size_t parent;
  std::optional<std::optional<std::string>> resolved;  // computed on first need

  const std::optional<std::string>& Resolved() {
    if (!resolved) resolved = search_detail::ResolvedFolder(path);
    return *resolved;
  }
};

// True when sub, found in folders[parent], is a link back to that folder or to one on its path: listing
// it would repeat what is listed already, and its own sub-folders would never end.
bool LeadsBack(std::vector<QueuedFolder>& folders, size_t parent, const std::string& sub) {
  const std::optional<std::string> self = search_detail::ResolvedFolder(sub);
  if (!self) return false;
  for (size_t k = parent; k != kNoParent; k = folders[k].parent) {
    const std::optional<std::string>& other = folders[k].Resolved();
    if (other && search_detail::EqualsNoCaseAscii(*other, *self)) return true;
  }
  return false;
}

}  // namespace

void TFindFile::Execute() {
  attributeFilter_ = Attributes & 0x3F;
  Files.clear();
  fileCount_ = 0;
  if (BeforeExecute) BeforeExecute(*this);
  if (!Directory.empty()) {
    if (Recurse)
      ListTree(Directory);
    else
      ListFolder(Directory);
  }
  if (AfterExecute) AfterExecute(*this);
}

void TFindFile::ListFolder(std::string folder) {
  AppendBackslash(folder);
  if (OnNewPath) OnNewPath(*this, folder, aborted_);
  if (aborted_) return;
  // The enumeration itself keeps out the hidden, system and folder entries whose bit is not asked for.
  for (const platform::FindData& entry : platform::Os().FindFiles(folder + Filter, attributeFilter_)) {
    if (IsDotOrDotDot(entry.name)) continue;
    Files.push_back(folder + entry.name);
    ++fileCount_;
  }
}

void TFindFile::ListTree(std::string folder) {
  AppendBackslash(folder);
  // Every folder stays in the list once queued (its path is needed by the loop check of the folders
  // below it); next walks the list as the queue's front.
  std::vector<QueuedFolder> folders{{folder, kNoParent, std::nullopt}};
  for (size_t next = 0; next < folders.size(); ++next) {
    std::string item = folders[next].path;
    AppendBackslash(item);
    for (const platform::FindData& entry : platform::Os().FindFiles(item + "*.*", 0x3F)) {
      if ((entry.attributes & platform::kAttrDirectory) == 0 || IsDotOrDotDot(entry.name)) continue;
      std::string sub = item + entry.name;
      if (LeadsBack(folders, next, sub)) continue;
      folders.push_back({std::move(sub), next, std::nullopt});
    }
    ListFolder(item);
    if (aborted_) break;
  }
}

}  // namespace velmor
