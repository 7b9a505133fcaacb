// Wildcard matching on arbitrary names and masks: no crash, no blow-up, and the invariants that every
// name matches "*", and every name a Windows path can spell (it does not end in a dot or blank, whose
// runs at the end of a mask count as one final dot) matches itself and its upper-cased spelling.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/Platform.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const size_t cut = input.find('\0');
  const std::string_view name = input.substr(0, cut);
  const std::string_view mask = cut == std::string_view::npos ? std::string_view() : input.substr(cut + 1);
  using velmor::platform::MaskMatches;
  (void)MaskMatches(name, mask);
  if (!MaskMatches(name, "*")) abort();
  const bool plain = !name.empty() && name.find_first_of("*?") == std::string_view::npos &&
                     name.back() != '.' && name.back() != ' ';
  if (plain && !MaskMatches(name, name)) abort();
  if (plain && !MaskMatches(name, velmor::platform::FoldUpper(name))) abort();
  if (MaskMatches(name, "")) abort();
  return 0;
}
