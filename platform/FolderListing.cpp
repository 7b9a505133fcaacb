// Folder enumeration: one getdents64 pass per folder, names in one buffer, details fetched lazily.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

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

  FolderId Identity() const override { return identity_; }

 private:
  struct Entry {
    uint64_t prefix;  // the first eight bytes of the upper-cased name, big-endian, zero-padded
    uint32_t nameOffset;
    uint32_t nameLength;
    bool directory;
    bool ascii;
  };

  std::string_view NameOf(const Entry& e) const { return {names_.data() + e.nameOffset, e.nameLength}; }
  void Add(std::string_view name, uint64_t prefix, bool directory, bool ascii);
  bool Before(const Entry& a, const Entry& b) const;

  FileDescriptor fd_;
  FolderId identity_;
  std::string hostFolder_;  // with trailing slash
  std::string names_;       // every name, back to back
  std::vector<Entry> entries_;
};

char UpperAscii(char c) {
  return static_cast<unsigned char>(c - 'a') < 26 ? static_cast<char>(c - 32) : c;
}

uint64_t PackPrefix(std::string_view key) {
  uint64_t prefix = 0;
  for (size_t k = 0; k < 8; ++k)
    prefix = (prefix << 8) | (k < key.size() ? static_cast<unsigned char>(key[k]) : 0u);
  return prefix;
}

void HostFolderListing::Add(std::string_view name, uint64_t prefix, bool directory, bool ascii) {
  entries_.push_back(
      {prefix, static_cast<uint32_t>(names_.size()), static_cast<uint32_t>(name.size()), directory, ascii});
  names_.append(name);
}

// Wine's order: by the upper-cased name, ties by the name's bytes. The packed prefixes decide most
// comparisons; only names that agree in their first eight folded bytes are folded in full, and only
// names with non-ASCII letters need the full case folding.
bool HostFolderListing::Before(const Entry& a, const Entry& b) const {
  if (a.prefix != b.prefix) return a.prefix < b.prefix;
  const std::string_view na = NameOf(a);
  const std::string_view nb = NameOf(b);
  int byKey = 0;
  if (a.ascii && b.ascii) {
    const size_t common = std::min(na.size(), nb.size());
    for (size_t i = 8; i < common && byKey == 0; ++i) {
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
  struct stat self;
  if (fstat(fd_.Get(), &self) != 0) return false;
  identity_ = {static_cast<uint64_t>(self.st_dev), static_cast<uint64_t>(self.st_ino)};
  alignas(8) char buffer[1 << 16];
  while (true) {
    const ssize_t n = getdents64(fd_.Get(), buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) break;
    for (ssize_t pos = 0; pos < n;) {
      const auto* d = reinterpret_cast<const dirent64*>(buffer + pos);
      pos += d->d_reclen;
      const std::string_view name = d->d_name;
      if (name == "." || name == "..") continue;
      // One pass over the name: names a Windows path cannot hold are not listed, and the sort prefix
      // of a plain ASCII name is folded on the way.
      unsigned char high = 0;
      bool backslash = false;
      uint64_t prefix = 0;
      for (size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        high |= static_cast<unsigned char>(c);
        backslash |= c == '\\';
        if (i < 8) prefix |= uint64_t{static_cast<unsigned char>(UpperAscii(c))} << (56 - 8 * i);
      }
      if (backslash) continue;
      const bool ascii = high < 0x80;
      if (!ascii) {
        if (!IsValidUtf8(name)) continue;
        prefix = PackPrefix(FoldUpper(name));
      }
      bool directory = d->d_type == DT_DIR;
      if (d->d_type == DT_UNKNOWN || d->d_type == DT_LNK) {
        // The file system did not say, or a link: follow it (a link to a folder is a folder). An entry
        // that cannot be stat'ed (a link whose target is gone, a link loop) could not be opened
        // either, and is not listed.
        struct stat st;
        if (fstatat(fd_.Get(), d->d_name, &st, 0) != 0) continue;
        directory = S_ISDIR(st.st_mode);
      }
      Add(name, prefix, directory, ascii);
    }
  }
  std::sort(entries_.begin(), entries_.end(),
            [this](const Entry& a, const Entry& b) { return Before(a, b); });
  if (withDots) {
    // Wine lists "." and ".." first everywhere except in a drive root.
    Add(".", PackPrefix("."), true, true);
    Add("..", PackPrefix(".."), true, true);
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
