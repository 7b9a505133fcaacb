#include "core/ProjectTransfer.h"

#include <map>
#include <optional>
#include <set>
#include <utility>

#include "platform/Error.h"
#include "platform/ForwardingPlatform.h"
#include "platform/Platform.h"
#include "search/FindFile.h"
#include "support/DeleteDir.h"
#include "support/PathRoutines.h"

namespace velmor {
namespace {

using platform::FindData;
using platform::IPlatform;

// The name after the last backslash of a full path.
std::string NameOf(const std::string& path) {
  const size_t slash = path.find_last_of('\\');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

enum class Phase { Other, BackUp, Samples, CopyTree };

// Every call of the transfer, and of the search and copy components it drives, passes through this
// layer while Run works. It keeps the books (what was copied, what failed, progress) and, in a dry run,
// records each change instead of making it. A dry run keeps an overlay of the folders and files it
// pretends to have made, so that later steps see the station as the real run would (the project folder
// exists after its creation, a backup copy has the original's size, a deleted original is gone).
class TransferPlatform final : public platform::ForwardingPlatform {
 public:
  TransferPlatform(IPlatform& inner, bool dryRun, TransferResult& result, const TransferProgress& progress)
      : ForwardingPlatform(inner), dryRun_(dryRun), result_(result), progress_(progress) {}

  Phase phase = Phase::Other;
  size_t done = 0;
  size_t total = 0;

  // An original symbol file whose backup is not complete must not be overwritten by a new symbol file of
  // the same name later in the run: it would be lost.
  void Protect(const std::string& path) { protected_.insert(Key(path)); }

  // --- drives ---
  bool ConnectNetworkDrive(char letter, std::string_view hostFolder) override {
    return dryRun_ ? Refuse() : inner_.ConnectNetworkDrive(letter, hostFolder);
  }
  bool DisconnectNetworkDrive(char letter) override {
    return dryRun_ ? Refuse() : inner_.DisconnectNetworkDrive(letter);
  }

  // --- files and folders ---
  bool FileExists(std::string_view path) override {
    if (dryRun_) {
      if (const FileState* f = Overlay(path)) return f->exists;
    }
    return inner_.FileExists(path);
  }

  bool DirectoryExists(std::string_view path) override {
    if (dryRun_ && createdFolders_.count(Key(path))) return true;
    return inner_.DirectoryExists(path);
  }

  uint32_t GetFileAttributes(std::string_view path) override {
    if (dryRun_) {
      if (createdFolders_.count(Key(path))) return platform::kAttrDirectory;
      if (const FileState* f = Overlay(path)) {
        if (!f->exists) return NotFound(), platform::kInvalidAttributes;
        return f->data.attributes;
      }
    }
    return inner_.GetFileAttributes(path);
  }

  bool SetFileAttributes(std::string_view path, uint32_t attributes) override {
    if (!dryRun_) return inner_.SetFileAttributes(path, attributes);
    if (DirectoryExists(path)) return true;
    FindData data;
    if (!GetFileData(path, data)) return NotFound();
    data.attributes = attributes == 0 || attributes == platform::kAttrNormal
                          ? platform::kAttrArchive
                          : (attributes & 0x07) | platform::kAttrArchive;
    FileState& f = overlay_[Key(path)];
    if (f.source.empty()) f.source = std::string(path);
    f.exists = true;
    f.data = data;
    return true;
  }

  bool GetFileData(std::string_view path, FindData& out) override {
    if (dryRun_) {
      if (const FileState* f = Overlay(path)) {
        if (!f->exists) return NotFound();
        out = f->data;
        return true;
      }
    }
    return inner_.GetFileData(path, out);
  }

  bool CopyFile(std::string_view source, std::string_view target, bool failIfExists) override {
    const std::string src(source), dst(target);
    Progress(src);
    bool ok;
    if (phase != Phase::BackUp && protected_.count(Key(dst))) {
      ok = Refuse();
    } else if (dryRun_) {
      ok = PretendCopy(src, dst, failIfExists);
    } else {
      ok = inner_.CopyFile(source, target, failIfExists);
    }
    if (ok) {
      result_.Actions.push_back(
          {phase == Phase::BackUp ? TransferActionKind::BackUp : TransferActionKind::Copy, Full(src),
           Full(dst)});
      if (phase != Phase::BackUp) ++result_.FilesCopied;
    } else if (phase != Phase::BackUp) {
      // The backup step keeps its own list of the originals it had to leave in place.
      result_.FailedCopies.push_back(Full(src) + " -> " + Full(dst));
    }
    return ok;
  }

  bool DeleteFile(std::string_view path) override {
    bool ok;
    if (dryRun_) {
      FindData data;
      if (!GetFileData(path, data)) {
        ok = NotFound();
      } else if (data.attributes & platform::kAttrReadOnly) {
        ok = Refuse();
      } else {
        FileState& f = overlay_[Key(path)];
        f.exists = false;
        ok = true;
      }
    } else {
      ok = inner_.DeleteFile(path);
    }
    if (ok) result_.Actions.push_back({TransferActionKind::Delete, Full(path), {}});
    return ok;
  }

  bool CreateDirectory(std::string_view path) override {
    if (!dryRun_) {
      const bool ok = inner_.CreateDirectory(path);
      if (ok) result_.Actions.push_back({TransferActionKind::CreateFolder, Full(path), {}});
      return ok;
    }
    if (path.empty() || DirectoryExists(path) || FileExists(path)) {
      SetLastError(path.empty() ? platform::kErrorPathNotFound : platform::kErrorAlreadyExists);
      return false;
    }
    const std::string full = Full(path);
    const std::string parent = FolderOf(full);
    if (!parent.empty() && !DirectoryExists(parent.size() == 2 ? parent + "\\" : parent)) {
      SetLastError(platform::kErrorPathNotFound);
      return false;
    }
    PretendFolder(full);
    return true;
  }

  bool ForceDirectories(std::string_view path) override {
    if (!dryRun_) {
      const bool existed = inner_.DirectoryExists(path);
      const bool ok = inner_.ForceDirectories(path);
      if (ok && !existed) result_.Actions.push_back({TransferActionKind::CreateFolder, Full(path), {}});
      return ok;
    }
    if (path.empty()) {
      SetLastError(platform::kErrorPathNotFound);
      return false;
    }
    if (DirectoryExists(path)) return true;
    if (FileExists(path)) {
      SetLastError(platform::kErrorAlreadyExists);
      return false;
    }
    PretendFolder(Full(path));
    return true;
  }

  bool RemoveDirectory(std::string_view path) override {
    return dryRun_ ? Refuse() : inner_.RemoveDirectory(path);
  }
  bool MoveFile(std::string_view source, std::string_view target) override {
    return dryRun_ ? Refuse() : inner_.MoveFile(source, target);
  }

  std::unique_ptr<platform::IFile> OpenFile(std::string_view path, platform::OpenMode mode) override {
    if (dryRun_) {
      if (mode != platform::OpenMode::Read) return Refuse(), nullptr;
      if (const FileState* f = Overlay(path)) {
        if (!f->exists) return NotFound(), nullptr;
        return inner_.OpenFile(f->source, mode);
      }
    }
    return inner_.OpenFile(path, mode);
  }

  std::optional<std::string> ReadFile(std::string_view path, size_t maxBytes) override {
    if (dryRun_) {
      if (const FileState* f = Overlay(path)) {
        if (!f->exists) return NotFound(), std::nullopt;
        if (f->content) return f->content->substr(0, maxBytes);
        return inner_.ReadFile(f->source, maxBytes);
      }
    }
    return inner_.ReadFile(path, maxBytes);
  }

  bool WriteFile(std::string_view path, std::string_view bytes) override {
    bool ok;
    if (dryRun_) {
      FindData data;
      const bool exists = GetFileData(path, data);
      if (exists && (data.attributes & platform::kAttrReadOnly)) {
        ok = Refuse();
      } else if (!DirectoryExists(FolderOf(Full(path)))) {
        ok = false;
        SetLastError(platform::kErrorPathNotFound);
      } else {
        FileState& f = overlay_[Key(path)];
        f.exists = true;
        f.content = std::string(bytes);
        f.data.size = bytes.size();
        if (!exists) f.data.attributes = platform::kAttrArchive;
        ok = true;
      }
    } else {
      ok = inner_.WriteFile(path, bytes);
    }
    if (ok) {
      std::string text = platform::AnsiToUtf8(bytes);
      while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
      result_.Actions.push_back({TransferActionKind::WriteArgv, Full(path), text});
    }
    return ok;
  }

  // Enumeration passes through unchanged: the overlay adds no entries, because the searches of a
  // transfer list folders that the transfer has not changed yet when they run.

  // --- registry and profiles ---
  bool WritePrivateProfileString(std::string_view section, std::optional<std::string_view> key,
                                 std::optional<std::string_view> value, std::string_view file) override {
    return dryRun_ ? Refuse() : inner_.WritePrivateProfileString(section, key, value, file);
  }

  // --- shell and host: never part of a transfer; a dry run refuses them outright ---
  bool ShellCopy(std::string_view source, std::string_view targetFolder,
                 const platform::ShellConfirmReplace& confirm,
                 const platform::ShellProgress& progress) override {
    return dryRun_ ? Refuse() : inner_.ShellCopy(source, targetFolder, confirm, progress);
  }
  bool ShellMove(std::string_view source, std::string_view targetFolder,
                 const platform::ShellConfirmReplace& confirm,
                 const platform::ShellProgress& progress) override {
    return dryRun_ ? Refuse() : inner_.ShellMove(source, targetFolder, confirm, progress);
  }
  bool ShellRename(std::string_view source, std::string_view newPath) override {
    return dryRun_ ? Refuse() : inner_.ShellRename(source, newPath);
  }
  bool MoveToTrash(std::string_view path) override { return dryRun_ ? Refuse() : inner_.MoveToTrash(path); }
  bool DeleteTree(std::string_view path) override { return dryRun_ ? Refuse() : inner_.DeleteTree(path); }
  bool OpenWithAssociatedProgram(std::string_view path) override {
    return dryRun_ ? Refuse() : inner_.OpenWithAssociatedProgram(path);
  }
  bool HostCreateDirectories(std::string_view hostPath) override {
    return dryRun_ ? Refuse() : inner_.HostCreateDirectories(hostPath);
  }
  bool HostWriteFile(std::string_view hostPath, std::string_view bytes) override {
    return dryRun_ ? Refuse() : inner_.HostWriteFile(hostPath, bytes);
  }
  bool HostSymlink(std::string_view target, std::string_view linkPath) override {
    return dryRun_ ? Refuse() : inner_.HostSymlink(target, linkPath);
  }

 private:
  struct FileState {
    bool exists = false;
    FindData data;
    std::string source;                  // where the content comes from (a pretended copy)
    std::optional<std::string> content;  // pretended written content
  };

  bool Refuse() {
    SetLastError(platform::kErrorAccessDenied);
    return false;
  }
  bool NotFound() {
    SetLastError(platform::kErrorFileNotFound);
    return false;
  }

  std::string Full(std::string_view path) {
    std::string full = inner_.FullPath(path).value_or(std::string(path));
    for (char& c : full)
      if (c == '/') c = '\\';
    return full;
  }

  // One spelling per file or folder: absolute, "\" only, no trailing backslash, case folded.
  std::string Key(std::string_view path) {
    std::string full = Full(path);
    while (full.size() > 3 && full.back() == '\\') full.pop_back();
    return platform::FoldUpper(full);
  }

  const FileState* Overlay(std::string_view path) {
    auto it = overlay_.find(Key(path));
    return it == overlay_.end() ? nullptr : &it->second;
  }

  // Records one CreateFolder for the outermost missing folder and marks it and everything below it up
  // to full as existing.
  void PretendFolder(const std::string& full) {
    std::vector<std::string> missing;
    for (std::string p = full; !p.empty(); p = FolderOf(p)) {
      while (p.size() > 3 && p.back() == '\\') p.pop_back();
      if (p.size() <= 3 || DirectoryExists(p)) break;
      missing.push_back(p);
    }
    if (missing.empty()) missing.push_back(full);
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) createdFolders_.insert(Key(*it));
    result_.Actions.push_back({TransferActionKind::CreateFolder, full, {}});
  }

  bool PretendCopy(const std::string& src, const std::string& dst, bool failIfExists) {
    FindData data;
    if (!GetFileData(src, data) || (data.attributes & platform::kAttrDirectory)) return NotFound();
    if (Key(src) == Key(dst)) return Refuse();
    if (DirectoryExists(dst)) return Refuse();
    const std::string parent = FolderOf(Full(dst));
    if (parent.empty() || !DirectoryExists(parent.size() == 2 ? parent + "\\" : parent)) {
      SetLastError(platform::kErrorPathNotFound);
      return false;
    }
    FindData existing;
    if (GetFileData(dst, existing)) {
      if (failIfExists) {
        SetLastError(platform::kErrorFileExists);
        return false;
      }
      if (existing.attributes & platform::kAttrReadOnly) return Refuse();
    }
    FileState state;
    state.exists = true;
    state.data = data;
    state.data.name = NameOf(Full(dst));
    if (const FileState* from = Overlay(src)) {
      state.source = from->source;
      state.content = from->content;
    } else {
      state.source = Full(src);
    }
    overlay_[Key(dst)] = std::move(state);
    return true;
  }

  void Progress(const std::string& current) {
    if (phase == Phase::Other) return;
    ++done;
    if (done > total) total = done;
    if (progress_) progress_(done, total, current);
  }

  const bool dryRun_;
  TransferResult& result_;
  const TransferProgress& progress_;
  std::set<std::string> protected_;
  std::set<std::string> createdFolders_;
  std::map<std::string, FileState> overlay_;
};

// How many files one CopyFiles run of the transfer's copier will find: the same search on a copier of
// its own, without copying.
size_t CountCopies(const std::string& source, const std::string& masks, bool excludeBackupFolder) {
  if (!platform::Os().DirectoryExists(source)) return 0;
  TCopyTree counter;
  counter.Search.Criteria().Files.Location = source;
  counter.Search.Criteria().Files.FileName = masks;
  if (excludeBackupFolder) counter.Search.Criteria().Files.Excluded.push_back("SIASC");
  counter.FoundFiles.clear();
  counter.Search.Execute();
  return counter.FoundFiles.size();
}

std::string ExfHeaderPath(const std::string& exfDir) {
  return AppendBackslash(exfDir) + "EPL_ASC.EXF";
}

}  // namespace

std::string DescribeAction(const TransferAction& action) {
  switch (action.Kind) {
    case TransferActionKind::CreateFolder:
      return "Ordner anlegen: " + action.Path;
    case TransferActionKind::BackUp:
      return "sichern: " + action.Path + " -> " + action.Target;
    case TransferActionKind::Delete:
      return "löschen: " + action.Path;
    case TransferActionKind::Copy:
      return "kopieren: " + action.Path + " -> " + action.Target;
    case TransferActionKind::WriteArgv:
      return "schreiben: " + action.Path + " = \"" + action.Target + "\"";
  }
  return {};
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
  // EPLAN reads the name from ARGV.DAT in the ANSI code page: a character that code page cannot hold
  // would arrive as "?" and name a different project.
  return platform::AnsiToUtf8(platform::Utf8ToAnsi(name)) == name;
}

std::string InvalidProjectNameMessage(const std::string& name) {
  return "Ungültiger Projektname: " + name;
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

ProjectTransfer::ProjectTransfer(TFindFileEx& FF, TQxstringlist& sampleList, IReporter& reporter)
    : FF_(FF), samples_(sampleList), reporter_(reporter) {}

TransferResult ProjectTransfer::Run(const TransferInputs& in) {
  TransferResult result;
  platform::IPlatform& os = platform::Os();

  // Checked before anything else: a name like "..\X" or "C:\X" would put the project, and everything
  // the transfer writes, outside the chosen project folder.
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

  TransferPlatform books(os, dryRun_, result, progress_);
  platform::ScopedPlatform scope(books);

  TFindFile finder;
  finder.Directory = in.NormalMaster;
  finder.Filter = "*.ASC";
  finder.Execute();

  const bool haveHeader = books.FileExists(ExfHeaderPath(in.ExfDir));
  books.total = static_cast<size_t>(samples_.Count()) + finder.Files.size() +
                CountCopies(AppendBackslash(in.AscDir), "*.ASC", true);
  if (haveHeader)
    books.total += CountCopies(in.ExfDir, "*.EXF;*.BMP", false) +
                   CountCopies(AppendBackslash(in.ExpDir), "*.EXP", false);

  // Move the symbol files of the normal master data folder into the backup folder. An original goes only
  // once its copy is there in full; otherwise, or when it cannot be deleted, it stays where it is.
  if (!finder.Files.empty()) {
    books.phase = Phase::BackUp;
    const std::string backupFolder = in.NormalMaster + "SIASC";
    books.ForceDirectories(backupFolder);
    for (const std::string& original : finder.Files) {
      const std::string backup = backupFolder + "\\" + NameOf(original);
      FindData before, after;
      const bool copied = books.GetFileData(original, before) && books.CopyFile(original, backup, false);
      const bool complete = copied && books.GetFileData(backup, after) &&
                            !(after.attributes & platform::kAttrDirectory) && after.size == before.size;
      if (complete && books.DeleteFile(original)) {
        ++result.SymbolsBackedUp;
      } else {
        result.KeptSymbols.push_back(original);
        if (!complete) books.Protect(original);
      }
    }
    books.phase = Phase::Other;
  }

  if (!books.DirectoryExists(projectFolder)) {
    books.ForceDirectories(projectFolder);
    if (reload_ && !dryRun_) reload_(projectRoot);
  } else if (!reporter_.Confirm(std::string(kOverwriteQuestion))) {
    result.Outcome = TransferOutcome::Cancelled;
    return result;
  }

  books.phase = Phase::Samples;
  for (const std::string& sample : samples_.Items())
    books.CopyFile(sample, projectFolder + "\\" + NameOf(sample), false);

  books.phase = Phase::CopyTree;
  TCopyTree copier;
  copier.Attributes = platform::kAttrNormal;
  copier.TargetFolder = projectFolder;
  if (books.FileExists(ExfHeaderPath(in.ExfDir))) {
    copier.SourceFolder = in.ExfDir;
    copier.Masks = "*.EXF;*.BMP";
    copier.CopyFiles();
    copier.SourceFolder = AppendBackslash(in.ExpDir);
    copier.Masks = "*.EXP";
    copier.CopyFiles();
  }
  copier.TargetFolder = in.NormalMaster;
  copier.SourceFolder = AppendBackslash(in.AscDir);
  copier.Masks = "*.ASC";
  copier.Search.Criteria().Files.Excluded.push_back("SIASC");
  copier.CopyFiles();
  books.phase = Phase::Other;

  if (books.FileExists(result.ArgvFile)) {
    if (!books.ReadFile(result.ArgvFile, SIZE_MAX))
      throw VelmorError("Datei " + result.ArgvFile + " kann nicht geöffnet werden");
    TQxstringlist lines;
    lines.SetText(in.ProjectName);
    if (!books.WriteFile(result.ArgvFile, platform::Utf8ToAnsi(lines.Text())))
      throw VelmorError("Datei " + result.ArgvFile + " kann nicht erstellt werden");
    result.ArgvWritten = true;
  }
  return result;
}

}  // namespace velmor
