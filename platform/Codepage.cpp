// Windows-1252, the ANSI code page of the files EPLAN and Windows programs read and write.
#include <array>

#include "platform/Platform.h"
#include "platform/Utf8.h"

namespace velmor::platform {
namespace {

// Code points of the bytes 0x80..0x9F. The five unassigned bytes map to the C1 control of the same
// value so that every byte round-trips.
constexpr std::array<char32_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

char32_t AnsiCodePoint(unsigned char byte) {
  if (byte >= 0x80 && byte < 0xA0) return kHighControls[byte - 0x80];
  return byte;
}

// -1 when Windows-1252 cannot hold the code point.
int AnsiByte(char32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<int>(cp);
  for (size_t i = 0; i < kHighControls.size(); ++i)
    if (kHighControls[i] == cp) return static_cast<int>(0x80 + i);
  return -1;
}

}  // namespace

namespace detail {

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

char32_t NextCodePoint(std::string_view text, size_t& i) {
  const auto b0 = static_cast<unsigned char>(text[i]);
  size_t len = b0 < 0x80 ? 1 : (b0 >> 5) == 0x6 ? 2 : (b0 >> 4) == 0xE ? 3 : (b0 >> 3) == 0x1E ? 4 : 0;
  if (len == 0 || i + len > text.size()) {
    ++i;
    return b0;
  }
  char32_t cp = len == 1 ? b0 : len == 2 ? (b0 & 0x1F) : len == 3 ? (b0 & 0x0F) : (b0 & 0x07);
  for (size_t k = 1; k < len; ++k) {
    const auto b = static_cast<unsigned char>(text[i + k]);
    if ((b & 0xC0) != 0x80) {
      ++i;
      return b0;
    }
    cp = (cp << 6) | (b & 0x3F);
  }
  i += len;
  return cp;
}

char32_t UpperCodePoint(char32_t cp) {
  if (cp >= 'a' && cp <= 'z') return cp - 32;
  // Latin-1 letters à..þ except ÷; ß (0xDF) and ÿ have no upper case inside Latin-1 besides Ÿ.
  if (cp >= 0xE0 && cp <= 0xFE && cp != 0xF7) return cp - 32;
  if (cp == 0xFF) return 0x178;
  if (cp == 0x161) return 0x160;  // š
  if (cp == 0x153) return 0x152;  // œ
  if (cp == 0x17E) return 0x17D;  // ž
  return cp;
}

bool IsValidUtf8(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    const auto b0 = static_cast<unsigned char>(text[i]);
    if (b0 < 0x80) {
      ++i;
      continue;
    }
    size_t len;
    char32_t min;
    if ((b0 >> 5) == 0x6) {
      len = 2, min = 0x80;
    } else if ((b0 >> 4) == 0xE) {
      len = 3, min = 0x800;
    } else if ((b0 >> 3) == 0x1E) {
      len = 4, min = 0x10000;
    } else {
      return false;
    }
    if (i + len > text.size()) return false;
    const size_t before = i;
    const char32_t cp = NextCodePoint(text, i);
    if (i - before != len) return false;
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
  }
  return true;
}

}  // namespace detail

using detail::NextCodePoint;
using detail::UpperCodePoint;

std::string AnsiToUtf8(std::string_view ansi) {
  std::string out;
  out.reserve(ansi.size());
  for (char c : ansi) detail::AppendUtf8(out, AnsiCodePoint(static_cast<unsigned char>(c)));
  return out;
}

std::string Utf8ToAnsi(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    const int b = AnsiByte(NextCodePoint(utf8, i));
    out += b < 0 ? '?' : static_cast<char>(b);
  }
  return out;
}

std::string FoldUpper(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    const auto b = static_cast<unsigned char>(utf8[i]);
    if (b < 0x80) {  // fast path for the common ASCII case
      out += (b >= 'a' && b <= 'z') ? static_cast<char>(b - 32) : static_cast<char>(b);
      ++i;
      continue;
    }
    const size_t start = i;
    const char32_t cp = NextCodePoint(utf8, i);
    const char32_t up = UpperCodePoint(cp);
    if (up == cp)
      out.append(utf8.substr(start, i - start));
    else
      detail::AppendUtf8(out, up);
  }
  return out;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (UpperCodePoint(NextCodePoint(a, i)) != UpperCodePoint(NextCodePoint(b, j))) return false;
  }
  return i == a.size() && j == b.size();
}

}  // namespace velmor::platform
