// Files and folders: attributes, existence, copy, delete, create, move, open, whole-file read/write.
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <limits.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <random>

#include "platform/FileDescriptor.h"
#include "platform/HostPlatformImpl.h"
#include "platform/NameCache.h"
#include "platform/PosixIo.h"

namespace velmor::platform::detail {
namespace {

constexpr const char* kDosAttribute = "user.DOSATTRIB";

std::string TempNameBeside(const std::string& hostPath) {
  static std::atomic<uint64_t> counter{0};
  static const uint64_t seed = std::random_device{}();
  const std::string folder = HostParent(hostPath);
  return (folder == "/" ? "" : folder) + "/" + TemporaryName(seed + counter.fetch_add(1));
}

// Creates a new temporary file beside hostPath; -1 with errno set on failure.
int CreateTempBeside(const std::string& hostPath, std::string& tempPath) {
  for (int attempt = 0; attempt < 16; ++attempt) {
    tempPath = TempNameBeside(hostPath);
    const int fd = open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

// A second name (a hard link) for an existing file, beside it; empty when the file system refuses.
std::string KeepAside(const std::string& hostPath) {
  for (int attempt = 0; attempt < 16; ++attempt) {
    std::string aside = TempNameBeside(hostPath);
    if (link(hostPath.c_str(), aside.c_str()) == 0) return aside;
    if (errno != EEXIST) break;
  }
  return {};
}

uint32_t WriteError(int err) {
  switch (err) {
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return kErrorDiskFull;
    case EIO:
      return kErrorWriteFault;
    default:
      return ErrorFromErrno(err);
  }
}

// Copies the whole content of in to out; kernel-side where the file systems allow it. expected is the
// size of in when it was opened: once that much is copied, the call that would only report the end
// is left out.
// A sparse source (fewer blocks on the disk than its size needs) is copied one data segment at a time:
// its holes stay holes in the copy, so a large sparse file does not become a large real one. False
// with no error when the file system cannot tell data from holes: the caller copies it whole then.
bool CopySparse(int in, int out, uint64_t size, uint32_t& error) {
  off_t pos = 0;
  const off_t end = static_cast<off_t>(size);
  while (pos < end) {
    const off_t data = lseek(in, pos, SEEK_DATA);
    if (data < 0) {
      if (errno == ENXIO) break;  // only a hole is left
      return pos == 0 ? false : (error = kErrorReadFault, false);
    }
    off_t hole = lseek(in, data, SEEK_HOLE);
    if (hole < 0 || hole > end) hole = end;
    off_t from = data, to = data;
    while (from < hole) {
      ssize_t n = copy_file_range(in, &from, out, &to, static_cast<size_t>(hole - from), 0);
      if (n < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)) {
        char buffer[1 << 16];
        n = pread(in, buffer, static_cast<size_t>(std::min<off_t>(hole - from, sizeof buffer)), from);
        if (n > 0 && pwrite(out, buffer, static_cast<size_t>(n), to) != n) {
          error = WriteError(errno);
          return false;
        }
        if (n > 0) from += n, to += n;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        error = n == 0 ? kErrorReadFault : errno == EIO ? kErrorReadFault : WriteError(errno);
        return false;
      }
    }
    pos = hole;
  }
  if (ftruncate(out, end) != 0) {
    error = WriteError(errno);
    return false;
  }
  return true;
}

bool CopyContent(int in, int out, uint64_t expected, uint32_t& error) {
  uint64_t copied = 0;
  bool useRange = true;
  while (true) {
    ssize_t n;
    if (useRange) {
      n = copy_file_range(in, nullptr, out, nullptr, size_t{1} << 30, 0);
      if (n < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)) {
        useRange = false;  // not supported between these files: fall back to read/write
        continue;
      }
    } else {
      char buffer[1 << 16];
      n = read(in, buffer, sizeof buffer);
      if (n > 0 && !WriteAll(out, std::string_view(buffer, static_cast<size_t>(n)))) {
        error = WriteError(errno);
        return false;
      }
    }
    if (n == 0) return true;
    if (n < 0) {
      if (errno == EINTR) continue;
      error = errno == EIO ? kErrorReadFault : WriteError(errno);
      return false;
    }
    copied += static_cast<uint64_t>(n);
    if (expected > 0 && copied >= expected) return true;
  }
}

// Ends a write through a temporary file: renamed over target when no error came up, else removed.
bool CommitTemporary(const std::string& temp, const std::string& target, uint32_t error) {
  if (!error && rename(temp.c_str(), target.c_str()) != 0) error = ErrorFromErrno(errno, target);
  if (error) {
    unlink(temp.c_str());
    return Fail(error);
  }
  return true;
}

bool IsFolderPath(std::string_view windowsPath) {
  return !windowsPath.empty() && (windowsPath.back() == '\\' || windowsPath.back() == '/');
}

class HostFile final : public IFile {
 public:
  // openedSize: the size found when the file was opened, handed out by a first Size() that comes
  // before anything else is done with the file (it saves a second fstat right after the first).
  explicit HostFile(FileDescriptor fd, std::optional<uint64_t> openedSize = std::nullopt)
      : fd_(std::move(fd)), openedSize_(openedSize) {}

