// Host implementation of the platform's roles: the error slot, the registry, profile and shell delegations,
// and the process-wide instance. Paths, drives, files and folder listing live in their own sources.
#include "platform/HostPlatformImpl.h"
#include "platform/NameCache.h"
#include "platform/Profile.h"
#include "platform/Registry.h"
#include "platform/ShellOperations.h"
#include "platform/Trash.h"

namespace velmor::platform {
namespace detail {

uint32_t& ThreadLastError() {
  thread_local uint32_t error = kErrorSuccess;
  return error;
}

bool HostPlatformImpl::RegKeyExists(std::string_view key) {
  return RegistryKeyExists(PrefixDirectory() + "/system.reg", key);
}

std::optional<std::vector<std::string>> HostPlatformImpl::RegSubKeys(std::string_view key) {
  return RegistrySubKeys(PrefixDirectory() + "/system.reg", key);
}

std::optional<std::string> HostPlatformImpl::RegString(std::string_view key, std::string_view name) {
  return RegistryString(PrefixDirectory() + "/system.reg", key, name);
}

std::optional<std::string> HostPlatformImpl::ProfileHostPath(std::string_view file,
                                                             bool createWindowsFolder) {
  if (file.empty()) {
    Fail(kErrorInvalidParameter);
    return std::nullopt;
  }
  std::string path(file);
  if (path.find_first_of("\\/:") == std::string::npos) {
    const std::string windows = WindowsDirectory();
    // Without a C: drive the Windows folder is the program's own configuration folder, which may not
    // exist yet; settings written there must not get lost for that reason.
    if (createWindowsFolder && DriveTarget('c').empty()) {
      if (const auto host = ToHost(windows)) HostCreateDirectories(*host);
    }
    path = windows + "\\" + path;
  }
  return ToHost(path);
}

std::string HostPlatformImpl::GetPrivateProfileString(std::string_view section, std::string_view key,
                                                      std::string_view defaultValue, std::string_view file,
                                                      size_t bufferSize) {
  const std::optional<std::string> host = ProfileHostPath(file, false);
  return ProfileGetString(host ? *host : std::string(), section, key, defaultValue, bufferSize);
}

bool HostPlatformImpl::WritePrivateProfileString(std::string_view section,
                                                 std::optional<std::string_view> key,
                                                 std::optional<std::string_view> value,
                                                 std::string_view file) {
  const FolderChange change;
  const std::optional<std::string> host = ProfileHostPath(file, true);
  if (!host) return false;
  uint32_t error = kErrorSuccess;
  if (ProfileWriteString(*host, section, key, value, error)) return true;
  return Fail(error ? error : kErrorAccessDenied);
}

bool HostPlatformImpl::ShellCopyOrMove(std::string_view source, std::string_view targetFolder, bool move,
                                       const ShellConfirmReplace& confirm, const ShellProgress& progress) {
  const FolderChange change;
  const std::optional<std::string> from = Resolve(source);
  const std::optional<std::string> to = from ? Resolve(targetFolder) : std::nullopt;
  if (!to) return false;
  // The caller hears of files as the user knows them: by their Windows paths. The progress names the
  // same file many times in a row, so its path is converted once per file.
  ShellConfirmReplace confirmWindows;
  if (confirm) confirmWindows = [&](const std::string& host) { return confirm(ToWindows(host)); };
  ShellProgress progressWindows;
  std::string lastHost, lastWindows;
  if (progress) {
    progressWindows = [&](uint64_t done, uint64_t total, const std::string& host) {
      if (host != lastHost) {
        lastHost = host;
        lastWindows = ToWindows(host);
      }
      return progress(done, total, lastWindows);
    };
  }
  uint32_t error = kErrorSuccess;
  if (ShellCopyHost(*from, *to, move, confirmWindows, progressWindows, error)) return true;
  return Fail(error);
}

bool HostPlatformImpl::ShellCopy(std::string_view source, std::string_view targetFolder,
                                 const ShellConfirmReplace& confirm, const ShellProgress& progress) {
  return ShellCopyOrMove(source, targetFolder, false, confirm, progress);
}

bool HostPlatformImpl::ShellMove(std::string_view source, std::string_view targetFolder,
                                 const ShellConfirmReplace& confirm, const ShellProgress& progress) {
  return ShellCopyOrMove(source, targetFolder, true, confirm, progress);
}

bool HostPlatformImpl::ShellRename(std::string_view source, std::string_view newPath) {
  const FolderChange change;
  const std::optional<std::string> from = Resolve(source);
  std::optional<std::string> to = from ? Resolve(newPath) : std::nullopt;
  if (!to) return false;
  auto withoutSlash = [](std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
  };
  if (withoutSlash(*to) == withoutSlash(*from)) {
    // The lookup ignores case, so a new name that differs from the old one in case only finds the
    // source itself: the target is the source's folder with the name as given.
    std::string_view name = newPath;
    while (!name.empty() && (name.back() == '\\' || name.back() == '/')) name.remove_suffix(1);
    name = name.substr(name.find_last_of("\\/:") + 1);
    const std::string host = withoutSlash(*from);
    const std::string target = host.substr(0, host.rfind('/') + 1) + std::string(name);
    if (name.empty() || target == host) return true;  // spelled as it is: nothing to rename
    to = target;
  }
  uint32_t error = kErrorSuccess;
  if (ShellRenameHost(*from, *to, error)) return true;
  return Fail(error);
}

bool HostPlatformImpl::RemoveOnHost(std::string_view path,
                                    bool (*remove)(const std::string& hostPath, uint32_t& error)) {
  const FolderChange change;
  const std::optional<std::string> host = Resolve(path);
  if (!host) return false;
  uint32_t error = kErrorSuccess;
  if (remove(*host, error)) return true;
  return Fail(error);
}

bool HostPlatformImpl::MoveToTrash(std::string_view path) {
  return RemoveOnHost(path, MoveHostPathToTrash);
}

bool HostPlatformImpl::DeleteTree(std::string_view path) {
  return RemoveOnHost(path, DeleteHostTree);
}

bool HostPlatformImpl::OpenWithAssociatedProgram(std::string_view path) {
  const std::optional<std::string> host = Resolve(path);
  if (!host) return false;
  if (OpenHostPathWithAssociatedProgram(*host)) return true;
  return Fail(kErrorFileNotFound);
}

}  // namespace detail

uint32_t LastError() {
  return detail::ThreadLastError();
}

void SetLastError(uint32_t code) {
  detail::ThreadLastError() = code;
}

IPlatform& HostPlatform() {
  static detail::HostPlatformImpl instance;
  return instance;
}

}  // namespace velmor::platform
