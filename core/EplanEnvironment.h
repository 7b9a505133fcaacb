// Where EPLAN 5 lives and which folders the current workstation uses.
//
// The EPLAN program folder comes from the registry (value "EXEDIR" of a "5.40" sub-key), the customer,
// user and station from the environment variables KUNDEN_KENNUNG, KENNUNG and STATIONS_NUMMER, the five
// folders from fixed slots of the workstation's parameter file (EplanDir\O\CustomerId\UserId.APD).
// Problems a user must see go to IReporter::ShowMessage; nothing here throws for them.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "core/Reporter.h"
#include "platform/Platform.h"

namespace velmor {

struct EplanEnvironment {
  std::string EplanDir;
  std::string CustomerId;
  std::string UserId;
  std::string StationNumber;
  std::string ApdFile;             // EplanDir\O\CustomerId\UserId.APD
  std::string ProjectFolder;       // slot at byte 132
  std::string MacroFolder;         // slot at byte 220
  std::string NormalMasterFolder;  // slot at byte 264
  std::string StockFolder;         // slot at byte 308
  std::string FormsFolder;         // slot at byte 396
  std::string ArgvFile;            // EplanDir\O\CustomerId\StationNumber\ARGV.DAT
};

enum class EnvironmentStatus {
  NotRegistered,  // no EPLAN 5 in the registry (or no EXEDIR): nothing changed, nothing shown
  ApdMissing,     // "EPLAN ist nicht installiert" shown
  ApdUnreadable,  // "Parameterdatei:%s kann nicht geöffnet werden" shown
  EmptyApd,       // the parameter file is empty: the five folders keep their values
  Loaded,         // everything filled
};

// The message shown when the parameter file is missing.
inline constexpr std::string_view kEplanNotInstalled = "EPLAN ist nicht installiert";
// The message shown when the parameter file cannot be opened for reading and writing.
std::string ApdUnreadableMessage(const std::string& apdFile);

// The EXEDIR of EPLAN 5 (e.g. "C:\EPLAN5\BIN"); empty when EPLAN 5 is not registered. Sub-keys of
// "SOFTWARE\EPLAN\EPLAN 5" (else "SOFTWARE\EPLAN Software & Service") whose name contains "5.40" are
// walked in registry order; the last one that opens decides, even when it has no EXEDIR.
std::string FindEplanExeDir(platform::IRegistry& registry);

// The whole reading. Fields keep their previous values where the reading stops before them: on
// NotRegistered nothing changes; EplanDir, the three ids, ApdFile and ArgvFile are set before the
// parameter file is looked at; the five folders only on Loaded. The ids come from the system's
// environment, EPLAN's folder from the registry, the parameter file through files.
EnvironmentStatus LoadEplanEnvironment(platform::IRegistry& registry, platform::IFileSystem& files,
                                       platform::ISystem& system, EplanEnvironment& env, IReporter& reporter);

// The five folders of a parameter file, decoded to UTF-8.
struct ApdFolders {
  std::string ProjectFolder;
  std::string MacroFolder;
  std::string NormalMasterFolder;
  std::string StockFolder;
  std::string FormsFolder;
};

// Byte offsets of the five slots, in the order of ApdFolders.
inline constexpr size_t kApdSlotOffsets[5] = {132, 220, 264, 308, 396};
// How many leading bytes of a parameter file the slots can use; the rest is never read.
inline constexpr size_t kApdBytesRead = 396 + 1024;

// The slots of the leading bytes of a parameter file: each slot runs from its offset to the first NUL
// (or the end of the bytes), cut at the first byte 0xBA, then decoded from Windows-1252. A slot at or
// past the end of the bytes is empty. Pure: no disk.
ApdFolders ReadApdSlots(std::string_view apdBytes);

}  // namespace velmor
