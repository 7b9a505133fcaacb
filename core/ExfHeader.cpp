#include "core/ExfHeader.h"

#include <algorithm>

#include "platform/Platform.h"
#include "support/PathRoutines.h"
#include "support/TovrelUtil.h"

namespace velmor {

std::vector<std::string> SymbolListFromHeader(std::string_view headerBytes) {
  std::string_view raw = headerBytes.substr(0, std::min(headerBytes.size(), kExfHeaderBytes));
  if (const size_t nul = raw.find('\0'); nul != std::string_view::npos) raw = raw.substr(0, nul);

  TQxstringlist lines;
  lines.SetText(platform::AnsiToUtf8(raw));
  TPartStringList names;
  names.Delimiter = ',';
  names.FieldDelimiter = '\0';  // symbol file names are never quoted

  std::vector<std::string> result;
  std::string line;
  int index = 0;
  for (bool ok = lines.GetFirst(line, index); ok; ok = lines.GetNext(line, index)) {
    // The record number may be preceded by anything ("1950 " counts too).
    const size_t pos = line.find("950 ");
    if (pos == std::string::npos) continue;
    names.SetCsvText(TrimControlTail(line.substr(pos + 4)));
    for (int i = 0; i < names.Count(); ++i) result.push_back(std::to_string(i + 1) + ":" + names[i]);
    break;
  }
  return result;
}

std::optional<std::vector<std::string>> ReadSymbolList(platform::IFileSystem& os,
                                                       const std::string& exfFolder) {
  const std::string header = AppendBackslash(exfFolder) + std::string(kExfHeaderName);
  if (!os.FileExists(header)) return std::nullopt;
  const auto bytes = os.ReadFile(header, kExfHeaderBytes);
  if (!bytes) return std::nullopt;
  return SymbolListFromHeader(*bytes);
}

std::vector<std::string> FillSymbolList(platform::IFileSystem& files, const std::string& exfFolder) {
  return ReadSymbolList(files, exfFolder).value_or(std::vector<std::string>());
}

}  // namespace velmor
