// The project transfer: creates a new EPLAN 5 project folder from the sample project EXF0, copies the
// EXF data, bitmaps and plot frames into it, moves the symbol files of the normal master data folder
// into its backup folder SIASC and copies the new symbol files there, and writes the project name into
// the station's ARGV.DAT.
//
// Error policy: questions and the tool's own messages ("Keine Musterdateien gefunden", the overwrite
// question, a refused project name or path, a station that is busy) go through IReporter; the run then
// ends with an outcome other than Done and has changed nothing. A failing copy, deletion or folder
// creation is passed over and listed in the result; it never ends the run. TransferError (a
// VelmorError) is thrown for what must reach the user as an error box: ARGV.DAT that exists but cannot
// be read or written, and an empty normal master data folder when symbols are to be copied. It carries
// the result, so that the failures listed before the error still reach the user.
//
// Safety:
// - Everything that can refuse the run is checked before the first change: the name and path of the
//   project folder, the samples, the lock of the station, the overwrite question, the creation of the
//   project folder. "Abbrechen" leaves the station as it was.
// - One transfer per station at a time (StationLock).
// - An original symbol file is deleted only after its backup copy is complete and on the disk (synced
//   in batches), and only while it is still the file that was copied. A backup already in SIASC is
//   never overwritten: an identical one is kept as it is, a different one is renamed to the next
//   versioned name (X.~001.ASC, X.~002.ASC, ... oldest first) before the new backup takes its place.
// - Nothing is written through a link: a backup folder, project folder or ARGV.DAT that is a link
//   refuses the run before its first change, and a file to be replaced that is a link counts as
//   failed (writing through it would change a file elsewhere, outside the station's folders).
// - ARGV.DAT is written only for a complete project: the project folder exists and every copy of
//   the run (sample files, EXF data, frames, symbols) arrived. It is replaced atomically, or written
//   in place where its folder refuses new files (its old content is in the journal).
// - A byte-range lock that a Windows program holds on the APD file, ARGV.DAT or a file to be replaced
//   (Wine passes LockFile on to the host) is respected: "... wird von einem anderen Programm benutzt".
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/Reporter.h"
#include "platform/Error.h"
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
  Done,          // every step ran (single copies may still have failed, see FailedCopies)
  InvalidName,   // the project name or path cannot name a project folder on Windows; nothing changed
  NoSamples,     // "Keine Musterdateien gefunden"; nothing changed
  Cancelled,     // the overwrite question was answered "Abbrechen"; nothing changed
  Busy,          // another transfer holds the station; nothing changed
  Pending,       // an interrupted transfer on the station must be taken back first; nothing changed
  NoJournal,     // the journal could not be started; nothing changed
  NotCreatable,  // the project folder could not be created; nothing else changed
  Unsafe,        // the backup folder, the project folder or ARGV.DAT is a link elsewhere; nothing changed
};

enum class TransferActionKind {
  CreateFolder,  // Path
  SetAside,      // Path (an older backup) renamed to Target, its versioned name
  BackUp,        // Path copied to Target in the backup folder
  Delete,        // Path (an original symbol file whose backup is complete)
  Copy,          // Path copied to Target
  Write,         // Path replaced by Target, a line of text (ARGV.DAT: the project name)
  WriteBytes,    // Path replaced by other content; Target is its size in bytes
};

struct TransferAction {
  TransferActionKind Kind;
  std::string Path;
  std::string Target;
  bool operator==(const TransferAction&) const = default;
};

// One German line per action, as velmorctl prints the plan of a dry run.
std::string DescribeAction(const TransferAction& action);

// An original symbol file that stayed in the normal master data folder, and why.
struct KeptOriginal {
  std::string Path;
  bool BackedUp = false;  // its backup in SIASC is complete; it only could not be removed
  std::string Reason;     // German, e.g. "nicht gesichert, bleibt im Normstamm (Datenträger voll)"
  bool operator==(const KeptOriginal&) const = default;
};

struct TransferResult {
  TransferOutcome Outcome = TransferOutcome::Done;
  std::string ProjectFolder;                // project root + name + ".P", made absolute
  std::string ArgvFile;                     // EplanDir\O\CustomerId\StationNumber\ARGV.DAT
  size_t FilesCopied = 0;                   // sample files, EXF data, frames and symbols that arrived
  size_t SymbolsBackedUp = 0;               // originals moved into the backup folder
  std::vector<std::string> FailedCopies;    // "source -> target (why)" of every copy that failed
  std::vector<KeptOriginal> KeptOriginals;  // originals left in place, each with its reason
  bool ArgvWritten = false;
  std::string ArgvNotWritten;  // why an existing ARGV.DAT kept its old text (German), empty otherwise
  std::string Error;           // the error that ended the run (also thrown as TransferError)
  std::string JournalId;       // the journal of this run (velmorctl undo ID), or the pending one
  std::vector<TransferAction> Actions;  // every change in order (recorded in both modes)
};

// The error that ended a transfer, with everything the run did and failed to do before it.
class TransferError : public VelmorError {
 public:
  explicit TransferError(TransferResult result) : VelmorError(result.Error), result_(std::move(result)) {}
  const TransferResult& Result() const { return result_; }

 private:
  TransferResult result_;
};

