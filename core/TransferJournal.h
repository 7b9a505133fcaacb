// The transfer journal: for every real transfer, a record of each change it makes, written before the
// change, from which the change can be taken back exactly (velmorctl undo, the window).
//
// Where: $XDG_STATE_HOME/velmor/journal/ (default ~/.local/state/...), one folder per station (the Wine
// prefix, however its path is spelled), and in it one folder per transfer, named by the transfer's id.
// "log" holds the records, one per line, each with a checksum; the station's "saved" holds the old
// content of every file a transfer overwrote (a project file, ARGV.DAT, a symbol that was not moved
// away), once per content, named by its size and hash, shared by the station's transfers; "state"
// says how far the log was on the disk at its last flush and which end marks it has, so that a log
// cut short or altered since is told apart from one torn by a power cut.
//
// Order: each transfer carries a sequence number of its station, one above the highest there (taken
// under the station's lock), so the clock never decides which transfer came last.
//
// Written ahead: the record that undoes a change is in the log before the change is made, and on the
// disk before any change that could not be undone without it. The records of a batch (the backups of a
// batch of originals, the copies of one step) are written and flushed together before the batch
// starts, so a transfer costs a few flushes, not one per file.
//
// A record says what a file was before and what the transfer may make of it (its size and a
// fingerprint of its content), never only that something happened. Undo decides by what it finds, so
// an interrupted transfer, or an interrupted undo run again, is taken back exactly.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Platform.h"

