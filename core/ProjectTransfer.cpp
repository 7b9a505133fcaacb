#include "core/ProjectTransfer.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <utility>

#include "core/FailureReason.h"
#include "core/StationLock.h"
#include "core/TransferJournal.h"
#include "core/TransferPlatform.h"
#include "core/TransferUndo.h"
#include "platform/Error.h"
#include "platform/Platform.h"
#include "search/FindFile.h"
#include "support/DeleteDir.h"
#include "support/PathRoutines.h"

namespace velmor {
namespace {

using platform::FindData;
using platform::IFileSystem;

// The files one CopyFiles run of the transfer's copier will find: the same search on a copier of its
// own, without copying.
std::vector<std::string> PlannedCopies(IFileSystem& files, const std::string& source,
                                       const std::string& masks, bool excludeBackupFolder) {
  if (!files.DirectoryExists(source)) return {};
  TCopyTree counter(files);
  counter.Search.Criteria().Files.Location = source;
  counter.Search.Criteria().Files.FileName = masks;
  if (excludeBackupFolder) counter.Search.Criteria().Files.Excluded.push_back("SIASC");
  counter.FoundFiles.clear();
  counter.Search.Execute();
  return std::move(counter.FoundFiles);
}

std::string ExfHeaderPath(const std::string& exfDir) {
  return AppendBackslash(exfDir) + "EPL_ASC.EXF";
}

// True when both files can be read and hold the same bytes.
bool SameContent(IFileSystem& os, const std::string& a, const std::string& b) {
  std::unique_ptr<platform::IFile> fa = os.OpenFile(a, platform::OpenMode::Read);
  std::unique_ptr<platform::IFile> fb = fa ? os.OpenFile(b, platform::OpenMode::Read) : nullptr;
  if (!fb) return false;
  std::string ba(1 << 16, '\0'), bb(1 << 16, '\0');
  while (true) {
    const int64_t na = fa->Read(ba.data(), ba.size());
    if (na < 0) return false;
    // Read the same amount from b: a short read of one file must not shift the comparison.
    int64_t nb = 0;
    while (nb < na) {
      const int64_t n = fb->Read(bb.data() + nb, static_cast<size_t>(na - nb));
      if (n <= 0) return false;
      nb += n;
    }
    if (na == 0) return fb->Read(bb.data(), 1) == 0;
    if (ba.compare(0, static_cast<size_t>(na), bb, 0, static_cast<size_t>(na)) != 0) return false;
  }
}

// Number of characters of a UTF-8 text (Windows counts its path limits in characters).
size_t CharacterCount(std::string_view text) {
  size_t count = 0;
  for (const unsigned char c : text)
    if ((c & 0xC0) != 0x80) ++count;
  return count;
}

// Device names that Windows takes for a device whatever extension follows them.
bool IsDeviceName(std::string_view component) {
  std::string base = platform::FoldUpper(component.substr(0, component.find('.')));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL") return true;
  return base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) &&
         base[3] >= '1' && base[3] <= '9';
}

bool HasInvalidCharacter(std::string_view component) {
  for (const unsigned char c : component)
    if (c < 32 || std::string_view("<>:\"|?*/").find(static_cast<char>(c)) != std::string_view::npos)
      return true;
  return false;
}

std::string NotBackedUp(const std::string& why) {
  return "nicht gesichert, bleibt im Normstamm (" + why + ")";
}

}  // namespace

std::string DescribeAction(const TransferAction& action) {
  switch (action.Kind) {
    case TransferActionKind::CreateFolder:
      return "Ordner anlegen: " + action.Path;
    case TransferActionKind::SetAside:
      return "ältere Sicherung umbenennen: " + action.Path + " -> " + action.Target;
    case TransferActionKind::BackUp:
      return "sichern: " + action.Path + " -> " + action.Target;
    case TransferActionKind::Delete:
      return "löschen: " + action.Path;
    case TransferActionKind::Copy:
      return "kopieren: " + action.Path + " -> " + action.Target;
    case TransferActionKind::Write:
      return "schreiben: " + action.Path + " = \"" + action.Target + "\"";
    case TransferActionKind::WriteBytes:
      return "schreiben: " + action.Path + " (" + action.Target + " Bytes)";
  }
  return {};
}

