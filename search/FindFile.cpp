#include "search/FindFile.h"

#include <algorithm>
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

// One folder of the breadth-first walk, with the folder it was found in, so that a folder can be checked
// against every folder on its own path.
struct QueuedFolder {
  std::string path;
  size_t parent;
  platform::FolderId id;
};

// True when id is one of the folders on the path that leads to folders[parent] (that folder included):
// a link back up, of whatever kind, whose listing would repeat one already made and never end.
bool LeadsBack(const std::vector<QueuedFolder>& folders, size_t parent, const platform::FolderId& id,
               const std::vector<platform::FolderId>& above) {
  for (size_t k = parent; k != kNoParent; k = folders[k].parent)
    if (folders[k].id == id) return true;
  return std::find(above.begin(), above.end(), id) != above.end();
}

}  // namespace

void TFindFile::Execute() {
  attributeFilter_ = Attributes & (platform::kAttrAnyEntry | platform::kAttrVolumeLabel);
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
  // Every folder stays in the list once queued (its identity is needed by the loop check of the
  // folders below it); next walks the list as the queue's front.
  std::vector<QueuedFolder> folders{{folder, kNoParent, {}}};
  const std::vector<platform::FolderId> above = search_detail::FoldersAbove(folder);
  for (size_t next = 0; next < folders.size(); ++next) {
    std::string item = folders[next].path;
    AppendBackslash(item);
    const auto listing = platform::Os().ListFolder(item);
    if (listing) {
      folders[next].id = listing->Identity();
      if (folders[next].parent != kNoParent &&
          LeadsBack(folders, folders[next].parent, folders[next].id, above))
        continue;
      for (size_t i = 0; i < listing->Count(); ++i) {
        const std::string_view name = listing->Name(i);
        if (!listing->IsDirectory(i) || IsDotOrDotDot(name)) continue;
        folders.push_back({item + std::string(name), next, {}});
      }
    }
    ListFolder(item);
    if (aborted_) break;
  }
}

}  // namespace velmor
