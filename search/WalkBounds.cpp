#include "search/WalkBounds.h"

namespace velmor::search_detail {

WalkBounds::WalkBounds(platform::IFileSystem& os, const std::string& start) : table_(os.MountsBelow(start)) {
  for (const platform::MountedFolder& mount : table_.mounts) mounts_[mount.folder] = mount.isVirtual;
}

}  // namespace velmor::search_detail
