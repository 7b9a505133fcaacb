// Private profile files. The file is handled as raw lines in its own encoding: the caller's names and
// values are converted into the file's encoding, compared there, and only the value that is read is
// converted back. Lines the caller does not touch are written back byte for byte.
#include "platform/Profile.h"

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <vector>

#include "platform/FileDescriptor.h"
#include "platform/Platform.h"
#include "platform/PosixIo.h"

namespace velmor::platform {
namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";
constexpr std::string_view kBlanks = " \t\r\v\f";

std::string_view Trim(std::string_view s) {
  size_t b = s.find_first_not_of(kBlanks);
  if (b == std::string_view::npos) return {};
  size_t e = s.find_last_not_of(kBlanks);
  return s.substr(b, e - b + 1);
}

std::string_view TrimLeft(std::string_view s) {
  size_t b = s.find_first_not_of(kBlanks);
  return b == std::string_view::npos ? std::string_view() : s.substr(b);
}

std::string_view TrimRight(std::string_view s) {
  size_t e = s.find_last_not_of(kBlanks);
  return e == std::string_view::npos ? std::string_view() : s.substr(0, e + 1);
}

std::string_view Unquote(std::string_view s) {
  if (s.size() >= 2 && (s.front() == '"' || s.front() == '\'') && s.back() == s.front())
    return s.substr(1, s.size() - 2);
  return s;
}

bool EqualsAsciiNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
    if (x != y) return false;
  }
  return true;
}

// Cuts a UTF-8 text to at most `count` characters.
std::string CutToCharacters(std::string s, size_t count) {
  size_t chars = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    if ((static_cast<unsigned char>(s[i]) & 0xC0) == 0x80) continue;  // continuation byte
    if (chars == count) {
      s.resize(i);
      break;
    }
    ++chars;
  }
  return s;
}

// One file, split into lines (line ends removed) with their roles.
struct ParsedProfile {
  bool utf8 = false;
  struct Line {
    std::string_view text;
    bool isSection = false;
    std::string_view name;  // section name, or key of a key line
    std::string_view value;
    bool isKey = false;
  };
  std::vector<Line> lines;

  explicit ParsedProfile(std::string_view bytes) {
    if (bytes.substr(0, kBom.size()) == kBom) {
      utf8 = true;
      bytes.remove_prefix(kBom.size());
    }
    size_t pos = 0;
    while (pos < bytes.size()) {
      size_t nl = bytes.find('\n', pos);
      size_t end = nl == std::string_view::npos ? bytes.size() : nl;
      std::string_view text = bytes.substr(pos, end - pos);
      if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
      lines.push_back(Classify(text));
      pos = end + 1;
    }
  }

  static Line Classify(std::string_view text) {
    Line line;
    line.text = text;
    std::string_view t = TrimLeft(text);
    if (!t.empty() && t.front() == '[') {
      size_t close = t.rfind(']');
      if (close != std::string_view::npos) {
        line.isSection = true;
        line.name = Trim(t.substr(1, close - 1));
        return line;
      }
    }
    size_t eq = text.find('=');
    if (eq != std::string_view::npos) {
      line.isKey = true;
      line.name = Trim(text.substr(0, eq));
      line.value = Trim(text.substr(eq + 1));
    }
    return line;
  }

  std::string ToFile(std::string_view ansiOrUtf8) const {
    return utf8 ? std::string(ansiOrUtf8) : Utf8ToAnsi(ansiOrUtf8);
  }
  std::string FromFile(std::string_view bytes) const { return utf8 ? std::string(bytes) : AnsiToUtf8(bytes); }

  // Index of the header of the first section of that name; npos when there is none.
  size_t FindSection(std::string_view name) const {
    for (size_t i = 0; i < lines.size(); ++i)
      if (lines[i].isSection && EqualsAsciiNoCase(lines[i].name, name)) return i;
    return std::string_view::npos;
  }
  // End (exclusive) of the section whose header is at `header`.
  size_t SectionEnd(size_t header) const {
    size_t i = header + 1;
    while (i < lines.size() && !lines[i].isSection) ++i;
    return i;
  }
  size_t FindKey(size_t header, std::string_view key) const {
    const size_t end = SectionEnd(header);
    for (size_t i = header + 1; i < end; ++i)
      if (lines[i].isKey && EqualsAsciiNoCase(lines[i].name, key)) return i;
    return std::string_view::npos;
  }
};

