// Environment, the prefix, and the mapping between Windows paths and host paths.
#include <limits.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/HostPlatformImpl.h"
#include "platform/NameCache.h"
#include "platform/Utf8.h"

namespace velmor::platform::detail {
namespace {

constexpr std::string_view kUnixRoot = "\\\\?\\unix\\";

bool IsDriveLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    char a = s[i], b = prefix[i];
    if (a >= 'a' && a <= 'z') a = static_cast<char>(a - 32);
    if (b >= 'a' && b <= 'z') b = static_cast<char>(b - 32);
    if (a != b) return false;
  }
  return true;
}

// Collapses ".", ".." and doubled separators after the root. A part followed by a separator loses one
// trailing dot ("a.\b" is "a\b"); the last part loses all its trailing dots and blanks, and when
// nothing else was in it, the separator before it stays ("b\ " is "b\"). A trailing backslash is kept.
std::string Normalize(std::string_view combined) {
  const std::string_view root = RootOf(combined);
  const std::string_view rest = combined.substr(root.size());
  bool trailing = !rest.empty() && rest.back() == '\\';
  std::vector<std::string_view> parts;
  size_t pos = 0;
  while (pos <= rest.size()) {
    size_t end = rest.find('\\', pos);
    if (end == std::string_view::npos) end = rest.size();
    std::string_view part = rest.substr(pos, end - pos);
    const bool last = end == rest.size();
    pos = end + 1;
    if (part.empty() || part == ".") continue;
    if (part != "..") {
      if (!last) {
        if (part.back() == '.') part.remove_suffix(1);
      } else {
        while (!part.empty() && (part.back() == '.' || part.back() == ' ')) part.remove_suffix(1);
        if (part.empty()) {
          trailing = true;
          continue;
        }
      }
    }
    // A middle part of three dots is ".." once its dot is dropped, and goes up like one.
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();  // never above the root
    } else if (part != ".") {
      parts.push_back(part);
    }
  }
  // A part that became the last one through a "." or ".." after it ends like a last part too.
  if (!trailing && !parts.empty()) {
    std::string_view& last = parts.back();
    while (!last.empty() && (last.back() == '.' || last.back() == ' ')) last.remove_suffix(1);
    if (last.empty()) {
      parts.pop_back();
      trailing = true;
    }
  }
  std::string out(root);
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i) out += '\\';
    out += parts[i];
  }
  if (trailing && !parts.empty()) out += '\\';
  return out;
}

// Removes ".", ".." and doubled slashes of an absolute host path, lexically.
std::string NormalizeHost(std::string_view path) {
  std::vector<std::string_view> parts;
  size_t pos = 0;
  while (pos <= path.size()) {
    size_t end = path.find('/', pos);
    if (end == std::string_view::npos) end = path.size();
    const std::string_view part = path.substr(pos, end - pos);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    pos = end + 1;
  }
  std::string out;
  for (const auto& part : parts) {
    out += '/';
    out += part;
  }
  return out.empty() ? "/" : out;
}

std::string RealPath(const std::string& path) {
  char buffer[PATH_MAX];
  return realpath(path.c_str(), buffer) ? std::string(buffer) : std::string();
}

// realpath of the longest existing ancestor, with the rest appended as given.
std::string RealPathOfPossiblyMissing(const std::string& absolute) {
  std::string head = absolute;
  std::string tail;
  while (true) {
    std::string real = RealPath(head);
    if (!real.empty()) {
      if (tail.empty()) return real;
      return real == "/" ? "/" + tail : real + "/" + tail;
    }
    const size_t slash = head.rfind('/');
    if (slash == std::string::npos || head == "/") return absolute;
    const std::string last = head.substr(slash + 1);
    tail = tail.empty() ? last : last + "/" + tail;
    head = slash == 0 ? "/" : head.substr(0, slash);
  }
}

// Finds the spelling of `component` inside hostFolder: the exact name when it exists, else the first
// case-insensitive match in listing order (among case variants that is the byte-smallest name).
std::optional<std::string> MatchComponent(const std::string& hostFolder, std::string_view component) {
  std::string candidate = hostFolder == "/" ? "/" : hostFolder + "/";
  candidate += component;
  struct stat st;
  if (lstat(candidate.c_str(), &st) == 0) return std::string(component);
  if (errno != ENOENT) return std::nullopt;
  return FindNameNoCase(hostFolder, component);
}

}  // namespace

