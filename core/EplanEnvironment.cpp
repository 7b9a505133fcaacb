#include "core/EplanEnvironment.h"

#include <algorithm>
#include <memory>

#include "platform/Platform.h"
#include "support/PathRoutines.h"

namespace velmor {
namespace {

constexpr std::string_view kEplan5Key = "SOFTWARE\\EPLAN\\EPLAN 5";
constexpr std::string_view kEplanSoftwareKey = "SOFTWARE\\EPLAN Software & Service";
constexpr std::string_view kFallbackEplanDir = "C:\\EPLAN4";
// A path inside a slot ends at this byte; the rest of the slot holds other data of EPLAN's.
constexpr char kSlotEnd = '\xBA';

std::string Slot(std::string_view bytes, size_t offset) {
  if (offset >= bytes.size()) return {};
  std::string_view s = bytes.substr(offset);
  if (const size_t nul = s.find('\0'); nul != std::string_view::npos) s = s.substr(0, nul);
  return platform::AnsiToUtf8(FieldAt(kSlotEnd, std::string(s), 0));
}

// Reads up to limit bytes from the current position; nullopt on a read error.
std::optional<std::string> ReadPrefix(platform::IFile& file, size_t limit) {
  std::string bytes(limit, '\0');
  size_t got = 0;
  while (got < limit) {
    const int64_t n = file.Read(bytes.data() + got, limit - got);
    if (n < 0) return std::nullopt;
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  bytes.resize(got);
  return bytes;
}

}  // namespace

std::string ApdUnreadableMessage(const std::string& apdFile) {
  return "Parameterdatei:" + apdFile + " kann nicht geöffnet werden";
}

std::string FindEplanExeDir(platform::IRegistry& os) {
  std::string base(kEplan5Key);
  if (!os.RegKeyExists(base)) {
    base = kEplanSoftwareKey;
    if (!os.RegKeyExists(base)) return {};
  }
  const auto subKeys = os.RegSubKeys(base);
  if (!subKeys) return {};
  // Every matching sub-key is visited: the last one that opens decides, with or without EXEDIR.
  std::string exeDir;
  for (const std::string& name : *subKeys) {
    if (name.find("5.40") == std::string::npos) continue;
    const std::string key = base + "\\" + name;
    if (!os.RegKeyExists(key)) continue;
    exeDir = os.RegString(key, "EXEDIR").value_or(std::string());
  }
  return exeDir;
}

ApdFolders ReadApdSlots(std::string_view apdBytes) {
  ApdFolders f;
  f.ProjectFolder = Slot(apdBytes, kApdSlotOffsets[0]);
  f.MacroFolder = Slot(apdBytes, kApdSlotOffsets[1]);
  f.NormalMasterFolder = Slot(apdBytes, kApdSlotOffsets[2]);
  f.StockFolder = Slot(apdBytes, kApdSlotOffsets[3]);
  f.FormsFolder = Slot(apdBytes, kApdSlotOffsets[4]);
  return f;
}

EnvironmentStatus LoadEplanEnvironment(platform::IRegistry& registry, platform::IFileSystem& os,
                                       platform::ISystem& system, EplanEnvironment& env,
                                       IReporter& reporter) {
  const std::string exeDir = FindEplanExeDir(registry);
  if (exeDir.empty()) return EnvironmentStatus::NotRegistered;

  env.EplanDir = StripBackslash(PathPart(exeDir, -1, 1));
  if (!os.DirectoryExists(env.EplanDir)) env.EplanDir = kFallbackEplanDir;
  env.CustomerId = system.GetEnv("KUNDEN_KENNUNG");
  env.UserId = system.GetEnv("KENNUNG");
  env.StationNumber = system.GetEnv("STATIONS_NUMMER");
  env.ApdFile = env.EplanDir + "\\O\\" + env.CustomerId + "\\" + env.UserId + ".APD";
  env.ArgvFile = env.EplanDir + "\\O\\" + env.CustomerId + "\\" + env.StationNumber + "\\ARGV.DAT";

  if (!os.FileExists(env.ApdFile)) {
    reporter.ShowMessage(std::string(kEplanNotInstalled));
    return EnvironmentStatus::ApdMissing;
  }
  // Opened for reading and writing although nothing is written: a parameter file that EPLAN holds
  // locked, or that is read-only, counts as not openable.
  // A Windows program's byte-range lock is the one kind of such a hold the host can see.
  if (os.FileLockedByOther(env.ApdFile)) {
    reporter.ShowMessage(ApdUnreadableMessage(env.ApdFile) + ", sie wird von einem anderen Programm benutzt");
    return EnvironmentStatus::ApdUnreadable;
  }
  std::unique_ptr<platform::IFile> file = os.OpenFile(env.ApdFile, platform::OpenMode::ReadWrite);
  if (!file) {
    reporter.ShowMessage(ApdUnreadableMessage(env.ApdFile));
    return EnvironmentStatus::ApdUnreadable;
  }
  const std::optional<uint64_t> size = file->Size();
  if (!size) {
    reporter.ShowMessage(ApdUnreadableMessage(env.ApdFile));
    return EnvironmentStatus::ApdUnreadable;
  }
  if (*size == 0) return EnvironmentStatus::EmptyApd;
  // Only the slots matter; a huge file is not read beyond them.
  const auto bytes = ReadPrefix(*file, static_cast<size_t>(std::min<uint64_t>(*size, kApdBytesRead)));
  if (!bytes) {
    reporter.ShowMessage(ApdUnreadableMessage(env.ApdFile));
    return EnvironmentStatus::ApdUnreadable;
  }
  const ApdFolders folders = ReadApdSlots(*bytes);
  env.ProjectFolder = folders.ProjectFolder;
  env.MacroFolder = folders.MacroFolder;
  env.NormalMasterFolder = folders.NormalMasterFolder;
  env.StockFolder = folders.StockFolder;
  env.FormsFolder = folders.FormsFolder;
  return EnvironmentStatus::Loaded;
}

}  // namespace velmor
