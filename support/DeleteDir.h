// Copies every file below a source folder that matches one of a set of masks flat into one target
// folder and gives each copy a fixed set of attributes.
//
// Error policy: the copier reports nothing. A missing source or no match does nothing; a copy that
// fails is passed over and the run goes on. The one error that reaches the user: an empty
// TargetFolder with at least one match throws VelmorError("Das Verzeichnis kann nicht erstellt
// werden") before anything is copied. Nothing is rolled back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "search/FindFileEx.h"

namespace velmor {

// Progress of CopyFiles: files done so far, files to do in this run, the file being copied (full
// source path). Called before each copy and once more when the run has ended (done == total).
using TCopyProgress = std::function<void(size_t done, size_t total, const std::string& current)>;

class TCopyTree {
 public:
  // Searches, copies and creates folders through files.
  explicit TCopyTree(platform::IFileSystem& files);
  TCopyTree(const TCopyTree&) = delete;
  TCopyTree& operator=(const TCopyTree&) = delete;

  // Searches SourceFolder (with sub-folders) for Masks and copies every match into TargetFolder.
  // TargetFolder gets a trailing backslash when something matched; it is created when missing.
  void CopyFiles();

  uint32_t Attributes = 0;              // given to every copy; 128 = an ordinary writable file
  std::vector<std::string> FoundFiles;  // full paths of the last search's matches, in report order
  TFindFileEx Search;                   // the copier's own search; its criteria settings stay between copies
  std::string Masks;                    // "*.EXF;*.BMP"
  std::string SourceFolder;
  std::string TargetFolder;

  TCopyProgress OnProgress;  // optional; never changes what is copied

 private:
  platform::IFileSystem& files_;
};

}  // namespace velmor
