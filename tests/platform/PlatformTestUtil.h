// Small helpers the platform tests share.
#pragma once

#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace velmor::platform {

using Names = std::vector<std::string>;

// The error a call left behind, kErrorSuccess when it succeeded: one comparison checks both.
inline uint32_t Err(bool ok) {
  return ok ? kErrorSuccess : HostPlatform().LastError();
}

// The sorted names in a host folder: shows a leftover temporary or a file in the wrong spelling.
inline Names Entries(const std::string& folder) {
  Names names;
  for (const auto& e : std::filesystem::directory_iterator(folder)) names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  return names;
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
