#include "search/NameText.h"

#include "platform/Platform.h"

namespace velmor::search_detail {

std::optional<std::string> ResolvedFolder(const std::string& folder) {
  // An empty folder text is the process's current folder, as everywhere in the search.
  auto host = platform::Os().ToHost(folder.empty() ? platform::Os().CurrentDirectory() : folder);
  if (!host) return std::nullopt;
  return platform::Os().ToWindows(*host);
}

}  // namespace velmor::search_detail
