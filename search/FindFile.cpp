#include "search/FindFile.h"

#include <deque>

#include "platform/Platform.h"

namespace velmor {

namespace {

bool IsDotOrDotDot(const std::string& name) {
  return name == "." || name == "..";
}

void AppendBackslash(std::string& folder) {
  if (folder.empty() || folder.back() != '\\') folder.push_back('\\');
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
  std::deque<std::string> queue{folder};
  while (!queue.empty()) {
    std::string item = queue.front();
    AppendBackslash(item);
    for (const platform::FindData& entry : platform::Os().FindFiles(item + "*.*", 0x3F)) {
      if ((entry.attributes & platform::kAttrDirectory) == 0 || IsDotOrDotDot(entry.name)) continue;
      queue.push_back(item + entry.name);
    }
    ListFolder(item);
    queue.pop_front();
    if (aborted_) break;
  }
}

}  // namespace velmor