// What a user reads about a finished transfer: the window's box and velmorctl print these lines.
struct TransferReport {
  // Something failed: a copy, the backup of an original, the writing of ARGV.DAT, or an error ended
  // the run. velmorctl then exits 1. An original that was backed up but could not be removed is only
  // a warning: the project is complete and nothing is missing.
  bool Failed = false;
  size_t Failures = 0;
  // German: the count of failures first (when there are any), then each failed copy, each original
  // that was not backed up, why ARGV.DAT kept its text, the error that ended the run, and last each
  // original that was backed up but stayed, with its reason.
  std::vector<std::string> Lines;
};
TransferReport ReportTransfer(const TransferResult& result);

// Files done / files to do, and the file being worked on.
using TransferProgress = std::function<void(size_t done, size_t total, const std::string& current)>;
// Called after the project folder was created; the window reloads its tree and walks it to the root.
using TransferTreeReload = std::function<void(const std::string& projectRoot)>;

class TransferPlatform;

class ProjectTransfer {
 public:
  // FF is the caller's sample search (see ConfigureSampleSearch) that appends to sampleList; both stay
  // with the caller, so the list accumulates across runs as in the window. The transfer works on
  // files: it wraps them in its journaling file role and hands that to the searches and copies it
  // runs. The station's lock, the journal's folder and the process come from system.
  ProjectTransfer(platform::IFileSystem& files, platform::ISystem& system, TFindFileEx& FF,
                  TQxstringlist& sampleList, IReporter& reporter);

  void SetProgress(TransferProgress progress) { progress_ = std::move(progress); }
  void SetTreeReload(TransferTreeReload reload) { reload_ = std::move(reload); }
  // In a dry run every change is recorded in TransferResult::Actions instead of being made; reads, the
  // searches and the questions happen as in a real run. A dry run takes no lock.
  void SetDryRun(bool dryRun) { dryRun_ = dryRun; }
  // Who takes the station's lock, as a second transfer names it ("velmorctl"); and how long a
  // transfer waits for a station that another one holds before it gives up.
  void SetHolder(std::string holder) { holder_ = std::move(holder); }
  void SetLockWait(std::chrono::milliseconds wait) { lockWait_ = wait; }
  // How many originals are backed up between two flushes to the disk.
  void SetBackupBatch(size_t files) { backupBatch_ = files > 0 ? files : 1; }
  // A transfer refused because an interrupted one on the station is not taken back yet: the refusal is
  // said through the reporter (with the command that takes it back), or, when left to the caller,
  // said by nobody: the caller finds the pending journal's id in the result and offers the undo itself.
  void SetPendingLeftToCaller(bool left) { pendingLeftToCaller_ = left; }

  TransferResult Run(const TransferInputs& inputs);

 private:
  platform::IFileSystem& files_;
  platform::ISystem& system_;
  TFindFileEx& FF_;
  TQxstringlist& samples_;
  IReporter& reporter_;
  TransferProgress progress_;
  TransferTreeReload reload_;
  bool dryRun_ = false;
  std::string holder_ = "Kelvra nach EPLAN";
  std::chrono::milliseconds lockWait_{3000};
  size_t backupBatch_ = 256;
  bool pendingLeftToCaller_ = false;

  void CopyIntoProjectAndStation(TransferPlatform& books, const TransferInputs& in,
                                 const std::string& projectFolder, TransferResult& result);
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
// does not allow in file names (< > " | ? * and codes below 32), or the names "." and "..", and for a
// name that makes the project folder a device name (CON, PRN, AUX, NUL, COM1..COM9, LPT1..LPT9: the
// folder is the name followed by ".P"). The empty name is allowed.
bool IsValidProjectName(std::string_view name);
// "Ungültiger Projektname: %s".
std::string InvalidProjectNameMessage(const std::string& name);
// Why the inputs name no place for a new project (German, naming what to choose); nullopt when they
// do. Refused: no EPLAN environment (no EPLAN folder or no normal master data folder), an empty or
// blank project name, and a project path that is not a full path of an existing folder (the label's
// "Label10" before any reading, "Drives" after a click on the computer, an empty text): a relative
// path would put the project into whatever folder the program was started in. The folder is looked
// up through files.
std::optional<std::string> ProjectPlaceProblem(platform::IFileSystem& files, const TransferInputs& in);
// Windows' limits on a full path: a folder that CreateDirectory accepts, a file inside it.
inline constexpr size_t kMaxFolderPath = 247;
inline constexpr size_t kMaxFilePath = 259;
// Why the full path of a project folder, and the files of the given names in it, could not exist on
// Windows (German, for the user); nullopt when they can.
std::optional<std::string> ProjectFolderProblem(const std::string& fullFolder,
                                                const std::vector<std::string>& fileNames);
// The longest file name, in bytes, that the host's file systems take (Windows' limit of 255
// characters is never the tighter one).
inline constexpr size_t kMaxNameBytes = 255;
// The name a backup takes when it is set aside for a newer one: "X.ASC" becomes "X.~001.ASC", with
// the number after the highest of the versioned names in used (the names found in the folder, in any
// case). The number has as many digits as it needs; a name that would pass kMaxNameBytes gets a
// shorter stem, so a backup can always be set aside.
std::string VersionedBackupName(const std::string& name, const std::vector<std::string>& used);

}  // namespace velmor
