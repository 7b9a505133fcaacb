// Full-path resolution on arbitrary input against a fixed current folder: no crash, the result keeps a
// root, never climbs above it, holds no "." or ".." parts, and resolving it again changes nothing.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/HostPlatformImpl.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using velmor::platform::detail::FullPathFrom;
  using velmor::platform::detail::RootOf;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const auto full = FullPathFrom(input, "C:\\work");
  if (input.empty() != !full.has_value()) abort();
  if (!full) return 0;
  if (full->find('/') != std::string::npos) abort();
  const std::string_view root = RootOf(*full);
  if (root.size() == 3) {  // a drive path: the normal case
    const std::string parts = full->substr(3);
    const std::string wrapped = "\\" + parts + "\\";
    if (wrapped.find("\\.\\") != std::string::npos || wrapped.find("\\..\\") != std::string::npos) abort();
    if (parts.find("\\\\") != std::string::npos) abort();
    const auto again = FullPathFrom(*full, "C:\\work");
    if (!again || *again != *full) abort();
  }
  return 0;
}