namespace velmor {

// Size and a 64-bit hash of a file's content: enough to tell the content a transfer wrote from any
// other (it is not meant to resist a file made to collide on purpose).
struct Fingerprint {
  uint64_t Size = 0;
  uint64_t Hash = 0;
  bool operator==(const Fingerprint&) const = default;
};
Fingerprint FingerprintOf(std::string_view bytes);
// nullopt when the file cannot be read.
std::optional<Fingerprint> FingerprintOfFile(platform::IFileSystem& files, const std::string& path);

enum class JournalState {
  Running,      // not complete, and its process still runs
  Complete,     // the transfer ended; every change it made is recorded
  Interrupted,  // not complete and its process is gone: killed, crashed, or the power failed
  Undone,       // taken back
  Partial,      // an undo ran but left something (reported then); undo may run again
  Refused,      // the transfer was refused before its first change: nothing to take back
};
// "läuft", "abgeschlossen", "unterbrochen", "zurückgenommen", "zum Teil zurückgenommen", "abgelehnt".
std::string JournalStateText(JournalState state);

// What a journal says about its transfer.
struct JournalInfo {
  std::string Id;         // "20250106-101530-4821": start time and process
  std::string Time;       // "2025-01-06 10:15:30", local time of the start
  int64_t Started = 0;    // nanoseconds since 1970 (shown, never used for the order)
  uint64_t Sequence = 0;  // the order of the transfers of its station; 0 in journals of old versions
  std::string Folder;     // the journal's folder (Windows path)
  uint64_t Bytes = 0;     // its log and the contents it was first to save
  int64_t Pid = 0;        // the process that made the transfer
  std::string Holder;     // the program: "velmorctl transfer", the window's title
  std::string Prefix;     // the Wine prefix (host folder) its Windows paths belong to
  std::string CustomerId;
  std::string StationNumber;
  std::string StationKey;  // StationKey() of its normal master data folder
  std::string ProjectName;
  std::string ProjectFolder;
  std::string ArgvFile;
  std::string NormalMaster;
  std::string ExfDir;
  std::string AscDir;
  std::string ExpDir;
  JournalState State = JournalState::Interrupted;
};

// The folder of all journals (host path): StateFolderHost() + "/journal".
std::string JournalFolderHost(platform::ISystem& system);
// Whether two host paths of Wine prefixes name the same folder (a trailing slash, a link, "..").
bool SamePrefix(platform::IFileSystem& files, const std::string& a, const std::string& b);
// Every journal of every station, oldest first (by station, then sequence).
std::vector<JournalInfo> ListJournals(platform::IFileSystem& files, platform::ISystem& system);
// The journals of the station of the Wine prefix prefix (host path), oldest first; only they are read.
std::vector<JournalInfo> ListStationJournals(platform::IFileSystem& files, platform::ISystem& system,
                                             const std::string& prefix);
// Whether a comes after b on their station.
bool JournalAfter(const JournalInfo& a, const JournalInfo& b);
// The bytes of every file below the journal folder: what the journals take on the disk.
uint64_t JournalFolderBytes(platform::IFileSystem& files, platform::ISystem& system);

// Which journals prune keeps: the last Keep of each station, and those younger than Days days; a
// journal goes when neither keeps it (with only one of them given, that one decides). Interrupted,
// running and partly undone journals always stay: they still have something to take back.
struct PrunePolicy {
  std::optional<size_t> Keep;
  std::optional<unsigned> Days;
};
// What a transfer prunes on its station once it is complete.
inline constexpr size_t kPruneKeepDefault = 20;
inline constexpr unsigned kPruneDaysDefault = 30;
struct PruneResult {
  size_t Removed = 0;
  uint64_t Bytes = 0;                 // freed, saved contents no journal needs any more included
  std::vector<std::string> Failures;  // German: what could not be removed
};
// Prunes the journals of the station of prefix (host path), or with an empty prefix of every station.
PruneResult PruneJournals(platform::IFileSystem& files, platform::ISystem& system, const std::string& prefix,
                          const PrunePolicy& policy);

// One record of a journal as undo reads it.
struct JournalRecord {
  enum class Kind {
    Folder,      // Path: a folder the transfer created
    Created,     // Path did not exist; Now: its content after the transfer
    Replaced,    // Path existed with Before/Attributes; Saved: its old content in the journal; Now: after
    MayBe,       // Path may also end up as Now (a later write of the same transfer); Gone: deleted
    Backup,      // Path (an original, content Now, attributes Attributes) copied to Target in SIASC
                 // and then deleted; Gone: Target existed with the same content and was kept
    Renamed,     // Path (an older backup) renamed to Target
    Attributes,  // Path existed with Attributes, which the transfer changed
  };
  Kind Type = Kind::Folder;
  std::string Path;
  std::string Target;
  std::string Saved;
  Fingerprint Before;
  Fingerprint Now;
  uint32_t Attributes = 0;
  platform::FileTime LastWrite = 0;  // Backup, Replaced: the last-write time the file had
  bool Gone = false;
};

// Where the saved content of a record (its Saved field) of the journal in journalFolder lies.
std::string SavedPath(const std::string& journalFolder, const std::string& saved);

// A journal read back, line by line: its header, every record whose checksum holds, its end marks,
// and what is wrong with it.
struct JournalContent {
  JournalInfo Info;
  std::vector<JournalRecord> Records;
  std::string Folder;  // the journal's folder (Windows path)
  bool Complete = false;
  bool Refused = false;
  bool Undone = false;
  bool UndoBegun = false;  // an undo has changed the station before (some of its files may be gone)
  // German, one line each: lines that were on the disk and are damaged now, a log shorter than it
  // was written. What they recorded cannot be taken back.
  std::vector<std::string> Damage;
  // German: lines after the end mark that are not records of an undo (ignored).
  std::vector<std::string> Warnings;
};
// The journal in folder (Windows path); nullopt when it has no readable header.
std::optional<JournalContent> ReadJournal(platform::IFileSystem& files, platform::ISystem& system,
                                          const std::string& folder);
// Appends an end mark durably: "S" an undo begins, "U" taken back, "P" taken back in part, "N" the
// transfer was refused before its first change. False when that cannot be written.
bool MarkJournal(platform::IFileSystem& files, const std::string& folder, char mark);

// The journal a transfer writes.
class TransferJournal {
 public:
  // Starts the journal of a new transfer (its folder, its header on the disk) on files, which must be
  // the file role below the transfer's own. Id and Time of header are set here. room: the most the
  // journal of this transfer will hold (its records and the contents it saves); a journal folder
  // with less free space is refused before anything is written. nullptr with error.
  static std::unique_ptr<TransferJournal> Create(platform::IFileSystem& files, platform::ISystem& system,
                                                 JournalInfo header, uint64_t room, std::string& error);
  ~TransferJournal();
  TransferJournal(const TransferJournal&) = delete;
  TransferJournal& operator=(const TransferJournal&) = delete;

