// Feeds arbitrary folder texts, names and patterns to the search's name tests and checks the rules that
// must hold for every input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "search/SearchCriteria.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  // Three NUL-separated parts: folder, name, pattern.
  const size_t a = input.find('\0');
  const size_t b = a == std::string_view::npos ? std::string_view::npos : input.find('\0', a + 1);
  const std::string_view folder = input.substr(0, a);
  const std::string_view name =
      a == std::string_view::npos ? std::string_view() : input.substr(a + 1, b - a - 1);
  const std::string_view pattern = b == std::string_view::npos ? std::string_view() : input.substr(b + 1);

  const bool wild = velmor::WildcardMatch(name, pattern);
  velmor::FileMaskMatch(name, pattern);
  velmor::ExcludedEntryMatch(folder, name, pattern);

  if (!velmor::WildcardMatch(name, "*")) abort();
  if (name.find_first_of("*?") == std::string_view::npos && !velmor::WildcardMatch(name, name)) abort();
  // Appending "*" to a pattern never loses a match.
  if (wild && !velmor::WildcardMatch(name, std::string(pattern) + "*")) abort();
  // An empty exclusion line excludes everything.
  if (!velmor::ExcludedEntryMatch(folder, name, "")) abort();
  return 0;
}
