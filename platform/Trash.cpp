// The desktop's trash as freedesktop.org describes it: a "files" folder with the trashed items and an
// "info" folder with one .trashinfo per item telling where it came from and when. An item never leaves
// its file system: the home trash takes it when it lives on the same file system, otherwise the trash
// at the top of its own file system does.
#include "platform/Trash.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <vector>

#include "platform/FileDescriptor.h"
#include "platform/Platform.h"
#include "platform/PosixIo.h"

namespace velmor::platform {
namespace {

using detail::FileDescriptor;
using detail::ParentOf;
using detail::WriteAll;

std::string Absolute(const std::string& path) {
  std::string abs = path;
  if (abs.empty() || abs[0] != '/') {
    char cwd[4096];
    if (!::getcwd(cwd, sizeof cwd)) return {};
    abs = std::string(cwd) + "/" + abs;
  }
  while (abs.size() > 1 && abs.back() == '/') abs.pop_back();
  return abs;
}

// The file system of a folder that may not exist yet: that of its nearest existing ancestor.
std::optional<dev_t> DeviceOf(std::string path) {
  while (true) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) return st.st_dev;
    if (path == "/" || path.empty()) return std::nullopt;
    path = ParentOf(path);
  }
}

// The mount point above `folder` (an existing folder): the last ancestor on the same file system.
std::string TopDirectory(const std::string& folder, dev_t dev) {
  char resolved[4096];
  if (!::realpath(folder.c_str(), resolved)) return {};
  std::string top = resolved;
  while (top != "/") {
    const std::string up = ParentOf(top);
    struct stat st {};
    if (::stat(up.c_str(), &st) != 0 || st.st_dev != dev) break;
    top = up;
  }
  return top;
}

bool MakeFolder(const std::string& path) {
  if (::mkdir(path.c_str(), 0700) == 0) return true;
  struct stat st {};
  return errno == EEXIST && ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool MakeFolders(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  if (path == "/" || path.empty()) return false;
  return MakeFolders(ParentOf(path)) && MakeFolder(path);
}

std::string PercentEncode(std::string_view path) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (char ch : path) {
    const auto c = static_cast<unsigned char>(ch);
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                       c == '/' || c == '-' || c == '_' || c == '.' || c == '~';
    if (plain) {
      out += ch;
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

// "report.txt" → "report.2.txt"; names without an extension (and folders) get ".2" at the end.
std::string NumberedName(const std::string& name, unsigned n, bool isFolder) {
  if (n == 1) return name;
  const size_t dot = isFolder ? std::string::npos : name.rfind('.');
  if (dot == std::string::npos || dot == 0) return name + "." + std::to_string(n);
  return name.substr(0, dot) + "." + std::to_string(n) + name.substr(dot);
}

// Moves `path` into the trash folder `trash`. The .trashinfo is written first (claiming the name),
// then the item is renamed into files/; if that fails the info file is taken back, so the trash never
// holds an info file without its item and the item is never lost.
bool TryTrash(const std::string& path, bool isFolder, const std::string& trash) {
  const std::string files = trash + "/files";
  const std::string info = trash + "/info";
  if (!MakeFolders(trash) || !MakeFolder(files) || !MakeFolder(info)) return false;

  char date[32];
  const time_t now = ::time(nullptr);
  struct tm local {};
  ::localtime_r(&now, &local);
  ::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &local);
  const std::string content =
      "[Trash Info]\nPath=" + PercentEncode(path) + "\nDeletionDate=" + std::string(date) + "\n";

  const std::string base = path.substr(path.rfind('/') + 1);
  for (unsigned n = 1; n < 100000; ++n) {
    const std::string name = NumberedName(base, n, isFolder);
    const std::string infoFile = info + "/" + name + ".trashinfo";
    const std::string target = files + "/" + name;
    struct stat st {};
    if (::lstat(target.c_str(), &st) == 0) continue;  // an item whose info file went missing
    FileDescriptor fd(::open(infoFile.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (!fd) {
      if (errno == EEXIST) continue;
      return false;
    }
    const bool written = WriteAll(fd.Get(), content) && ::fsync(fd.Get()) == 0;
    if (!fd.Close() || !written) {
      ::unlink(infoFile.c_str());
      return false;
    }
    if (::lstat(target.c_str(), &st) == 0) {  // taken meanwhile by another program
      ::unlink(infoFile.c_str());
      continue;
    }
    if (::rename(path.c_str(), target.c_str()) != 0) {
      ::unlink(infoFile.c_str());
      return false;
    }
    return true;
  }
  return false;
}

std::string HomeTrash() {
  const char* data = ::getenv("XDG_DATA_HOME");
  if (data && data[0] == '/') return std::string(data) + "/Trash";
  const char* home = ::getenv("HOME");
  if (home && home[0] == '/') return std::string(home) + "/.local/share/Trash";
  return {};
}

}  // namespace

std::vector<std::string> TrashFoldersFor(const std::string& hostPath) {
  std::vector<std::string> trashes;
  const std::string path = Absolute(hostPath);
  struct stat st {};
  if (path.empty() || path == "/" || ::lstat(path.c_str(), &st) != 0) return trashes;
  const std::string home = HomeTrash();
  if (!home.empty()) {
    const auto homeDev = DeviceOf(home);
    if (homeDev && *homeDev == st.st_dev) trashes.push_back(home);
  }
  // The shared trash at the top of the item's file system is used only when it is a real folder with
  // the sticky bit (so users cannot remove each other's items); else the item gets a trash of its own.
  const std::string top = TopDirectory(ParentOf(path), st.st_dev);
  if (!top.empty()) {
    const std::string base = top == "/" ? "" : top;
    const std::string shared = base + "/.Trash";
    struct stat sh {};
    if (::lstat(shared.c_str(), &sh) == 0 && S_ISDIR(sh.st_mode) && (sh.st_mode & S_ISVTX))
      trashes.push_back(shared + "/" + std::to_string(::getuid()));
    const std::string own = base + "/.Trash-" + std::to_string(::getuid());
    struct stat ow {};
    if (::lstat(own.c_str(), &ow) != 0 || (S_ISDIR(ow.st_mode) && ow.st_uid == ::getuid()))
      trashes.push_back(own);
  }
  return trashes;
}

bool MoveHostPathToTrashFolder(const std::string& hostPath, const std::string& trashFolder, uint32_t& error) {
  const std::string path = Absolute(hostPath);
  struct stat st {};
  if (path.empty() || ::lstat(path.c_str(), &st) != 0) {
    error = errno == ENOTDIR ? kErrorPathNotFound : kErrorFileNotFound;
    return false;
  }
  // Neither the root, nor an item into its own trash, nor a trash into itself.
  const std::string trash = Absolute(trashFolder);
  if (path == "/" || trash == path || trash.compare(0, path.size() + 1, path + "/") == 0 ||
      !TryTrash(path, S_ISDIR(st.st_mode), trash)) {
    error = kErrorAccessDenied;
    return false;
  }
  return true;
}

bool MoveHostPathToTrash(const std::string& hostPath, uint32_t& error) {
  const std::string path = Absolute(hostPath);
  struct stat st {};
  if (path.empty() || ::lstat(path.c_str(), &st) != 0) {
    error = errno == ENOTDIR ? kErrorPathNotFound : kErrorFileNotFound;
    return false;
  }
  for (const auto& trash : TrashFoldersFor(path))
    if (MoveHostPathToTrashFolder(path, trash, error)) return true;
  error = kErrorAccessDenied;
  return false;
}

}  // namespace velmor::platform
