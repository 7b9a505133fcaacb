// A small finder: the full paths of the entries of one folder (and, on request, of every folder below
// it, breadth-first) whose names match one enumeration mask.
//
// Error policy: nothing is raised or shown; a folder that does not exist or cannot be read lists
// nothing.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "search/SearchCriteria.h"

namespace velmor {

class TFindFile;

// Called before each folder is listed; setting Abort stops this run and every later one.
using TNewPathEvent = std::function<void(TFindFile& Sender, std::string NewPath, bool& Abort)>;
using TFindFileNotifyEvent = std::function<void(TFindFile& Sender)>;

class TFindFile {
 public:
  // Which special entries are listed (Windows attribute values): ffReadOnly, ffHidden, ffSystem,
  // ffVolumeID, ffDirectory, ffArchive. Four of them share the search's TFileAttribute values.
  static constexpr uint32_t ffReadOnly = platform::kAttrReadOnly;
  static constexpr uint32_t ffVolumeID = platform::kAttrVolumeLabel;
  using TAttrOptions = uint32_t;

  // The folders are listed through files.
  explicit TFindFile(platform::IFileSystem& files) : files_(files) {}
  virtual ~TFindFile() = default;

  // One run: empties Files, then lists Directory (or its whole tree when Recurse).
  virtual void Execute();
  // Appends the matching entries of folder (a backslash is appended when it lacks one).
  void ListFolder(std::string folder);
  // Lists folder and every folder below it, breadth-first.
  void ListTree(std::string folder);

  bool Recurse = false;
  std::string Directory;
  std::string Filter = "*.*";  // one mask; ";" is not a separator here
  std::vector<std::string> Files;
  // Entries with the hidden, system, volume or folder bit are listed only when that bit is here.
  TAttrOptions Attributes = ffReadOnly | ffHidden | ffSystem | ffArchive;

  TFindFileNotifyEvent BeforeExecute;
  TFindFileNotifyEvent AfterExecute;
  TNewPathEvent OnNewPath;

  bool Aborted() const { return aborted_; }
  // Entries listed in the last run.
  uint64_t FileCount() const { return fileCount_; }

 private:
  platform::IFileSystem& files_;
  bool aborted_ = false;
  uint32_t attributeFilter_ = ffReadOnly | ffHidden | ffSystem | ffArchive;
  uint64_t fileCount_ = 0;
};

}  // namespace velmor
