#include "core/TransferUndo.h"

#include <algorithm>
#include <map>
#include <set>

#include "core/StationLock.h"
#include "support/PathRoutines.h"

namespace velmor {
namespace {

using platform::FindData;
using platform::IFileSystem;
using Kind = JournalRecord::Kind;

constexpr uint32_t kKeptBits = platform::kAttrReadOnly | platform::kAttrHidden | platform::kAttrSystem;

// What undo finds at a path.
struct Look {
  bool exists = false;
  bool folder = false;
  uint32_t attributes = 0;
  platform::FileTime lastWrite = 0;
  std::optional<Fingerprint> content;  // nullopt for a folder or an unreadable file
};

// The files undo works on: the disk itself, or in a dry run the disk as the planned steps would
// leave it. Every step that succeeds (or would) is booked in the result.
class UndoWorld {
 public:
  UndoWorld(IFileSystem& os, bool dryRun, UndoResult& result) : os_(os), dryRun_(dryRun), result_(result) {}
  IFileSystem& Files() { return os_; }

  Look Find(const std::string& path) {
    if (dryRun_) {
      if (auto it = overlay_.find(Key(path)); it != overlay_.end()) return it->second.value_or(Look{});
    }
    Look look;
    if (!Listed(path)) return look;
    FindData data;
    if (!os_.GetFileData(path, data)) return look;
    look.exists = true;
    look.folder = (data.attributes & platform::kAttrDirectory) != 0;
    look.attributes = data.attributes;
    look.lastWrite = data.lastWriteTime;
    if (!look.folder) look.content = FingerprintOfFile(os_, path);
    return look;
  }

  bool Remove(const std::string& path, const Look& now) {
    if (!dryRun_) {
      if ((now.attributes & platform::kAttrReadOnly) && !os_.SetFileAttributes(path, platform::kAttrNormal))
        return Failed("entfernen", path);
      if (!os_.DeleteFile(path)) return Failed("entfernen", path);
    }
    Book(path, std::nullopt);
    return Done({UndoStep::Kind::Remove, path, {}});
  }

  // Back from a saved copy, with its attributes and time; or from an identical backup, with the
  // original's attributes and time given.
  bool Restore(const std::string& path, const std::string& from, const Look& now,
               std::optional<uint32_t> attributes = std::nullopt, platform::FileTime lastWrite = 0) {
    Look restored = Find(from);
    if (!dryRun_) {
      if (now.exists && (now.attributes & platform::kAttrReadOnly) &&
          !os_.SetFileAttributes(path, platform::kAttrNormal))
        return Failed("wiederherstellen", path);
      if (!os_.CopyFile(from, path, false)) return Failed("wiederherstellen", path);
      // The time first: a write-protected file keeps its time as well.
      if (lastWrite && !os_.SetFileTime(path, lastWrite)) return Failed("wiederherstellen", path);
      if (attributes && ((restored.attributes ^ *attributes) & kKeptBits) && !SetBits(path, *attributes))
        return Failed("wiederherstellen", path);
    }
    if (attributes) restored.attributes = *attributes;
    if (lastWrite) restored.lastWrite = lastWrite;
    Book(path, restored);
    return Done({UndoStep::Kind::Restore, path, from});
  }

  // The attributes and the time an original had, where only they are missing (an undo cut short
  // between restoring the content and setting them).
  void Finish(const std::string& path, const Look& now, uint32_t attributes, platform::FileTime lastWrite) {
    if (lastWrite && now.lastWrite != lastWrite) {
      if (!dryRun_ && !os_.SetFileTime(path, lastWrite)) {
        Failed("wiederherstellen", path);
        return;
      }
      Look look = now;
      look.lastWrite = lastWrite;
      Book(path, look);
      Done({UndoStep::Kind::SetAttributes, path, {}});
    }
    if ((now.attributes ^ attributes) & kKeptBits) SetAttributes(path, attributes);
  }