  int64_t Read(void* buffer, size_t count) override {
    openedSize_.reset();
    while (true) {
      const ssize_t n = read(fd_.Get(), buffer, count);
      if (n >= 0) return n;
      if (errno == EINTR) continue;
      ThreadLastError() = errno == EIO ? kErrorReadFault : ErrorFromErrno(errno);
      return -1;
    }
  }
  bool Write(const void* buffer, size_t count) override {
    openedSize_.reset();
    if (WriteAll(fd_.Get(), std::string_view(static_cast<const char*>(buffer), count))) return true;
    return Fail(WriteError(errno));
  }
  bool Seek(int64_t offset) override {
    openedSize_.reset();
    if (offset < 0) return Fail(kErrorInvalidParameter);
    if (lseek(fd_.Get(), offset, SEEK_SET) < 0) return Fail(ErrorFromErrno(errno));
    return true;
  }
  std::optional<uint64_t> Size() override {
    if (openedSize_) {
      const uint64_t size = *openedSize_;
      openedSize_.reset();
      return size;
    }
    struct stat st;
    if (fstat(fd_.Get(), &st) != 0) {
      Fail(ErrorFromErrno(errno));
      return std::nullopt;
    }
    return static_cast<uint64_t>(st.st_size);
  }
  bool Flush() override {
    if (fsync(fd_.Get()) != 0) return Fail(WriteError(errno));
    return true;
  }

