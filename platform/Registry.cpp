// Reading Wine's system.reg. The file is scanned once for its key lines; the value lines of a key are
// only decoded when a caller asks for one of its values, which keeps a lookup in a registry of several
// megabytes cheap.
#include "platform/Registry.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>

#include "platform/FileDescriptor.h"
#include "platform/Utf8.h"

namespace velmor::platform {
namespace {

constexpr std::string_view kHeader = "WINE REGISTRY Version 2";

using detail::AppendUtf8;

// Collects UTF-16 units (from \x escapes) and plain bytes into UTF-8, pairing surrogates.
class Utf16Sink {
 public:
  explicit Utf16Sink(std::string& out) : out_(out) {}
  ~Utf16Sink() { Flush(); }
  void Unit(char32_t unit) {
    if (unit >= 0xD800 && unit < 0xDC00) {
      Flush();
      high_ = unit;
      return;
    }
    if (unit >= 0xDC00 && unit < 0xE000) {
      if (high_) {
        AppendUtf8(out_, 0x10000 + ((high_ - 0xD800) << 10) + (unit - 0xDC00));
        high_ = 0;
      } else {
        AppendUtf8(out_, 0xFFFD);
      }
      return;
    }
    Flush();
    AppendUtf8(out_, unit);
  }
  // A byte written literally in the file (ASCII, or already UTF-8).
  void Byte(char c) {
    Flush();
    out_ += c;
  }
  void Flush() {
    if (high_) AppendUtf8(out_, 0xFFFD);
    high_ = 0;
  }