TransferReport ReportTransfer(const TransferResult& result) {
  TransferReport report;
  std::vector<std::string> failures, warnings;
  for (const std::string& failed : result.FailedCopies) failures.push_back("nicht kopiert: " + failed);
  for (const KeptOriginal& kept : result.KeptOriginals)
    (kept.BackedUp ? warnings : failures).push_back(kept.Reason + ": " + kept.Path);
  if (!result.ArgvNotWritten.empty())
    failures.push_back("ARGV.DAT nicht geschrieben: " + result.ArgvNotWritten);
  if (!result.Error.empty()) failures.push_back(result.Error);
  report.Failures = failures.size();
  report.Failed = !failures.empty();
  if (report.Failed)
    report.Lines.push_back("Bei der Übertragung gab es " + std::to_string(failures.size()) + " Fehler:");
  report.Lines.insert(report.Lines.end(), failures.begin(), failures.end());
  report.Lines.insert(report.Lines.end(), warnings.begin(), warnings.end());
  return report;
}

std::string ArgvFileName(const std::string& eplanDir, const std::string& customerId,
                         const std::string& stationNumber) {
  return eplanDir + "\\O\\" + customerId + "\\" + stationNumber + "\\ARGV.DAT";
}

bool IsValidProjectName(std::string_view name) {
  if (name == "." || name == "..") return false;
  for (unsigned char c : name) {
    if (c < 32) return false;
    switch (c) {
      case '\\':
      case '/':
      case ':':
      case '<':
      case '>':
      case '"':
      case '|':
      case '?':
      case '*':
        return false;
      default:
        break;
    }
  }
  // The project folder is the name followed by ".P"; Windows would open a device for CON.P.
  if (IsDeviceName(name)) return false;
  // EPLAN reads the name from ARGV.DAT in the ANSI code page: a character that code page cannot hold
  // would arrive as "?" and name a different project.
  return platform::AnsiToUtf8(platform::Utf8ToAnsi(name)) == name;
}

std::string InvalidProjectNameMessage(const std::string& name) {
  return "Ungültiger Projektname: " + name;
}

std::optional<std::string> ProjectPlaceProblem(platform::IFileSystem& files, const TransferInputs& in) {
  if (in.EplanDir.empty() || in.NormalMaster.empty())
    return std::string(
        "Keine EPLAN-Umgebung: der EPLAN-Ordner oder der Ordner der Normstammdaten (NormalStamm) ist "
        "nicht bekannt. Bitte die EPLAN-Installation und die Station (KUNDEN_KENNUNG, KENNUNG, "
        "STATIONS_NUMMER) prüfen oder den Ordner NormalStamm angeben.");
  if (in.ProjectName.find_first_not_of(" \t") == std::string::npos)
    return std::string("Kein Projektname: bitte den Namen des neuen Projekts eingeben.");
  const std::string& path = in.ProjectPath;
  const bool full = (path.size() >= 3 && path[1] == ':' && path[2] == '\\') || path.rfind("\\\\", 0) == 0;
  if (!full || !files.DirectoryExists(path))
    return "Kein Projektpfad: \"" + path +
           "\" ist kein vorhandener Ordner. Bitte den Ordner wählen, in dem das Projekt angelegt werden "
           "soll.";
  return std::nullopt;
}

std::optional<std::string> ProjectFolderProblem(const std::string& fullFolder,
                                                const std::vector<std::string>& fileNames) {
  // The parts after the root: "C:\", "\\server\share\" or the host form "\\?\unix\".
  std::string_view rest = fullFolder;
  if (rest.size() >= 3 && rest[1] == ':' && rest[2] == '\\') {
    rest.remove_prefix(3);
  } else if (rest.substr(0, 9) == "\\\\?\\unix\\") {
    rest.remove_prefix(9);
  } else if (rest.substr(0, 2) == "\\\\") {
    const size_t server = rest.find('\\', 2);
    const size_t share = server == std::string_view::npos ? server : rest.find('\\', server + 1);
    rest = share == std::string_view::npos ? std::string_view() : rest.substr(share + 1);
  }
  while (!rest.empty()) {
    const size_t slash = rest.find('\\');
    const std::string_view part = rest.substr(0, slash);
    if (HasInvalidCharacter(part) || IsDeviceName(part)) return "Ungültiger Projektpfad: " + fullFolder;
    rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
  }
  if (CharacterCount(fullFolder) > kMaxFolderPath)
    return "Der Pfad ist zu lang (höchstens " + std::to_string(kMaxFolderPath) + " Zeichen): " + fullFolder;
  const std::string* longest = nullptr;
  for (const std::string& name : fileNames)
    if (!longest || CharacterCount(name) > CharacterCount(*longest)) longest = &name;
  if (longest && CharacterCount(fullFolder) + 1 + CharacterCount(*longest) > kMaxFilePath)
    return "Der Pfad ist zu lang (höchstens " + std::to_string(kMaxFilePath) + " Zeichen): " + fullFolder +
           "\\" + *longest;
  return std::nullopt;
}

