// Reads the five folder slots out of arbitrary parameter-file bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/EplanEnvironment.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const velmor::ApdFolders f = velmor::ReadApdSlots(bytes);
  // Decoding at most triples a byte; a slot never reaches past its NUL.
  for (const std::string* slot :
       {&f.ProjectFolder, &f.MacroFolder, &f.NormalMasterFolder, &f.StockFolder, &f.FormsFolder}) {
    if (slot->size() > 3 * size) __builtin_trap();
    if (slot->find('\0') != std::string::npos) __builtin_trap();
  }
  if (size <= velmor::kApdSlotOffsets[0] && !f.ProjectFolder.empty()) __builtin_trap();
  return 0;
}
