#include "search/NameText.h"

namespace velmor::search_detail {

std::vector<platform::FolderId> FoldersAbove(platform::IFileSystem& files, std::string folder) {
  std::vector<platform::FolderId> above;
  while (true) {
    while (folder.size() > 1 && folder.back() == '\\') folder.pop_back();
    const size_t cut = folder.rfind('\\');
    if (cut == std::string::npos) break;
    folder.resize(cut + 1);
    if (auto id = files.GetFolderId(folder)) above.push_back(*id);
    // A drive root ("C:\\") or the host root of the direct form ends the climb.
    if (folder.size() <= 3 || EqualsNoCaseAscii(folder, "\\\\?\\unix\\")) break;
  }
  return above;
}

}  // namespace velmor::search_detail