bool HasLineBreak(std::string_view s) {
  return s.find_first_of(std::string_view("\r\n\0", 3)) != s.npos;
}

// Errors of profile reads and writes: a missing file or folder is a missing path, anything
// unforeseen a write fault.
uint32_t ErrorFromErrno(int err) {
  return err == ENOENT ? kErrorPathNotFound : detail::MapErrno(err, kErrorWriteFault);
}

std::optional<std::string> ReadWholeFile(const std::string& path, int& err) {
  const detail::FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd) {
    err = errno;
    return std::nullopt;
  }
  std::string bytes;
  char buffer[65536];
  while (true) {
    ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      err = errno;
      return std::nullopt;
    }
    if (n == 0) break;
    bytes.append(buffer, static_cast<size_t>(n));
  }
  return bytes;
}

// Writes `bytes` to a new file beside `path` and renames it over `path`, so that readers see either
// the old or the new file, never a half-written one. `existing` carries the mode and owner to keep.
bool ReplaceFile(const std::string& path, std::string_view bytes, const struct stat* existing,
                 uint32_t& error) {
  static std::atomic<unsigned> counter{0};
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  std::string temp;
  detail::FileDescriptor fd;
  for (int attempt = 0; attempt < 100 && !fd; ++attempt) {
    temp = folder + "." + base + ".velmor-" + std::to_string(::getpid()) + "-" +
           std::to_string(counter.fetch_add(1));
    fd.Reset(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                    existing ? (existing->st_mode & 07777) : 0666));
    if (!fd && errno != EEXIST) break;
  }
  if (!fd) {
    error = ErrorFromErrno(errno);
    return false;
  }
  bool ok = detail::WriteAll(fd.Get(), bytes);
  if (ok && existing) {
    // The umask may have taken bits away; the owner is kept where we are allowed to.
    (void)::fchown(fd.Get(), existing->st_uid, existing->st_gid);
    ok = ::fchmod(fd.Get(), existing->st_mode & 07777) == 0;
  }
  if (ok) ok = ::fsync(fd.Get()) == 0;
  int err = errno;
  if (!fd.Close() && ok) {
    ok = false;
    err = errno;
  }
  if (ok && ::rename(temp.c_str(), path.c_str()) != 0) {
    ok = false;
    err = errno;
  }
  if (!ok) {
    ::unlink(temp.c_str());
    error = ErrorFromErrno(err);
  }
  return ok;
}

}  // namespace

std::string ProfileLookup(std::string_view fileBytes, std::string_view section, std::string_view key,
                          std::string_view defaultValue, size_t bufferSize) {
  if (bufferSize == 0) return {};
  const ParsedProfile profile(fileBytes);
  const std::string fileSection = profile.ToFile(Trim(section));
  const std::string fileKey = profile.ToFile(Trim(key));
  const size_t header = profile.FindSection(fileSection);
  if (header != std::string_view::npos) {
    const size_t line = profile.FindKey(header, fileKey);
    if (line != std::string_view::npos)
      return CutToCharacters(profile.FromFile(Unquote(profile.lines[line].value)), bufferSize - 1);
  }
  return CutToCharacters(std::string(Unquote(TrimRight(defaultValue))), bufferSize - 1);
}