namespace {

// name with the version number put before its extension: "X.ASC", 1 → "X.~001.ASC".
std::string VersionedName(const std::string& name, uint64_t number) {
  const size_t dot = name.rfind('.');
  std::string stem = dot == std::string::npos ? name : name.substr(0, dot);
  std::string extension = dot == std::string::npos ? std::string() : name.substr(dot);
  char digits[24];
  std::snprintf(digits, sizeof digits, ".~%03llu", static_cast<unsigned long long>(number));
  // The stem gives way, a whole character at a time, when the name would pass the limit; the
  // extension only when nothing of the stem is left to shorten.
  auto cut = [](std::string& text, size_t size) {
    while (text.size() > size) {
      size_t last = text.size() - 1;
      while (last > 0 && (static_cast<unsigned char>(text[last]) & 0xC0) == 0x80) --last;
      text.resize(last);
    }
  };
  const size_t room = kMaxNameBytes - std::strlen(digits);
  if (stem.size() + extension.size() > room) cut(stem, room > extension.size() ? room - extension.size() : 1);
  if (stem.size() + extension.size() > room) cut(extension, room - stem.size());
  return stem + digits + extension;
}

// The version number candidate has as a versioned name of name; nullopt when it is none.
std::optional<uint64_t> VersionOf(const std::string& name, const std::string& candidate) {
  // The number sits between the last ".~" and the extension; the name as a whole must be the one
  // VersionedName makes of that number (which covers shortened stems).
  const size_t mark = candidate.rfind(".~");
  if (mark == std::string::npos) return std::nullopt;
  const size_t end = candidate.find('.', mark + 2);
  const std::string_view digits = std::string_view(candidate).substr(
      mark + 2, (end == std::string::npos ? candidate.size() : end) - mark - 2);
  uint64_t number = 0;
  if (digits.empty() || std::from_chars(digits.data(), digits.data() + digits.size(), number).ptr !=
                            digits.data() + digits.size())
    return std::nullopt;
  if (!platform::EqualsNoCase(VersionedName(name, number), candidate)) return std::nullopt;
  return number;
}

}  // namespace

std::string VersionedBackupName(const std::string& name, const std::vector<std::string>& used) {
  uint64_t highest = 0;
  for (const std::string& other : used) highest = std::max(highest, VersionOf(name, other).value_or(0));
  return VersionedName(name, highest + 1);
}

void ConfigureSampleSearch(TFindFileEx& FF, TQxstringlist& sampleList) {
  TFileCriteria& files = FF.Criteria().Files;
  files.FileName = "*.*";
  files.Included = {""};
  files.Excluded = {"SH1", "SH2", "SH3", "*.DAT", "*.IDX", "*.FLG", "*.SPL", "*.CUM"};
  files.Subfolders = false;
  FF.OnFileMatch = [&sampleList](TFindFileEx&, const std::string& Folder, const TSearchRec& FileInfo) {
    sampleList.Add(Folder + FileInfo.Name);
  };
}

void SetSampleLocation(TFindFileEx& FF, const std::string& programDir) {
  FF.Criteria().Files.Location = programDir + "EXF0";
}

ProjectTransfer::ProjectTransfer(platform::IFileSystem& files, platform::ISystem& system, TFindFileEx& FF,
                                 TQxstringlist& sampleList, IReporter& reporter)
    : files_(files), system_(system), FF_(FF), samples_(sampleList), reporter_(reporter) {}

