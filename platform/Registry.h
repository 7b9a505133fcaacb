// The HKEY_LOCAL_MACHINE view of a Wine prefix, read from its system.reg. Every lookup reads the
// file afresh (Wine rewrites it while EPLAN runs). A missing, unreadable or malformed file is an empty
// registry; a malformed line is skipped. In a 64-bit prefix keys under Software\ are looked up in the
// 32-bit view (Software\Wow6432Node\) first.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmor::platform {

bool RegistryKeyExists(const std::string& systemRegHostPath, std::string_view key);
// Sub-key names sorted as Wine lists them; nullopt when the key does not exist.
std::optional<std::vector<std::string>> RegistrySubKeys(const std::string& systemRegHostPath,
                                                        std::string_view key);
// A string value; nullopt when the key or the value is missing or not a string.
std::optional<std::string> RegistryString(const std::string& systemRegHostPath, std::string_view key,
                                          std::string_view name);

}  // namespace velmor::platform
