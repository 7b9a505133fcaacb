// An IPlatform for tests that makes chosen calls fail, to prove that a caller survives a failing disk.
// Every call is passed on to the wrapped platform except those a rule makes fail: these do not reach
// it, set LastError() to the rule's error and return what the real call returns on failure. Calls are
// counted per kind, failed ones included, from 1 since construction or Reset(). Files from OpenFile
// are wrapped, so FileRead/FileWrite rules reach their reads and writes. Use it from one thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "tests/common/ForwardingPlatform.h"

namespace velmor::platform {

// The calls a rule can target. The path a rule's text is matched against is the call's first path
// (for copies and moves also the second; for FileRead/FileWrite the path the file was opened with).
enum class FaultKind {
  CopyFile,
  DeleteFile,
  ForceDirectories,
  WriteFile,
  ReadFile,
  FileRead,   // IFile::Read on a file from OpenFile
  FileWrite,  // IFile::Write on a file from OpenFile
  SetFileAttributes,
  ListFolder,
  FindFiles,
};

class FaultInjectingPlatform final : public ForwardingPlatform {
 public:
  explicit FaultInjectingPlatform(IPlatform& inner) : ForwardingPlatform(inner) {}

  // The nth call of the kind (1-based, counted since construction or Reset) fails with error.
  void FailNth(FaultKind kind, size_t n, uint32_t error) { rules_.push_back({kind, n, n, {}, error}); }
  // Every call of the kind from the nth on fails with error (a disk that fills up mid-run).
  void FailFrom(FaultKind kind, size_t n, uint32_t error) {
    rules_.push_back({kind, n, SIZE_MAX, {}, error});
  }
  // The next call of the kind fails with error.
  void FailNext(FaultKind kind, uint32_t error) { FailNth(kind, Calls(kind) + 1, error); }
  // Every call of the kind whose path contains pathPart (case-insensitive) fails with error.
  void FailWhere(FaultKind kind, std::string pathPart, uint32_t error) {
    rules_.push_back({kind, 1, SIZE_MAX, std::move(pathPart), error});
  }
  // Number of calls of the kind so far, failed ones included.
  size_t Calls(FaultKind kind) const;
  // Number of calls that a rule made fail, over all kinds.
  size_t InjectedFailures() const { return injected_; }
  // Drops all rules and counters.
  void Reset();

  bool SetFileAttributes(std::string_view path, uint32_t attributes) override {
    return !ShouldFail(FaultKind::SetFileAttributes, path) && inner_.SetFileAttributes(path, attributes);
  }
  bool CopyFile(std::string_view source, std::string_view target, bool failIfExists) override {
    return !ShouldFail(FaultKind::CopyFile, source, target) && inner_.CopyFile(source, target, failIfExists);
  }
  bool CopyFileNoReplace(std::string_view source, std::string_view target) override {
    return !ShouldFail(FaultKind::CopyFile, source, target) && inner_.CopyFileNoReplace(source, target);
  }
  bool DeleteFile(std::string_view path) override {
    return !ShouldFail(FaultKind::DeleteFile, path) && inner_.DeleteFile(path);
  }
  bool ForceDirectories(std::string_view path) override {
    return !ShouldFail(FaultKind::ForceDirectories, path) && inner_.ForceDirectories(path);
  }
  std::unique_ptr<IFile> OpenFile(std::string_view path, OpenMode mode) override;
  std::optional<std::string> ReadFile(std::string_view path, size_t maxBytes = SIZE_MAX) override {
    if (ShouldFail(FaultKind::ReadFile, path)) return std::nullopt;
    return inner_.ReadFile(path, maxBytes);
  }
  bool WriteFile(std::string_view path, std::string_view bytes) override {
    return !ShouldFail(FaultKind::WriteFile, path) && inner_.WriteFile(path, bytes);
  }
  std::unique_ptr<IFolderListing> ListFolder(std::string_view folder) override {
    return ShouldFail(FaultKind::ListFolder, folder) ? nullptr : inner_.ListFolder(folder);
  }
  std::vector<FindData> FindFiles(std::string_view pattern,
                                  uint32_t attributeFilter = kAttrAnyEntry) override {
    if (ShouldFail(FaultKind::FindFiles, pattern)) return {};
    return inner_.FindFiles(pattern, attributeFilter);
  }

  // Counts a call of the kind and tells whether a rule makes it fail (LastError is then set).
  // Public for the wrapped files; callers use the rules above.
  bool ShouldFail(FaultKind kind, std::string_view path, std::string_view otherPath = {});

 private:
  struct Rule {
    FaultKind kind;
    size_t first;  // 1-based call number
    size_t last;   // inclusive; SIZE_MAX for "from the nth on"
    std::string pathPart;
    uint32_t error;
  };

  std::vector<Rule> rules_;
  std::map<FaultKind, size_t> calls_;
  size_t injected_ = 0;
};

}  // namespace velmor::platform