  // from is renamed back to path.
  bool RenameBack(const std::string& from, const std::string& path) {
    const Look moved = Find(from);
    if (!dryRun_ && !os_.MoveFile(from, path)) return Failed("zurückbenennen", from);
    Book(path, moved);
    Book(from, std::nullopt);
    return Done({UndoStep::Kind::Rename, path, from});
  }

  bool SetAttributes(const std::string& path, uint32_t attributes) {
    if (!dryRun_ && !SetBits(path, attributes)) return Failed("Attribute zurücksetzen", path);
    Look look = Find(path);
    look.attributes = (look.attributes & ~kKeptBits) | (attributes & kKeptBits);
    Book(path, look);
    return Done({UndoStep::Kind::SetAttributes, path, {}});
  }

  // A folder that still holds something stays (a conflict: someone put it there).
  void RemoveFolder(const std::string& path) {
    if (!dryRun_) {
      os_.RemoveStaleTemporaries(path);
      if (!os_.RemoveDirectory(path)) {
        if (platform::LastError() == platform::kErrorDirNotEmpty)
          result_.Conflicts.push_back("Ordner nicht leer, bleibt: " + path);
        else
          Failed("Ordner entfernen", path);
        return;
      }
    } else if (!EmptyAfterPlan(path)) {
      result_.Conflicts.push_back("Ordner nicht leer, bleibt: " + path);
      return;
    }
    Book(path, std::nullopt);
    Done({UndoStep::Kind::RemoveFolder, path, {}});
  }

 private:
  // Whether the listing of path's folder has its name. A name that is not there is known missing
  // without a lookup: looking up a missing name lists its folder again after each change, and
  // undo changes the folders it looks in all the time.
  bool Listed(const std::string& path) {
    const std::string key = Key(path);
    const size_t slash = key.rfind('\\');
    if (slash == std::string::npos) return true;
    auto it = listed_.find(key.substr(0, slash));
    if (it == listed_.end()) {
      std::set<std::string> names;
      std::unique_ptr<platform::IFolderListing> listing = os_.ListFolder(FolderOf(path));
      if (listing) {
        for (size_t i = 0; i < listing->Count(); ++i) names.insert(platform::FoldUpper(listing->Name(i)));
      }
      it = listed_.emplace(key.substr(0, slash), std::move(names)).first;
    }
    return it->second.count(key.substr(slash + 1)) > 0;
  }
  // What a step made of path: seen by later looks of a dry run, and by the listings of both kinds.
  void Book(const std::string& path, std::optional<Look> look) {
    const std::string key = Key(path);
    const size_t slash = key.rfind('\\');
    if (slash != std::string::npos) {
      if (auto it = listed_.find(key.substr(0, slash)); it != listed_.end()) {
        if (look && look->exists)
          it->second.insert(key.substr(slash + 1));
        else
          it->second.erase(key.substr(slash + 1));
      }
    }
    overlay_[key] = std::move(look);
  }
  std::string Key(const std::string& path) {
    std::string full = os_.FullPath(path).value_or(path);
    while (full.size() > 3 && full.back() == '\\') full.pop_back();
    return platform::FoldUpper(full);
  }
  bool SetBits(const std::string& path, uint32_t attributes) {
    const uint32_t bits = attributes & kKeptBits;
    return os_.SetFileAttributes(path, bits ? bits : platform::kAttrNormal);
  }
  bool Done(UndoStep step) {
    result_.Steps.push_back(std::move(step));
    return true;
  }
  bool Failed(const std::string& what, const std::string& path) {
    result_.Failures.push_back(what + " fehlgeschlagen: " + path);
    return false;
  }
  // What a folder would hold once the planned steps are made; temporaries of killed runs go too.
  bool EmptyAfterPlan(const std::string& folder) {
    const std::string prefix = Key(folder) + "\\";
    for (const auto& [key, look] : overlay_)
      if (look && look->exists && key.compare(0, prefix.size(), prefix) == 0) return false;
    std::unique_ptr<platform::IFolderListing> listing = os_.ListFolder(folder);
    if (!listing) return !Find(folder).exists;
    for (size_t i = 0; i < listing->Count(); ++i) {
      const std::string name(listing->Name(i));
      if (name == "." || name == ".." ||
          (name.rfind(".velmor-", 0) == 0 && name.size() > 4 &&
           name.compare(name.size() - 4, 4, ".tmp") == 0))
        continue;
      auto it = overlay_.find(Key(folder + "\\" + name));
      if (it == overlay_.end() || (it->second && it->second->exists)) return false;
    }
    return true;
  }

