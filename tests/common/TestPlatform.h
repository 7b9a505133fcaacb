// The tests' file role: passes every call on to another file role (the host's by default) and lets a
// test step in on the way. It fails chosen calls (a failing disk), kills the process right before the
// nth change (a kill -9 or a power cut at that moment), and shows the calls of the kinds below to a
// watcher (a log of the order of changes, counting the calls of reader threads, holding them, throwing
// from them).
//
// Calls are counted per kind, failed ones included, from 1 since construction or Reset(). A call
// that a rule fails does not reach the wrapped role: it sets the thread's last error to the rule's
// error and returns what the real call returns on failure. The path a rule's text is matched against
// (case-insensitively) is the call's first path, for copies and moves also the second, and for the
// calls on an open file the path it was opened with. Files from OpenFile are wrapped, so that their
// writes and flushes are calls of their own. Safe to use from several threads.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Platform.h"
#include "platform/ReadForwardingPlatform.h"

namespace velmor::testing {

// The calls of the file role a test can step in on (the other calls that look pass straight on); the
// File ones are calls on an open file. Every kind from SetFileAttributes on changes the disk (an open
// does by its mode).
enum class Call {
  OpenFile,
  ReadFile,
  ListFolder,
  SetFileAttributes,
  SetFileTime,
  CopyFile,
  DeleteFile,
  CreateDirectory,
  ForceDirectories,
  RemoveDirectory,
  MoveFile,
  WriteFile,
  FlushFileSystem,
  RemoveStaleTemporaries,
  FileWrite,
  FileFlush,
};

// The exit status of a process that a TestPlatform killed.
inline constexpr int kKilledStatus = 137;

class TestPlatform final : public platform::ReadForwardingPlatform {
 public:
  explicit TestPlatform(platform::IFileSystem& inner = platform::HostPlatform())
      : ReadForwardingPlatform(inner) {}

  // --- failing calls ---
  // The nth call of the kind (1-based) fails with error.
  void FailNth(Call call, size_t n, uint32_t error) { AddRule({call, n, n, {}, error}); }
  // Every call of the kind from the nth on fails with error (a disk that fills up mid-run).
  void FailFrom(Call call, size_t n, uint32_t error) { AddRule({call, n, SIZE_MAX, {}, error}); }
  // Every call of the kind whose path contains pathPart fails with error.
  void FailWhere(Call call, std::string pathPart, uint32_t error) {
    AddRule({call, 1, SIZE_MAX, std::move(pathPart), error});
  }
  // Calls of the kind so far, failed ones included; calls that a rule failed, over all kinds.
  size_t Calls(Call call) const {
    std::lock_guard lock(mutex_);
    return calls_.contains(call) ? calls_.at(call) : 0;
  }
  size_t InjectedFailures() const { return injected_; }
  // Drops the rules and the counters.
  void Reset() {
    std::lock_guard lock(mutex_);
    rules_.clear();
    calls_.clear();
    injected_ = 0;
  }

  // --- killing ---
  // Ends the process at once (no destructors, nothing flushed that the program holds) right before
  // the nth change to the disk: every call that changes a file or a folder, an open for writing, and
  // a write or flush of an open file. 0 never kills.
  void KillAtChange(size_t n) { killAt_ = n; }
  // The changes so far.
  size_t Changes() const { return changes_; }
  // A kill keeps what is written whether or not it was flushed: flushes can be left out (they still
  // count as changes) to keep many runs fast.
  bool SkipFlushes = false;
  // At the chosen change the process stops (as a run busy for a long while) until it is killed.
  bool HoldAtKill = false;

  // --- watching ---
  // Called before each call of the file role, on the thread that makes it, before the rules; it may
  // log, wait or throw. Set it before the calls begin.
  std::function<void(Call call, std::string_view path, std::string_view other)> Watch;

  // Counts a call, shows it to the watcher, kills at the chosen change, and tells whether a rule makes
  // it fail (the last error is then set). Public for the wrapped files.
  bool Fails(Call call, std::string_view path, std::string_view other = {}) {
    return Fails(call, path, other, call >= Call::SetFileAttributes);
  }