std::string_view RootOf(std::string_view path) {
  if (path.size() >= 3 && IsDriveLetter(path[0]) && path[1] == ':' && path[2] == '\\')
    return path.substr(0, 3);
  if (StartsWithNoCase(path, kUnixRoot)) return path.substr(0, kUnixRoot.size());
  if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') {
    // \\server\share\ : the root ends after the share name.
    const size_t server = path.find('\\', 2);
    if (server == std::string_view::npos) return path;
    const size_t share = path.find('\\', server + 1);
    return share == std::string_view::npos ? path : path.substr(0, share + 1);
  }
  return {};
}

std::optional<std::string> FullPathFrom(std::string_view input, std::string_view currentDirectory) {
  if (input.empty()) return std::nullopt;
  std::string p(input);
  for (char& c : p)
    if (c == '/') c = '\\';

  std::string cwd(currentDirectory);
  if (cwd.empty() || cwd.back() != '\\') cwd += '\\';

  std::string combined;
  if (p.size() >= 2 && p[0] == '\\' && p[1] == '\\') {
    // Device paths other than the unix form are taken as they are, like Windows does.
    if (StartsWithNoCase(p, "\\\\?\\") && !StartsWithNoCase(p, kUnixRoot)) return p;
    combined = p;
  } else if (p.size() >= 2 && IsDriveLetter(p[0]) && p[1] == ':') {
    if (p.size() >= 3 && p[2] == '\\') {
      combined = p;
    } else {
      // "X:rest" is relative to the current folder of drive X, which is its root unless the process
      // is on that drive.
      const bool sameDrive = cwd.size() >= 2 && cwd[1] == ':' && (cwd[0] | 0x20) == (p[0] | 0x20);
      combined = sameDrive ? cwd + p.substr(2) : p.substr(0, 2) + "\\" + p.substr(2);
    }
  } else if (p[0] == '\\') {
    std::string root(RootOf(cwd));
    if (!root.empty() && root.back() == '\\') root.pop_back();
    combined = root + p;
  } else {
    combined = cwd + p;
  }
  return Normalize(combined);
}

std::string_view HostBaseName(std::string_view hostPath) {
  while (hostPath.size() > 1 && hostPath.back() == '/') hostPath.remove_suffix(1);
  const size_t slash = hostPath.rfind('/');
  return slash == std::string_view::npos ? hostPath : hostPath.substr(slash + 1);
}

std::string HostParent(std::string_view hostPath) {
  while (hostPath.size() > 1 && hostPath.back() == '/') hostPath.remove_suffix(1);
  const size_t slash = hostPath.rfind('/');
  if (slash == std::string_view::npos) return {};
  return slash == 0 ? "/" : std::string(hostPath.substr(0, slash));
}

std::string HostPlatformImpl::GetEnv(std::string_view name) {
  const char* value = getenv(std::string(name).c_str());
  if (!value || strlen(value) > 255) return {};
  return value;
}

std::string HostPlatformImpl::PrefixDirectory() {
  const char* prefix = getenv("WINEPREFIX");
  if (prefix && *prefix) return HostAbsolute(prefix);
  const char* home = getenv("HOME");
  std::string homeDir = home && *home ? home : "";
  if (homeDir.empty()) {
    const passwd* pw = getpwuid(getuid());
    if (pw && pw->pw_dir) homeDir = pw->pw_dir;
  }
  return HostAbsolute(homeDir) + "/.wine";
}

std::optional<std::string> HostPlatformImpl::FullPath(std::string_view path) {
  std::optional<std::string> full;
  // Absolute paths do not need the current folder (which costs a getcwd and a drive scan).
  const bool absolute =
      (path.size() >= 3 && IsDriveLetter(path[0]) && path[1] == ':' && (path[2] == '\\' || path[2] == '/')) ||
      (path.size() >= 2 && (path[0] == '\\' || path[0] == '/') && (path[1] == '\\' || path[1] == '/'));
  full = FullPathFrom(path, absolute ? std::string() : CurrentDirectory());
  if (!full) Fail(kErrorPathNotFound);
  return full;
}

std::optional<std::string> HostPlatformImpl::ToHost(std::string_view windowsPath) {
  struct stat st;
  bool found = false;
  return MapPath(windowsPath, st, found);
}

std::optional<std::string> HostPlatformImpl::SpelledHostPath(std::string_view windowsPath, bool& final) {
  std::string full;
  bool trailing = false;
  std::optional<std::string> host = SpelledHostPath(windowsPath, final, full, trailing);
  if (host && trailing && *host != "/") *host += '/';
  return host;
}

