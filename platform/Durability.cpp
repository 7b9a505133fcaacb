// Durability and other processes: lock files, flushing a file system to the disk, whether a process
// still runs, the removal of temporary files that killed processes left behind, and setting a file's
// last-write time back.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

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
  explicit HostFileLock(FileDescriptor fd) : fd_(std::move(fd)) {}

 private:
  FileDescriptor fd_;  // closing the last descriptor drops the lock
};

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

std::unique_ptr<IFileLock> HostPlatformImpl::TryLockFile(std::string_view path, std::string_view holder) {
  const FolderChange change;
  const std::optional<std::string> host = Resolve(path);
  if (!host) return nullptr;
  FileDescriptor owned(open(host->c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666));
  if (!owned) {
    Fail(ErrorFromErrno(errno, *host));
    return nullptr;
  }
  const int fd = owned.Get();
  auto lock = std::make_unique<HostFileLock>(std::move(owned));
  while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    Fail(errno == EWOULDBLOCK ? kErrorLockViolation : ErrorFromErrno(errno, *host));
    return nullptr;
  }
  // The holder text is only information for others; a failure to write it leaves the lock valid.
  if (ftruncate(fd, 0) == 0) WriteAll(fd, holder);
  return lock;
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
