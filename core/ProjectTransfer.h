// The project transfer: creates a new EPLAN 5 project folder from the sample project EXF0, copies the
// EXF data, bitmaps and plot frames into it, moves the symbol files of the normal master data folder
// into its backup folder SIASC and copies the new symbol files there, and writes the project name into
// the station's ARGV.DAT.
//
// Error policy: questions and the tool's own messages ("Keine Musterdateien gefunden", the overwrite
// question, a refused project name) go through IReporter; the run then ends with an outcome other than
// Done. A failing copy, deletion or folder creation is passed over and listed in the result; it never
// ends the run. VelmorError is thrown for what must reach the user as an error box: ARGV.DAT that exists
// but cannot be read or written, and an empty normal master data folder when symbols are to be copied.
//
// Safety: an original symbol file is deleted only after its backup copy exists with the original's size,
// so no symbol file is ever lost; ARGV.DAT is replaced atomically.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/Reporter.h"
#include "search/FindFileEx.h"
#include "support/TovrelUtil.h"

namespace velmor {

// Everything the transfer reads when it starts, as the window shows it.
struct TransferInputs {
  std::string ProjectName;   // edit ProjektName
  std::string ProjectPath;   // Label10: a folder, a drive root, or "Drives"
  std::string NormalMaster;  // edit NormalStamm, taken as typed (no backslash added)
  std::string ExfDir;        // ExfVErz: EPL_ASC.EXF, *.EXF, *.BMP
  std::string AscDir;        // AscVerz: *.ASC, sub-folders included
  std::string ExpDir;        // ExpVerz: *.EXP, sub-folders included
  std::string EplanDir;      // the EPLAN environment's fields
  std::string CustomerId;
  std::string StationNumber;
};

inline constexpr std::string_view kNoSamplesMessage = "Keine Musterdateien gefunden";
inline constexpr std::string_view kOverwriteQuestion = "vorhandene EXF-Daten überschreiben ??";

enum class TransferOutcome {
  Done,         // every step ran (single copies may still have failed, see FailedCopies)
  InvalidName,  // the project name would leave the project folder; nothing changed
  NoSamples,    // "Keine Musterdateien gefunden"; nothing changed
  Cancelled,    // the overwrite question was answered "Abbrechen"; the symbol backup has run
};

enum class TransferActionKind {
  CreateFolder,  // Path
  BackUp,        // Path copied to Target in the backup folder
  Delete,        // Path (an original symbol file whose backup is complete)
  Copy,          // Path copied to Target
  WriteArgv,     // Path replaced by Target (the new text)
};

struct TransferAction {
  TransferActionKind Kind;
  std::string Path;
  std::string Target;
  bool operator==(const TransferAction&) const = default;
};

// One German line per action, as velmorctl prints the plan of a dry run.
std::string DescribeAction(const TransferAction& action);

struct TransferResult {
  TransferOutcome Outcome = TransferOutcome::Done;
  std::string ProjectFolder;              // project root + name + ".P", made absolute
  std::string ArgvFile;                   // EplanDir\O\CustomerId\StationNumber\ARGV.DAT
  size_t FilesCopied = 0;                 // sample files, EXF data, frames and symbols that arrived
  size_t SymbolsBackedUp = 0;             // originals moved into the backup folder
  std::vector<std::string> FailedCopies;  // "source -> target" of every copy that failed
  std::vector<std::string> KeptSymbols;   // originals left in place (backup incomplete or not deletable)
  bool ArgvWritten = false;
  std::vector<TransferAction> Actions;  // every change in order (recorded in both modes)
};

// Files done / files to do, and the file being worked on.
using TransferProgress = std::function<void(size_t done, size_t total, const std::string& current)>;
// Called after the project folder was created; the window reloads its tree and walks it to the root.
using TransferTreeReload = std::function<void(const std::string& projectRoot)>;

class ProjectTransfer {
 public:
  // FF is the caller's sample search (see ConfigureSampleSearch) that appends to sampleList; both stay
  // with the caller, so the list accumulates across runs as in the window.
  ProjectTransfer(TFindFileEx& FF, TQxstringlist& sampleList, IReporter& reporter);

  void SetProgress(TransferProgress progress) { progress_ = std::move(progress); }
  void SetTreeReload(TransferTreeReload reload) { reload_ = std::move(reload); }
  // In a dry run every change is recorded in TransferResult::Actions instead of being made; reads, the
  // searches and the questions happen as in a real run.
  void SetDryRun(bool dryRun) { dryRun_ = dryRun; }

  TransferResult Run(const TransferInputs& inputs);

 private:
  TFindFileEx& FF_;
  TQxstringlist& samples_;
  IReporter& reporter_;
  TransferProgress progress_;
  TransferTreeReload reload_;
  bool dryRun_ = false;
};

// Sets FF up as the window's sample search: file name "*.*", one empty Included line, the exclusions
// SH1, SH2, SH3, *.DAT, *.IDX, *.FLG, *.SPL, *.CUM, no sub-folders, and a match handler that appends
// folder + name to sampleList. The location is set apart (SetSampleLocation).
void ConfigureSampleSearch(TFindFileEx& FF, TQxstringlist& sampleList);
// Points FF at programDir + "EXF0" (programDir ends with a backslash, as ProgramDirectory() gives it).
void SetSampleLocation(TFindFileEx& FF, const std::string& programDir);

// "%s\O\%s\%s\ARGV.DAT" with EplanDir, CustomerId, StationNumber.
std::string ArgvFileName(const std::string& eplanDir, const std::string& customerId,
                         const std::string& stationNumber);
// False for a name that would leave the project root: one holding "\", "/", ":", a character Windows
// does not allow in file names (< > " | ? * and codes below 32), or the names "." and "..". The empty
// name is allowed.
bool IsValidProjectName(std::string_view name);
// "Ungültiger Projektname: %s".
std::string InvalidProjectNameMessage(const std::string& name);

}  // namespace velmor
