// Runs the path and text routines on arbitrary bytes and checks their contracts.
#include <cstddef>
#include <cstdint>
#include <string>

#include "support/PathRoutines.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const int offset = static_cast<int8_t>(data[0]);
  const int mode = data[1] % 3;
  const char separator = static_cast<char>(data[2]);
  const std::string text(reinterpret_cast<const char*>(data + 3), size - 3);

  const std::string appended = velmor::AppendBackslash(text);
  if (!text.empty() && (appended.back() != '\\' || appended.size() > text.size() + 1)) __builtin_trap();
  const std::string stripped = velmor::StripBackslash(text);
  if (stripped.size() + 1 < text.size() || text.compare(0, stripped.size(), stripped) != 0) __builtin_trap();

  const std::string part = velmor::PathPart(text, offset, mode);
  if (mode == 1 && part != text && (part.empty() || part.back() != '\\')) __builtin_trap();

  const std::string field = velmor::FieldAt(separator, text, offset);
  if (field.find(separator) != std::string::npos || text.find(field) == std::string::npos) __builtin_trap();

  const std::string trimmed = velmor::TrimControlTail(text);
  if (text.compare(0, trimmed.size(), trimmed) != 0) __builtin_trap();
  if (!trimmed.empty() && static_cast<unsigned char>(trimmed.back()) < 32) __builtin_trap();
  return 0;
}