  IFileSystem& os_;
  const bool dryRun_;
  UndoResult& result_;
  std::map<std::string, std::optional<Look>> overlay_;   // nullopt: gone
  std::map<std::string, std::set<std::string>> listed_;  // folded names of each folder looked into
};

// Everything the journal says about one file written outside the backup step.
struct FileRecords {
  const JournalRecord* replaced = nullptr;  // the first record that saved its old content
  bool created = false;
  bool mayBeGone = false;                 // the transfer itself may have deleted it
  std::vector<Fingerprint> left;          // every content the transfer may have left there
  std::vector<Fingerprint> before;        // what it held before the transfer (saved, or backed up)
  const JournalRecord* backup = nullptr;  // its original was backed up (the last time)
};

class Undoer {
 public:
  Undoer(UndoWorld& world, UndoResult& result, const JournalContent& journal)
      : world_(world), result_(result), journal_(journal) {}

  void Run(IFileSystem& os) {
    const std::vector<JournalRecord>& records = journal_.Records;
    std::map<std::string, FileRecords> files;
    for (const JournalRecord& r : records) {
      if (r.Type == Kind::Backup) {
        FileRecords& f = files[Key(os, r.Path)];
        f.before.push_back(r.Now);
        f.backup = &r;
      }
      if (r.Type != Kind::Created && r.Type != Kind::Replaced && r.Type != Kind::MayBe) continue;
      FileRecords& f = files[Key(os, r.Path)];
      if (r.Type == Kind::Created) f.created = true;
      if (r.Type == Kind::Replaced) {
        if (!f.replaced) f.replaced = &r;
        f.before.push_back(r.Before);
      }
      if (r.Gone)
        f.mayBeGone = true;
      else
        f.left.push_back(r.Now);
    }
    // Newest first; a file written several times is decided once, at its latest record.
    std::set<std::string> decided;
    for (auto it = records.rbegin(); it != records.rend(); ++it) {
      const JournalRecord& r = *it;
      switch (r.Type) {
        case Kind::Created:
        case Kind::Replaced:
        case Kind::MayBe: {
          const std::string key = Key(os, r.Path);
          if (decided.insert(key).second) UndoFile(r.Path, files[key]);
          break;
        }
        case Kind::Backup:
          UndoBackup(r);
          break;
        case Kind::Renamed:
          UndoRename(r);
          break;
        case Kind::Attributes: {
          const Look now = world_.Find(r.Path);
          if (now.exists && ((now.attributes ^ r.Attributes) & kKeptBits))
            world_.SetAttributes(r.Path, r.Attributes);
          break;
        }
        case Kind::Folder:
          if (world_.Find(r.Path).folder)
            world_.RemoveFolder(r.Path);
          else
            FolderMissing(r.Path, records);
          break;
      }
    }
  }

 private:
  static std::string Key(IFileSystem& os, const std::string& path) {
    return platform::FoldUpper(os.FullPath(path).value_or(path));
  }
  static bool Holds(const Look& look, const Fingerprint& content) {
    return look.exists && !look.folder && look.content && *look.content == content;
  }
  void Changed(const std::string& path) {
    result_.Conflicts.push_back("seit der Übertragung geändert, bleibt: " + path);
  }

