// Private profile (INI) files with the semantics of GetPrivateProfileString and
// WritePrivateProfileString, on a host file. Files are in the ANSI code page unless they start with a
// UTF-8 byte-order mark; texts in and out are UTF-8.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velmor::platform {

std::string ProfileGetString(const std::string& hostFile, std::string_view section, std::string_view key,
                             std::string_view defaultValue, size_t bufferSize);
// key nullopt erases the section, value nullopt deletes the key. Each write replaces the file
// atomically. False (error in `error`) when the file or its folder is read-only or missing.
bool ProfileWriteString(const std::string& hostFile, std::string_view section,
                        std::optional<std::string_view> key, std::optional<std::string_view> value,
                        uint32_t& error);

}  // namespace velmor::platform