namespace {

// One original of the backup step on its way into the backup folder.
struct BackupItem {
  std::string original;
  std::string backup;
  std::string aside;      // where an older backup of another content goes first
  FindData before;        // the original as it was when the step looked at it
  Fingerprint content;    // what it holds (a run with a journal)
  bool present = false;   // the backup holds the same content already
  bool complete = false;  // the backup holds the original's content
};

// The backup folder as the backup step sees it: listed once per run and kept current by the step's
// own renames and copies, so that no name is looked up in the folder again (a folder of thousands of
// older backups would make the step quadratic). Names are compared as spelled: a backup of X.ASC is
// SIASC\X.ASC, never its case twin x.asc.
class BackupFolderIndex {
 public:
  BackupFolderIndex(IFileSystem& os, const std::string& folder) {
    std::unique_ptr<platform::IFolderListing> listing = os.ListFolder(folder);
    for (size_t i = 0; listing && i < listing->Count(); ++i) {
      const std::string name(listing->Name(i));
      if (name == "." || name == "..") continue;
      if (listing->IsDirectory(i)) folders_.insert(name);
      Added(name);
    }
  }
  bool Has(const std::string& name) const { return names_.count(name) > 0; }
  bool IsFolder(const std::string& name) const { return folders_.count(name) > 0; }

  // The next versioned name of name that no entry has, in any case.
  std::string NextVersion(const std::string& name) {
    uint64_t number = 0;
    if (VersionedName(name, 1).size() + 20 < kMaxNameBytes) {
      const auto it = highest_.find(platform::FoldUpper(name));
      number = it == highest_.end() ? 0 : it->second;
    } else {
      // Long names may have shortened versions, which the index does not file under the name.
      for (const std::string& other : names_) number = std::max(number, VersionOf(name, other).value_or(0));
    }
    std::string next = VersionedName(name, ++number);
    while (folded_.count(platform::FoldUpper(next)) > 0) next = VersionedName(name, ++number);
    return next;
  }

  void Added(const std::string& name) {
    names_.insert(name);
    ++folded_[platform::FoldUpper(name)];
    // A versioned name counts for the name without its ".~N" part.
    const size_t mark = name.rfind(".~");
    if (mark == std::string::npos) return;
    const size_t end = name.find('.', mark + 2);
    const std::string base = name.substr(0, mark) + (end == std::string::npos ? "" : name.substr(end));
    if (const std::optional<uint64_t> number = VersionOf(base, name)) {
      uint64_t& highest = highest_[platform::FoldUpper(base)];
      highest = std::max(highest, *number);
    }
  }
  void Removed(const std::string& name) {
    if (!names_.erase(name)) return;
    // A case twin keeps the folded name taken.
    const auto it = folded_.find(platform::FoldUpper(name));
    if (it != folded_.end() && --it->second == 0) folded_.erase(it);
  }