ProfileEdit ProfileApplyWrite(std::string& fileBytes, std::string_view section,
                              std::optional<std::string_view> key, std::optional<std::string_view> value) {
  // A line break in any part, an "=" in the key or a key that reads as a section header would put
  // other lines into the file than the one asked for.
  if (HasLineBreak(section) || (key && HasLineBreak(*key)) || (value && HasLineBreak(*value)))
    return ProfileEdit::Invalid;
  if (key && (key->find('=') != std::string_view::npos || TrimLeft(*key).substr(0, 1) == "["))
    return ProfileEdit::Invalid;

  const ParsedProfile profile(fileBytes);
  const std::string fileSection = profile.ToFile(Trim(section));
  const size_t header = profile.FindSection(fileSection);

  std::vector<std::string> out;  // the new lines, in the file's encoding
  out.reserve(profile.lines.size() + 3);
  auto copyLines = [&](size_t from, size_t to) {
    for (size_t i = from; i < to; ++i) out.emplace_back(profile.lines[i].text);
  };

  if (!key) {
    if (header == std::string_view::npos) return ProfileEdit::Unchanged;
    copyLines(0, header);
    copyLines(profile.SectionEnd(header), profile.lines.size());
  } else {
    const std::string fileKey = profile.ToFile(Trim(*key));
    const size_t line = header == std::string_view::npos ? header : profile.FindKey(header, fileKey);
    if (!value) {
      if (line == std::string_view::npos) return ProfileEdit::Unchanged;
      copyLines(0, line);
      copyLines(line + 1, profile.lines.size());
    } else {
      const std::string fileValue = profile.ToFile(TrimLeft(*value));
      if (line != std::string_view::npos) {
        std::string replaced = std::string(profile.lines[line].name) + "=" + fileValue;
        copyLines(0, line);
        out.push_back(std::move(replaced));
        copyLines(line + 1, profile.lines.size());
      } else if (header != std::string_view::npos) {
        // After the last non-blank line of the section, so a blank line before the next section stays.
        size_t insertAt = profile.SectionEnd(header);
        while (insertAt > header + 1 && Trim(profile.lines[insertAt - 1].text).empty()) --insertAt;
        copyLines(0, insertAt);
        out.push_back(fileKey + "=" + fileValue);
        copyLines(insertAt, profile.lines.size());
      } else {
        copyLines(0, profile.lines.size());
        if (!out.empty() && !Trim(out.back()).empty()) out.emplace_back();
        out.push_back("[" + fileSection + "]");
        out.push_back(fileKey + "=" + fileValue);
      }
    }
  }

  std::string bytes = profile.utf8 ? std::string(kBom) : std::string();
  for (const auto& l : out) {
    bytes += l;
    bytes += "\r\n";
  }
  if (bytes == fileBytes) return ProfileEdit::Unchanged;
  fileBytes = std::move(bytes);
  return ProfileEdit::Changed;
}

std::string ProfileGetString(const std::string& hostFile, std::string_view section, std::string_view key,
                             std::string_view defaultValue, size_t bufferSize) {
  int err = 0;
  const std::string bytes = ReadWholeFile(hostFile, err).value_or(std::string());
  return ProfileLookup(bytes, section, key, defaultValue, bufferSize);
}

bool ProfileWriteString(const std::string& hostFile, std::string_view section,
                        std::optional<std::string_view> key, std::optional<std::string_view> value,
                        uint32_t& error) {
  // A link is followed, so that the file it points to is replaced and the link stays.
  std::string path = hostFile;
  struct stat st {};
  if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved)) path = resolved;
  }
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);

  // Read-only means no write bit at all, and it holds for every user: root too.
  struct stat folderStat {};
  if (::stat(folder.c_str(), &folderStat) != 0 || !S_ISDIR(folderStat.st_mode)) {
    error = kErrorPathNotFound;
    return false;
  }
  if ((folderStat.st_mode & 0222) == 0 || ::access(folder.c_str(), W_OK) != 0) {
    error = kErrorAccessDenied;
    return false;
  }
  struct stat fileStat {};
  const bool exists = ::stat(path.c_str(), &fileStat) == 0;
  if (exists && (!S_ISREG(fileStat.st_mode) || (fileStat.st_mode & 0222) == 0)) {
    error = kErrorAccessDenied;
    return false;
  }

  std::string bytes;
  if (exists) {
    int err = 0;
    auto read = ReadWholeFile(path, err);
    if (!read) {
      error = err == EACCES ? kErrorAccessDenied : kErrorReadFault;
      return false;
    }
    bytes = std::move(*read);
  }
  switch (ProfileApplyWrite(bytes, section, key, value)) {
    case ProfileEdit::Invalid:
      error = kErrorInvalidParameter;
      return false;
    case ProfileEdit::Unchanged:
      return true;
    case ProfileEdit::Changed:
      break;
  }
  return ReplaceFile(path, bytes, exists ? &fileStat : nullptr, error);
}

}  // namespace velmor::platform