  // A folder the transfer made that is not there: when the transfer ended and no undo ran before, it
  // was renamed or moved away with what the transfer put into it, which then stays unseen.
  void FolderMissing(const std::string& folder, const std::vector<JournalRecord>& records) {
    if (!journal_.Complete || journal_.UndoBegun) return;
    const std::string prefix = platform::FoldUpper(folder) + "\\";
    for (const JournalRecord& r : records) {
      if ((r.Type == Kind::Created || r.Type == Kind::Replaced) &&
          platform::FoldUpper(r.Path).compare(0, prefix.size(), prefix) == 0) {
        result_.Conflicts.push_back(
            "Ordner fehlt seit der Übertragung (umbenannt oder verschoben?), was die Übertragung darin "
            "angelegt hat, bleibt: " +
            folder);
        return;
      }
    }
  }

  std::string Saved(const JournalRecord& r) const { return SavedPath(journal_.Folder, r.Saved); }

  // A saved copy is restored only when it still holds what was saved.
  bool SavedIntact(const std::string& path, const JournalRecord& r) {
    if (FingerprintOfFile(world_.Files(), Saved(r)) == r.Before) return true;
    result_.Conflicts.push_back("die gesicherte Kopie " + Saved(r) +
                                " ist beschädigt, nicht wiederhergestellt: " + path);
    return false;
  }

  void UndoFile(const std::string& path, const FileRecords& f) {
    const Look now = world_.Find(path);
    auto holdsOneOf = [&](const std::vector<Fingerprint>& contents) {
      return now.exists && !now.folder && now.content &&
             std::find(contents.begin(), contents.end(), *now.content) != contents.end();
    };
    const bool left = holdsOneOf(f.left);
    // Already what it was before: an undo that ran before (and was cut short) got this far, or a
    // later record's undo (an original moved back from SIASC) will get there.
    if (holdsOneOf(f.before) && !left) {
      if (f.replaced) world_.Finish(path, now, f.replaced->Attributes, f.replaced->LastWrite);
      return;
    }
    if (const JournalRecord* r = f.replaced) {
      if (!now.exists) {
        if (!f.mayBeGone)
          result_.Conflicts.push_back("seit der Übertragung gelöscht, nicht wiederhergestellt: " + path);
        else if (SavedIntact(path, *r))
          world_.Restore(path, Saved(*r), now, r->Attributes, r->LastWrite);
      } else if (Holds(now, r->Before)) {
        // The same content (written again by the transfer, or back already): its time and bits.
        world_.Finish(path, now, r->Attributes, r->LastWrite);
      } else if (!left) {
        Changed(path);
      } else if (SavedIntact(path, *r)) {
        world_.Restore(path, Saved(*r), now, r->Attributes, r->LastWrite);
      }
    } else if (now.exists) {
      if (!left) {
        Changed(path);
      } else if (f.backup && !Holds(world_.Find(f.backup->Target), f.backup->Now)) {
        // Its original is not in its backup any more: the new file is all that is left of the
        // symbol, and stays.
        result_.Conflicts.push_back("bleibt, das Original kann nicht zurückgebracht werden (die Sicherung " +
                                    f.backup->Target + " fehlt oder ist geändert): " + path);
      } else {
        world_.Remove(path, now);
      }
    }
  }

  void UndoBackup(const JournalRecord& r) {
    const Look original = world_.Find(r.Path);
    const Look backup = world_.Find(r.Target);
    const bool backupHolds = Holds(backup, r.Now);
    if (!original.exists) {
      if (!backupHolds) {
        result_.Conflicts.push_back("nicht wiederherstellbar, die Sicherung " + r.Target +
                                    " fehlt oder ist geändert: " + r.Path);
      } else if (r.Gone) {
        world_.Restore(r.Path, r.Target, original, r.Attributes, r.LastWrite);  // the identical backup stays
      } else {
        world_.RenameBack(r.Target, r.Path);
      }
    } else if (Holds(original, r.Now)) {
      if (!r.Gone && backupHolds) world_.Remove(r.Target, backup);
      world_.Finish(r.Path, original, r.Attributes, r.LastWrite);
    } else if (!backupHolds) {
      result_.Conflicts.push_back("nicht wiederherstellbar, die Sicherung " + r.Target +
                                  " fehlt oder ist geändert: " + r.Path);
    } else {
      result_.Conflicts.push_back("seit der Übertragung geändert, bleibt: " + r.Path +
                                  " (das Original liegt in " + r.Target + ")");
    }
  }