 private:
  std::set<std::string> names_;
  std::set<std::string> folders_;
  std::map<std::string, size_t> folded_;  // folded name → entries spelled so
  std::map<std::string, uint64_t> highest_;
};

// Moves the listed originals into the backup folder in batches: copy every original of a batch (an
// older backup of the same name set aside first, an identical one kept as it is), put the batch on
// the disk, then delete each original that is still the file that was copied.
//
// A backup never takes the place of a file: it is copied without replacing, and a file that another
// run put at its name meanwhile is looked at again (the same content: saved already; another: set
// aside like any older backup). So even runs that do not see each other's lock lose nothing.
void BackUpOriginals(TransferPlatform& books, TransferJournal* journal,
                     const std::vector<std::string>& originals, const std::string& backupFolder,
                     size_t batchSize, bool dryRun, TransferResult& result) {
  books.ForceDirectories(backupFolder);
  auto keep = [&](const std::string& original, bool backedUp, std::string reason) {
    result.KeptOriginals.push_back({original, backedUp, std::move(reason)});
    // A new symbol file of the same name must not replace an original that exists nowhere else.
    if (!backedUp) books.Protect(original);
  };
  auto commit = [&] {
    if (journal && !journal->Commit(true)) throw JournalFailure(*journal);
  };
  BackupFolderIndex index(books, backupFolder);
  // A real file of the original's content at the backup's name (a link never counts: what it points
  // to may go at any time).
  auto holdsOriginal = [&](const BackupItem& item) {
    FindData existing;
    return !books.ReadLink(item.backup) && books.GetFileData(item.backup, existing) &&
           !(existing.attributes & platform::kAttrDirectory) && existing.size == item.before.size &&
           SameContent(books, item.original, item.backup);
  };
  // The versioned names are new in any case (the index says so), so a rename names its target in the
  // host form, which is not looked up: a lookup would list the folder again after every rename.
  const std::optional<std::string> backupHost = dryRun ? std::nullopt : books.ToHost(backupFolder);
  // Sets the file at the backup's name aside under its next versioned name.
  auto setAside = [&](BackupItem& item) {
    const std::string name = NameOf(item.backup);
    if (item.aside.empty()) item.aside = backupFolder + "\\" + index.NextVersion(name);
    const std::string direct = backupHost ? platform::DirectHostForm(*backupHost) : std::string();
    if (!books.MoveFile(item.backup, direct.empty() ? item.aside : direct + NameOf(item.aside))) return false;
    index.Removed(name);
    index.Added(NameOf(item.aside));
    return true;
  };
  // Two originals whose names differ only in case would share one backup name.
  std::set<std::string> backupsTaken;

  for (size_t first = 0; first < originals.size(); first += batchSize) {
    // What becomes of each original of the batch, decided and recorded before anything is changed.
    std::vector<BackupItem> batch;
    for (size_t i = first; i < std::min(originals.size(), first + batchSize); ++i) {
      BackupItem item;
      item.original = originals[i];
      const std::string name = NameOf(item.original);
      item.backup = backupFolder + "\\" + name;
      std::optional<Fingerprint> content;
      std::string problem;
      if (!books.GetFileData(item.original, item.before) ||
          (journal && !(content = FingerprintOfFile(books, item.original))))
        problem = FailureReason(platform::LastError());
      else if (!backupsTaken.insert(platform::FoldUpper(name)).second)
        problem = "eine andere Symboldatei hat denselben Namen in anderer Schreibweise";
      else if (index.IsFolder(name))
        problem = "im Sicherungsordner liegt ein Ordner dieses Namens";
      if (!problem.empty()) {
        keep(item.original, false, NotBackedUp(problem));
        continue;
      }
      if (content) item.content = *content;
      if (index.Has(name)) {
        if (holdsOriginal(item)) {
          item.present = true;  // this very content is saved already
        } else {
          // An older backup of another content (or a link) is kept under its versioned name.
          item.aside = backupFolder + "\\" + index.NextVersion(name);
          index.Added(NameOf(item.aside));  // reserved for this item
          if (journal) journal->BeforeRename(item.backup, item.aside);
        }
      }
      if (journal)
        journal->BeforeBackup(item.original, item.backup, item.content, item.before.attributes,
                              item.before.lastWriteTime, item.present);
      batch.push_back(std::move(item));
    }
    commit();

    for (BackupItem& item : batch) {
      if (item.present) {
        item.complete = true;
        continue;
      }
      if (!item.aside.empty()) {
        index.Removed(NameOf(item.aside));
        // An older backup that another run set aside meanwhile is out of the way already.
        if (!setAside(item) && platform::LastError() != platform::kErrorFileNotFound) {
          keep(item.original, false,
               NotBackedUp("die ältere Sicherung lässt sich nicht umbenennen: " +
                           FailureReason(platform::LastError())));
          continue;
        }
      }
      bool copied = books.CopyFileNoReplace(item.original, item.backup);
      if (!copied && platform::LastError() == platform::kErrorFileExists) {
        // Another run put a file there since the listing: looked at again.
        index.Added(NameOf(item.backup));
        if (holdsOriginal(item)) {
          item.complete = true;
          continue;
        }
        item.aside = backupFolder + "\\" + index.NextVersion(NameOf(item.backup));
        if (journal) {
          journal->BeforeRename(item.backup, item.aside);
          journal->BeforeBackup(item.original, item.backup, item.content, item.before.attributes,
                                item.before.lastWriteTime, false);
        }
        commit();
        copied = setAside(item) && books.CopyFileNoReplace(item.original, item.backup);
      }
      if (!copied) {
        keep(item.original, false, NotBackedUp(FailureReason(platform::LastError())));
        continue;
      }
      index.Added(NameOf(item.backup));
      FindData after;
      item.complete = books.GetFileData(item.backup, after) &&
                      !(after.attributes & platform::kAttrDirectory) && after.size == item.before.size;
      if (!item.complete) keep(item.original, false, NotBackedUp("die Sicherung ist unvollständig"));
    }

    // The copies are on the disk before any original goes.
    const bool durable = books.FlushFileSystem(backupFolder);
    const std::string notDurable = durable ? "" : FailureReason(platform::LastError());
    for (BackupItem& item : batch) {
      if (!item.complete) continue;
      if (!durable) {
        keep(item.original, false, NotBackedUp("die Sicherung ist nicht auf dem Datenträger: " + notDurable));
        continue;
      }
      FindData now;
      const bool unchanged = books.GetFileData(item.original, now) && now.size == item.before.size &&
                             now.lastWriteTime == item.before.lastWriteTime &&
                             now.creationTime == item.before.creationTime;
      if (!unchanged) {
        // Another program wrote the original since it was copied: the backup does not hold what it
        // holds now.
        keep(item.original, false, "während der Sicherung geändert, bleibt im Normstamm");
      } else if (books.DeleteFile(item.original)) {
        ++result.SymbolsBackedUp;
      } else if (now.attributes & platform::kAttrReadOnly) {
        keep(item.original, true, "gesichert, aber nicht entfernt (schreibgeschützt)");
      } else {
        keep(item.original, true, "gesichert, aber nicht entfernt");
      }
    }
  }
}

}  // namespace

