// Full-path resolution on arbitrary input against a fixed current folder: no crash, the result keeps a
// root, never climbs above it, holds no "." or ".." parts, and resolving it again changes nothing but
// trailing dots of inner parts.
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
    // Resolving again changes nothing, except that a part before a backslash that still ends in a dot
    // ("a..\\" became "a.\\") loses that dot too, as it would on Windows.
    const auto again = FullPathFrom(*full, "C:\\work");
    if (!again) abort();
    const size_t dotBeforeSeparator = wrapped.find(".\\");
    if (dotBeforeSeparator == std::string::npos || dotBeforeSeparator + 2 == wrapped.size()) {
      if (*again != *full) abort();
    } else if (again->size() > full->size()) {
      abort();
    }
  }
  return 0;
}
