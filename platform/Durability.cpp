// Durability and other processes: lock files, who this process is, flushing a file system to the disk,
// whether a process still runs, the removal of temporary files that killed processes left behind, and setting
// a file's last-write time back.
#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdio>

#include "platform/FileDescriptor.h"
#include "platform/HostPlatformImpl.h"
#include "platform/NameCache.h"
#include "platform/PosixIo.h"

namespace velmor::platform::detail {
namespace {

constexpr std::string_view kTempStart = ".velmor-";
constexpr std::string_view kTempEnd = ".tmp";

class HostFileLock final : public IFileLock {
 public:
  HostFileLock(FileDescriptor fd, std::string hostPath) : fd_(std::move(fd)), path_(std::move(hostPath)) {}

  bool TryLock() override {
    // flock, not a POSIX record lock: that one would be dropped by the close of any other descriptor
    // of the file in this process.
    while (flock(fd_.Get(), LOCK_EX | LOCK_NB) != 0) {
      if (errno == EINTR) continue;
      return Fail(errno == EWOULDBLOCK ? kErrorLockViolation : ErrorFromErrno(errno, path_));
    }
    return true;
  }

  std::optional<std::string> Read(size_t maxBytes) override {
    std::string bytes;
    char buffer[4096];
    while (bytes.size() < maxBytes) {
      const ssize_t n = pread(fd_.Get(), buffer, std::min(sizeof buffer, maxBytes - bytes.size()),
                              static_cast<off_t>(bytes.size()));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        Fail(MapErrno(errno, kErrorReadFault));
        return std::nullopt;
      }
      if (n == 0) break;
      bytes.append(buffer, static_cast<size_t>(n));
    }
    return bytes;
  }

  bool Replace(std::string_view bytes) override {
    if (ftruncate(fd_.Get(), 0) != 0 || lseek(fd_.Get(), 0, SEEK_SET) != 0 || !WriteAll(fd_.Get(), bytes) ||
        fdatasync(fd_.Get()) != 0)
      return Fail(MapErrno(errno, kErrorWriteFault));
    return true;
  }

  bool StillAtPath() override {
    struct stat opened, named;
    return fstat(fd_.Get(), &opened) == 0 && lstat(path_.c_str(), &named) == 0 &&
           opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
  }

  bool Remove() override {
    const FolderChange change;
    if (!StillAtPath()) return Fail(kErrorFileNotFound);
    if (unlink(path_.c_str()) != 0) return Fail(ErrorFromErrno(errno, path_));
    return true;
  }

 private:
  FileDescriptor fd_;  // closing the last descriptor drops the lock
  std::string path_;
};

// Field 22 of /proc/PID/stat, the start in clock ticks since the boot; nullopt for a process that
// does not run (or has ended and waits to be reaped).
std::optional<uint64_t> StartTicks(int64_t pid) {
  char path[32];
  snprintf(path, sizeof path, "/proc/%lld/stat", static_cast<long long>(pid));
  const FileDescriptor fd(open(path, O_RDONLY | O_CLOEXEC));
  if (!fd) return std::nullopt;
  char stat[1024];
  const ssize_t n = read(fd.Get(), stat, sizeof stat - 1);
  if (n <= 0) return std::nullopt;
  // "pid (name) S ppid ...": the fields are counted after the last ')' (a name may hold blanks and
  // parentheses); the state is field 3.
  const std::string_view text(stat, static_cast<size_t>(n));
  const size_t end = text.rfind(')');
  if (end == std::string_view::npos || end + 2 >= text.size()) return std::nullopt;
  if (text[end + 2] == 'Z' || text[end + 2] == 'X') return std::nullopt;
  size_t pos = end + 2;
  for (int field = 3; field < 22; ++field) {
    pos = text.find(' ', pos);
    if (pos == std::string_view::npos) return std::nullopt;
    ++pos;
  }
  uint64_t ticks = 0;
  const auto [last, error] = std::from_chars(text.data() + pos, text.data() + text.size(), ticks);
  if (error != std::errc()) return std::nullopt;
  return ticks;
}

}  // namespace

std::string TemporaryName(uint64_t n) {
  // The process id is asked for each time: a forked child must not write under its parent's id.
  char name[64];
  snprintf(name, sizeof name, ".velmor-%d-%llx.tmp", static_cast<int>(getpid()),
           static_cast<unsigned long long>(n));
  return name;
}

std::optional<int64_t> TemporaryOwner(std::string_view name) {
  if (name.size() <= kTempStart.size() + kTempEnd.size() || name.substr(0, kTempStart.size()) != kTempStart ||
      name.substr(name.size() - kTempEnd.size()) != kTempEnd)
    return std::nullopt;
  const std::string_view middle =
      name.substr(kTempStart.size(), name.size() - kTempStart.size() - kTempEnd.size());
  const size_t dash = middle.find('-');
  if (dash == 0 || dash == std::string_view::npos || dash + 1 == middle.size()) return std::nullopt;
  int64_t pid = 0;
  const auto [end, error] = std::from_chars(middle.data(), middle.data() + dash, pid);
  if (error != std::errc() || end != middle.data() + dash || pid <= 0) return std::nullopt;
  for (const char c : middle.substr(dash + 1))
    if (!std::isxdigit(static_cast<unsigned char>(c))) return std::nullopt;
  return pid;
}

