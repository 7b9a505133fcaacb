// Drive letters: the links in the prefix's dosdevices folder, their types, space and names.
#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/FileDescriptor.h"
#include "platform/HostPlatformImpl.h"
#include "platform/NameCache.h"

namespace velmor::platform::detail {
namespace {

char LowerLetter(char letter) {
  if (letter >= 'A' && letter <= 'Z') return static_cast<char>(letter + 32);
  return letter >= 'a' && letter <= 'z' ? letter : '\0';
}

bool IsDirectory(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string RealPath(const std::string& path) {
  char buffer[PATH_MAX];
  return realpath(path.c_str(), buffer) ? std::string(buffer) : std::string();
}

// Undoes the octal escapes (\040 for a blank) of /proc/self/mountinfo.
std::string UnescapeMountField(std::string_view field) {
  std::string out;
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size()) {
      const std::string digits(field.substr(i + 1, 3));
      char* end = nullptr;
      const long value = strtol(digits.c_str(), &end, 8);
      if (end == digits.c_str() + 3) {
        out += static_cast<char>(value);
        i += 3;
        continue;
      }
    }
    out += field[i];
  }
  return out;
}

// File system type name ("fuse.sshfs", "ext4") of the mount that holds a real host path.
std::string MountTypeOf(const std::string& realPath) {
  FILE* f = fopen("/proc/self/mountinfo", "re");
  if (!f) return {};
  std::string best;
  size_t bestLength = 0;
  char* line = nullptr;
  size_t capacity = 0;
  while (getline(&line, &capacity, f) > 0) {
    const std::string_view text = line;
    std::vector<std::string_view> fields;
    size_t pos = 0;
    while (pos < text.size()) {
      size_t end = text.find_first_of(" \n", pos);
      if (end == std::string_view::npos) end = text.size();
      if (end > pos) fields.push_back(text.substr(pos, end - pos));
      pos = end + 1;
    }
    size_t dash = 0;
    for (size_t i = 6; i < fields.size(); ++i)
      if (fields[i] == "-") {
        dash = i;
        break;
      }
    if (fields.size() < 5 || dash == 0 || dash + 1 >= fields.size()) continue;
    const std::string mountPoint = UnescapeMountField(fields[4]);
    const bool covers =
        mountPoint == "/" || realPath == mountPoint ||
        (realPath.size() > mountPoint.size() && realPath.compare(0, mountPoint.size(), mountPoint) == 0 &&
         realPath[mountPoint.size()] == '/');
    if (covers && mountPoint.size() >= bestLength) {
      bestLength = mountPoint.size();
      best = std::string(fields[dash + 1]);
    }
  }
  free(line);
  fclose(f);
  return best;
}

bool IsNetworkFileSystem(const std::string& target) {
  struct statfs fs;
  if (statfs(target.c_str(), &fs) != 0) return false;
  switch (static_cast<unsigned long>(fs.f_type)) {
    case 0x6969UL:      // NFS
    case 0x517BUL:      // SMB
    case 0xFF534D42UL:  // CIFS
    case 0xFE534D42UL:  // SMB2
    case 0x5346414FUL:  // AFS
    case 0x73757245UL:  // Coda
    case 0x564CUL:      // NCP
    case 0x01021997UL:  // 9P
      return true;
    case 0x65735546UL:  // FUSE: only sshfs counts as a network drive
      return MountTypeOf(RealPath(target)) == "fuse.sshfs";
    default:
      return false;
  }
}

std::string TypeName(DriveType type) {
  switch (type) {
    case DriveType::Removable:
      return "Wechseldatenträger";
    case DriveType::CdRom:
      return "CD-Laufwerk";
    case DriveType::Remote:
      return "Netzlaufwerk";
    case DriveType::RamDisk:
      return "RAM-Datenträger";
    default:
      return "Lokaler Datenträger";
  }
}

// realpath of a drive link's target. Every path call maps through the drives, and resolving a target
// costs a readlink per component, so successful results are kept, keyed by the target text itself:
// a link that is changed or replaced gives a new key. With `revalidate` a remembered result counts
// only while it still exists; without, the caller checks the path it builds on it and asks again
// with `revalidate` when that fails.
std::string CachedRealPath(const std::string& target, bool revalidate) {
  static std::mutex mutex;
  static std::unordered_map<std::string, std::string> cache;
  {
    const std::lock_guard<std::mutex> lock(mutex);
    const auto it = cache.find(target);
    if (it != cache.end()) {
      struct stat st;
      if (!revalidate || stat(it->second.c_str(), &st) == 0) return it->second;
      cache.erase(it);
    }
  }
  std::string real = RealPath(target);
  if (!real.empty()) {
    const std::lock_guard<std::mutex> lock(mutex);
    if (cache.size() > 256) cache.clear();
    cache[target] = real;
  }
  return real;
}

}  // namespace

std::string HostPlatformImpl::DriveLink(char letter) {
  const char lower = LowerLetter(letter);
  if (!lower) return {};
  const std::string folder = PrefixDirectory() + "/dosdevices/";
  struct stat st;
  for (const char c : {lower, static_cast<char>(lower - 32)}) {
    std::string link = folder + c + ':';
    if (lstat(link.c_str(), &st) == 0) return link;
  }
  return {};
}

std::string HostPlatformImpl::DriveTarget(char letter) {
  return DriveRoot(letter, true);
}

