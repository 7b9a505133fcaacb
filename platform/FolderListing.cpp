// Folder enumeration: one getdents64 pass per folder, names in one buffer, details fetched lazily.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/HostPlatformImpl.h"
#include "platform/Utf8.h"

namespace velmor::platform::detail {
namespace {

class HostFolderListing final : public IFolderListing {
 public:
  HostFolderListing(int fd, std::string hostFolder) : fd_(fd), hostFolder_(std::move(hostFolder)) {
    if (hostFolder_ != "/") hostFolder_ += '/';
  }
  ~HostFolderListing() override { close(fd_); }
  HostFolderListing(const HostFolderListing&) = delete;
  HostFolderListing& operator=(const HostFolderListing&) = delete;

  // Reads the folder; false (errno set) when it cannot be read.
  bool Load(bool withDots);

  size_t Count() const override { return order_.size(); }
  std::string_view Name(size_t index) const override { return NameOf(entries_[order_[index]]); }
  bool IsDirectory(size_t index) const override { return entries_[order_[index]].directory; }

  uint32_t Attributes(size_t index) override {
    const Entry& e = entries_[order_[index]];
    const std::string name(NameOf(e));
    struct stat st;
    if (fstatat(fd_, name.c_str(), &st, 0) != 0)
      return e.directory ? kAttrDirectory : kAttrArchive;  // vanished since the listing
    return AttributesOf(st, name, hostFolder_ + name);
  }

  bool Details(size_t index, FindData& out) override {
    const std::string name(NameOf(entries_[order_[index]]));
    return FillFindData(fd_, name.c_str(), name, hostFolder_ + name, out);
  }

 private:
  struct Entry {
    uint32_t nameOffset;
    uint32_t nameLength;
    uint32_t keyOffset;
    uint32_t keyLength;
    bool directory;
  };

  std::string_view NameOf(const Entry& e) const { return {names_.data() + e.nameOffset, e.nameLength}; }
  std::string_view KeyOf(const Entry& e) const { return {names_.data() + e.keyOffset, e.keyLength}; }
  void Add(std::string_view name, bool directory, bool ascii);

  int fd_;
  std::string hostFolder_;  // with trailing slash
  std::string names_;       // every name and its sort key, back to back
  std::vector<Entry> entries_;
  std::vector<uint32_t> order_;
};

void HostFolderListing::Add(std::string_view name, bool directory, bool ascii) {
  Entry e{};
  e.directory = directory;
  e.nameOffset = static_cast<uint32_t>(names_.size());
  e.nameLength = static_cast<uint32_t>(name.size());
  names_.append(name);
  e.keyOffset = static_cast<uint32_t>(names_.size());
  if (ascii) {
    // The common case: upper-case the copy in place, without decoding.
    names_.append(name);
    for (char* k = names_.data() + e.keyOffset; k != names_.data() + names_.size(); ++k)
      if (static_cast<unsigned char>(*k - 'a') < 26) *k = static_cast<char>(*k - 32);
  } else {
    names_ += FoldUpper(name);
  }
  e.keyLength = static_cast<uint32_t>(names_.size() - e.keyOffset);
  entries_.push_back(e);
}

bool HostFolderListing::Load(bool withDots) {
  alignas(8) char buffer[1 << 16];
  while (true) {
    const ssize_t n = getdents64(fd_, buffer, sizeof buffer);
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
      // Names a Windows path cannot hold are not listed.
      if (name.find('\\') != std::string_view::npos) continue;
      unsigned char high = 0;
      for (const char c : name) high |= static_cast<unsigned char>(c);
      const bool ascii = high < 0x80;
      if (!ascii && !IsValidUtf8(name)) continue;
      bool directory = d->d_type == DT_DIR;
      if (d->d_type == DT_UNKNOWN || d->d_type == DT_LNK) {
        // The file system did not say, or a link: follow it (a link to a folder is a folder).
        struct stat st;
        directory = fstatat(fd_, d->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode);
      }
      Add(name, directory, ascii);
    }
  }
  // Sorted by the folded key, ties by the name's bytes. The first eight key bytes, packed big-endian
  // into one number, decide most comparisons without touching the names.
  struct SortItem {
    uint64_t prefix;
    uint32_t index;
  };
  std::vector<SortItem> items(entries_.size());
  for (uint32_t i = 0; i < items.size(); ++i) {
    const std::string_view key = KeyOf(entries_[i]);
    uint64_t prefix = 0;
    for (size_t k = 0; k < 8; ++k)
      prefix = (prefix << 8) | (k < key.size() ? static_cast<unsigned char>(key[k]) : 0u);
    items[i] = {prefix, i};
  }
  std::sort(items.begin(), items.end(), [this](const SortItem& a, const SortItem& b) {
    if (a.prefix != b.prefix) return a.prefix < b.prefix;
    const Entry& ea = entries_[a.index];
    const Entry& eb = entries_[b.index];
    const int byKey = KeyOf(ea).compare(KeyOf(eb));
    return byKey != 0 ? byKey < 0 : NameOf(ea) < NameOf(eb);
  });
  order_.resize(items.size());
  for (size_t i = 0; i < items.size(); ++i) order_[i] = items[i].index;
  if (withDots) {
    // Wine lists "." and ".." first everywhere except in a drive root.
    const auto first = static_cast<uint32_t>(entries_.size());
    Add(".", true, true);
    Add("..", true, true);
    order_.insert(order_.begin(), {first, first + 1});
  }
  return true;
}

}  // namespace

std::unique_ptr<IFolderListing> HostPlatformImpl::ListFolder(std::string_view folder) {
  if (std::optional<std::string> direct = PlainDirectHostPath(folder)) {
    const int fd = open(direct->c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
      const uint32_t error = ErrorFromErrno(errno, *direct);
      Fail(error == kErrorFileNotFound ? kErrorPathNotFound : error);
      return nullptr;
    }
    const bool root = *direct == "/";
    auto listing = std::make_unique<HostFolderListing>(fd, std::move(*direct));
    if (!listing->Load(!root)) {
      Fail(ErrorFromErrno(errno));
      return nullptr;
    }
    return listing;
  }
  const std::optional<std::string> full = FullPath(folder.empty() ? std::string_view(".") : folder);
  if (!full) return nullptr;
  const std::optional<std::string> host = ToHost(*full);
  if (!host) return nullptr;
  const int fd = open(host->c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    const uint32_t error = ErrorFromErrno(errno, *host);
    Fail(error == kErrorFileNotFound ? kErrorPathNotFound : error);
    return nullptr;
  }
  std::string hostFolder = *host;
  while (hostFolder.size() > 1 && hostFolder.back() == '/') hostFolder.pop_back();
  auto listing = std::make_unique<HostFolderListing>(fd, std::move(hostFolder));
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
  const std::string folder = cut == std::string::npos ? std::string(".") : p.substr(0, cut + 1);
  const std::string mask = cut == std::string::npos ? p : p.substr(cut + 1);
  std::vector<FindData> found;
  if (mask.empty()) {
    Fail(kErrorFileNotFound);
    return found;
  }
  const std::unique_ptr<IFolderListing> listing = ListFolder(folder);
  if (!listing) return found;
  const uint32_t filtered = kAttrDirectory | kAttrHidden | kAttrSystem;
  for (size_t i = 0; i < listing->Count(); ++i) {
    if (!MaskMatches(listing->Name(i), mask)) continue;
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

}  // namespace velmor::platform::detail
