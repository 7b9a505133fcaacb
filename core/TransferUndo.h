// Taking a transfer back from its journal: the originals return to the normal master data folder,
// what the transfer created goes, what it overwrote gets its old content back, ARGV.DAT included. Only
// what is still as the transfer left it is touched; a file changed since is left alone and reported.
// The same for a transfer that was interrupted: each record is decided by what is found, so an undo
// can itself be interrupted and run again.
//
// Undo holds the station's lock (no transfer runs beside it) and refuses a transfer whose journal
// says it still runs (a lock file removed by hand does not let them meet); it refuses a transfer whose
// later transfers on the station are not taken back yet (they built on it). A journal found damaged is
// taken back as far as its readable records go, and reported, never marked undone. The journal is
// marked undone only when the station is as it was; otherwise undone in part, and undo may run again.
// Refusals reach the user through IReporter, like the transfer's own messages.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "core/Reporter.h"
#include "core/TransferJournal.h"

namespace velmor {

enum class UndoOutcome {
  Done,           // everything taken back
  Incomplete,     // taken back except what Conflicts and Failures name
  AlreadyUndone,  // the transfer was taken back before; nothing done
  Refused,        // nothing done: no such transfer, a later one first, another station, busy
};

struct UndoStep {
  enum class Kind {
    Remove,         // Path, created by the transfer
    Restore,        // Path gets its old content back from From (a saved copy or a backup)
    Rename,         // From renamed back to Path
    SetAttributes,  // Path gets its old attributes back
    RemoveFolder,   // Path, a folder the transfer created, now empty again
  };
  Kind Type;
  std::string Path;
  std::string From;
  bool operator==(const UndoStep&) const = default;
};
// One German line per step, as velmorctl undo --dry-run prints the plan.
std::string DescribeUndoStep(const UndoStep& step);

struct UndoResult {
  UndoOutcome Outcome = UndoOutcome::Refused;
  JournalInfo Journal;
  std::vector<UndoStep> Steps;         // made, or planned in a dry run, in order
  std::vector<std::string> Conflicts;  // German: left alone because changed since the transfer
  std::vector<std::string> Failures;   // German: a step that failed
  std::vector<std::string> Warnings;   // German: what was passed over in the journal (nothing left)
};

// The newest transfer on the station of key that was interrupted (or still looks as if it ran): the
// next transfer there must not start before it is taken back.
std::optional<JournalInfo> FindPendingJournal(platform::IFileSystem& files, platform::ISystem& system,
                                              const std::string& stationKey);
// The German refusal of a transfer while one is pending: a running one named as running (who, since
// when), an interrupted one with the command that takes it back.
std::string PendingJournalMessage(const JournalInfo& pending);

class TransferUndo {
 public:
  // The steps are made through files; the journals are found and the station locked through system.
  TransferUndo(platform::IFileSystem& files, platform::ISystem& system, IReporter& reporter)
      : files_(files), system_(system), reporter_(reporter) {}
  // Who takes the station's lock while undoing; how long to wait for it.
  void SetHolder(std::string holder) { holder_ = std::move(holder); }
  void SetLockWait(std::chrono::milliseconds wait) { lockWait_ = wait; }
  // A dry run plans the steps, changes nothing, and takes no lock.
  void SetDryRun(bool dryRun) { dryRun_ = dryRun; }

  // Takes back the transfer of id, or with an empty id the latest one not taken back yet.
  UndoResult Run(const std::string& id);

 private:
  platform::IFileSystem& files_;
  platform::ISystem& system_;
  IReporter& reporter_;
  std::string holder_ = "Kelvra nach EPLAN";
  std::chrono::milliseconds lockWait_{3000};
  bool dryRun_ = false;
};

}  // namespace velmor
