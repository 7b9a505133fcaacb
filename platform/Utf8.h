// UTF-8 and case-folding primitives shared by the platform's path, mask and code page code.
#pragma once

#include <string>
#include <string_view>

namespace velmor::platform::detail {

// Decodes one UTF-8 sequence at text[i] and advances i past it. A malformed byte decodes as itself
// (Latin-1) and advances by one, so every byte string gets through without loss of length.
char32_t NextCodePoint(std::string_view text, size_t& i);
// Upper case of ASCII and of the Windows-1252 letters; everything else unchanged (ß stays ß).
char32_t UpperCodePoint(char32_t cp);
// Appends the UTF-8 form of a code point.
void AppendUtf8(std::string& out, char32_t cp);
// True when the text is well-formed UTF-8 (no overlong forms, no surrogates, nothing above U+10FFFF).
bool IsValidUtf8(std::string_view text);

}  // namespace velmor::platform::detail
