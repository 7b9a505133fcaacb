// Private profile (INI) files with the semantics of GetPrivateProfileString and
// WritePrivateProfileString, on a host file. Files are in the ANSI code page unless they start with a
// UTF-8 byte-order mark; texts in and out are UTF-8.
//
// Reading: section and key names match without regard to ASCII case; the first matching section and
// the first matching key in it count; blanks around key and value are dropped, then one pair of
// enclosing quotes ("…" or '…'); the result is cut to bufferSize − 1 characters. A missing file,
// section or key gives the default (trailing blanks and one pair of enclosing quotes removed). An empty
// value is an empty text. LF and CR LF end a line.
//
// Writing: an existing key is replaced in place and keeps its spelling, a new key goes after the last
// line of its section, a new section to the end of the file; the value loses its leading blanks; every
// other line is kept; the file is written with CR LF line ends.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velmor::platform {

std::string ProfileGetString(const std::string& hostFile, std::string_view section, std::string_view key,
                             std::string_view defaultValue, size_t bufferSize);
// key nullopt erases the section, value nullopt deletes the key. Each write replaces the file
// atomically; a missing file is created. False (error in `error`) when the file or its folder is
// read-only, the folder is missing, or a name or the value holds a line break (or a key holds "=" or
// starts with "["), which would write lines other than the one asked for.
bool ProfileWriteString(const std::string& hostFile, std::string_view section,
                        std::optional<std::string_view> key, std::optional<std::string_view> value,
                        uint32_t& error);

// The same rules on the bytes of a file, without touching the disk.
std::string ProfileLookup(std::string_view fileBytes, std::string_view section, std::string_view key,
                          std::string_view defaultValue, size_t bufferSize);

enum class ProfileEdit {
  Changed,    // fileBytes now holds the new content
  Unchanged,  // the write changes nothing (for example deleting a key that is not there)
  Invalid,    // a name or the value cannot be written as one line
};
ProfileEdit ProfileApplyWrite(std::string& fileBytes, std::string_view section,
                              std::optional<std::string_view> key, std::optional<std::string_view> value);

}  // namespace velmor::platform
