// The floor for a search: a single-threaded walk that lists every folder with getdents64, takes the
// folder bit from the listing and reads nothing else. Prints the number of names ending in the given
// suffixes (case-insensitive ASCII), like a search for "*.ASC;*.EXF". With --read it opens and reads
// every file instead, the floor for a content search; with --stat it stats every file (fstatat on the
// folder's descriptor, as du does) and prints the sum of their sizes, the floor for a folder size.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::vector<std::string> suffixes;
unsigned long long matches = 0;
bool readFiles = false;  // --read: open and read every file instead of matching names
bool statFiles = false;  // --stat: add up the sizes of all files
alignas(8) char readBuffer[1 << 16];

void ReadFile(int parent, const char* name) {
  const int fd = openat(parent, name, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  while (read(fd, readBuffer, sizeof readBuffer) > 0) {
  }
  close(fd);
  ++matches;
}
alignas(8) char buffer[1 << 16];

bool EndsWithNoCase(const char* name, size_t length, const std::string& suffix) {
  if (length < suffix.size()) return false;
  for (size_t i = 0; i < suffix.size(); ++i) {
    char c = name[length - suffix.size() + i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    if (c != suffix[i]) return false;
  }
  return true;
}

void Walk(int parent, const char* name) {
  const int fd = openat(parent, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  std::vector<std::string> folders;
  for (;;) {
    const long n = syscall(SYS_getdents64, fd, buffer, sizeof buffer);
    if (n <= 0) break;
    for (long pos = 0; pos < n;) {
      const auto* d = reinterpret_cast<const dirent64*>(buffer + pos);
      pos += d->d_reclen;
      if (d->d_name[0] == '.' && (d->d_name[1] == 0 || (d->d_name[1] == '.' && d->d_name[2] == 0))) continue;
      if (d->d_type == DT_DIR) {
        folders.emplace_back(d->d_name);
        continue;
      }
      if (readFiles) {
        ReadFile(fd, d->d_name);
        continue;
      }
      if (statFiles) {
        struct stat st;
        if (fstatat(fd, d->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0)
          matches += static_cast<unsigned long long>(st.st_size);
        continue;
      }
      const size_t length = strlen(d->d_name);
      for (const std::string& s : suffixes)
        if (EndsWithNoCase(d->d_name, length, s)) ++matches;
    }
  }
  for (const std::string& f : folders) Walk(fd, f.c_str());
  close(fd);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: floor_walk DIR [SUFFIX...] | floor_walk DIR --read | floor_walk DIR --stat\n");
    return 2;
  }
  for (int i = 2; i < argc; ++i) {
    std::string s = argv[i];
    if (s == "--read") {
      readFiles = true;
      continue;
    }
    if (s == "--stat") {
      statFiles = true;
      continue;
    }
    for (char& c : s)
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    suffixes.push_back(s);
  }
  Walk(AT_FDCWD, argv[1]);
  printf("%llu\n", matches);
  return 0;
}