std::string HostPlatformImpl::DriveRoot(char letter, bool revalidate) {
  const char lower = LowerLetter(letter);
  if (!lower) return {};
  const std::string dosdevices = PrefixDirectory() + "/dosdevices";
  char text[PATH_MAX];
  // The lower-case link first (Wine's own spelling); the folder's existence is checked before the
  // upper-case link, so a prefix-less Z: costs two calls.
  for (const char c : {lower, static_cast<char>(lower - 32)}) {
    if (c != lower && !IsDirectory(dosdevices)) return lower == 'z' ? "/" : "";  // no prefix: Z: → /
    const std::string link = dosdevices + "/" + c + ":";
    const ssize_t n = readlink(link.c_str(), text, sizeof text - 1);
    if (n > 0) {
      std::string target(text, static_cast<size_t>(n));
      if (target[0] != '/') target = dosdevices + "/" + target;
      const std::string real = CachedRealPath(target, revalidate);
      // A dangling link is still a drive; name where it points.
      return real.empty() ? HostAbsolute(target) : real;
    }
    if (n < 0 && errno == EINVAL) return RealPath(link);  // a folder standing in for a link
  }
  return {};
}

uint32_t HostPlatformImpl::LogicalDrives() {
  const std::string dosdevices = PrefixDirectory() + "/dosdevices";
  DIR* dir = opendir(dosdevices.c_str());
  if (!dir) return IsDirectory(dosdevices) ? 0 : 1u << 25;
  uint32_t mask = 0;
  while (const dirent* entry = readdir(dir)) {
    const char lower = LowerLetter(entry->d_name[0]);
    if (lower && entry->d_name[1] == ':' && entry->d_name[2] == '\0') mask |= 1u << (lower - 'a');
  }
  closedir(dir);
  return mask;
}

DriveType HostPlatformImpl::GetDriveType(char letter) {
  const char lower = LowerLetter(letter);
  const std::string target = DriveTarget(lower);
  if (target.empty()) return DriveType::NoRootDir;
  if (const auto value = RegString("Software\\Wine\\Drives", std::string(1, lower) + ":")) {
    if (EqualsNoCase(*value, "hd")) return DriveType::Fixed;
    if (EqualsNoCase(*value, "network")) return DriveType::Remote;
    if (EqualsNoCase(*value, "floppy")) return DriveType::Removable;
    if (EqualsNoCase(*value, "cdrom")) return DriveType::CdRom;
    if (EqualsNoCase(*value, "ramdisk")) return DriveType::RamDisk;
  }
  struct stat st;
  if (stat(target.c_str(), &st) != 0) return DriveType::NoRootDir;
  return IsNetworkFileSystem(target) ? DriveType::Remote : DriveType::Fixed;
}

bool HostPlatformImpl::DriveReady(char letter) {
  const std::string target = DriveTarget(letter);
  struct statvfs vfs;
  if (target.empty() || !IsDirectory(target) || statvfs(target.c_str(), &vfs) != 0)
    return Fail(kErrorNotReady);
  return true;
}

bool HostPlatformImpl::DriveSpace(char letter, uint64_t& total, uint64_t& available) {
  const std::string target = DriveTarget(letter);
  if (target.empty()) return Fail(kErrorPathNotFound);
  struct statvfs vfs;
  if (!IsDirectory(target) || statvfs(target.c_str(), &vfs) != 0) return Fail(kErrorNotReady);
  total = static_cast<uint64_t>(vfs.f_blocks) * vfs.f_frsize;
  available = static_cast<uint64_t>(vfs.f_bavail) * vfs.f_frsize;
  return true;
}

std::optional<uint64_t> HostPlatformImpl::HostFreeSpace(std::string_view hostFolder) {
  struct statvfs vfs;
  if (statvfs(HostAbsolute(hostFolder).c_str(), &vfs) != 0) return std::nullopt;
  return static_cast<uint64_t>(vfs.f_bavail) * vfs.f_frsize;
}

std::string HostPlatformImpl::DriveDisplayName(char letter) {
  const char lower = LowerLetter(letter);
  if (!lower) return {};
  const std::string suffix = std::string(" (") + static_cast<char>(lower - 32) + ":)";
  const std::string target = DriveTarget(lower);
  if (!target.empty()) {
    const FileDescriptor fd(open((target + "/.windows-label").c_str(), O_RDONLY | O_CLOEXEC));
    if (fd) {
      char buffer[512];
      const ssize_t n = read(fd.Get(), buffer, sizeof buffer);
      if (n > 0) {
        std::string label(buffer, static_cast<size_t>(n));
        label = label.substr(0, label.find_first_of("\r\n"));
        if (!label.empty()) return label + suffix;
      }
    }
  }
  return TypeName(GetDriveType(lower)) + suffix;
}

bool HostPlatformImpl::ConnectNetworkDrive(char letter, std::string_view hostFolder) {
  const FolderChange change;
  const char lower = LowerLetter(letter);
  if (!lower) return Fail(kErrorInvalidParameter);
  const std::string dosdevices = PrefixDirectory() + "/dosdevices";
  if (!IsDirectory(dosdevices)) return Fail(kErrorPathNotFound);
  if (!DriveLink(lower).empty()) return Fail(kErrorAlreadyExists);
  const std::string folder = HostAbsolute(hostFolder);
  if (!IsDirectory(folder)) return Fail(kErrorPathNotFound);
  const std::string link = dosdevices + "/" + lower + ":";
  if (symlink(folder.c_str(), link.c_str()) != 0) return Fail(ErrorFromErrno(errno, link));
  return true;
}

bool HostPlatformImpl::DisconnectNetworkDrive(char letter) {
  const FolderChange change;
  const char lower = LowerLetter(letter);
  const std::string link = DriveLink(lower);
  if (link.empty()) return Fail(kErrorNotConnected);
  if (GetDriveType(lower) != DriveType::Remote) return Fail(kErrorNotConnected);
  if (unlink(link.c_str()) != 0) return Fail(ErrorFromErrno(errno, link));
  return true;
}

}  // namespace velmor::platform::detail
