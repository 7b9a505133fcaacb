// The symbol files named by an EXF data set's header file EPL_ASC.EXF.
//
// Only the first 1024 bytes of the header count, and of those only the bytes before the first NUL.
// The symbol record is the first line containing "950 "; its payload (everything after the first
// "950 ", control characters at its end removed) is a plain comma list: no quoting, empty items kept.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Platform.h"

namespace velmor {

inline constexpr std::string_view kExfHeaderName = "EPL_ASC.EXF";
inline constexpr size_t kExfHeaderBytes = 1024;

// The list box lines "N:NAME" (N from 1) for the header in exfFolder; empty when there is no header,
// it cannot be read or it has no symbol record.
std::vector<std::string> FillSymbolList(platform::IFileSystem& files, const std::string& exfFolder);

// As FillSymbolList, but nullopt when the folder has no header file or it cannot be read, so that a
// caller can tell "nothing to read" from "a record without symbols".
std::optional<std::vector<std::string>> ReadSymbolList(platform::IFileSystem& files,
                                                       const std::string& exfFolder);

// The list box lines of the raw header bytes (Windows-1252; only the first 1024 bytes are used).
// Pure: no disk.
std::vector<std::string> SymbolListFromHeader(std::string_view headerBytes);

}  // namespace velmor