std::unique_ptr<IFileLock> HostPlatformImpl::OpenLockFile(std::string_view path) {
  const FolderChange change;
  const std::optional<std::string> host = Resolve(path);
  if (!host) return nullptr;
  // O_NOFOLLOW: a link planted at the name is refused, never written through; O_NONBLOCK: a named
  // pipe there does not wait for a writer.
  constexpr int kFlags = O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
  FileDescriptor fd(open(host->c_str(), O_RDWR | kFlags, 0666));
  if (!fd && errno == EACCES) fd.Reset(open(host->c_str(), O_RDONLY | kFlags, 0666));
  if (!fd) {
    Fail(errno == ELOOP ? kErrorAccessDenied : ErrorFromErrno(errno, *host));
    return nullptr;
  }
  struct stat st;
  if (fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1) {
    Fail(kErrorAccessDenied);
    return nullptr;
  }
  return std::make_unique<HostFileLock>(std::move(fd), *host);
}

bool HostPlatformImpl::FileLockedByOther(std::string_view path) {
  const std::optional<std::string> host = Resolve(path);
  if (!host) return false;
  // A process's POSIX locks on a file all go when it closes any descriptor of it; this process holds
  // none on the files it asks about.
  const FileDescriptor fd(open(host->c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (!fd) return false;
  struct flock probe {};
  probe.l_type = F_WRLCK;  // conflicts with a read lock as well as a write lock
  probe.l_whence = SEEK_SET;
  probe.l_start = 0;
  probe.l_len = 0;  // to the end and beyond: Windows programs often lock ranges past the end
  return fcntl(fd.Get(), F_GETLK, &probe) == 0 && probe.l_type != F_UNLCK;
}

bool HostPlatformImpl::SetFileTime(std::string_view path, FileTime lastWrite) {
  const std::optional<std::string> host = Resolve(path);
  if (!host) return false;
  constexpr uint64_t kSecondsFrom1601To1970 = 11644473600;
  const uint64_t seconds = lastWrite / 10000000u;
  if (seconds < kSecondsFrom1601To1970) return Fail(kErrorInvalidParameter);
  const timespec times[2] = {{0, UTIME_OMIT},
                             {static_cast<time_t>(seconds - kSecondsFrom1601To1970),
                              static_cast<long>(lastWrite % 10000000u) * 100}};
  if (utimensat(AT_FDCWD, host->c_str(), times, 0) != 0) return Fail(ErrorFromErrno(errno, *host));
  return true;
}

bool HostPlatformImpl::FlushFileSystem(std::string_view path) {
  const std::optional<std::string> host = Resolve(path);
  if (!host) return false;
  const FileDescriptor fd(open(host->c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!fd) return Fail(ErrorFromErrno(errno, *host));
  const bool ok = syncfs(fd.Get()) == 0;
  const int err = errno;
  return ok ? true : Fail(err == EIO ? kErrorWriteFault : ErrorFromErrno(err));
}

int64_t HostPlatformImpl::ProcessId() {
  return getpid();
}

bool HostPlatformImpl::ProcessRunning(int64_t pid) {
  if (pid <= 0 || pid != static_cast<pid_t>(pid)) return false;
  // EPERM: the process exists but belongs to someone else.
  if (kill(static_cast<pid_t>(pid), 0) != 0 && errno != EPERM) return false;
  // A process that has ended but was not reaped yet (where nobody reaps orphans, for a long time)
  // runs no more: its state in /proc is Z (zombie) or X (dead).
  char path[32];
  snprintf(path, sizeof path, "/proc/%lld/stat", static_cast<long long>(pid));
  const FileDescriptor fd(open(path, O_RDONLY | O_CLOEXEC));
  if (!fd) return true;
  char stat[512];
  const ssize_t n = read(fd.Get(), stat, sizeof stat - 1);
  if (n <= 0) return true;
  // "pid (name) S ...": the state follows the last ')' (a name may hold parentheses).
  const std::string_view text(stat, static_cast<size_t>(n));
  const size_t end = text.rfind(')');
  if (end == std::string_view::npos || end + 2 >= text.size()) return true;
  return text[end + 2] != 'Z' && text[end + 2] != 'X';
}

std::optional<uint64_t> HostPlatformImpl::ProcessStartTime(int64_t pid) {
  if (pid <= 0 || pid != static_cast<pid_t>(pid)) return std::nullopt;
  return StartTicks(pid);
}

ProcessIdentity HostPlatformImpl::ThisProcess() {
  ProcessIdentity self;
  char name[256] = "";
  if (gethostname(name, sizeof name - 1) == 0) self.host = name;
  const uid_t uid = geteuid();
  passwd entry;
  passwd* found = nullptr;
  char buffer[4096];
  self.user = getpwuid_r(uid, &entry, buffer, sizeof buffer, &found) == 0 && found
                  ? std::string(found->pw_name)
                  : std::to_string(uid);
  self.pid = getpid();
  self.start = StartTicks(self.pid).value_or(0);
  return self;
}

size_t HostPlatformImpl::RemoveStaleTemporaries(std::string_view folder) {
  const FolderChange change;
  const std::optional<std::string> host = Resolve(folder);
  if (!host) return 0;
  DIR* dir = opendir(host->c_str());
  if (!dir) return 0;
  const int64_t self = getpid();
  size_t removed = 0;
  while (const dirent* entry = readdir(dir)) {
    const std::optional<int64_t> owner = TemporaryOwner(entry->d_name);
    if (!owner || *owner == self || ProcessRunning(*owner)) continue;
    struct stat st;
    if (fstatat(dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) continue;
    if (unlinkat(dirfd(dir), entry->d_name, 0) == 0) ++removed;
  }
  closedir(dir);
  return removed;
}

}  // namespace velmor::platform::detail
