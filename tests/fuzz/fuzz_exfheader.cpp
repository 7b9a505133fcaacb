// Feeds arbitrary header bytes to the symbol list reader and checks the numbering of its lines.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/ExfHeader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const auto lines = velmor::SymbolListFromHeader(bytes);
  size_t total = 0;
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string prefix = std::to_string(i + 1) + ":";
    if (lines[i].compare(0, prefix.size(), prefix) != 0) __builtin_trap();
    if (lines[i].find_first_of(std::string_view(",\r\n\0", 4)) != std::string::npos) __builtin_trap();
    total += lines[i].size() - prefix.size();
  }
  // Nothing past byte 1024 is read; decoding at most triples a byte.
  if (total > 3 * velmor::kExfHeaderBytes) __builtin_trap();
  return 0;
}
