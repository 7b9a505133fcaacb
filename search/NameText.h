// Small helpers shared by the search's name tests and its two walkers.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Platform.h"

namespace velmor::search_detail {

// Only a to z fold: names compare the way the exclusion lines and target folders are specified.
inline char UpperAscii(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

inline bool EqualsNoCaseAscii(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (UpperAscii(a[i]) != UpperAscii(b[i])) return false;
  return true;
}

inline bool EndsWithNoCaseAscii(std::string_view text, std::string_view tail) {
  return tail.size() <= text.size() && EqualsNoCaseAscii(text.substr(text.size() - tail.size()), tail);
}

inline bool IsDotOrDotDot(std::string_view name) {
  return name == "." || name == "..";
}

// The identities of the folders above a folder text (with or without trailing backslash), up to its
// drive root or the host root, innermost first. A walk below the folder that meets one of them again has
// followed a link back up and would never end.
std::vector<platform::FolderId> FoldersAbove(platform::IFileSystem& files, std::string folder);

}  // namespace velmor::search_detail