 private:
  FileDescriptor fd_;
  std::optional<uint64_t> openedSize_;
};

}  // namespace

uint32_t ErrorFromErrno(int err, std::string_view hostPath) {
  if (err == ENOENT && !hostPath.empty()) {
    const std::string parent = HostParent(hostPath);
    struct stat st;
    return parent.empty() || (stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) ? kErrorFileNotFound
                                                                                     : kErrorPathNotFound;
  }
  return MapErrno(err, kErrorAccessDenied);
}

FileTime ToFileTime(int64_t seconds, uint32_t nanoseconds) {
  constexpr int64_t kSecondsFrom1601To1970 = 11644473600;
  const int64_t since1601 = seconds + kSecondsFrom1601To1970;
  if (since1601 < 0) return 0;
  return static_cast<FileTime>(since1601) * 10000000u + nanoseconds / 100;
}

mode_t CurrentUmask() {
  // /proc/self/status tells the umask without the set-and-restore race of umask(2).
  if (FILE* f = fopen("/proc/self/status", "re")) {
    char line[256];
    while (fgets(line, sizeof line, f)) {
      unsigned int mask;
      if (sscanf(line, "Umask: %o", &mask) == 1) {
        fclose(f);
        return static_cast<mode_t>(mask);
      }
    }
    fclose(f);
  }
  const mode_t mask = umask(022);
  umask(mask);
  return mask;
}

namespace {

// Decodes a user.DOSATTRIB value of n bytes (n < 0: none).
uint32_t ParseDosBits(const char* value, ssize_t n) {
  if (n < 3 || value[0] != '0' || (value[1] != 'x' && value[1] != 'X')) return 0;
  size_t end = static_cast<size_t>(n);
  if (value[end - 1] == '\0') --end;  // Wine writes an ending NUL
  uint32_t bits = 0;
  for (size_t i = 2; i < end; ++i) {
    const char c = value[i];
    int digit;
    if (c >= '0' && c <= '9')
      digit = c - '0';
    else if (c >= 'a' && c <= 'f')
      digit = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
      digit = c - 'A' + 10;
    else
      return 0;
    bits = (bits << 4) | static_cast<uint32_t>(digit);
  }
  return end > 2 ? bits & (kAttrHidden | kAttrSystem) : 0;
}

// The hidden/system bits of an open file's user.DOSATTRIB.
uint32_t StoredDosBits(int fd) {
  char value[32];
  return ParseDosBits(value, fgetxattr(fd, kDosAttribute, value, sizeof value));
}

// Stores hidden/system bits (non-zero) on an open file; as StoreDosBits.
bool StoreDosBits(int fd, uint32_t bits, const std::string& hostPath) {
  char value[8];
  const int n = snprintf(value, sizeof value, "0x%x", bits & (kAttrHidden | kAttrSystem));
  if (fsetxattr(fd, kDosAttribute, value, static_cast<size_t>(n), 0) == 0) return true;
  if (errno == ENOTSUP || errno == EOPNOTSUPP) return true;
  return Fail(ErrorFromErrno(errno, hostPath));
}

}  // namespace

uint32_t StoredDosBits(const std::string& hostPath) {
  char value[32];
  return ParseDosBits(value, getxattr(hostPath.c_str(), kDosAttribute, value, sizeof value));
}

bool StoreDosBits(const std::string& hostPath, uint32_t bits) {
  bits &= kAttrHidden | kAttrSystem;
  if (bits) {
    char value[8];
    const int n = snprintf(value, sizeof value, "0x%x", bits);
    if (setxattr(hostPath.c_str(), kDosAttribute, value, static_cast<size_t>(n), 0) == 0) return true;
  } else {
    if (removexattr(hostPath.c_str(), kDosAttribute) == 0 || errno == ENODATA) return true;
  }
  // A file system without extended attributes keeps no hidden/system bits; that is no error.
  if (errno == ENOTSUP || errno == EOPNOTSUPP) return true;
  return Fail(ErrorFromErrno(errno, hostPath));
}

uint32_t AttributesOf(const struct stat& st, std::string_view name, const std::string& hostPath) {
  uint32_t attributes;
  if (S_ISDIR(st.st_mode)) {
    attributes = kAttrDirectory;
  } else {
    attributes = kAttrArchive;
    if ((st.st_mode & 0222) == 0) attributes |= kAttrReadOnly;
  }
  if (!name.empty() && name[0] == '.' && name != "." && name != "..") attributes |= kAttrHidden;
  return attributes | StoredDosBits(hostPath);
}

bool FillFindData(int dirFd, const char* relName, std::string_view name, const std::string& hostPath,
                  FindData& out) {
  struct statx sx;
  if (statx(dirFd, relName, AT_STATX_SYNC_AS_STAT, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0)
    return Fail(ErrorFromErrno(errno, hostPath));
  struct stat st {};
  st.st_mode = sx.stx_mode;
  out.name = std::string(name);
  out.attributes = AttributesOf(st, name, hostPath);
  out.size = S_ISDIR(sx.stx_mode) ? 0 : sx.stx_size;
  out.lastWriteTime = ToFileTime(sx.stx_mtime.tv_sec, sx.stx_mtime.tv_nsec);
  out.lastAccessTime = ToFileTime(sx.stx_atime.tv_sec, sx.stx_atime.tv_nsec);
  out.creationTime =
      (sx.stx_mask & STATX_BTIME) ? ToFileTime(sx.stx_btime.tv_sec, sx.stx_btime.tv_nsec) : out.lastWriteTime;
  return true;
}

// A file whose folder refuses new files (a share where a user may change a file but not create one)
// cannot be replaced through a temporary: it is written in place, the whole content, then cut to
// its length and put on the disk. Not atomic: a caller that must be able to give the old content
// back keeps it (the transfer's journal does).
namespace {

bool WriteInPlace(const std::string& hostPath, std::string_view bytes) {
  FileDescriptor fd(open(hostPath.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
  if (!fd) return Fail(ErrorFromErrno(errno, hostPath));
  struct stat st;
  if (fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) return Fail(kErrorAccessDenied);
  if (!WriteAll(fd.Get(), bytes) || ftruncate(fd.Get(), static_cast<off_t>(bytes.size())) != 0 ||
      fdatasync(fd.Get()) != 0 || !fd.Close())
    return Fail(WriteError(errno));
  return true;
}

// The same for a copy over an existing file: content, length, last-write time, flushed.
bool CopyInPlace(int in, const struct stat& src, const std::string& targetPath) {
  FileDescriptor out(open(targetPath.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
  if (!out) return Fail(ErrorFromErrno(errno, targetPath));
  struct stat st;
  if (fstat(out.Get(), &st) != 0 || !S_ISREG(st.st_mode)) return Fail(kErrorAccessDenied);
  uint32_t error = kErrorSuccess;
  if (lseek(in, 0, SEEK_SET) != 0) return Fail(kErrorReadFault);
  CopyContent(in, out.Get(), static_cast<uint64_t>(src.st_size), error);
  if (error) return Fail(error);
  const timespec times[2] = {{0, UTIME_NOW}, src.st_mtim};
  if (ftruncate(out.Get(), src.st_size) != 0 || futimens(out.Get(), times) != 0 ||
      fdatasync(out.Get()) != 0 || !out.Close())
    return Fail(WriteError(errno));
  return true;
}

}  // namespace

bool AtomicWrite(const std::string& hostPath, std::string_view bytes) {
  // Write through a symbolic link instead of replacing the link itself.
  std::string target = hostPath;
  {
    char real[PATH_MAX];
    if (realpath(hostPath.c_str(), real)) target = real;
  }
  struct stat old;
  const bool exists = stat(target.c_str(), &old) == 0;
  // Only regular files are replaced: renaming over a device or a pipe would destroy it.
  if (exists && (!S_ISREG(old.st_mode) || IsReadOnlyFile(old))) return Fail(kErrorAccessDenied);
  std::string temp;
  FileDescriptor fd(CreateTempBeside(target, temp));
  if (!fd && exists && (errno == EACCES || errno == EPERM)) return WriteInPlace(target, bytes);
  if (!fd) return Fail(ErrorFromErrno(errno, target));
  uint32_t error = kErrorSuccess;
  if (!WriteAll(fd.Get(), bytes)) error = WriteError(errno);
  if (!error && fchmod(fd.Get(), exists ? (old.st_mode & 07777) : (0666 & ~CurrentUmask())) != 0)
    error = ErrorFromErrno(errno);
  if (!error && fdatasync(fd.Get()) != 0) error = WriteError(errno);
  if (!fd.Close() && !error) error = WriteError(errno);
  if (!error && exists) {
    const uint32_t bits = StoredDosBits(target);
    if (bits && !StoreDosBits(temp, bits)) error = ThreadLastError();
  }
  return CommitTemporary(temp, target, error);
}

std::optional<std::string> HostPlatformImpl::ResolveStat(std::string_view path, struct stat& st,
                                                         int& statError) {
  if (path.empty()) {
    Fail(kErrorPathNotFound);
    return std::nullopt;
  }
  bool found = false;
  std::optional<std::string> host = MapPath(path, st, found);
  if (!host) return std::nullopt;
  // The lookup's lstat stands for the stat unless a link must be followed or a trailing separator
  // demands a folder.
  statError = 0;
  if ((!found || S_ISLNK(st.st_mode) || IsFolderPath(path)) && stat(host->c_str(), &st) != 0)
    statError = errno;
  return host;
}

int HostPlatformImpl::OpenMapped(std::string_view path, int flags, std::string& host) {
  bool final = false;
  std::optional<std::string> spelled = path.empty() ? std::nullopt : SpelledHostPath(path, final);
  if (!spelled) {
    if (path.empty()) Fail(kErrorPathNotFound);
    return -1;
  }
  host = std::move(*spelled);
  int fd = open(host.c_str(), flags, 0666);
  if (fd < 0 && !final && (errno == ENOENT || errno == ENOTDIR)) {
    // Some name differs in case from the one on disk: match the components one by one.
    const std::optional<std::string> matched = ToHost(path);
    if (!matched) return -1;
    if (*matched != host) {
      host = *matched;
      fd = open(host.c_str(), flags, 0666);
    } else {
      errno = ENOENT;
    }
  }
  if (fd < 0) Fail(ErrorFromErrno(errno, host));
  return fd;
}

bool HostPlatformImpl::FileExists(std::string_view path) {
  if (IsFolderPath(path)) return false;
  struct stat st;
  int statError = 0;
  const std::optional<std::string> host = ResolveStat(path, st, statError);
  if (!host) return false;
  if (statError) return Fail(ErrorFromErrno(statError, *host));
  return !S_ISDIR(st.st_mode);
}

bool HostPlatformImpl::DirectoryExists(std::string_view path) {
  struct stat st;
  int statError = 0;
  const std::optional<std::string> host = ResolveStat(path, st, statError);
  if (!host) return false;
  if (statError) return Fail(ErrorFromErrno(statError, *host));
  return S_ISDIR(st.st_mode);
}

uint32_t HostPlatformImpl::GetFileAttributes(std::string_view path) {
  struct stat st;
  int statError = 0;
  const std::optional<std::string> host = ResolveStat(path, st, statError);
  if (!host) return kInvalidAttributes;
  if (statError) {
    Fail(ErrorFromErrno(statError, *host));
    return kInvalidAttributes;
  }
  if (IsFolderPath(path) && !S_ISDIR(st.st_mode)) {
    Fail(kErrorInvalidName);
    return kInvalidAttributes;
  }
  return AttributesOf(st, HostBaseName(*host), *host);
}

bool HostPlatformImpl::SetFileAttributes(std::string_view path, uint32_t attributes) {
  struct stat st;
  int statError = 0;
  const std::optional<std::string> host = ResolveStat(path, st, statError);
  if (!host) return false;
  if (statError) return Fail(ErrorFromErrno(statError, *host));
  // The extended attribute first: once the write bits are gone an ordinary user could not change it.
  if (!StoreDosBits(*host, attributes & (kAttrHidden | kAttrSystem))) return false;
  if (S_ISDIR(st.st_mode)) return true;  // read-only means nothing for folders
  mode_t mode = st.st_mode & 07777;
  if (attributes & kAttrReadOnly)
    mode &= ~static_cast<mode_t>(0222);
  else if ((mode & 0222) == 0)
    mode |= 0222 & ~CurrentUmask();
  if (mode != (st.st_mode & 07777) && chmod(host->c_str(), mode) != 0)
    return Fail(ErrorFromErrno(errno, *host));
  return true;
}

bool HostPlatformImpl::GetFileData(std::string_view path, FindData& out) {
  const std::optional<std::string> host = Resolve(path);
  if (!host) return false;
  if (!FillFindData(AT_FDCWD, host->c_str(), HostBaseName(*host), *host, out)) return false;
  if (IsFolderPath(path) && !(out.attributes & kAttrDirectory)) return Fail(kErrorInvalidName);
  return true;
}

namespace {

// Writes a copy of the open file in (stat src, host path from) to a new temporary file beside
// targetPath: content, last-write time, hidden/system bits and mode. Returns the error, if any; temp
// is the temporary's path, or empty when none could be created.
uint32_t CopyToTemporary(int in, const struct stat& src, const std::string& from,
                         const std::string& targetPath, std::string& temp) {
  FileDescriptor out(CreateTempBeside(targetPath, temp));
  if (!out) {
    temp.clear();
    const uint32_t error = ErrorFromErrno(errno, targetPath);
    return error == kErrorFileNotFound ? kErrorPathNotFound : error;
  }
  uint32_t error = kErrorSuccess;
  const bool sparse = static_cast<uint64_t>(src.st_blocks) * 512 < static_cast<uint64_t>(src.st_size);
  if (!sparse || (!CopySparse(in, out.Get(), static_cast<uint64_t>(src.st_size), error) && !error)) {
    if (sparse &&
        (lseek(in, 0, SEEK_SET) != 0 || lseek(out.Get(), 0, SEEK_SET) != 0 || ftruncate(out.Get(), 0) != 0))
      error = WriteError(errno);
    if (!error) CopyContent(in, out.Get(), static_cast<uint64_t>(src.st_size), error);
  }
  if (!error) {
    const timespec times[2] = {{0, UTIME_NOW}, src.st_mtim};
    if (futimens(out.Get(), times) != 0) error = ErrorFromErrno(errno);
  }
  if (!error) {
    // Hidden/system travel in the extended attribute; a name-hidden source stays hidden under any name.
    // It is written before the mode, which may take the write bits away.
    uint32_t bits = StoredDosBits(in);
    if (HostBaseName(from)[0] == '.' && HostBaseName(targetPath)[0] != '.') bits |= kAttrHidden;
    if (bits && !StoreDosBits(out.Get(), bits, temp)) error = ThreadLastError();
  }
  if (!error && fchmod(out.Get(), src.st_mode & 0777) != 0) error = ErrorFromErrno(errno);
  if (!out.Close() && !error) error = WriteError(errno);
  return error;
}

}  // namespace

bool HostPlatformImpl::CopyFile(std::string_view source, std::string_view target, bool failIfExists) {
  struct stat dst;
  bool targetFound = false;
  bool targetAbsent = false;
  const std::optional<std::string> to = MapPath(target, dst, targetFound, &targetAbsent);
  if (!to) return false;
  std::string from;
  // Non-blocking, so that a named pipe as source fails at once instead of waiting for a writer.
  const FileDescriptor in(OpenMapped(source, O_RDONLY | O_CLOEXEC | O_NONBLOCK, from));
  if (!in) return false;
  struct stat src;
  if (fstat(in.Get(), &src) != 0 || !S_ISREG(src.st_mode)) {
    return Fail(kErrorAccessDenied);
  }

  // What the target is now: the lookup's lstat when it made one, a link followed to its file.
  std::string targetPath = *to;
  bool exists = targetFound && !IsFolderPath(target);
  int statError = 0;
  if (targetAbsent) {
    statError = ENOENT;  // the lookup has just seen that nothing of that name is there
  } else if (!exists) {
    exists = lstat(targetPath.c_str(), &dst) == 0;
    if (!exists) statError = errno;
  }
  const bool linked = exists && S_ISLNK(dst.st_mode);
  if (linked) {
    exists = stat(targetPath.c_str(), &dst) == 0;
    if (!exists) statError = errno;
  }
  if (exists) {
    uint32_t error = kErrorSuccess;
    if (!S_ISREG(dst.st_mode) || IsFolderPath(target))
      error = kErrorAccessDenied;
    else if (dst.st_dev == src.st_dev && dst.st_ino == src.st_ino)
      error = kErrorSharingViolation;
    else if (failIfExists)
      error = kErrorFileExists;
    else if (IsReadOnlyFile(dst))
      error = kErrorAccessDenied;
    if (error) {
      return Fail(error);
    }
    // Replace the file a link points to, not the link.
    char real[PATH_MAX];
    if (linked && realpath(targetPath.c_str(), real)) targetPath = real;
  } else if (statError != ENOENT || IsFolderPath(target)) {
    return Fail(IsFolderPath(target) ? kErrorPathNotFound : ErrorFromErrno(statError, targetPath));
  }

  std::string temp;
  const uint32_t error = CopyToTemporary(in.Get(), src, from, targetPath, temp);
  // A folder that refuses new files may still let its files be written.
  if (temp.empty() && error == kErrorAccessDenied && exists) return CopyInPlace(in.Get(), src, targetPath);
  if (temp.empty()) return Fail(error);
  // The file being replaced keeps a second name until the background removes it, so that the rename
  // does not wait for its blocks to be freed.
  const std::string aside = !error && exists && FreesDeferred() ? KeepAside(targetPath) : std::string();
  if (!CommitTemporary(temp, targetPath, error)) {
    if (!aside.empty()) unlink(aside.c_str());
    return false;
  }
  NameAdded(HostParent(targetPath), HostBaseName(targetPath));
  if (!aside.empty()) FreeLater(aside);
  return true;
}

bool HostPlatformImpl::CopyFileNoReplace(std::string_view source, std::string_view target) {
  const std::optional<std::string> full = FullPath(target);
  if (!full) return false;
  const size_t cut = full->rfind('\\');
  if (cut == std::string::npos || cut + 1 == full->size()) return Fail(kErrorPathNotFound);
  const std::string name = full->substr(cut + 1);
  std::optional<std::string> folder = Resolve(std::string_view(*full).substr(0, cut + 1));
  if (!folder) return false;
  while (folder->size() > 1 && folder->back() == '/') folder->pop_back();
  const std::string targetPath = (*folder == "/" ? "" : *folder) + "/" + name;
  struct stat st;
  if (lstat(targetPath.c_str(), &st) == 0) return Fail(kErrorFileExists);
  std::string from;
  const FileDescriptor in(OpenMapped(source, O_RDONLY | O_CLOEXEC | O_NONBLOCK, from));
  if (!in) return false;
  struct stat src;
  if (fstat(in.Get(), &src) != 0 || !S_ISREG(src.st_mode)) return Fail(kErrorAccessDenied);
  std::string temp;
  uint32_t error = CopyToTemporary(in.Get(), src, from, targetPath, temp);
  if (temp.empty()) return Fail(error);
  if (!error && renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, targetPath.c_str(), RENAME_NOREPLACE) != 0) {
    // A file system without a no-replace rename: a second name for the temporary, which fails as
    // well when the name is taken.
    if (errno == EINVAL || errno == ENOSYS) {
      if (link(temp.c_str(), targetPath.c_str()) != 0)
        error = errno == EEXIST ? kErrorFileExists : ErrorFromErrno(errno, targetPath);
    } else {
      error = errno == EEXIST ? kErrorFileExists : ErrorFromErrno(errno, targetPath);
    }
  }
  unlink(temp.c_str());  // gone after the rename already; the second name when linked
  if (error) return Fail(error);
  NameAdded(*folder, name);
  return true;
}

std::optional<std::string> HostPlatformImpl::ReadLink(std::string_view path) {
  const std::optional<std::string> host = Resolve(path);
  if (!host) return std::nullopt;
  std::string target(PATH_MAX, '\0');
  const ssize_t n = readlink(host->c_str(), target.data(), target.size());
  if (n < 0) {
    Fail(errno == EINVAL ? kErrorSuccess : ErrorFromErrno(errno, *host));
    return std::nullopt;
  }
  target.resize(static_cast<size_t>(n));
  return target;
}

bool HostPlatformImpl::DeleteFile(std::string_view path) {
  FolderChange change;
  const std::optional<std::string> host = Resolve(path);
  if (!host) return false;
  struct stat st;
  if (lstat(host->c_str(), &st) != 0) return Fail(ErrorFromErrno(errno, *host));
  struct stat target;
  const bool linkResolves = stat(host->c_str(), &target) == 0;
  if (S_ISDIR(st.st_mode) || (linkResolves && S_ISDIR(target.st_mode)) || IsFolderPath(path))
    return Fail(kErrorAccessDenied);
  if (linkResolves && IsReadOnlyFile(target)) return Fail(kErrorAccessDenied);
  // A plain file goes out of the way under a temporary name at once and its blocks are freed in the
  // background. Anything else (a link) is removed here: a temporary that a crash leaves behind is only
  // taken away later when it is a plain file.
  if (S_ISREG(st.st_mode) && FreesDeferred()) {
    const std::string aside = TempNameBeside(*host);
    if (renameat2(AT_FDCWD, host->c_str(), AT_FDCWD, aside.c_str(), RENAME_NOREPLACE) == 0) {
      NameRemoved(HostParent(*host), HostBaseName(*host));
      change.Booked();
      FreeLater(aside);
      return true;
    }
  }
  if (unlink(host->c_str()) != 0) return Fail(ErrorFromErrno(errno, *host));
  NameRemoved(HostParent(*host), HostBaseName(*host));
  change.Booked();
  return true;
}

bool HostPlatformImpl::CreateDirectory(std::string_view path) {
  const FolderChange change;
  const std::optional<std::string> host = Resolve(path);
  if (!host) return false;
  if (mkdir(host->c_str(), 0777) != 0) {
    const uint32_t error = ErrorFromErrno(errno, *host);
    return Fail(error == kErrorFileNotFound ? kErrorPathNotFound : error);
  }
  return true;
}

bool HostPlatformImpl::ForceDirectories(std::string_view path) {
  const FolderChange change;
  const std::optional<std::string> host = Resolve(path);
  if (!host) return false;
  return HostCreateDirectories(*host);
}

bool HostPlatformImpl::RemoveDirectory(std::string_view path) {
  const FolderChange change;
  const std::optional<std::string> host = Resolve(path);
  if (!host) return false;
  struct stat st;
  if (lstat(host->c_str(), &st) != 0) return Fail(ErrorFromErrno(errno, *host));
  if (!S_ISDIR(st.st_mode)) return Fail(kErrorDirectory);
  if (rmdir(host->c_str()) != 0) return Fail(ErrorFromErrno(errno, *host));
  return true;
}

bool HostPlatformImpl::MoveFile(std::string_view source, std::string_view target) {
  FolderChange change;
  const std::optional<std::string> from = Resolve(source);
  if (!from) return false;
  std::optional<std::string> to = Resolve(target);
  if (!to) return false;
  struct stat src;
  if (lstat(from->c_str(), &src) != 0) return Fail(ErrorFromErrno(errno, *from));
  struct stat dst;
  if (lstat(to->c_str(), &dst) == 0) {
    if (dst.st_dev != src.st_dev || dst.st_ino != src.st_ino) return Fail(kErrorAlreadyExists);
    // The target names the source itself in another case: a rename to the spelling asked for.
    std::string spelled(target);
    for (char& c : spelled)
      if (c == '/') c = '\\';
    while (!spelled.empty() && spelled.back() == '\\') spelled.pop_back();
    const size_t cut = spelled.find_last_of("\\:");
    const std::string folder = HostParent(*to);
    to = (folder == "/" ? "" : folder) + "/" + spelled.substr(cut == std::string::npos ? 0 : cut + 1);
    if (*to == *from) return true;
  }
  // A file renamed is booked in the listings of both folders; a folder renamed changes the paths
  // below it, and every cached listing is read again.
  auto renamed = [&] {
    if (S_ISDIR(src.st_mode)) return true;
    NameRemoved(HostParent(*from), HostBaseName(*from));
    NameAdded(HostParent(*to), HostBaseName(*to));
    change.Booked();
    return true;
  };
  if (renameat2(AT_FDCWD, from->c_str(), AT_FDCWD, to->c_str(), RENAME_NOREPLACE) == 0) return renamed();
  if (errno == EINVAL && rename(from->c_str(), to->c_str()) == 0) return renamed();  // no NOREPLACE here
  if (errno == EEXIST) return Fail(kErrorAlreadyExists);
  if (errno != EXDEV) {
    const uint32_t error = ErrorFromErrno(errno, *to);
    return Fail(error == kErrorFileNotFound ? kErrorPathNotFound : error);
  }
  // Across file systems files are copied and the source removed; folders are refused.
  if (S_ISDIR(src.st_mode)) return Fail(kErrorNotSameDevice);
  if (!CopyFile(source, target, true)) return false;
  if (unlink(from->c_str()) != 0) {
    const uint32_t error = ErrorFromErrno(errno, *from);
    unlink(to->c_str());
    return Fail(error);
  }
  return true;
}

std::unique_ptr<IFile> HostPlatformImpl::OpenFile(std::string_view path, OpenMode mode) {
  if (mode == OpenMode::Read && !IsFolderPath(path)) {
    // Reading needs no check before the open: the open itself finds the file (by its spelled name
    // first) and one fstat rules out everything that is not a plain file. O_NONBLOCK keeps the open
    // of a named pipe from waiting for a writer forever; it means nothing for a plain file.
    constexpr int kFlags = O_RDONLY | O_CLOEXEC | O_NONBLOCK;
    std::string host;
    FileDescriptor fd;
    if (std::optional<std::string> direct = PlainDirectHostPath(path)) {
      fd.Reset(open(direct->c_str(), kFlags));
      if (!fd) Fail(ErrorFromErrno(errno, *direct));
    } else {
      fd.Reset(OpenMapped(path, kFlags, host));
    }
    if (!fd) return nullptr;
    struct stat st;
    if (fstat(fd.Get(), &st) != 0) {
      Fail(ErrorFromErrno(errno));
      return nullptr;
    }
    if (!S_ISREG(st.st_mode)) {
      Fail(kErrorAccessDenied);
      return nullptr;
    }
    return std::make_unique<HostFile>(std::move(fd), static_cast<uint64_t>(st.st_size));
  }
  const FolderChange change;  // CreateAlways may add a name
  const std::optional<std::string> host = Resolve(path);
  if (!host) return nullptr;
  if (IsFolderPath(path)) {
    Fail(kErrorInvalidName);
    return nullptr;
  }
  struct stat st;
  const bool exists = stat(host->c_str(), &st) == 0;
  if (!exists && mode != OpenMode::CreateAlways) {
    Fail(ErrorFromErrno(errno, *host));
    return nullptr;
  }
  // Folders, devices and pipes are no files to read or rewrite.
  if (exists && (!S_ISREG(st.st_mode) || (mode != OpenMode::Read && IsReadOnlyFile(st)))) {
    Fail(kErrorAccessDenied);
    return nullptr;
  }
  int flags = O_CLOEXEC;
  switch (mode) {
    case OpenMode::Read:
      flags |= O_RDONLY;
      break;
    case OpenMode::ReadWrite:
      flags |= O_RDWR;
      break;
    case OpenMode::CreateAlways:
      flags |= O_RDWR | O_CREAT | O_TRUNC;
      break;
  }
  FileDescriptor fd(open(host->c_str(), flags, 0666));
  if (!fd) {
    const uint32_t error = ErrorFromErrno(errno, *host);
    Fail(mode == OpenMode::CreateAlways && error == kErrorFileNotFound ? kErrorPathNotFound : error);
    return nullptr;
  }
  return std::make_unique<HostFile>(std::move(fd));
}

std::optional<std::string> HostPlatformImpl::ReadFile(std::string_view path, size_t maxBytes) {
  std::unique_ptr<IFile> file = OpenFile(path, OpenMode::Read);
  if (!file) return std::nullopt;
  std::string bytes;
  const std::optional<uint64_t> size = file->Size();
  if (size)
    bytes.reserve(static_cast<size_t>(std::min<uint64_t>(*size, std::min<size_t>(maxBytes, 1 << 26))));
  // Read in chunks up to maxBytes: the size may change under us, and /proc-like files report none.
  char buffer[1 << 16];
  while (bytes.size() < maxBytes) {
    const size_t want = std::min(sizeof buffer, maxBytes - bytes.size());
    const int64_t n = file->Read(buffer, want);
    if (n < 0) return std::nullopt;
    if (n == 0) break;
    bytes.append(buffer, static_cast<size_t>(n));
  }
  return bytes;
}

bool HostPlatformImpl::WriteFile(std::string_view path, std::string_view bytes) {
  const FolderChange change;
  if (IsFolderPath(path)) return Fail(kErrorInvalidName);
  const std::optional<std::string> host = Resolve(path);
  if (!host) return false;
  const std::string parent = HostParent(*host);
  struct stat st;
  if (parent.empty() || stat(parent.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
    return Fail(kErrorPathNotFound);
  return AtomicWrite(*host, bytes);
}

bool HostPlatformImpl::HostCreateDirectories(std::string_view hostPath) {
  const FolderChange change;
  const std::string absolute = HostAbsolute(hostPath);
  struct stat st;
  if (stat(absolute.c_str(), &st) == 0) return S_ISDIR(st.st_mode) ? true : Fail(kErrorAlreadyExists);
  size_t pos = 1;
  while (pos <= absolute.size()) {
    size_t end = absolute.find('/', pos);
    if (end == std::string::npos) end = absolute.size();
    const std::string prefix = absolute.substr(0, end);
    if (mkdir(prefix.c_str(), 0777) != 0 && errno != EEXIST) return Fail(ErrorFromErrno(errno, prefix));
    pos = end + 1;
  }
  if (stat(absolute.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return Fail(kErrorPathNotFound);
  return true;
}

bool HostPlatformImpl::HostWriteFile(std::string_view hostPath, std::string_view bytes) {
  const FolderChange change;
  return AtomicWrite(HostAbsolute(hostPath), bytes);
}

bool HostPlatformImpl::HostSymlink(std::string_view target, std::string_view linkPath) {
  const FolderChange change;
  const std::string link = HostAbsolute(linkPath);
  // A new link under a temporary name renamed over the old one replaces it in one step.
  std::string temp;
  for (int attempt = 0; attempt < 16; ++attempt) {
    temp = TempNameBeside(link);
    if (symlink(std::string(target).c_str(), temp.c_str()) == 0) break;
    if (errno != EEXIST) return Fail(ErrorFromErrno(errno, temp));
    temp.clear();
  }
  if (temp.empty()) return Fail(kErrorAlreadyExists);
  if (rename(temp.c_str(), link.c_str()) != 0) {
    const uint32_t error = ErrorFromErrno(errno, link);
    unlink(temp.c_str());
    return Fail(error);
  }
  return true;
}

}  // namespace velmor::platform::detail
