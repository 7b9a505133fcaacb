// Kills a run at a chosen moment, as kill -9 would: a child process runs the work over a platform that
// counts every call that changes the disk and ends the process at once (no destructors, no flushing
// of anything the program holds) right before the nth one. What the run wrote so far stays, exactly
// as after a real kill. A kill keeps what is written whether or not it was flushed, so the flushes
// (which only matter when the power fails) can be left out to keep many runs fast.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstddef>
#include <functional>

#include "tests/common/ForwardingPlatform.h"

namespace velmor::testing {

inline constexpr int kKilledStatus = 137;

class KillAtCall final : public platform::ForwardingPlatform {
 public:
  // n = 0 never kills; Changes() then counts the changes of a whole run. hold: at the nth change the
  // process stops (as a transfer busy for a long while) until it is killed.
  KillAtCall(platform::IPlatform& inner, size_t n, bool flushes = true, bool hold = false)
      : ForwardingPlatform(inner), killAt_(n), flushes_(flushes), hold_(hold) {}
  size_t Changes() const { return changes_; }

  bool SetFileAttributes(std::string_view path, uint32_t attributes) override {
    return Change(), inner_.SetFileAttributes(path, attributes);
  }
  bool SetFileTime(std::string_view path, platform::FileTime lastWrite) override {
    return Change(), inner_.SetFileTime(path, lastWrite);
  }
  bool CopyFile(std::string_view source, std::string_view target, bool failIfExists) override {
    return Change(), inner_.CopyFile(source, target, failIfExists);
  }
  bool CopyFileNoReplace(std::string_view source, std::string_view target) override {
    return Change(), inner_.CopyFileNoReplace(source, target);
  }
  bool DeleteFile(std::string_view path) override { return Change(), inner_.DeleteFile(path); }
  bool CreateDirectory(std::string_view path) override { return Change(), inner_.CreateDirectory(path); }
  bool ForceDirectories(std::string_view path) override { return Change(), inner_.ForceDirectories(path); }
  bool RemoveDirectory(std::string_view path) override { return Change(), inner_.RemoveDirectory(path); }
  bool MoveFile(std::string_view source, std::string_view target) override {
    return Change(), inner_.MoveFile(source, target);
  }
  bool WriteFile(std::string_view path, std::string_view bytes) override {
    return Change(), inner_.WriteFile(path, bytes);
  }
  bool FlushFileSystem(std::string_view path) override {
    return Change(), !flushes_ || inner_.FlushFileSystem(path);
  }
  size_t RemoveStaleTemporaries(std::string_view folder) override {
    return Change(), inner_.RemoveStaleTemporaries(folder);
  }
  std::unique_ptr<platform::IFile> OpenFile(std::string_view path, platform::OpenMode mode) override {
    if (mode != platform::OpenMode::Read) Change();
    std::unique_ptr<platform::IFile> file = inner_.OpenFile(path, mode);
    if (!file || mode == platform::OpenMode::Read) return file;
    return std::make_unique<File>(std::move(file), *this);
  }

  void Change() {
    if (++changes_ != killAt_) return;
    while (hold_) pause();
    _exit(kKilledStatus);
  }

 private:
  // Writes and flushes of an open file are changes too.
  class File final : public platform::IFile {
   public:
    File(std::unique_ptr<platform::IFile> inner, KillAtCall& owner)
        : inner_(std::move(inner)), owner_(owner) {}
    int64_t Read(void* buffer, size_t count) override { return inner_->Read(buffer, count); }
    bool Write(const void* buffer, size_t count) override {
      return owner_.Change(), inner_->Write(buffer, count);
    }
    bool Seek(int64_t offset) override { return inner_->Seek(offset); }
    std::optional<uint64_t> Size() override { return inner_->Size(); }
    bool Flush() override { return owner_.Change(), !owner_.flushes_ || inner_->Flush(); }

   private:
    std::unique_ptr<platform::IFile> inner_;
    KillAtCall& owner_;
  };

  size_t killAt_;
  bool flushes_;
  bool hold_;
  size_t changes_ = 0;
};

// The changes to the disk that work makes when nothing kills it.
inline size_t CountChanges(const std::function<void()>& work, bool flushes = true) {
  KillAtCall counter(platform::HostPlatform(), 0, flushes);
  platform::ScopedPlatform use(counter);
  work();
  return counter.Changes();
}

// Starts work in a child process that stops right before its nth change to the disk and waits there
// (hold) or is killed; the child's id.
inline pid_t StartKilledAt(size_t n, const std::function<void()>& work, bool flushes = true,
                           bool hold = false) {
  const pid_t child = fork();
  if (child == 0) {
    KillAtCall killer(platform::HostPlatform(), n, flushes, hold);
    platform::ScopedPlatform use(killer);
    try {
      work();
    } catch (...) {
    }
    _exit(0);
  }
  return child;
}

// Runs work in a child process that is killed right before its nth change to the disk. True when it
// was killed, false when it ended before (n past the run's last change).
inline bool RunKilledAt(size_t n, const std::function<void()>& work, bool flushes = true) {
  const pid_t child = StartKilledAt(n, work, flushes);
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == kKilledStatus;
}

}  // namespace velmor::testing