std::optional<std::string> HostPlatformImpl::SpelledHostPath(std::string_view windowsPath, bool& final,
                                                             std::string& full, bool& trailing) {
  final = false;
  trailing = false;
  std::optional<std::string> fullPath = FullPath(windowsPath);
  if (!fullPath) return std::nullopt;
  full = std::move(*fullPath);
  const std::string_view root = RootOf(full);
  const std::string_view rest = std::string_view(full).substr(root.size());

  if (StartsWithNoCase(root, kUnixRoot)) {
    final = true;  // host names as they are: nothing to match
    std::string host = "/";
    for (char c : rest) host += c == '\\' ? '/' : c;
    return host;
  }
  if (root.size() != 3) {
    Fail(kErrorPathNotFound);  // UNC paths have no drive to map them
    return std::nullopt;
  }
  std::string host = DriveRoot(root[0], false);
  if (host.empty()) {
    Fail(kErrorPathNotFound);
    return std::nullopt;
  }
  for (size_t pos = 0; pos < rest.size();) {
    size_t end = rest.find('\\', pos);
    if (end == std::string_view::npos) end = rest.size();
    if (end > pos) {
      if (host != "/") host += '/';
      host.append(rest.substr(pos, end - pos));
    }
    pos = end + 1;
  }
  trailing = !rest.empty() && rest.back() == '\\';
  return host;
}

std::optional<std::string> HostPlatformImpl::MapPath(std::string_view windowsPath, struct stat& st,
                                                     bool& found, bool* absent) {
  found = false;
  if (absent) *absent = false;
  bool final = false;
  bool trailing = false;
  std::string full;
  std::optional<std::string> host = SpelledHostPath(windowsPath, final, full, trailing);
  if (!host) return std::nullopt;
  // Usually the path exists as spelled: one lstat instead of one per component.
  if (final || lstat(host->c_str(), &st) == 0) {
    found = !final;
    if (trailing && *host != "/") *host += '/';
    return host;
  }
  const int lookupError = errno;

  const std::string_view root = RootOf(full);
  const std::string_view rest = std::string_view(full).substr(root.size());
  // Usually only the last name is missing, or spelled in another case, and its folder exists as
  // spelled: one look at that folder's names (kept between calls) settles it. A copy into a folder
  // asks this for every new file.
  if (lookupError == ENOENT && !rest.empty()) {
    const std::string parent = HostParent(*host);
    bool isFolder = false;
    const std::optional<std::string> match = FindNameNoCase(parent, HostBaseName(*host), &isFolder);
    if (isFolder) {
      if (absent) *absent = !match;
      std::string resolved = parent == "/" ? "/" : parent + "/";
      resolved += match ? std::string_view(*match) : HostBaseName(*host);
      if (trailing) resolved += '/';
      return resolved;
    }
  }
  // The drive's target may have changed since it was remembered: look it up afresh.
  std::string resolved = DriveRoot(root[0], true);
  if (resolved.empty()) {
    Fail(kErrorPathNotFound);
    return std::nullopt;
  }
  bool resolving = true;
  size_t pos = 0;
  while (pos < rest.size()) {
    size_t end = rest.find('\\', pos);
    if (end == std::string_view::npos) end = rest.size();
    const std::string_view part = rest.substr(pos, end - pos);
    pos = end + 1;
    if (part.empty()) continue;
    std::string name(part);
    if (resolving) {
      std::optional<std::string> match = MatchComponent(resolved, part);
      if (match)
        name = std::move(*match);
      else
        resolving = false;  // the rest does not exist: append it as spelled
    }
    if (resolved != "/") resolved += '/';
    resolved += name;
  }
  if (trailing && resolved != "/") resolved += '/';
  return resolved;
}

std::string HostPlatformImpl::ToWindows(std::string_view hostPath) {
  const std::string real = RealPathOfPossiblyMissing(HostAbsolute(hostPath));
  int bestLetter = -1;
  size_t bestLength = 0;
  const uint32_t drives = LogicalDrives();
  for (int i = 0; i < 26; ++i) {
    if (!(drives & (1u << i))) continue;
    const std::string target = DriveTarget(static_cast<char>('a' + i));
    if (target.empty()) continue;
    struct stat st;
    if (stat(target.c_str(), &st) != 0) continue;
    const bool covers = target == "/" || real == target ||
                        (real.size() > target.size() && real.compare(0, target.size(), target) == 0 &&
                         real[target.size()] == '/');
    if (!covers) continue;
    const size_t length = target == "/" ? 0 : target.size();
    if (bestLetter < 0 || length > bestLength) {
      bestLetter = i;
      bestLength = length;
    }
  }
  std::string rest = real.substr(bestLetter < 0 ? 1 : bestLength);
  if (!rest.empty() && rest[0] == '/') rest.erase(0, 1);
  for (char& c : rest)
    if (c == '/') c = '\\';
  if (bestLetter < 0) return std::string(kUnixRoot) + rest;
  return std::string(1, static_cast<char>('A' + bestLetter)) + ":\\" + rest;
}

