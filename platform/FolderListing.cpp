// Folder enumeration: one getdents64 pass per folder, names in one buffer, details fetched lazily.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <sys/sysmacros.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/FileDescriptor.h"
#include "platform/HostPlatformImpl.h"
#include "platform/Utf8.h"

namespace velmor::platform::detail {
namespace {

class HostFolderListing final : public IFolderListing {
 public:
  HostFolderListing(FileDescriptor fd, std::string hostFolder)
      : fd_(std::move(fd)), hostFolder_(std::move(hostFolder)) {
    if (hostFolder_ != "/") hostFolder_ += '/';
  }

  // Reads the folder; false (errno set) when it cannot be read.
  bool Load(bool withDots);

  size_t Count() const override { return entries_.size(); }
  std::string_view Name(size_t index) const override { return NameOf(entries_[index]); }
  bool IsDirectory(size_t index) const override { return entries_[index].directory; }
  bool IsLink(size_t index) const override { return entries_[index].link; }

  uint32_t Attributes(size_t index) override {
    const Entry& e = entries_[index];
    const std::string name(NameOf(e));
    struct stat st;
    if (fstatat(fd_.Get(), name.c_str(), &st, 0) != 0)
      return e.directory ? kAttrDirectory : kAttrArchive;  // vanished since the listing
    return AttributesOf(st, name, hostFolder_ + name);
  }

  bool Details(size_t index, FindData& out) override {
    const std::string name(NameOf(entries_[index]));
    return FillFindData(fd_.Get(), name.c_str(), name, hostFolder_ + name, out);
  }

  uint64_t Size(size_t index) override {
    if (entries_[index].directory) return 0;
    const std::string name(NameOf(entries_[index]));
    struct stat st;
    if (fstatat(fd_.Get(), name.c_str(), &st, 0) != 0 || S_ISDIR(st.st_mode)) return 0;
    return static_cast<uint64_t>(st.st_size);
  }

