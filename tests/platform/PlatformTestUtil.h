// Small helpers the platform tests share; including this brings GoogleTest, <filesystem>, the
// platform and the temporary prefix with it.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "tests/common/TempPrefix.h"

namespace velmor::platform {

using Names = std::vector<std::string>;

// The world of most platform tests: a fresh prefix and the host platform that works in it.
class PlatformTest : public ::testing::Test {
 protected:
  testing::TempPrefix prefix;
  IPlatform& os = HostPlatform();
};

// The error a call left behind, kErrorSuccess when it succeeded: one comparison checks both.
inline uint32_t Err(bool ok) {
  return ok ? kErrorSuccess : LastError();
}

// The sorted names in a host folder: shows a leftover temporary or a file in the wrong spelling.
inline Names Entries(const std::string& folder) {
  Names names;
  for (const auto& e : std::filesystem::directory_iterator(folder)) names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

// Everything below a host folder, one sorted line an entry: "dir/", "file=content" (the size for
// more than 40 bytes, " ro" without write bits), "link -> target" (relative to the folder when
// inside), "name (special)". One comparison shows a leftover, a wrong spelling and lost content.
inline std::string Tree(const std::string& folder) {
  namespace fs = std::filesystem;
  Names lines;
  for (auto it = fs::recursive_directory_iterator(folder); it != fs::recursive_directory_iterator(); ++it) {
    std::string line = it->path().lexically_relative(folder).string();
    if (it->is_symlink()) {
      std::string target = fs::read_symlink(it->path()).string();
      if (target.rfind(folder + "/", 0) == 0) target.erase(0, folder.size() + 1);
      line += " -> " + target;
    } else if (it->is_directory()) {
      line += "/";
    } else if (it->is_regular_file()) {
      std::ifstream in(it->path(), std::ios::binary);
      const std::string content{std::istreambuf_iterator<char>(in), {}};
      line += content.size() > 40 ? " (" + std::to_string(content.size()) + " bytes)" : "=" + content;
      if ((it->status().permissions() & fs::perms::owner_write) == fs::perms::none) line += " ro";
    } else {
      line += " (special)";
    }
    lines.push_back(line);
  }
  std::sort(lines.begin(), lines.end());
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

// A fresh folder on a file system other than `near`'s (under /dev/shm), or "" when there is none.
inline std::string FolderOnOtherFileSystem(const std::string& near) {
  struct stat a {
  }, b{};
  if (::stat("/dev/shm", &a) != 0 || ::stat(near.c_str(), &b) != 0 || a.st_dev == b.st_dev) return "";
  char tmpl[] = "/dev/shm/velmor-test-XXXXXX";
  return ::mkdtemp(tmpl) ? tmpl : "";
}

}  // namespace velmor::platform
