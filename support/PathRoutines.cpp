#include "support/PathRoutines.h"

#include "support/TovrelUtil.h"

namespace velmor {

std::string AppendBackslash(const std::string& path) {
  if (path.empty() || path.back() == '\\') return path;
  return path + '\\';
}

std::string StripBackslash(const std::string& path) {
  if (path.empty() || path.back() != '\\') return path;
  return path.substr(0, path.size() - 1);
}

std::string NameOf(const std::string& path) {
  const size_t slash = path.find_last_of('\\');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string PathPart(const std::string& path, int offset, int mode) {
  TPartStringList parts;
  parts.Delimiter = '\\';
  parts.SetCsvText(path);
  const int n = parts.Count();
  if (n == 0) return path;
  // 64-bit so that an extreme offset cannot overflow.
  const long long idx = static_cast<long long>(offset) + n - 1;
  if (idx < 0) return path;
  if (mode == 0) return idx < n ? parts[static_cast<int>(idx)] : std::string();
  if (mode != 1 || idx == 0) return path;
  std::string out;
  for (long long i = 0; i <= idx && i < n; ++i) {
    out += parts[static_cast<int>(i)];
    out += '\\';
  }
  return out;
}

std::string FieldAt(char separator, const std::string& text, int index) {
  if (text.empty() || index < 0) return {};
  size_t start = 0;
  int field = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != separator) continue;
    if (field == index) return text.substr(start, i - start);
    start = i + 1;
    ++field;
  }
  return field == index ? text.substr(start) : std::string();
}

std::string TrimControlTail(const std::string& text) {
  size_t end = text.size();
  while (end > 0 && static_cast<unsigned char>(text[end - 1]) < 32) --end;
  return text.substr(0, end);
}

}  // namespace velmor
