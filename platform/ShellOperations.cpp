// Shell folder operations on host paths. Copies are written to a temporary name beside the target and
// renamed over it, so a failed or cancelled copy never leaves a half-written file under a real name.
// A move deletes its source only after the copy is complete (and on disk).
#include "platform/ShellOperations.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <optional>
#include <vector>

#include "platform/FileDescriptor.h"
#include "platform/PosixIo.h"

namespace velmor::platform {
namespace {

using detail::FileDescriptor;
using detail::ParentOf;

constexpr size_t kChunk = 1 << 20;

// Errors of the shell operations; anything unforeseen counts as a write fault, and a busy folder
// (a mount point) as access denied.
uint32_t ErrorFromErrno(int err) {
  return err == EBUSY ? kErrorAccessDenied : detail::MapErrno(err, kErrorWriteFault);
}

std::string StripSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

std::string NameOf(const std::string& path) {
  return path.substr(path.rfind('/') + 1);
}

// The real path of a place that may not exist yet: the nearest existing ancestor resolved, the rest
// appended as spelled ("." and ".." resolved by name).
std::string ResolvePlace(const std::string& path) {
  std::string existing = StripSlashes(path.empty() ? "." : path);
  std::vector<std::string> rest;
  char resolved[PATH_MAX];
  while (!::realpath(existing.c_str(), resolved)) {
    if (existing == "/" || existing == ".") return {};
    rest.push_back(NameOf(existing));
    existing = ParentOf(existing);
  }
  std::string out = resolved;
  for (auto it = rest.rbegin(); it != rest.rend(); ++it) {
    if (*it == "." || it->empty()) continue;
    if (*it == "..") {
      out = ParentOf(out);
      continue;
    }
    out += (out == "/" ? "" : "/") + *it;
  }
  return out;
}

bool IsSameOrInside(const std::string& path, const std::string& folder) {
  return path == folder || folder == "/" || path.compare(0, folder.size() + 1, folder + "/") == 0;
}

bool ReadOnly(const struct stat& st) {
  return (st.st_mode & 0222) == 0;
}

std::vector<std::string> ListNames(const std::string& folder, bool& ok) {
  std::vector<std::string> names;
  DIR* dir = ::opendir(folder.c_str());
  ok = dir != nullptr;
  if (!dir) return names;
  while (dirent* e = ::readdir(dir)) {
    const std::string_view name = e->d_name;
    if (name != "." && name != "..") names.emplace_back(name);
  }
  ::closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

uint64_t TreeSize(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return 0;
  if (S_ISREG(st.st_mode)) return static_cast<uint64_t>(st.st_size);
  if (!S_ISDIR(st.st_mode)) return 0;
  uint64_t total = 0;
  bool ok = false;
  for (const auto& name : ListNames(path, ok)) total += TreeSize(path + "/" + name);
  return total;
}

std::string TempNameBeside(const std::string& target) {
  static std::atomic<unsigned> counter{0};
  return ParentOf(target) + "/." + NameOf(target) + ".velmor-" + std::to_string(::getpid()) + "-" +
         std::to_string(counter.fetch_add(1));
}

// One copy or move with its progress, its answers and its first error.
class TreeOperation {
 public:
  TreeOperation(const ShellConfirmReplace& confirm, const ShellProgress& progress, uint64_t total)
      : confirm_(confirm), progress_(progress), total_(total) {}

  uint32_t Error() const { return error_; }

  bool Fail(uint32_t code) {
    if (!error_) error_ = code;
    return false;
  }

  bool Report(const std::string& current) {
    if (progress_ && !progress_(done_, total_, current)) return Fail(kErrorCancelled);
    return true;
  }

  // May an existing target be replaced? Asks the caller; read-only targets are never replaced.
  bool MayReplace(const std::string& target, const struct stat& targetStat, const struct stat& sourceStat) {
    if (S_ISDIR(targetStat.st_mode)) return Fail(kErrorAccessDenied);  // a folder is in the way
    if (targetStat.st_dev == sourceStat.st_dev && targetStat.st_ino == sourceStat.st_ino)
      return Fail(kErrorInvalidParameter);
    if (ReadOnly(targetStat) && !S_ISLNK(targetStat.st_mode)) return Fail(kErrorAccessDenied);
    if (!confirm_) return Fail(kErrorFileExists);
    if (!confirm_(target)) return Fail(kErrorCancelled);
    return true;
  }

  bool Copy(const std::string& source, const std::string& target, bool durable, bool confirmed = false) {
    struct stat st {};
    if (::lstat(source.c_str(), &st) != 0) return Fail(ErrorFromErrno(errno));
    if (S_ISDIR(st.st_mode)) return CopyFolder(source, target, st, durable);
    struct stat existing {};
    if (!confirmed && ::lstat(target.c_str(), &existing) == 0 && !MayReplace(target, existing, st))
      return false;
    if (S_ISREG(st.st_mode)) return CopyFile(source, target, st, durable);
    if (S_ISLNK(st.st_mode)) return CopyLink(source, target);
    return Fail(kErrorAccessDenied);  // devices, pipes and sockets cannot be copied
  }

  bool Move(const std::string& source, const std::string& target) {
    struct stat st {};
    if (::lstat(source.c_str(), &st) != 0) return Fail(ErrorFromErrno(errno));
    struct stat existing {};
    const bool exists = ::lstat(target.c_str(), &existing) == 0;
    if (exists && S_ISDIR(st.st_mode)) {
      if (!S_ISDIR(existing.st_mode)) return Fail(kErrorAccessDenied);
      // Merge into the existing folder, then drop the emptied source.
      bool ok = true;
      for (const auto& name : ListNames(source, ok))
        if (!Move(source + "/" + name, target + "/" + name)) return false;
      if (!ok) return Fail(kErrorAccessDenied);
      if (::rmdir(source.c_str()) != 0) return Fail(ErrorFromErrno(errno));
      return true;
    }
    if (exists && !MayReplace(target, existing, st)) return false;
    if (!Report(source)) return false;
    if (::rename(source.c_str(), target.c_str()) == 0) {
      done_ += TreeSizeOf(target, st);
      return Report(source);
    }
    if (errno != EXDEV) return Fail(ErrorFromErrno(errno));
    // Another file system: copy everything, and only then delete the source.
    if (!Copy(source, target, /*durable=*/true, /*confirmed=*/exists)) return false;
    uint32_t deleteError = 0;
    if (!DeleteHostTree(source, deleteError)) return Fail(deleteError);
    return true;
  }

 private:
  static uint64_t TreeSizeOf(const std::string& path, const struct stat& st) {
    return S_ISREG(st.st_mode) ? static_cast<uint64_t>(st.st_size) : S_ISDIR(st.st_mode) ? TreeSize(path) : 0;
  }

  bool CopyFolder(const std::string& source, const std::string& target, const struct stat& st, bool durable) {
    struct stat existing {};
    bool created = false;
    if (::lstat(target.c_str(), &existing) == 0) {
      if (!S_ISDIR(existing.st_mode)) return Fail(kErrorAccessDenied);  // a file is in the way
    } else {
      if (::mkdir(target.c_str(), 0700) != 0) return Fail(ErrorFromErrno(errno));
      created = true;
    }
    bool ok = true;
    for (const auto& name : ListNames(source, ok))
      if (!Copy(source + "/" + name, target + "/" + name, durable)) return false;
    if (!ok) return Fail(kErrorAccessDenied);
    if (created) {
      // Mode and time last: a read-only source folder must not stop its own contents.
      ::chmod(target.c_str(), st.st_mode & 07777);
      const timespec times[2] = {st.st_atim, st.st_mtim};
      ::utimensat(AT_FDCWD, target.c_str(), times, 0);
    }
    return true;
  }

  bool CopyLink(const std::string& source, const std::string& target) {
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink(source.c_str(), buffer, sizeof buffer);
    if (n < 0 || static_cast<size_t>(n) >= sizeof buffer) return Fail(kErrorAccessDenied);
    const std::string temp = TempNameBeside(target);
    if (::symlink(std::string(buffer, static_cast<size_t>(n)).c_str(), temp.c_str()) != 0)
      return Fail(ErrorFromErrno(errno));
    if (::rename(temp.c_str(), target.c_str()) != 0) {
      const int err = errno;
      ::unlink(temp.c_str());
      return Fail(ErrorFromErrno(err));
    }
    return true;
  }

  bool CopyFile(const std::string& source, const std::string& target, const struct stat& st, bool durable) {
    if (!Report(source)) return false;
    const FileDescriptor in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
    if (!in) return Fail(ErrorFromErrno(errno));
    const std::string temp = TempNameBeside(target);
    FileDescriptor out(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (!out) return Fail(ErrorFromErrno(errno));
    bool ok = Transfer(in.Get(), out.Get(), source);
    if (ok) {
      char attr[64];
      const ssize_t n = ::fgetxattr(in.Get(), "user.DOSATTRIB", attr, sizeof attr);
      if (n > 0) (void)::fsetxattr(out.Get(), "user.DOSATTRIB", attr, static_cast<size_t>(n), 0);
      const timespec times[2] = {st.st_atim, st.st_mtim};
      ok = (::fchmod(out.Get(), st.st_mode & 07777) == 0 && ::futimens(out.Get(), times) == 0) ||
           Fail(ErrorFromErrno(errno));
    }
    if (ok && durable && ::fsync(out.Get()) != 0) ok = Fail(ErrorFromErrno(errno));
    if (!out.Close() && ok) ok = Fail(ErrorFromErrno(errno));
    if (ok && ::rename(temp.c_str(), target.c_str()) != 0) ok = Fail(ErrorFromErrno(errno));
    if (!ok) ::unlink(temp.c_str());
    return ok;
  }

  bool Transfer(int in, int out, const std::string& source) {
    bool useCopyRange = true;
    std::vector<char> buffer;
    while (true) {
      ssize_t n = -1;
      if (useCopyRange) {
        n = ::copy_file_range(in, nullptr, out, nullptr, kChunk, 0);
        if (n < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)) {
          useCopyRange = false;
          continue;
        }
      } else {
        buffer.resize(kChunk);
        n = ::read(in, buffer.data(), buffer.size());
        if (n > 0) {
          if (!detail::WriteAll(out, std::string_view(buffer.data(), static_cast<size_t>(n))))
            return Fail(ErrorFromErrno(errno));
        }
      }
      if (n < 0) {
        if (errno == EINTR) continue;
        return Fail(errno == EIO ? kErrorReadFault : ErrorFromErrno(errno));
      }
      if (n == 0) return true;
      done_ += static_cast<uint64_t>(n);
      if (!Report(source)) return false;
    }
  }

  const ShellConfirmReplace& confirm_;
  const ShellProgress& progress_;
  uint64_t done_ = 0;
  uint64_t total_ = 0;
  uint32_t error_ = 0;
};

bool MakeFolders(const std::string& path, uint32_t& error) {
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return true;
    error = kErrorPathNotFound;
    return false;
  }
  if (path == "/" || path.empty() || path == ".") {
    error = kErrorPathNotFound;
    return false;
  }
  if (!MakeFolders(ParentOf(path), error)) return false;
  if (::mkdir(path.c_str(), 0777) != 0 && errno != EEXIST) {
    error = ErrorFromErrno(errno);
    return false;
  }
  return true;
}

// Removes everything inside the open folder `dir`. Folders on another file system (mount points) are
// not entered. Goes on past failures and reports the first.
void RemoveContents(int dir, dev_t dev, uint32_t& error) {
  FileDescriptor listFd(::dup(dir));
  DIR* listing = listFd ? ::fdopendir(listFd.Get()) : nullptr;
  if (!listing) {
    if (!error) error = kErrorAccessDenied;
    return;
  }
  listFd.Release();  // the listing owns it now and closes it with closedir
  std::vector<std::string> names;
  while (dirent* e = ::readdir(listing)) {
    const std::string_view name = e->d_name;
    if (name != "." && name != "..") names.emplace_back(name);
  }
  ::closedir(listing);
  for (const auto& name : names) {
    struct stat st {};
    if (::fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;  // gone meanwhile
    if (S_ISDIR(st.st_mode)) {
      if (st.st_dev != dev) {
        if (!error) error = kErrorAccessDenied;
        continue;
      }
      FileDescriptor sub(::openat(dir, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
      if (!sub && errno == EACCES && ::fchmodat(dir, name.c_str(), 0700, 0) == 0)
        sub.Reset(::openat(dir, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
      if (!sub) {
        if (!error) error = ErrorFromErrno(errno);
        continue;
      }
      if ((st.st_mode & 0300) != 0300) ::fchmod(sub.Get(), 0700);  // so its entries can be removed
      RemoveContents(sub.Get(), dev, error);
      sub.Reset();
      if (::unlinkat(dir, name.c_str(), AT_REMOVEDIR) != 0 && !error) error = ErrorFromErrno(errno);
    } else if (::unlinkat(dir, name.c_str(), 0) != 0 && !error) {
      error = ErrorFromErrno(errno);
    }
  }
}

}  // namespace

bool ShellCopyHost(const std::string& source, const std::string& targetFolder, bool move,
                   const ShellConfirmReplace& confirm, const ShellProgress& progress, uint32_t& error) {
  const std::string src = StripSlashes(source);
  struct stat st {};
  if (src.empty() || ::lstat(src.c_str(), &st) != 0) {
    error = kErrorFileNotFound;
    return false;
  }
  const std::string srcReal = ResolvePlace(ParentOf(src)) + "/" + NameOf(src);
  const std::string folderReal = ResolvePlace(targetFolder);
  if (src == "/" || folderReal.empty()) {
    error = kErrorInvalidParameter;
    return false;
  }
  const std::string target = (folderReal == "/" ? "" : folderReal) + "/" + NameOf(src);
  // Into itself, one of its own sub-folders, or onto itself: refused before anything is created.
  if (target == srcReal || (S_ISDIR(st.st_mode) && IsSameOrInside(folderReal, srcReal))) {
    error = kErrorInvalidParameter;
    return false;
  }
  if (!MakeFolders(folderReal, error)) return false;

  TreeOperation op(confirm, progress,
                   S_ISDIR(st.st_mode) ? TreeSize(src) : static_cast<uint64_t>(st.st_size));
  const bool ok = move ? op.Move(src, target) : op.Copy(src, target, /*durable=*/false);
  if (!ok) error = op.Error() ? op.Error() : kErrorWriteFault;
  return ok;
}

bool ShellRenameHost(const std::string& source, const std::string& target, uint32_t& error) {
  const std::string src = StripSlashes(source);
  const std::string dst = StripSlashes(target);
  struct stat st {};
  if (src.empty() || ::lstat(src.c_str(), &st) != 0) {
    error = kErrorFileNotFound;
    return false;
  }
  if (dst.empty()) {
    error = kErrorInvalidName;
    return false;
  }
  if (::renameat2(AT_FDCWD, src.c_str(), AT_FDCWD, dst.c_str(), RENAME_NOREPLACE) == 0) return true;
  int err = errno;
  if (err == EEXIST) {
    // On a file system that ignores case the new spelling of a name is the entry itself.
    struct stat existing {};
    if (::lstat(dst.c_str(), &existing) == 0 && existing.st_dev == st.st_dev &&
        existing.st_ino == st.st_ino) {
      if (::rename(src.c_str(), dst.c_str()) == 0) return true;
      err = errno;
    }
  }
  if (err == EINVAL) {
    // The file system may not know the no-replace flag: check, then rename.
    struct stat existing {};
    if (::lstat(dst.c_str(), &existing) == 0) {
      error = kErrorAlreadyExists;
      return false;
    }
    if (::rename(src.c_str(), dst.c_str()) == 0) return true;
    err = errno;
  }
  if (err == EXDEV) {
    static const ShellConfirmReplace kNoConfirm;
    static const ShellProgress kNoProgress;
    TreeOperation op(kNoConfirm, kNoProgress, 0);
    if (op.Move(src, dst)) return true;
    error = op.Error();
    return false;
  }
  error = err == EEXIST || err == ENOTEMPTY ? kErrorAlreadyExists
          : err == ENOENT                   ? kErrorPathNotFound
                                            : ErrorFromErrno(err);
  return false;
}

bool DeleteHostTree(const std::string& path, uint32_t& error) {
  const std::string p = StripSlashes(path);
  struct stat st {};
  if (p.empty() || ::lstat(p.c_str(), &st) != 0) {
    error = kErrorFileNotFound;
    return false;
  }
  if (p == "/") {
    error = kErrorAccessDenied;
    return false;
  }
  if (!S_ISDIR(st.st_mode)) {
    if (::unlink(p.c_str()) == 0) return true;
    error = ErrorFromErrno(errno);
    return false;
  }
  FileDescriptor dir(::open(p.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!dir && errno == EACCES && ::chmod(p.c_str(), 0700) == 0)
    dir.Reset(::open(p.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!dir) {
    error = ErrorFromErrno(errno);
    return false;
  }
  if ((st.st_mode & 0300) != 0300) ::fchmod(dir.Get(), 0700);
  uint32_t first = 0;
  RemoveContents(dir.Get(), st.st_dev, first);
  dir.Reset();
  if (::rmdir(p.c_str()) != 0 && !first) first = ErrorFromErrno(errno);
  if (first) {
    error = first;
    return false;
  }
  return true;
}

bool OpenHostPathWithAssociatedProgram(const std::string& path) {
  if (path.empty()) return false;
  // A relative name starting with "-" would read as an option.
  const std::string argument = path[0] == '-' ? "./" + path : path;
  // The program is searched on PATH before forking: the child may only make async-signal-safe calls.
  std::string program;
  const char* searchPath = ::getenv("PATH");
  std::string_view dirs = searchPath ? searchPath : "/usr/local/bin:/usr/bin:/bin";
  while (program.empty()) {
    const size_t colon = dirs.find(':');
    const std::string_view dir = dirs.substr(0, colon);
    std::string candidate = dir.empty() ? std::string(".") : std::string(dir);
    candidate += "/xdg-open";
    if (::access(candidate.c_str(), X_OK) == 0) program = candidate;
    if (colon == std::string_view::npos) break;
    dirs.remove_prefix(colon + 1);
  }
  if (program.empty()) return false;

  // The program runs in a grandchild of its own session, so it outlives us and never becomes our
  // zombie. A close-on-exec pipe tells whether the exec succeeded: it reads end-of-file then, or the
  // child's errno when it failed.
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return false;
  const FileDescriptor readEnd(fds[0]);
  FileDescriptor writeEnd(fds[1]);
  FileDescriptor devNull(::open("/dev/null", O_RDWR | O_CLOEXEC));
  char* const argv[] = {const_cast<char*>("xdg-open"), const_cast<char*>(argument.c_str()), nullptr};
  const pid_t child = ::fork();
  if (child < 0) return false;
  if (child == 0) {
    ::setsid();
    const pid_t grandchild = ::fork();
    if (grandchild != 0) ::_exit(grandchild < 0 ? 1 : 0);
    if (devNull) ::dup2(devNull.Get(), STDIN_FILENO);
    ::execv(program.c_str(), argv);
    const int err = errno;
    (void)!::write(writeEnd.Get(), &err, sizeof err);
    ::_exit(127);
  }
  writeEnd.Reset();  // so that the read below sees end-of-file once the grandchild has run its program
  devNull.Reset();
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  int childErr = 0;
  ssize_t n;
  do {
    n = ::read(readEnd.Get(), &childErr, sizeof childErr);
  } while (n < 0 && errno == EINTR);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 && n == 0;
}

}  // namespace velmor::platform