std::string HostPlatformImpl::CurrentDirectory() {
  std::vector<char> buffer(PATH_MAX);
  if (!getcwd(buffer.data(), buffer.size())) return ToWindows("/");
  std::string windows = ToWindows(buffer.data());
  if (windows.size() > RootOf(windows).size() && windows.back() == '\\') windows.pop_back();
  return windows;
}

bool HostPlatformImpl::SetCurrentDirectory(std::string_view path) {
  const std::optional<std::string> host = Resolve(path);
  if (!host) return false;
  if (chdir(host->c_str()) != 0) return Fail(ErrorFromErrno(errno, *host));
  return true;
}

std::string ProgramFolderOf(std::string_view executable) {
  const std::string folder = HostParent(executable);
  struct stat st;
  const auto hasSample = [&st](const std::string& dir) {
    return stat((dir + "/EXF0").c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  };
  if (folder.empty() || hasSample(folder)) return folder;
  // Installed as bin/<program>: the data lives in share/velmor beside bin/, wherever the tree was put.
  const std::string top = HostParent(folder);
  const std::string shared = (top == "/" ? std::string() : top) + "/share/velmor";
  return !top.empty() && hasSample(shared) ? shared : folder;
}

std::string HostPlatformImpl::ProgramDirectory() {
  std::vector<char> buffer(PATH_MAX);
  const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (n <= 0) return {};
  std::string folder = ToWindows(ProgramFolderOf(std::string_view(buffer.data(), static_cast<size_t>(n))));
  if (folder.empty() || folder.back() != '\\') folder += '\\';
  return folder;
}

std::string HostPlatformImpl::WindowsDirectory() {
  if (!DriveTarget('c').empty()) return "C:\\windows";
  // Without a C: drive the program keeps its Windows-folder files in its own configuration folder.
  const char* config = getenv("XDG_CONFIG_HOME");
  std::string folder = config && *config == '/' ? config : "";
  if (folder.empty()) {
    const char* home = getenv("HOME");
    folder = std::string(home ? home : "") + "/.config";
  }
  return ToWindows(folder + "/velmor");
}

std::string HostPlatformImpl::HostAbsolute(std::string_view hostPath) {
  if (!hostPath.empty() && hostPath[0] == '/') return NormalizeHost(hostPath);
  std::vector<char> buffer(PATH_MAX);
  const std::string cwd = getcwd(buffer.data(), buffer.size()) ? buffer.data() : "/";
  return NormalizeHost(cwd + "/" + std::string(hostPath));
}

std::optional<std::string> HostPlatformImpl::Resolve(std::string_view path) {
  if (path.empty()) {
    Fail(kErrorPathNotFound);
    return std::nullopt;
  }
  return ToHost(path);
}

std::optional<std::string> PlainDirectHostPath(std::string_view path) {
  if (!StartsWithNoCase(path, kUnixRoot)) return std::nullopt;
  std::string_view rest = path.substr(kUnixRoot.size());
  if (!rest.empty() && rest.back() == '\\') rest.remove_suffix(1);
  std::string host = "/";
  host.reserve(rest.size() + 1);
  size_t start = 0;
  while (start < rest.size()) {
    size_t end = rest.find('\\', start);
    if (end == std::string_view::npos) end = rest.size();
    const std::string_view name = rest.substr(start, end - start);
    if (name.empty() || name == "." || name == ".." || name.back() == '.' || name.back() == ' ' ||
        name.find('/') != std::string_view::npos)
      return std::nullopt;
    if (start > 0) host += '/';
    host.append(name);
    start = end + 1;
  }
  return host;
}

}  // namespace velmor::platform::detail

namespace velmor::platform {

std::string DirectHostForm(std::string_view hostPath) {
  if (hostPath.empty() || hostPath.front() != '/') return {};
  std::string direct = "\\\\?\\unix";
  for (const char c : hostPath) direct.push_back(c == '/' ? '\\' : c);
  if (direct.back() != '\\') direct.push_back('\\');
  return direct;
}

}  // namespace velmor::platform