  bool StoredSize(size_t index, uint64_t& size, std::optional<FolderId>& sharedIdentity) override {
    const std::string name(NameOf(entries_[index]));
    struct stat st;
    if (fstatat(fd_.Get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
    size = static_cast<uint64_t>(st.st_size);
    sharedIdentity.reset();
    if (st.st_nlink > 1 && !S_ISDIR(st.st_mode))
      sharedIdentity = FolderId{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
    return true;
  }

  // Most walks never ask: a folder reached through a plain entry cannot lead back up.
  FolderId Identity() const override {
    std::call_once(identityKnown_, [this] {
      struct stat self;
      if (fstat(fd_.Get(), &self) == 0)
        identity_ = {static_cast<uint64_t>(self.st_dev), static_cast<uint64_t>(self.st_ino)};
    });
    return identity_;
  }

 private:
  struct Entry {
    uint64_t prefix;  // the first eight bytes of the upper-cased name, big-endian, zero-padded
    uint64_t next;    // its next eight bytes, alike
    uint32_t nameOffset;
    uint32_t nameLength;
    bool directory;
    bool link;
    bool ascii;
  };

  std::string_view NameOf(const Entry& e) const { return {names_.data() + e.nameOffset, e.nameLength}; }
  void Add(std::string_view name, uint64_t prefix, uint64_t next, bool directory, bool link, bool ascii);
  bool Before(const Entry& a, const Entry& b) const;

  FileDescriptor fd_;
  mutable std::once_flag identityKnown_;
  mutable FolderId identity_;
  std::string hostFolder_;  // with trailing slash
  std::string names_;       // every name, back to back
  std::vector<Entry> entries_;
};

char UpperAscii(char c) {
  return static_cast<unsigned char>(c - 'a') < 26 ? static_cast<char>(c - 32) : c;
}

constexpr uint64_t kOnes = 0x0101010101010101u;
constexpr uint64_t kHighBits = 0x8080808080808080u;

// Upper-cases the ASCII letters among eight bytes at once; other bytes stay as they are. Per byte:
// the high bit of (b & 0x7f) + (0x80 - 'a') is set from 'a' on, that of (b & 0x7f) + (0x80 - 'z' - 1)
// from past 'z' on, and a byte with its own high bit set is no ASCII letter; no sum carries into the
// next byte.
uint64_t UpperAsciiWord(uint64_t w) {
  const uint64_t low7 = w & ~kHighBits;
  const uint64_t fromA = low7 + kOnes * (0x80 - 'a');
  const uint64_t pastZ = low7 + kOnes * (0x80 - 'z' - 1);
  const uint64_t lower = fromA & ~pastZ & ~w & kHighBits;
  return w ^ (lower >> 2);  // 0x80 >> 2 is the 0x20 between a letter's two cases
}

// Whether one of eight bytes is c (exact: no false hits from borrows, unlike the shorter test).
bool HasByte(uint64_t w, char c) {
  const uint64_t x = w ^ (kOnes * static_cast<unsigned char>(c));  // a zero byte where w holds c
  return (~(((x & ~kHighBits) + ~kHighBits) | x) & kHighBits) != 0;
}

// Eight name bytes as loaded from memory, as a key that orders like the bytes: the first byte highest.
uint64_t BigEndianKey(uint64_t word) {
  if constexpr (std::endian::native == std::endian::little) return __builtin_bswap64(word);
  return word;
}

// The first sixteen bytes of a text, zero-padded, as two words loaded from memory.
struct FirstWords {
  explicit FirstWords(std::string_view text) { std::memcpy(w, text.data(), std::min(text.size(), sizeof w)); }
  uint64_t w[2] = {0, 0};
};

void HostFolderListing::Add(std::string_view name, uint64_t prefix, uint64_t next, bool directory, bool link,
                            bool ascii) {
  entries_.push_back({prefix, next, static_cast<uint32_t>(names_.size()), static_cast<uint32_t>(name.size()),
                      directory, link, ascii});
  names_.append(name);
}

// Wine's order: by the upper-cased name, ties by the name's bytes. The packed prefixes decide most
// comparisons (sixteen bytes: names in one folder often share a stem and the first digits of a
// number); only names that agree in their first sixteen folded bytes are folded in full, and only
// names with non-ASCII letters need the full case folding.
bool HostFolderListing::Before(const Entry& a, const Entry& b) const {
  if (a.prefix != b.prefix) return a.prefix < b.prefix;
  if (a.next != b.next) return a.next < b.next;
  const std::string_view na = NameOf(a);
  const std::string_view nb = NameOf(b);
  int byKey = 0;
  if (a.ascii && b.ascii) {
    const size_t common = std::min(na.size(), nb.size());
    for (size_t i = 16; i < common && byKey == 0; ++i) {
      const auto ca = static_cast<unsigned char>(UpperAscii(na[i]));
      const auto cb = static_cast<unsigned char>(UpperAscii(nb[i]));
      if (ca != cb) byKey = ca < cb ? -1 : 1;
    }
    if (byKey == 0 && na.size() != nb.size()) byKey = na.size() < nb.size() ? -1 : 1;
  } else {
    byKey = FoldUpper(na).compare(FoldUpper(nb));
  }
  return byKey != 0 ? byKey < 0 : na < nb;
}

bool HostFolderListing::Load(bool withDots) {
  alignas(8) char buffer[1 << 16];
  while (true) {
    const ssize_t n = getdents64(fd_.Get(), buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) break;
    if (entries_.empty()) {
      // A record takes at least 24 bytes: room for every entry of the first block at once.
      entries_.reserve(static_cast<size_t>(n) / 24);
      names_.reserve(static_cast<size_t>(n));
    }
    for (ssize_t pos = 0; pos < n;) {
      const auto* d = reinterpret_cast<const dirent64*>(buffer + pos);
      pos += d->d_reclen;
      const std::string_view name = d->d_name;
      if (name == "." || name == "..") continue;
      // Names a Windows path cannot hold are not listed; the sort keys of a plain ASCII name are its
      // first sixteen bytes, upper-cased eight at a time.
      const FirstWords words(name);
      uint64_t high = (words.w[0] | words.w[1]) & kHighBits;
      bool backslash = HasByte(words.w[0], '\\') || HasByte(words.w[1], '\\');
      for (size_t i = sizeof words.w; i < name.size(); ++i) {
        high |= static_cast<unsigned char>(name[i]) & 0x80u;
        backslash |= name[i] == '\\';
      }
      if (backslash) continue;
      const bool ascii = high == 0;
      uint64_t prefix = BigEndianKey(UpperAsciiWord(words.w[0]));
      uint64_t next = BigEndianKey(UpperAsciiWord(words.w[1]));
      if (!ascii) {
        if (!IsValidUtf8(name)) continue;
        const FirstWords folded(FoldUpper(name));
        prefix = BigEndianKey(folded.w[0]);
        next = BigEndianKey(folded.w[1]);
      }
      bool directory = d->d_type == DT_DIR;
      bool link = d->d_type == DT_LNK;
      if (d->d_type == DT_UNKNOWN || link) {
        // A link is followed (a link to a folder is a folder); where the file system did not say
        // what the entry is, it is asked without following first, so that a link is known as one.
        // An entry that cannot be stat'ed (a link whose target is gone, a link loop) could not be
        // opened either, and is not listed.
        struct stat st;
        if (!link) {
          if (fstatat(fd_.Get(), d->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
          link = S_ISLNK(st.st_mode);
        }
        if (link && fstatat(fd_.Get(), d->d_name, &st, 0) != 0) continue;
        directory = S_ISDIR(st.st_mode);
      }
      Add(name, prefix, next, directory, link, ascii);
    }
  }
  std::sort(entries_.begin(), entries_.end(),
            [this](const Entry& a, const Entry& b) { return Before(a, b); });
  if (withDots) {
    // Wine lists "." and ".." first everywhere except in a drive root.
    // (Their keys do not matter: they are placed, not sorted.)
    Add(".", 0, 0, true, false, true);
    Add("..", 0, 0, true, false, true);
    std::rotate(entries_.begin(), entries_.end() - 2, entries_.end());
  }
  return true;
}

}  // namespace

std::unique_ptr<IFolderListing> HostPlatformImpl::ListFolder(std::string_view folder) {
  if (std::optional<std::string> direct = PlainDirectHostPath(folder)) {
    FileDescriptor fd(open(direct->c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd) {
      const uint32_t error = ErrorFromErrno(errno, *direct);
      Fail(error == kErrorFileNotFound ? kErrorPathNotFound : error);
      return nullptr;
    }
    const bool root = *direct == "/";
    auto listing = std::make_unique<HostFolderListing>(std::move(fd), std::move(*direct));
    if (!listing->Load(!root)) {
      Fail(ErrorFromErrno(errno));
      return nullptr;
    }
    return listing;
  }
  // The path is normalised once, by the mapping itself: normalising the full path again would drop
  // one more trailing dot of a middle part ("a..\\" names "a.", not "a").
  const std::string_view spelled = folder.empty() ? std::string_view(".") : folder;
  const std::optional<std::string> full = FullPath(spelled);
  if (!full) return nullptr;
  const std::optional<std::string> host = ToHost(spelled);
  if (!host) return nullptr;
  FileDescriptor fd(open(host->c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fd) {
    const uint32_t error = ErrorFromErrno(errno, *host);
    Fail(error == kErrorFileNotFound ? kErrorPathNotFound : error);
    return nullptr;
  }
  std::string hostFolder = *host;
  while (hostFolder.size() > 1 && hostFolder.back() == '/') hostFolder.pop_back();
  auto listing = std::make_unique<HostFolderListing>(std::move(fd), std::move(hostFolder));
  const bool driveRoot = RootOf(*full).size() == full->size();
  if (!listing->Load(!driveRoot)) {
    Fail(ErrorFromErrno(errno, *host));
    return nullptr;
  }
  return listing;
}

std::vector<FindData> HostPlatformImpl::FindFiles(std::string_view pattern, uint32_t attributeFilter) {
  std::string p(pattern);
  for (char& c : p)
    if (c == '/') c = '\\';
  const size_t cut = p.find_last_of("\\:");
  std::string folder = cut == std::string::npos ? std::string(".") : p.substr(0, cut + 1);
  std::string mask = cut == std::string::npos ? p : p.substr(cut + 1);
  std::vector<FindData> found;
  if (mask == "." || mask == "..") {
    // The folder itself or its parent, found under its own name in the folder above it, as the full
    // path names it. A drive root has no name and no folder above it.
    const std::optional<std::string> full = FullPath(p);
    if (!full) return found;
    const size_t rootLength = RootOf(*full).size();
    const size_t slash = full->rfind('\\');
    if (full->size() <= rootLength || full->back() == '\\' || slash == std::string::npos ||
        slash + 1 < rootLength) {
      Fail(kErrorFileNotFound);
      return found;
    }
    folder = full->substr(0, slash + 1);
    mask = full->substr(slash + 1);
  }
  const FolderMask compiled(mask);
  if (compiled.FindsNothing()) {
    Fail(kErrorFileNotFound);
    return found;
  }
  const std::unique_ptr<IFolderListing> listing = ListFolder(folder);
  if (!listing) return found;
  std::vector<size_t> selected;
  compiled.Select(*listing, selected);
  const uint32_t filtered = kAttrDirectory | kAttrHidden | kAttrSystem;
  for (const size_t i : selected) {
    // Folders are left out without a stat when the filter does not want them.
    if (listing->IsDirectory(i) && !(attributeFilter & kAttrDirectory)) continue;
    FindData data;
    if (!listing->Details(i, data)) continue;
    if (data.attributes & filtered & ~attributeFilter) continue;
    found.push_back(std::move(data));
  }
  if (found.empty()) Fail(kErrorFileNotFound);
  return found;
}

std::optional<FolderId> HostPlatformImpl::GetFolderId(std::string_view folder) {
  std::optional<std::string> host = PlainDirectHostPath(folder);
  if (!host) host = Resolve(folder);
  if (!host) return std::nullopt;
  struct stat st;
  if (stat(host->c_str(), &st) != 0) {
    Fail(ErrorFromErrno(errno, *host));
    return std::nullopt;
  }
  if (!S_ISDIR(st.st_mode)) {
    Fail(kErrorDirectory);
    return std::nullopt;
  }
  return FolderId{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
}

}  // namespace velmor::platform::detail

namespace velmor::platform::detail {
namespace {

// File systems that store nothing: their folders show the kernel's state (and /proc's links lead
// into every process's folders), so a walk below the host's root that entered them would not end.
bool IsVirtualFileSystem(std::string_view type) {
  static constexpr std::string_view kVirtual[] = {
      "proc",      "sysfs",       "devtmpfs", "devpts",    "cgroup",     "cgroup2", "debugfs",
      "tracefs",   "securityfs",  "pstore",   "bpf",       "configfs",   "fusectl", "mqueue",
      "hugetlbfs", "binfmt_misc", "efivarfs", "selinuxfs", "rpc_pipefs", "nsfs"};
  return std::find(std::begin(kVirtual), std::end(kVirtual), type) != std::end(kVirtual);
}

// The mount table writes blanks, tabs, newlines and backslashes in names as \ooo.
std::string UnescapeMountPath(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] >= '0' && text[i + 1] <= '3' &&
        text[i + 2] >= '0' && text[i + 2] <= '7' && text[i + 3] >= '0' && text[i + 3] <= '7') {
      out += static_cast<char>((text[i + 1] - '0') * 64 + (text[i + 2] - '0') * 8 + (text[i + 3] - '0'));
      i += 3;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string ReadMountTable() {
  std::string text;
  FileDescriptor fd(open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC));
  if (!fd) return text;
  char buffer[16384];
  for (;;) {
    const ssize_t n = read(fd.Get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    text.append(buffer, static_cast<size_t>(n));
  }
  return text;
}

}  // namespace

FolderMounts HostPlatformImpl::MountsBelow(std::string_view folder) {
  FolderMounts result;
  std::optional<std::string> host = PlainDirectHostPath(folder);
  if (!host) host = Resolve(folder);
  // The table names real paths: a start folder reached through links is matched by its real path,
  // and the mounts below it are spelled as the walk spells that folder.
  std::string real;
  if (host) {
    if (char* resolved = realpath(host->c_str(), nullptr)) {
      real = resolved;
      free(resolved);
    } else {
      real = *host;
    }
    while (real.size() > 1 && real.back() == '/') real.pop_back();
  }
  std::string spelled(folder);
  if (spelled.empty() || spelled.back() != '\\') spelled += '\\';

  // Each line: id parent major:minor root mount-point options [optional fields] - type source options.
  const std::string table = ReadMountTable();
  for (size_t start = 0; start < table.size();) {
    size_t end = table.find('\n', start);
    if (end == std::string::npos) end = table.size();
    const std::string_view line(table.data() + start, end - start);
    start = end + 1;
    std::vector<std::string_view> fields;
    for (size_t pos = 0; pos < line.size();) {
      const size_t blank = std::min(line.find(' ', pos), line.size());
      fields.push_back(line.substr(pos, blank - pos));
      pos = blank + 1;
    }
    const auto dash = std::find(fields.begin(), fields.end(), "-");
    if (fields.size() < 5 || dash == fields.end() || dash + 1 == fields.end()) continue;
    const bool isVirtual = IsVirtualFileSystem(*(dash + 1));
    if (isVirtual) {
      unsigned major = 0, minor = 0;
      if (std::sscanf(std::string(fields[2]).c_str(), "%u:%u", &major, &minor) == 2)
        result.virtualDevices.push_back(static_cast<uint64_t>(makedev(major, minor)));
    }
    if (real.empty()) continue;
    const std::string point = UnescapeMountPath(fields[4]);
    std::string_view rest;
    if (real == "/") {
      rest = std::string_view(point).substr(1);
    } else if (point == real) {
      rest = {};
    } else if (point.size() > real.size() && point.compare(0, real.size(), real) == 0 &&
               point[real.size()] == '/') {
      rest = std::string_view(point).substr(real.size() + 1);
    } else {
      continue;
    }
    std::string below = spelled;
    for (const char c : rest) below += c == '/' ? '\\' : c;
    if (!rest.empty()) below += '\\';
    // A later mount on the same folder hides the one before.
    const auto same = std::find_if(result.mounts.begin(), result.mounts.end(),
                                   [&](const MountedFolder& m) { return m.folder == below; });
    if (same != result.mounts.end())
      same->isVirtual = isVirtual;
    else
      result.mounts.push_back({std::move(below), isVirtual});
  }
  return result;
}

}  // namespace velmor::platform::detail