TransferResult ProjectTransfer::Run(const TransferInputs& in) {
  TransferResult result;
  IFileSystem& os = files_;

  // Checked before anything else: a name like "..\X" or "C:\X" would put the project, and everything
  // the transfer writes, outside the chosen project folder.
  if (const std::optional<std::string> problem = ProjectPlaceProblem(os, in)) {
    reporter_.ShowMessage(*problem);
    result.Outcome = TransferOutcome::InvalidName;
    return result;
  }
  if (!IsValidProjectName(in.ProjectName)) {
    reporter_.ShowMessage(InvalidProjectNameMessage(in.ProjectName));
    result.Outcome = TransferOutcome::InvalidName;
    return result;
  }

  result.ArgvFile = ArgvFileName(in.EplanDir, in.CustomerId, in.StationNumber);
  FF_.Execute();
  const std::string projectRoot = AppendBackslash(in.ProjectPath);
  const std::string projectFolder = projectRoot + in.ProjectName + ".P";
  result.ProjectFolder = os.FullPath(projectFolder).value_or(projectFolder);

  if (samples_.Count() == 0) {
    reporter_.ShowMessage(std::string(kNoSamplesMessage));
    result.Outcome = TransferOutcome::NoSamples;
    return result;
  }

  // Everything the copies will bring, so that the paths can be checked and the progress has its total.
  const bool haveHeader = os.FileExists(ExfHeaderPath(in.ExfDir));
  const std::vector<std::string> exfFiles =
      haveHeader ? PlannedCopies(os, in.ExfDir, "*.EXF;*.BMP", false) : std::vector<std::string>();
  const std::vector<std::string> frames =
      haveHeader ? PlannedCopies(os, AppendBackslash(in.ExpDir), "*.EXP", false) : std::vector<std::string>();
  const std::vector<std::string> symbols = PlannedCopies(os, AppendBackslash(in.AscDir), "*.ASC", true);
  std::vector<std::string> projectFiles;
  for (const std::vector<std::string>* list : {&samples_.Items(), &exfFiles, &frames})
    for (const std::string& file : *list) projectFiles.push_back(NameOf(file));
  if (const std::optional<std::string> problem = ProjectFolderProblem(result.ProjectFolder, projectFiles)) {
    reporter_.ShowMessage(*problem);
    result.Outcome = TransferOutcome::InvalidName;
    return result;
  }

  const std::string stationKey = StationKey(os, in.NormalMaster);
  std::unique_ptr<StationLock> lock;
  if (!dryRun_) {
    std::string refusal;
    lock = StationLock::Acquire(files_, system_, in.NormalMaster, holder_, lockWait_, refusal);
    if (!lock) {
      reporter_.ShowMessage(refusal);
      result.Outcome = TransferOutcome::Busy;
      return result;
    }
  }
  // A transfer that was cut short on this station is taken back before another one starts: its
  // journal records the station as it was, which a new transfer would change under it.
  if (const std::optional<JournalInfo> pending = FindPendingJournal(files_, system_, stationKey)) {
    if (!pendingLeftToCaller_) reporter_.ShowMessage(PendingJournalMessage(*pending));
    result.Outcome = TransferOutcome::Pending;
    result.JournalId = pending->Id;
    return result;
  }

  const std::string backupFolder = in.NormalMaster + "SIASC";
  for (const std::string& path : {backupFolder, projectFolder, result.ArgvFile}) {
    if (const std::optional<std::string> target = os.ReadLink(path)) {
      const std::string named = !target->empty() && target->front() == '/' ? os.ToWindows(*target) : *target;
      reporter_.ShowMessage(os.FullPath(path).value_or(path) + " ist eine Verknüpfung nach " + named +
                            ": die Übertragung schreibt nicht durch sie.");
      result.Outcome = TransferOutcome::Unsafe;
      return result;
    }
  }

  // EPLAN is told of the project last; a Windows program that holds ARGV.DAT would make the run fail
  // at its very end, after every copy: it is refused now, while nothing has changed.
  if (!dryRun_ && os.FileLockedByOther(result.ArgvFile)) {
    reporter_.ShowMessage("Die Datei " + os.FullPath(result.ArgvFile).value_or(result.ArgvFile) +
                          " wird von einem anderen Programm benutzt");
    result.Outcome = TransferOutcome::Busy;
    return result;
  }

  const bool projectExists = os.DirectoryExists(projectFolder);
  if (projectExists && !reporter_.Confirm(std::string(kOverwriteQuestion))) {
    result.Outcome = TransferOutcome::Cancelled;
    return result;
  }

  std::unique_ptr<TransferJournal> journal;
  if (!dryRun_) {
    JournalInfo header;
    header.Holder = holder_;
    header.Prefix = system_.PrefixDirectory();
    header.CustomerId = in.CustomerId;
    header.StationNumber = in.StationNumber;
    header.StationKey = stationKey;
    header.ProjectName = in.ProjectName;
    header.ProjectFolder = result.ProjectFolder;
    header.ArgvFile = os.FullPath(result.ArgvFile).value_or(result.ArgvFile);
    header.NormalMaster = in.NormalMaster;
    header.ExfDir = in.ExfDir;
    header.AscDir = in.AscDir;
    header.ExpDir = in.ExpDir;
    // The most the journal can hold: every file this run may overwrite saved whole, and a record of
    // each file it touches.
    uint64_t room = 64 * 1024 + 1024 * (2 * symbols.size() + projectFiles.size());
    auto saved = [&](const std::string& path) {
      platform::FindData data;
      if (os.GetFileData(path, data)) room += data.size;
    };
    saved(result.ArgvFile);
    if (projectExists)
      for (const std::string& name : projectFiles) saved(projectFolder + "\\" + name);
    std::string error;
    journal = TransferJournal::Create(files_, system_, std::move(header), room, error);
    if (!journal) {
      reporter_.ShowMessage(error);
      result.Outcome = TransferOutcome::NoJournal;
      return result;
    }
    result.JournalId = journal->Id();
  }

  if (!dryRun_) {
    // Temporary files of a transfer that was killed while it copied into these folders.
    for (const std::string& folder :
         {in.NormalMaster, backupFolder, projectFolder, FolderOf(result.ArgvFile)})
      if (!folder.empty()) os.RemoveStaleTemporaries(folder);
  }

  TransferPlatform books(os, dryRun_, result, progress_);
  books.SetJournal(journal.get());
  // Originals that go and files that are replaced are freed in the background while the copies run;
  // the transfer returns once all of them are gone.
  const platform::DeferredFrees frees;
  bool journalFailed = false;

  try {
    if (!projectExists) {
      if (!books.ForceDirectories(projectFolder)) {
        reporter_.ShowMessage("Das Projektverzeichnis " + result.ProjectFolder +
                              " kann nicht angelegt werden");
        result.Outcome = TransferOutcome::NotCreatable;
      } else if (reload_ && !dryRun_) {
        reload_(projectRoot);
      }
    }
    if (result.Outcome == TransferOutcome::Done) {
      TFindFile finder(books);
      finder.Directory = in.NormalMaster;
      finder.Filter = "*.ASC";
      finder.Execute();
      books.total = static_cast<size_t>(samples_.Count()) + finder.Files.size() + symbols.size() +
                    exfFiles.size() + frames.size();
      if (!finder.Files.empty()) {
        books.phase = TransferPhase::BackUp;
        BackUpOriginals(books, journal.get(), finder.Files, backupFolder, backupBatch_, dryRun_, result);
        books.phase = TransferPhase::Other;
      }
      CopyIntoProjectAndStation(books, in, projectFolder, result);
    }
  } catch (const JournalFailure& error) {
    books.phase = TransferPhase::Other;
    result.Error = error.what();
    journalFailed = true;
  } catch (const VelmorError& error) {
    books.phase = TransferPhase::Other;
    result.Error = error.what();
  }
  // Every change is recorded: the transfer is complete as a journal, even when an error ended it. One
  // refused before its first change leaves a journal that undo passes over.
  const bool ended =
      journal && !journalFailed &&
      (result.Outcome == TransferOutcome::NotCreatable ? journal->Refused() : journal->Complete());
  if (journal && !journalFailed && !ended && result.Error.empty())
    result.Error = journal->Error() + ". Zurücknehmen mit: velmorctl undo " + journal->Id();
  // The station's journal keeps itself: old complete and undone transfers go (what it cannot remove
  // stays until the next time).
  if (ended) PruneJournals(os, system_, system_.PrefixDirectory(), {kPruneKeepDefault, kPruneDaysDefault});
  if (!result.Error.empty()) throw TransferError(std::move(result));
  return result;
}