  const std::string& Id() const { return info_.Id; }
  // Why the last record could not be written or flushed (German).
  const std::string& Error() const { return error_; }

  // --- records; queued until Commit ---
  // Before target gets content next (a copy, a whole-file write). What the target is when this
  // transfer first touches it is recorded (an existing file is first saved into the journal); a
  // later write of another content only adds that content. False when the old content could not be
  // saved: the write must then not be made.
  // exists: whether the target exists, when the caller knows it from a listing of its folder.
  bool BeforeWrite(const std::string& target, const Fingerprint& next,
                   std::optional<bool> exists = std::nullopt);
  // After target was written: it now holds what this transfer wrote.
  void Written(const std::string& target);
  // The target was recorded as absent and this transfer has not written it yet: a file there now was
  // put there by another program.
  bool RecordedAbsent(const std::string& target);
  // Before path is deleted outside the backup step.
  bool BeforeDelete(const std::string& path);
  // The transfer was refused (its project folder could not be made): when nothing of what it recorded
  // was made, the journal is marked refused and undo passes it over; otherwise it ends as Complete.
  bool Refused();
  // Before the attributes of path change.
  bool BeforeAttributes(const std::string& path);
  // Before folder is created.
  void BeforeFolder(const std::string& folder);
  // Before an original is copied to its backup and deleted. backupExists: the backup holds the same
  // content already and stays (its attributes and time may differ from the original's).
  void BeforeBackup(const std::string& original, const std::string& backup, const Fingerprint& content,
                    uint32_t attributes, platform::FileTime lastWrite, bool backupExists);
  // Before an older backup is renamed to its versioned name.
  void BeforeRename(const std::string& from, const std::string& to);
  // Writes the queued records; durable also puts them (and the saved contents) on the disk.
  bool Commit(bool durable);
  // The transfer has ended: writes and flushes the end mark.
  bool Complete();

 private:
  TransferJournal(platform::IFileSystem& os, JournalInfo info, std::string folder,
                  std::unique_ptr<platform::IFile> log);
  void Queue(std::initializer_list<std::string_view> fields);
  bool WriteState();
  std::optional<std::string> Save(const std::string& path, const Fingerprint& content);
  std::string Key(const std::string& path);
  bool Fail(std::string text);

  // What the journal knows of one file it has a record for.
  struct Entry {
    bool existed = false;  // it existed when first touched (and was saved)
    bool written = false;  // this transfer has written it since
    std::vector<Fingerprint> states;
  };

  platform::IFileSystem& os_;
  JournalInfo info_;
  std::string folder_;
  std::unique_ptr<platform::IFile> log_;
  std::string queue_;
  uint64_t logSize_ = 0;  // bytes written to the log
  uint64_t stored_ = 0;   // bytes of contents this transfer saved first
  std::string marks_;     // end marks written
  bool writtenSinceFlush_ = false;
  bool savedSinceFlush_ = false;
  std::map<std::string, Entry> entries_;
  std::set<std::string> attributesKept_;
  std::vector<std::string> folders_;  // folders recorded before their creation
  size_t fileRecords_ = 0;            // records of anything but a folder
  std::string error_;
  bool failed_ = false;
};

}  // namespace velmor
