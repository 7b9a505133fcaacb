// The page header split: the first 256 bytes of D:\SEITEN.SPL cut into D:\SH1 (bytes 0..44),
// D:\SH2 (bytes 54..78) and D:\SH3 (bytes 78..255). Byte 78 goes into both SH2 and SH3; bytes 45..53
// go nowhere. The targets always get their fixed lengths 45, 25 and 178; a source shorter than 256
// bytes is padded with zero bytes.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "platform/Platform.h"

namespace velmor {

inline constexpr std::string_view kPageSource = "D:\\SEITEN.SPL";
inline constexpr std::array<std::string_view, 3> kPageHeaderTargets = {"D:\\SH1", "D:\\SH2", "D:\\SH3"};

enum class HeaderResult {
  Done,
  NoSource,      // D:\SEITEN.SPL cannot be opened: nothing was touched
  TargetFailed,  // a target could not be written and kept its old content; a failing SH1 ends the
                 // command, SH2 and SH3 are written whatever happened to the other
};

// Runs the split. Each target is replaced atomically, so a failing disk leaves the old file intact.
// Callers that only need the command may ignore the result.
HeaderResult BuildHeaders(platform::IFileSystem& files);

// The three target contents for the given source bytes (only the first 256 are used). Pure: no disk.
std::array<std::string, 3> SplitPageHeader(std::string_view source);

}  // namespace velmor
