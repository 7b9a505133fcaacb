#include "search/FindFile.h"

#include <deque>
#include <memory>
#include <optional>

#include "platform/Platform.h"
#include "search/NameText.h"
#include "search/WalkBounds.h"

namespace velmor {

using search_detail::IsDotOrDotDot;

namespace {

void AppendBackslash(std::string& folder) {
  if (folder.empty() || folder.back() != '\\') folder.push_back('\\');
}

// The folders above a queued folder, innermost first. Their identities are asked for only when a link
// or a mount is met below them, by path: the walk keeps no listing open for the folders it has queued.
struct Above {
  std::string path;  // empty above the walk's start: id is known
  mutable std::optional<platform::FolderId> id;
  std::shared_ptr<const Above> up;
  platform::FolderId Id(platform::IFileSystem& files) const {
    if (!id) id = files.GetFolderId(path).value_or(platform::FolderId{});
    return *id;
  }
};

struct QueuedFolder {
  std::string path;
  search_detail::Reach reach;
  std::shared_ptr<const Above> above;
};

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
  for (const platform::FindData& entry : files_.FindFiles(folder + Filter, attributeFilter_)) {
    if (IsDotOrDotDot(entry.name)) continue;
    Files.push_back(folder + entry.name);
    ++fileCount_;
  }
}

void TFindFile::ListTree(std::string folder) {
  AppendBackslash(folder);
  const search_detail::WalkBounds bounds(files_, folder);
  std::shared_ptr<const Above> top;
  const std::vector<platform::FolderId> ids = search_detail::FoldersAbove(files_, folder);
  for (auto it = ids.rbegin(); it != ids.rend(); ++it)
    top = std::make_shared<const Above>(Above{{}, *it, top});
  // Breadth first: only the queued folders are kept, each with the chain of the folders above it.
  std::deque<QueuedFolder> queue{{folder, search_detail::Reach::Mounted, top}};
  while (!queue.empty()) {
    const QueuedFolder item = std::move(queue.front());
    queue.pop_front();
    const auto listing = files_.ListFolder(item.path);
    if (listing) {
      bool onVirtual = false;
      if (search_detail::WalkBounds::NeedsIdentity(item.reach)) {
        // A folder the walk is inside of already, or one on a virtual file system below the start,
        // is not entered; on a virtual start folder nothing below it is.
        const platform::FolderId id = listing->Identity();
        onVirtual = bounds.IsVirtual(id);
        bool inside = false;
        for (const Above* a = item.above.get(); a != nullptr && !inside; a = a->up.get())
          inside = a->Id(files_) == id;
        if (inside || (onVirtual && item.path != folder)) continue;
      }
      std::shared_ptr<const Above> here;
      for (size_t i = 0; i < listing->Count() && !onVirtual; ++i) {
        const std::string_view name = listing->Name(i);
        if (!listing->IsDirectory(i) || IsDotOrDotDot(name)) continue;
        std::string path = item.path + std::string(name) + '\\';
        const search_detail::Reach reach = bounds.SubFolder(path, listing->IsLink(i), item.reach);
        if (reach == search_detail::Reach::Skipped) continue;
        if (!here) here = std::make_shared<const Above>(Above{item.path, std::nullopt, item.above});
        queue.push_back({std::move(path), reach, here});
      }
    }
    ListFolder(item.path);
    if (aborted_) break;
  }
}

}  // namespace velmor