void ProjectTransfer::CopyIntoProjectAndStation(TransferPlatform& books, const TransferInputs& in,
                                                const std::string& projectFolder, TransferResult& result) {
  books.phase = TransferPhase::Samples;
  std::vector<std::pair<std::string, std::string>> copies;
  for (const std::string& sample : samples_.Items())
    copies.emplace_back(sample, projectFolder + "\\" + NameOf(sample));
  books.Announce(copies);
  for (const auto& [sample, target] : copies) books.CopyFile(sample, target, false);

  books.phase = TransferPhase::CopyTree;
  TCopyTree copier(books);
  copier.Attributes = platform::kAttrNormal;
  // Each run of the copier is recorded ahead as the same search finds it.
  auto copyTree = [&](const std::string& source, const std::string& masks, const std::string& target,
                      bool excludeBackupFolder) {
    copier.SourceFolder = source;
    copier.Masks = masks;
    copier.TargetFolder = target;
    std::vector<std::pair<std::string, std::string>> planned;
    for (const std::string& file : PlannedCopies(books, source, masks, excludeBackupFolder))
      planned.emplace_back(file, AppendBackslash(target) + NameOf(file));
    books.Announce(planned);
    copier.CopyFiles();
  };
  if (books.FileExists(ExfHeaderPath(in.ExfDir))) {
    copyTree(in.ExfDir, "*.EXF;*.BMP", projectFolder, false);
    copyTree(AppendBackslash(in.ExpDir), "*.EXP", projectFolder, false);
  }
  copier.Search.Criteria().Files.Excluded.push_back("SIASC");
  copyTree(AppendBackslash(in.AscDir), "*.ASC", in.NormalMaster, true);
  books.phase = TransferPhase::Other;

  if (!books.FileExists(result.ArgvFile)) return;
  // EPLAN opens the project ARGV.DAT names: it must name one that exists with its sample files.
  if (!books.DirectoryExists(projectFolder)) {
    result.ArgvNotWritten = "das Projektverzeichnis " + result.ProjectFolder + " fehlt";
    return;
  }
  for (const std::string& sample : samples_.Items()) {
    if (books.FileExists(projectFolder + "\\" + NameOf(sample))) continue;
    result.ArgvNotWritten = "die Musterdatei " + NameOf(sample) + " fehlt im Projekt";
    return;
  }
  // A file of an older run in its place is no substitute for one this run failed to bring.
  if (!result.FailedCopies.empty()) {
    result.ArgvNotWritten = "das Projekt ist unvollständig, " + std::to_string(result.FailedCopies.size()) +
                            (result.FailedCopies.size() == 1 ? " Datei wurde" : " Dateien wurden") +
                            " nicht kopiert";
    return;
  }
  // Only whether the file can be read matters; its old text is replaced whole.
  if (!books.ReadFile(result.ArgvFile, 1))
    throw VelmorError("Datei " + result.ArgvFile + " kann nicht geöffnet werden");
  TQxstringlist lines;
  lines.SetText(in.ProjectName);
  if (!books.WriteFile(result.ArgvFile, platform::Utf8ToAnsi(lines.Text()))) {
    if (platform::LastError() == platform::kErrorLockViolation)
      throw VelmorError("Datei " + result.ArgvFile + " wird von einem anderen Programm benutzt");
    throw VelmorError("Datei " + result.ArgvFile + " kann nicht erstellt werden");
  }
  result.ArgvWritten = true;
}

}  // namespace velmor
