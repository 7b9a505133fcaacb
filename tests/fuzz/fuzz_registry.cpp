// Feeds arbitrary bytes to the system.reg parser and runs every kind of lookup on the result.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/Registry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const velmor::platform::RegistryFile reg = velmor::platform::ParseRegistry(text);
  for (std::string_view key : {"", "Software", "Software\\A", "software\\a\\b", "Software\\Wow6432Node\\A"}) {
    (void)reg.KeyExists(key);
    if (auto subKeys = reg.SubKeys(key)) {
      for (const auto& sub : *subKeys) {
        const std::string child = std::string(key) + "\\" + sub;
        if (!reg.KeyExists(child)) __builtin_trap();  // a listed sub-key must exist
        (void)reg.String(child, "");
        (void)reg.String(child, "a");
      }
    }
    (void)reg.String(key, "");
    (void)reg.String(key, "a");
  }
  return 0;
}
