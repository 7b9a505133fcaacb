// The cache of folded folder listings behind case-insensitive path lookups.
#include "platform/NameCache.h"

#include <dirent.h>
#include <sys/stat.h>

#include <atomic>
#include <list>
#include <mutex>
#include <unordered_map>
#include <unordered_set>

#include "platform/Platform.h"
#include "platform/Utf8.h"

namespace velmor::platform::detail {
namespace {

constexpr size_t kFolders = 4;  // a copy works on one target folder at a time

struct Stamp {
  dev_t device = 0;
  ino_t inode = 0;
  timespec modified{};
  timespec changed{};

  bool operator==(const Stamp& o) const {
    return device == o.device && inode == o.inode && modified.tv_sec == o.modified.tv_sec &&
           modified.tv_nsec == o.modified.tv_nsec && changed.tv_sec == o.changed.tv_sec &&
           changed.tv_nsec == o.changed.tv_nsec;
  }
};

std::optional<Stamp> StampOf(const std::string& folder) {
  struct stat st;
  if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return std::nullopt;
  return Stamp{st.st_dev, st.st_ino, st.st_mtim, st.st_ctim};
}

struct CachedFolder {
  std::string path;
  Stamp stamp;
  uint64_t generation = 0;
  std::unordered_map<std::string, std::string> byFolded;  // folded name → first name in listing order
  std::unordered_set<std::string> shared;                 // folded names that several names fold to
};

std::atomic<uint64_t> gGeneration{1};
std::mutex gMutex;
std::list<CachedFolder> gFolders;  // most recently used first

bool Listable(std::string_view name) {
  return name != "." && name != ".." && name.find('\\') == std::string_view::npos && IsValidUtf8(name);
}

void Take(CachedFolder& folder, std::string_view name) {
  auto [it, inserted] = folder.byFolded.try_emplace(FoldUpper(name), name);
  if (inserted) return;
  folder.shared.insert(it->first);
  // Among names that differ only in case, the listing order puts the byte-smallest first.
  if (name < it->second) it->second = std::string(name);
}

// Reads the folder afresh into a cache slot; false when it cannot be listed.
bool Load(CachedFolder& folder, const Stamp& stamp, uint64_t generation) {
  DIR* dir = opendir(folder.path.c_str());
  if (!dir) return false;
  folder.byFolded.clear();
  folder.shared.clear();
  while (const dirent* entry = readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (Listable(name)) Take(folder, name);
  }
  closedir(dir);
  // The stamp was taken before the listing: a change made while listing shows at the next use.
  folder.stamp = stamp;
  folder.generation = generation;
  return true;
}

}  // namespace

std::optional<std::string> FindNameNoCase(const std::string& hostFolder, std::string_view component,
                                          bool* isFolder) {
  const uint64_t generation = gGeneration.load();
  const std::optional<Stamp> stamp = StampOf(hostFolder);
  if (isFolder) *isFolder = stamp.has_value();
  if (!stamp) return std::nullopt;
  std::lock_guard lock(gMutex);
  auto it = gFolders.begin();
  while (it != gFolders.end() && it->path != hostFolder) ++it;
  if (it == gFolders.end()) {
    if (gFolders.size() >= kFolders) gFolders.pop_back();
    gFolders.push_front(CachedFolder{hostFolder, {}, 0, {}, {}});
    it = gFolders.begin();
  } else if (it != gFolders.begin()) {
    gFolders.splice(gFolders.begin(), gFolders, it);
  }
  if (it->generation != generation || !(it->stamp == *stamp)) {
    if (!Load(*it, *stamp, generation)) {
      gFolders.erase(it);
      if (isFolder) *isFolder = false;
      return std::nullopt;
    }
  }
  const auto found = it->byFolded.find(FoldUpper(component));
  if (found == it->byFolded.end()) return std::nullopt;
  return found->second;
}

FolderChange::~FolderChange() {
  if (!booked_) ++gGeneration;
}

void NameRemoved(const std::string& hostFolder, std::string_view name) {
  std::lock_guard lock(gMutex);
  for (auto it = gFolders.begin(); it != gFolders.end(); ++it) {
    if (it->path != hostFolder) continue;
    const std::optional<Stamp> stamp = StampOf(hostFolder);
    const std::string folded = FoldUpper(name);
    // Which of several spellings is left is only known from a new listing.
    if (!stamp || it->generation != gGeneration.load() || it->shared.count(folded)) {
      gFolders.erase(it);
      return;
    }
    it->byFolded.erase(folded);
    it->stamp = *stamp;
    return;
  }
}

void NameAdded(const std::string& hostFolder, std::string_view name) {
  std::lock_guard lock(gMutex);
  for (auto it = gFolders.begin(); it != gFolders.end(); ++it) {
    if (it->path != hostFolder) continue;
    const std::optional<Stamp> stamp = StampOf(hostFolder);
    // Only a listing that was current before the copy is kept current; any other is read again.
    if (!stamp || it->generation != gGeneration.load()) {
      gFolders.erase(it);
      return;
    }
    if (Listable(name)) Take(*it, name);
    it->stamp = *stamp;
    return;
  }
}

void TemporaryRemoved(const std::string& hostFolder) {
  std::lock_guard lock(gMutex);
  for (CachedFolder& folder : gFolders) {
    if (folder.path != hostFolder) continue;
    const std::optional<Stamp> stamp = StampOf(hostFolder);
    if (stamp && folder.generation == gGeneration.load()) folder.stamp = *stamp;
    return;
  }
}

}  // namespace velmor::platform::detail