  // --- the file role ---
  bool FileExists(std::string_view path) override { return inner_.FileExists(path); }
  bool DirectoryExists(std::string_view path) override { return inner_.DirectoryExists(path); }
  uint32_t GetFileAttributes(std::string_view path) override { return inner_.GetFileAttributes(path); }
  bool GetFileData(std::string_view path, platform::FindData& out) override {
    return inner_.GetFileData(path, out);
  }
  bool SetFileAttributes(std::string_view path, uint32_t attributes) override {
    return !Fails(Call::SetFileAttributes, path) && inner_.SetFileAttributes(path, attributes);
  }
  bool SetFileTime(std::string_view path, platform::FileTime lastWrite) override {
    return !Fails(Call::SetFileTime, path) && inner_.SetFileTime(path, lastWrite);
  }
  bool CopyFile(std::string_view source, std::string_view target, bool failIfExists) override {
    return !Fails(Call::CopyFile, source, target) && inner_.CopyFile(source, target, failIfExists);
  }
  // A copy that never replaces counts as a copy.
  bool CopyFileNoReplace(std::string_view source, std::string_view target) override {
    return !Fails(Call::CopyFile, source, target) && inner_.CopyFileNoReplace(source, target);
  }
  bool DeleteFile(std::string_view path) override {
    return !Fails(Call::DeleteFile, path) && inner_.DeleteFile(path);
  }
  bool CreateDirectory(std::string_view path) override {
    return !Fails(Call::CreateDirectory, path) && inner_.CreateDirectory(path);
  }
  bool ForceDirectories(std::string_view path) override {
    return !Fails(Call::ForceDirectories, path) && inner_.ForceDirectories(path);
  }
  bool RemoveDirectory(std::string_view path) override {
    return !Fails(Call::RemoveDirectory, path) && inner_.RemoveDirectory(path);
  }
  bool DeleteTree(std::string_view path) override { return inner_.DeleteTree(path); }
  bool MoveFile(std::string_view source, std::string_view target) override {
    return !Fails(Call::MoveFile, source, target) && inner_.MoveFile(source, target);
  }
  std::unique_ptr<platform::IFile> OpenFile(std::string_view path, platform::OpenMode mode) override;
  std::optional<std::string> ReadFile(std::string_view path, size_t maxBytes = SIZE_MAX) override {
    if (Fails(Call::ReadFile, path)) return std::nullopt;
    return inner_.ReadFile(path, maxBytes);
  }
  bool WriteFile(std::string_view path, std::string_view bytes) override {
    return !Fails(Call::WriteFile, path) && inner_.WriteFile(path, bytes);
  }
  std::unique_ptr<platform::IFolderListing> ListFolder(std::string_view folder) override {
    return Fails(Call::ListFolder, folder) ? nullptr : inner_.ListFolder(folder);
  }
  bool FlushFileSystem(std::string_view path) override {
    return !Fails(Call::FlushFileSystem, path) && (SkipFlushes || inner_.FlushFileSystem(path));
  }
  size_t RemoveStaleTemporaries(std::string_view folder) override {
    return Fails(Call::RemoveStaleTemporaries, folder) ? 0 : inner_.RemoveStaleTemporaries(folder);
  }

 private:
  struct Rule {
    Call call;
    size_t first;  // 1-based call number
    size_t last;   // inclusive; SIZE_MAX for "from the nth on"
    std::string pathPart;
    uint32_t error;
  };
  void AddRule(Rule rule) {
    std::lock_guard lock(mutex_);
    rules_.push_back(std::move(rule));
  }
  bool Fails(Call call, std::string_view path, std::string_view other, bool change);

  mutable std::mutex mutex_;
  std::vector<Rule> rules_;
  std::map<Call, size_t> calls_;
  std::atomic<size_t> injected_ = 0;
  size_t killAt_ = 0;
  std::atomic<size_t> changes_ = 0;
};

// The changes to the disk that work makes on its file role when nothing kills it.
inline size_t CountChanges(const std::function<void(platform::IFileSystem&)>& work, bool flushes = true) {
  TestPlatform counter;
  counter.SkipFlushes = !flushes;
  work(counter);
  return counter.Changes();
}

// Starts work in a child process that stops right before its nth change to the disk and waits there
// (hold) or is killed; the child's id.
inline pid_t StartKilledAt(size_t n, const std::function<void(platform::IFileSystem&)>& work,
                           bool flushes = true, bool hold = false) {
  const pid_t child = fork();
  if (child == 0) {
    TestPlatform killer;
    killer.SkipFlushes = !flushes;
    killer.HoldAtKill = hold;
    killer.KillAtChange(n);
    try {
      work(killer);
    } catch (...) {
    }
    _exit(0);
  }
  return child;
}

// Runs work in a child process that is killed right before its nth change to the disk. True when it
// was killed, false when it ended before (n past the run's last change).
inline bool RunKilledAt(size_t n, const std::function<void(platform::IFileSystem&)>& work,
                        bool flushes = true) {
  const pid_t child = StartKilledAt(n, work, flushes);
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == kKilledStatus;
}

}  // namespace velmor::testing