 private:
  std::string& out_;
  char32_t high_ = 0;
};

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads the 1 to 4 hex digits after "\x" at text[i]; advances i. Wine writes four digits whenever the
// next character is itself a hex digit, so taking up to four is never ambiguous.
char32_t ReadHexUnit(std::string_view text, size_t& i) {
  char32_t unit = 0;
  size_t digits = 0;
  while (digits < 4 && i < text.size() && HexDigit(text[i]) >= 0) {
    unit = unit * 16 + static_cast<char32_t>(HexDigit(text[i]));
    ++i;
    ++digits;
  }
  return unit;
}

// Lower-case fold used for matching and ordering: ASCII and the Latin letters of Windows-1252. Every
// mapping keeps the UTF-8 length, so a folded path has its separators where the spelled one has them.
std::string FoldLower(std::string_view s) {
  std::string out(s);
  for (size_t i = 0; i < out.size(); ++i) {
    auto b = static_cast<unsigned char>(out[i]);
    if (b >= 'A' && b <= 'Z') {
      out[i] = static_cast<char>(b + 32);
    } else if (b == 0xC3 && i + 1 < out.size()) {
      auto t = static_cast<unsigned char>(out[i + 1]);
      // U+00C0..U+00DE except U+00D7 (multiplication sign)
      if (t >= 0x80 && t <= 0x9E && t != 0x97) out[i + 1] = static_cast<char>(t + 0x20);
      ++i;
    } else if (b == 0xC5 && i + 1 < out.size()) {
      auto t = static_cast<unsigned char>(out[i + 1]);
      // Œ Š Ž (U+0152, U+0160, U+017D) → œ š ž; Ÿ (U+0178) → ÿ (U+00FF)
      if (t == 0x92 || t == 0xA0 || t == 0xBD) {
        out[i + 1] = static_cast<char>(t + 1);
      } else if (t == 0xB8) {
        out[i] = static_cast<char>(0xC3);
        out[i + 1] = static_cast<char>(0xBF);
      }
      ++i;
    }
  }
  return out;
}

std::vector<std::string_view> SplitPath(std::string_view path) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('\\', start);
    if (end == std::string_view::npos) end = path.size();
    if (end > start) parts.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

std::string JoinFolded(const std::vector<std::string_view>& parts, size_t from = 0) {
  std::string out;
  for (size_t i = from; i < parts.size(); ++i) {
    if (!out.empty()) out += '\\';
    out += FoldLower(parts[i]);
  }
  return out;
}

// Decodes the text between "[" and the matching "]" of a key line. "\\" separates names; "\[", "\]"
// and other escaped characters stand for themselves; "\x" gives a UTF-16 unit.
std::string DecodeKeyPath(std::string_view raw) {
  std::string out;
  {
    Utf16Sink sink(out);
    for (size_t i = 0; i < raw.size();) {
      char c = raw[i++];
      if (c != '\\' || i >= raw.size()) {
        sink.Byte(c);
        continue;
      }
      char e = raw[i++];
      if (e == 'x') {
        sink.Unit(ReadHexUnit(raw, i));
      } else {
        sink.Byte(e);  // "\\" yields the separator itself
      }
    }
  }
  // Normalise doubled or outer separators so the path compares like a caller's key.
  std::string joined;
  for (std::string_view part : SplitPath(out)) {
    if (!joined.empty()) joined += '\\';
    joined += part;
  }
  return joined;
}

// Decodes a quoted string starting at text[i] (which must be '"'); advances i past the closing quote.
// nullopt when the string is not closed on this line.
std::optional<std::string> DecodeQuoted(std::string_view text, size_t& i) {
  if (i >= text.size() || text[i] != '"') return std::nullopt;
  ++i;
  std::string out;
  Utf16Sink sink(out);
  while (i < text.size()) {
    char c = text[i++];
    if (c == '"') {
      sink.Flush();
      return out;
    }
    if (c != '\\') {
      sink.Byte(c);
      continue;
    }
    if (i >= text.size()) break;
    char e = text[i++];
    switch (e) {
      case 'n':
        sink.Byte('\n');
        break;
      case 'r':
        sink.Byte('\r');
        break;
      case 't':
        sink.Byte('\t');
        break;
      case '0':
        sink.Byte('\0');
        break;
      case 'a':
        sink.Byte('\a');
        break;
      case 'b':
        sink.Byte('\b');
        break;
      case 'e':
        sink.Byte('\x1b');
        break;
      case 'f':
        sink.Byte('\f');
        break;
      case 'v':
        sink.Byte('\v');
        break;
      case 'x':
        sink.Unit(ReadHexUnit(text, i));
        break;
      default:
        sink.Byte(e);
        break;  // \\ and \" and anything else stand for themselves
    }
  }
  return std::nullopt;
}

std::string_view TrimLineEnd(std::string_view line) {
  while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
    line.remove_suffix(1);
  return line;
}

// Walks the lines of text[begin, end).
template <typename F>
void ForEachLine(std::string_view text, size_t begin, size_t end, F&& f) {
  size_t pos = begin;
  while (pos < end) {
    const void* nl = std::memchr(text.data() + pos, '\n', end - pos);
    size_t lineEnd = nl ? static_cast<size_t>(static_cast<const char*>(nl) - text.data()) : end;
    if (!f(text.substr(pos, lineEnd - pos))) return;
    pos = lineEnd + 1;
  }
}

// The string held by a hex(1) or hex(2) value: UTF-16LE bytes up to the first NUL unit.
std::optional<std::string> DecodeHexString(std::string_view hexText) {
  std::vector<unsigned char> bytes;
  int high = -1;
  for (char c : hexText) {
    int d = HexDigit(c);
    if (d < 0) {
      if (c != ',' && c != ' ' && c != '\t' && c != '\\' && c != '\r' && c != '\n') return std::nullopt;
      high = -1;
      continue;
    }
    if (high < 0) {
      high = d;
    } else {
      bytes.push_back(static_cast<unsigned char>(high * 16 + d));
      high = -1;
    }
  }
  std::string out;
  Utf16Sink sink(out);
  for (size_t k = 0; k + 1 < bytes.size(); k += 2) {
    char32_t unit = bytes[k] | (static_cast<char32_t>(bytes[k + 1]) << 8);
    if (unit == 0) break;
    sink.Unit(unit);
  }
  sink.Flush();
  return out;
}

}  // namespace

RegistryFile ParseRegistry(std::string_view text) {
  RegistryFile reg;
  {
    size_t nl = text.find('\n');
    std::string_view first = TrimLineEnd(text.substr(0, nl == std::string_view::npos ? text.size() : nl));
    if (first != kHeader) return reg;
  }
  reg.text_.assign(text);
  const std::string_view all = reg.text_;

  RegistryFile::Key* current = nullptr;
  bool seenKey = false;
  size_t pos = 0;
  auto closeBody = [&](size_t at) {
    if (current) current->bodies.back().second = at;
    current = nullptr;
  };
  ForEachLine(all, 0, all.size(), [&](std::string_view line) {
    const size_t lineStart = static_cast<size_t>(line.data() - all.data());
    pos = lineStart + line.size() + 1;
    if (line.empty()) return true;
    if (!seenKey && line[0] == '#') {
      if (TrimLineEnd(line) == "#arch=win64") reg.win64_ = true;
      return true;
    }
    if (line[0] != '[') return true;
    seenKey = true;
    closeBody(lineStart);
    // The path ends at the first "]" that is not escaped.
    size_t i = 1;
    while (i < line.size() && line[i] != ']') i += line[i] == '\\' ? 2 : 1;
    if (i >= line.size()) return true;  // no closing bracket: skipped, and so are its values
    std::string path = DecodeKeyPath(line.substr(1, i - 1));
    if (path.empty()) return true;
    std::string folded = FoldLower(path);
    auto [it, inserted] = reg.keys_.try_emplace(std::move(folded));
    if (inserted) {
      it->second.path = std::move(path);
      it->second.order = reg.keys_.size();
    }
    current = &it->second;
    const size_t bodyStart = std::min(pos, all.size());
    current->bodies.emplace_back(bodyStart, bodyStart);
    return true;
  });
  closeBody(all.size());
  return reg;
}

bool RegistryFile::HasKey(const std::string& folded) const {
  if (folded.empty()) return true;  // HKEY_LOCAL_MACHINE itself
  if (keys_.count(folded)) return true;
  // A key that only leads to longer keys has no section of its own.
  const std::string prefix = folded + '\\';
  auto it = keys_.lower_bound(prefix);
  return it != keys_.end() && it->first.compare(0, prefix.size(), prefix) == 0;
}

const RegistryFile::Key* RegistryFile::FindKey(const std::string& folded) const {
  auto it = keys_.find(folded);
  return it == keys_.end() ? nullptr : &it->second;
}

std::string RegistryFile::ViewPath(std::string_view key) const {
  const auto parts = SplitPath(key);
  if (win64_ && parts.size() >= 2 && FoldLower(parts[0]) == "software" &&
      FoldLower(parts[1]) != "wow6432node") {
    std::string view = "software\\wow6432node\\" + JoinFolded(parts, 1);
    if (HasKey(view)) return view;
  }
  return JoinFolded(parts);
}

std::optional<std::vector<std::string>> RegistryFile::ChildrenOf(const std::string& folded) const {
  if (!HasKey(folded)) return std::nullopt;
  const std::string prefix = folded.empty() ? std::string() : folded + '\\';
  const size_t depth = folded.empty() ? 0 : SplitPath(folded).size();
  // folded child name → (file position, spelling): a name is spelled as where it first appears in
  // the file, also when that is the path of a longer key.
  std::map<std::string, std::pair<size_t, std::string>> children;
  for (auto it = keys_.lower_bound(prefix); it != keys_.end(); ++it) {
    if (it->first.compare(0, prefix.size(), prefix) != 0) break;
    const auto spelled = SplitPath(it->second.path);
    if (spelled.size() <= depth) continue;
    std::string name(spelled[depth]);
    auto [child, added] = children.try_emplace(FoldLower(name), it->second.order, name);
    if (!added && it->second.order < child->second.first) child->second = {it->second.order, name};
  }
  // The map orders by the lower-case fold, compared by code point: Wine's order.
  std::vector<std::string> names;
  names.reserve(children.size());
  for (auto& [fold, entry] : children) names.push_back(std::move(entry.second));
  return names;
}

bool RegistryFile::KeyExists(std::string_view key) const {
  return HasKey(ViewPath(key));
}

std::optional<std::vector<std::string>> RegistryFile::SubKeys(std::string_view key) const {
  return ChildrenOf(ViewPath(key));
}

std::optional<std::string> RegistryFile::String(std::string_view key, std::string_view name) const {
  const Key* k = FindKey(ViewPath(key));
  if (!k) return std::nullopt;
  const std::string wanted = FoldLower(name);
  const std::string_view text = text_;
  std::optional<std::string> result;
  bool found = false;
  for (const auto& body : k->bodies) {
    const size_t begin = body.first;
    const size_t end = body.second;
    bool continuation = false;
    ForEachLine(text, begin, end, [&](std::string_view rawLine) {
      std::string_view line = TrimLineEnd(rawLine);
      if (continuation) {
        continuation = !line.empty() && line.back() == '\\';
        return true;
      }
      size_t i = 0;
      std::string valueName;
      if (line.substr(0, 2) == "@=") {
        i = 1;
      } else if (!line.empty() && line[0] == '"') {
        auto decoded = DecodeQuoted(line, i);
        if (!decoded) return true;
        valueName = std::move(*decoded);
      } else {
        return true;
      }
      if (i >= line.size() || line[i] != '=') return true;
      ++i;
      std::string_view data = line.substr(i);
      const bool hex = data.substr(0, 3) == "hex";
      if (hex && !data.empty() && data.back() == '\\') continuation = true;
      if (FoldLower(valueName) != wanted) return true;

      found = true;
      auto cutAtNul = [](std::string s) {
        size_t nul = s.find('\0');
        if (nul != std::string::npos) s.resize(nul);
        return s;
      };
      if (!data.empty() && data[0] == '"') {
        size_t j = 0;
        if (auto s = DecodeQuoted(data, j)) result = cutAtNul(std::move(*s));
      } else if (data.substr(0, 7) == "str(2):") {
        size_t j = 7;
        if (auto s = DecodeQuoted(data, j)) result = cutAtNul(std::move(*s));
      } else if (data.substr(0, 7) == "hex(1):" || data.substr(0, 7) == "hex(2):") {
        // Gather the continuation lines of a long value.
        std::string hexText(data.substr(7));
        if (continuation) {
          const size_t from = static_cast<size_t>(rawLine.data() - text.data()) + rawLine.size() + 1;
          ForEachLine(text, std::min(from, end), end, [&](std::string_view next) {
            std::string_view n = TrimLineEnd(next);
            hexText += n;
            return !n.empty() && n.back() == '\\';
          });
        }
        result = DecodeHexString(hexText);
      }
      return false;  // the first value of that name counts
    });
    if (found) break;
  }
  return result;
}

namespace {

// The last file parsed. A lookup reuses it without reading when the file's identity, size and times
// are unchanged and its modification time was already in the past when it was read: a later rewrite
// then necessarily carries a newer time. A file modified within the clock's coarse tick is compared
// by content instead, which costs a read but never a parse.
struct CacheEntry {
  std::string path;
  dev_t dev = 0;
  ino_t ino = 0;
  off_t size = -1;
  timespec mtime{};
  timespec ctime{};
  bool settled = false;
  std::string text;
  std::shared_ptr<const RegistryFile> file;
};

std::mutex gCacheMutex;
CacheEntry gCache;

bool SameTime(const timespec& a, const timespec& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

bool SameIdentity(const CacheEntry& c, const std::string& path, const struct stat& st) {
  return c.file && c.path == path && c.dev == st.st_dev && c.ino == st.st_ino && c.size == st.st_size &&
         SameTime(c.mtime, st.st_mtim) && SameTime(c.ctime, st.st_ctim);
}

void Remember(const std::string& path, const struct stat& st, std::string text,
              std::shared_ptr<const RegistryFile> file) {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  const bool settled = now.tv_sec - st.st_mtim.tv_sec > 2 && now.tv_sec - st.st_ctim.tv_sec > 2;
  gCache = CacheEntry{path,       st.st_dev, st.st_ino,       st.st_size,     st.st_mtim,
                      st.st_ctim, settled,   std::move(text), std::move(file)};
}

std::shared_ptr<const RegistryFile> LoadRegistry(const std::string& path) {
  static const auto kEmpty = std::make_shared<const RegistryFile>();
  detail::FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd) return kEmpty;
  struct stat st {};
  if (::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) return kEmpty;
  {
    std::lock_guard lock(gCacheMutex);
    if (gCache.settled && SameIdentity(gCache, path, st)) return gCache.file;
  }
  std::string text;
  text.resize(static_cast<size_t>(st.st_size));
  size_t got = 0;
  bool ok = true;
  while (true) {
    if (got == text.size()) text.resize(text.size() + 65536);  // the file grew while we read it
    ssize_t n = ::read(fd.Get(), text.data() + got, text.size() - got);
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  fd.Reset();
  if (!ok) return kEmpty;
  text.resize(got);
  {
    std::lock_guard lock(gCacheMutex);
    if (gCache.file && gCache.path == path && gCache.text == text) {
      auto file = gCache.file;
      Remember(path, st, std::move(text), file);
      return file;
    }
  }
  auto parsed = std::make_shared<const RegistryFile>(ParseRegistry(text));
  std::lock_guard lock(gCacheMutex);
  Remember(path, st, std::move(text), parsed);
  return parsed;
}

}  // namespace

bool RegistryKeyExists(const std::string& systemRegHostPath, std::string_view key) {
  return LoadRegistry(systemRegHostPath)->KeyExists(key);
}

std::optional<std::vector<std::string>> RegistrySubKeys(const std::string& systemRegHostPath,
                                                        std::string_view key) {
  return LoadRegistry(systemRegHostPath)->SubKeys(key);
}

std::optional<std::string> RegistryString(const std::string& systemRegHostPath, std::string_view key,
                                          std::string_view name) {
  return LoadRegistry(systemRegHostPath)->String(key, name);
}

}  // namespace velmor::platform
