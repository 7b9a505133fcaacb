// Feeds arbitrary bytes to the profile reader and writer as an INI file and checks that a written
// value reads back and that other sections survive the write.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Profile.h"

using velmor::platform::ProfileApplyWrite;
using velmor::platform::ProfileEdit;
using velmor::platform::ProfileLookup;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::string before = ProfileLookup(text, "Other", "k", "dflt", 2048);
  (void)ProfileLookup(text, "", "", "", 1);
  (void)ProfileLookup(text, "S", "k", " 'x' ", 3);

  std::string bytes(text);
  if (ProfileApplyWrite(bytes, "S", "k", "value") != ProfileEdit::Invalid) {
    if (ProfileLookup(bytes, "S", "k", "dflt", 2048) != "value") __builtin_trap();
    if (ProfileLookup(bytes, "Other", "k", "dflt", 2048) != before) __builtin_trap();
  }
  std::string erased(text);
  ProfileApplyWrite(erased, "S", std::nullopt, std::nullopt);
  std::string removed(text);
  ProfileApplyWrite(removed, "S", "k", std::nullopt);
  return 0;
}