  void UndoRename(const JournalRecord& r) {
    const Look older = world_.Find(r.Path);
    const Look renamed = world_.Find(r.Target);
    if (older.exists || !renamed.exists) {
      if (older.exists && renamed.exists)
        result_.Conflicts.push_back("nicht zurückbenannt, " + r.Path + " besteht: " + r.Target);
      return;
    }
    world_.RenameBack(r.Target, r.Path);
  }

  UndoWorld& world_;
  UndoResult& result_;
  const JournalContent& journal_;
};

}  // namespace

std::string DescribeUndoStep(const UndoStep& step) {
  switch (step.Type) {
    case UndoStep::Kind::Remove:
      return "entfernen: " + step.Path;
    case UndoStep::Kind::Restore:
      return "wiederherstellen: " + step.Path + " (aus " + step.From + ")";
    case UndoStep::Kind::Rename:
      return "zurückbenennen: " + step.From + " -> " + step.Path;
    case UndoStep::Kind::SetAttributes:
      return "Attribute zurücksetzen: " + step.Path;
    case UndoStep::Kind::RemoveFolder:
      return "Ordner entfernen: " + step.Path;
  }
  return {};
}

std::optional<JournalInfo> FindPendingJournal(platform::IFileSystem& files, platform::ISystem& system,
                                              const std::string& stationKey) {
  const std::vector<JournalInfo> journals = ListStationJournals(files, system, system.PrefixDirectory());
  for (auto it = journals.rbegin(); it != journals.rend(); ++it) {
    if (it->StationKey == stationKey &&
        (it->State == JournalState::Interrupted || it->State == JournalState::Running))
      return *it;
  }
  return std::nullopt;
}

std::string RunningJournalText(const JournalInfo& running) {
  return running.Holder + ", Prozess " + std::to_string(running.Pid) + ", seit " + running.Time;
}

std::string PendingJournalMessage(const JournalInfo& pending) {
  if (pending.State == JournalState::Running) {
    return "Auf dieser Station läuft bereits eine Übertragung (" + RunningJournalText(pending) +
           ", Projekt " + pending.ProjectFolder +
           "). Bitte warten, bis sie beendet ist, und dann erneut übertragen.";
  }
  return "Eine unterbrochene Übertragung auf dieser Station ist noch nicht zurückgenommen (" + pending.Id +
         ", Projekt " + pending.ProjectFolder + ", begonnen " + pending.Time +
         "). Bitte zuerst zurücknehmen: velmorctl undo " + pending.Id;
}

UndoResult TransferUndo::Run(const std::string& id) {
  UndoResult result;
  IFileSystem& os = files_;
  // Without an id: the latest transfer of this station (the prefix WINEPREFIX names) that is left to
  // take back. An id may name a transfer of any station; it is refused below when it is not this one.
  const std::vector<JournalInfo> journals =
      id.empty() ? ListStationJournals(os, system_, system_.PrefixDirectory()) : ListJournals(os, system_);
  const JournalInfo* chosen = nullptr;
  for (auto it = journals.rbegin(); it != journals.rend() && !chosen; ++it) {
    if (id.empty() ? it->State != JournalState::Undone && it->State != JournalState::Refused : it->Id == id)
      chosen = &*it;
  }
  auto refuse = [&](const std::string& message, UndoOutcome outcome = UndoOutcome::Refused) {
    reporter_.ShowMessage(message);
    result.Outcome = outcome;
    return result;
  };
  if (!chosen) {
    return refuse(id.empty() ? "Es gibt keine Übertragung, die zurückgenommen werden kann."
                             : "Keine Übertragung mit der Kennung " + id + " gefunden.");
  }
  result.Journal = *chosen;
  if (chosen->State == JournalState::Undone)
    return refuse("Die Übertragung " + chosen->Id + " ist bereits zurückgenommen.",
                  UndoOutcome::AlreadyUndone);
  if (chosen->State == JournalState::Refused)
    return refuse("Die Übertragung " + chosen->Id + " wurde abgelehnt, bevor sie etwas geändert hat.",
                  UndoOutcome::AlreadyUndone);
  if (!SamePrefix(os, chosen->Prefix, system_.PrefixDirectory())) {
    return refuse("Die Übertragung " + chosen->Id + " gehört zur Station in " + chosen->Prefix +
                  ": mit WINEPREFIX=" + chosen->Prefix + " zurücknehmen.");
  }
  auto running = [&](const JournalInfo& info) {
    return refuse("Die Übertragung " + info.Id + " läuft noch (" + RunningJournalText(info) +
                  "). Bitte warten, bis sie beendet ist, und dann zurücknehmen.");
  };
  if (chosen->State == JournalState::Running) return running(*chosen);
  for (const JournalInfo& later : journals) {
    if (later.StationKey == chosen->StationKey && later.State != JournalState::Undone &&
        later.State != JournalState::Refused && JournalAfter(later, *chosen)) {
      return refuse("Die spätere Übertragung " + later.Id + " auf dieser Station baut auf " + chosen->Id +
                    " auf: zuerst sie zurücknehmen (velmorctl undo " + later.Id + ").");
    }
  }

  std::unique_ptr<StationLock> lock;
  if (!dryRun_) {
    std::string refusal;
    lock = StationLock::Acquire(files_, system_, chosen->NormalMaster, holder_, lockWait_, refusal);
    if (!lock) return refuse(refusal);
  }
  const std::optional<JournalContent> journal = ReadJournal(os, system_, chosen->Folder);
  if (!journal) return refuse("Das Protokoll der Übertragung " + chosen->Id + " kann nicht gelesen werden.");
  // Its process may have started writing it while the lock was free (the lock file was removed).
  if (journal->Info.State == JournalState::Running) return running(journal->Info);
  if (journal->Undone)
    return refuse("Die Übertragung " + chosen->Id + " ist bereits zurückgenommen.",
                  UndoOutcome::AlreadyUndone);
  result.Warnings = journal->Warnings;
  for (const std::string& damage : journal->Damage) {
    result.Conflicts.push_back("Das Protokoll ist beschädigt: " + damage +
                               "; was dort verzeichnet war, kann nicht zurückgenommen werden");
  }

  if (!dryRun_) {
    if (!MarkJournal(os, journal->Folder, 'S')) {
      result.Failures.push_back("Das Protokoll " + journal->Folder + " kann nicht geschrieben werden");
      result.Outcome = UndoOutcome::Incomplete;
      return result;
    }
    // Temporary files of copies that the transfer's end (a kill) cut short.
    std::set<std::string> folders;
    for (const JournalRecord& r : journal->Records) {
      for (const std::string* path : {&r.Path, &r.Target})
        if (!path->empty()) folders.insert(r.Type == Kind::Folder ? *path : FolderOf(*path));
    }
    for (const std::string& folder : folders) os.RemoveStaleTemporaries(folder);
  }
  UndoWorld world(os, dryRun_, result);
  Undoer(world, result, *journal).Run(os);

  result.Outcome =
      result.Conflicts.empty() && result.Failures.empty() ? UndoOutcome::Done : UndoOutcome::Incomplete;
  // What it left is said, and the journal says so too: taken back in part, open for another run once
  // the user has seen to it. A failed step is worth another try, so the journal stays open then.
  const char mark = result.Outcome == UndoOutcome::Done ? 'U' : 'P';
  if (!dryRun_ && result.Failures.empty() && !MarkJournal(os, journal->Folder, mark)) {
    result.Failures.push_back("Das Protokoll " + journal->Folder +
                              " kann nicht als zurückgenommen markiert werden");
    result.Outcome = UndoOutcome::Incomplete;
  }
  return result;
}

}  // namespace velmor
