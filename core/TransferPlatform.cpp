#include "core/TransferPlatform.h"

#include <vector>

#include "core/FailureReason.h"
#include "support/PathRoutines.h"

namespace velmor {
namespace {

using platform::FindData;

// What a whole-file write puts into its file, for the books: the text of a one-line text file (as
// ARGV.DAT holds it: ANSI, ended by CR LF), else only its size.
TransferAction WriteAction(const std::string& path, std::string_view bytes) {
  std::string text = platform::AnsiToUtf8(bytes);
  if (text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0) text.resize(text.size() - 2);
  for (const unsigned char c : text)
    if (c < 32) return {TransferActionKind::WriteBytes, path, std::to_string(bytes.size())};
  return {TransferActionKind::Write, path, text};
}

}  // namespace

TransferPlatform::TransferPlatform(platform::IFileSystem& inner, bool dryRun, TransferResult& result,
                                   const TransferProgress& progress)
    : ReadForwardingPlatform(inner), dryRun_(dryRun), result_(result), progress_(progress) {}

bool TransferPlatform::FileExists(std::string_view path) {
  if (dryRun_) {
    if (const FileState* f = Overlay(path)) return f->exists;
  }
  return inner_.FileExists(path);
}

bool TransferPlatform::DirectoryExists(std::string_view path) {
  if (dryRun_ && createdFolders_.count(Key(path))) return true;
  return inner_.DirectoryExists(path);
}

uint32_t TransferPlatform::GetFileAttributes(std::string_view path) {
  if (dryRun_) {
    if (createdFolders_.count(Key(path))) return platform::kAttrDirectory;
    if (const FileState* f = Overlay(path)) {
      if (!f->exists) return NotFound(), platform::kInvalidAttributes;
      return f->data.attributes;
    }
  }
  return inner_.GetFileAttributes(path);
}

bool TransferPlatform::GetFileData(std::string_view path, FindData& out) {
  if (dryRun_) {
    if (const FileState* f = Overlay(path)) {
      if (!f->exists) return NotFound();
      out = f->data;
      return true;
    }
  }
  return inner_.GetFileData(path, out);
}

std::optional<std::string> TransferPlatform::ReadFile(std::string_view path, size_t maxBytes) {
  if (dryRun_) {
    if (const FileState* f = Overlay(path)) {
      if (!f->exists) return NotFound(), std::nullopt;
      if (f->content) return f->content->substr(0, maxBytes);
      return inner_.ReadFile(f->source, maxBytes);
    }
  }
  return inner_.ReadFile(path, maxBytes);
}

std::unique_ptr<platform::IFile> TransferPlatform::OpenFile(std::string_view path, platform::OpenMode mode) {
  if (mode != platform::OpenMode::Read) return Refuse(), nullptr;
  if (dryRun_) {
    if (const FileState* f = Overlay(path)) {
      if (!f->exists) return NotFound(), nullptr;
      return inner_.OpenFile(f->source, mode);
    }
  }
  return inner_.OpenFile(path, mode);
}

void TransferPlatform::Announce(const std::vector<std::pair<std::string, std::string>>& copies) {
  if (!journal_) return;
  // Whether a target exists is read from one listing of its folder, not looked up one by one.
  std::map<std::string, std::set<std::string>> folders;
  for (const auto& [source, target] : copies) {
    const std::string folder = FolderOf(Full(target));
    if (folders.count(folder)) continue;
    std::set<std::string>& names = folders[folder];
    for (const FindData& entry : inner_.FindFiles(folder + "\\*"))
      names.insert(platform::FoldUpper(entry.name));
  }
  for (const auto& [source, target] : copies) {
    // A source that cannot be read now is recorded when (and if) its copy comes.
    const std::optional<Fingerprint> content = FingerprintOfFile(inner_, source);
    if (!content) continue;
    const std::string full = Full(target);
    const bool exists = folders[FolderOf(full)].count(platform::FoldUpper(NameOf(full))) > 0;
    Record(journal_->BeforeWrite(target, *content, exists));
    announced_[{Key(source), Key(target)}] = *content;
  }
  Record(journal_->Commit(true));
}

void TransferPlatform::Record(bool recorded) {
  if (!recorded) throw JournalFailure(*journal_);
}

bool TransferPlatform::SetFileAttributes(std::string_view path, uint32_t attributes) {
  if (journal_) Record(journal_->BeforeAttributes(std::string(path)) && journal_->Commit(true));
  if (!dryRun_) return inner_.SetFileAttributes(path, attributes);
  if (DirectoryExists(path)) return true;
  FindData data;
  if (!GetFileData(path, data)) return NotFound();
  data.attributes =
      attributes == 0 || attributes == platform::kAttrNormal
          ? platform::kAttrArchive
          : (attributes & (platform::kAttrReadOnly | platform::kAttrHidden | platform::kAttrSystem)) |
                platform::kAttrArchive;
  FileState& f = overlay_[Key(path)];
  if (f.source.empty()) f.source = std::string(path);
  f.exists = true;
  f.data = data;
  return true;
}

bool TransferPlatform::CopyFile(std::string_view source, std::string_view target, bool failIfExists) {
  const std::string src(source), dst(target);
  Progress(src);
  bool ok;
  std::optional<Fingerprint> content;
  if (phase != TransferPhase::BackUp && protected_.count(Key(dst))) {
    ok = Refuse();
  } else if (inner_.ReadLink(dst)) {
    ok = Linked();
  } else if (inner_.FileLockedByOther(dst)) {
    ok = InUse();
  } else if (dryRun_) {
    ok = PretendCopy(src, dst, failIfExists);
  } else if (Journaled() && !(content = AnnouncedOrRead(src, dst))) {
    ok = false;  // the source cannot be read: its copy would fail as well
  } else if (content && journal_->RecordedAbsent(dst) && !failIfExists) {
    // Recorded as absent: the copy must not replace a file another program put there meanwhile
    // unless that file is kept first.
    ok = inner_.CopyFile(source, target, true);
    if (!ok && platform::LastError() == platform::kErrorFileExists) {
      Record(journal_->BeforeWrite(dst, *content) && journal_->Commit(true));
      ok = inner_.CopyFile(source, target, false);
    }
    if (ok) journal_->Written(dst);
  } else {
    if (content) Record(journal_->BeforeWrite(dst, *content) && journal_->Commit(true));
    ok = inner_.CopyFile(source, target, failIfExists);
    if (ok && content) journal_->Written(dst);
  }
  if (ok) {
    result_.Actions.push_back(
        {phase == TransferPhase::BackUp ? TransferActionKind::BackUp : TransferActionKind::Copy, Full(src),
         Full(dst)});
    if (phase != TransferPhase::BackUp) ++result_.FilesCopied;
  } else if (phase != TransferPhase::BackUp) {
    // The backup step keeps its own list of the originals it had to leave in place.
    const std::string reason = protected_.count(Key(dst)) ? "das Original dort ist nicht gesichert"
                                                          : FailureReason(platform::LastError());
    result_.FailedCopies.push_back(Full(src) + " -> " + Full(dst) + " (" + reason + ")");
  }
  return ok;
}

bool TransferPlatform::CopyFileNoReplace(std::string_view source, std::string_view target) {
  if (phase != TransferPhase::BackUp) return Refuse();
  const std::string src(source), dst(target);
  Progress(src);
  const bool ok = dryRun_ ? PretendCopy(src, dst, true) : inner_.CopyFileNoReplace(source, target);
  if (ok) result_.Actions.push_back({TransferActionKind::BackUp, Full(src), Full(dst)});
  return ok;
}

bool TransferPlatform::DeleteFile(std::string_view path) {
  if (Journaled()) Record(journal_->BeforeDelete(std::string(path)) && journal_->Commit(true));
  bool ok;
  if (inner_.FileLockedByOther(path)) {
    ok = InUse();
  } else if (dryRun_) {
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

bool TransferPlatform::CreateDirectory(std::string_view path) {
  if (!dryRun_) {
    if (journal_ && !inner_.DirectoryExists(path)) {
      journal_->BeforeFolder(Full(path));
      Record(journal_->Commit(true));
    }
    const bool ok = inner_.CreateDirectory(path);
    if (ok) result_.Actions.push_back({TransferActionKind::CreateFolder, Full(path), {}});
    return ok;
  }
  if (path.empty() || DirectoryExists(path) || FileExists(path)) {
    platform::SetLastError(path.empty() ? platform::kErrorPathNotFound : platform::kErrorAlreadyExists);
    return false;
  }
  const std::string full = Full(path);
  const std::string parent = FolderOf(full);
  if (!parent.empty() && !DirectoryExists(parent.size() == 2 ? parent + "\\" : parent)) {
    platform::SetLastError(platform::kErrorPathNotFound);
    return false;
  }
  PretendFolder(full);
  return true;
}

bool TransferPlatform::ForceDirectories(std::string_view path) {
  if (!dryRun_) {
    if (journal_) {
      // Every folder it may create, the outermost first.
      std::vector<std::string> missing;
      for (std::string p = Full(path);; p = FolderOf(p)) {
        while (p.size() > 3 && p.back() == '\\') p.pop_back();
        if (p.size() <= 3 || inner_.DirectoryExists(p)) break;
        missing.push_back(p);
      }
      for (auto it = missing.rbegin(); it != missing.rend(); ++it) journal_->BeforeFolder(*it);
      Record(journal_->Commit(true));
    }
    const bool existed = inner_.DirectoryExists(path);
    const bool ok = inner_.ForceDirectories(path);
    if (ok && !existed) result_.Actions.push_back({TransferActionKind::CreateFolder, Full(path), {}});
    return ok;
  }
  if (path.empty()) {
    platform::SetLastError(platform::kErrorPathNotFound);
    return false;
  }
  if (DirectoryExists(path)) return true;
  if (FileExists(path)) {
    platform::SetLastError(platform::kErrorAlreadyExists);
    return false;
  }
  PretendFolder(Full(path));
  return true;
}

bool TransferPlatform::MoveFile(std::string_view source, std::string_view target) {
  // Outside the backup step, whose records cover its renames, nothing is moved.
  if (Journaled()) return Refuse();
  bool ok;
  if (!dryRun_) {
    ok = inner_.MoveFile(source, target);
  } else {
    FindData data, existing;
    if (!GetFileData(source, data) || (data.attributes & platform::kAttrDirectory)) {
      ok = NotFound();
    } else if (GetFileData(target, existing) || DirectoryExists(target)) {
      platform::SetLastError(platform::kErrorAlreadyExists);
      ok = false;
    } else {
      FileState moved;
      moved.exists = true;
      moved.data = data;
      moved.data.name = NameOf(Full(target));
      if (const FileState* from = Overlay(source)) {
        moved.source = from->source;
        moved.content = from->content;
      } else {
        moved.source = Full(source);
      }
      overlay_[Key(target)] = std::move(moved);
      overlay_[Key(source)] = FileState{};
      ok = true;
    }
  }
  if (ok) result_.Actions.push_back({TransferActionKind::SetAside, Full(source), Full(target)});
  return ok;
}

bool TransferPlatform::WriteFile(std::string_view path, std::string_view bytes) {
  bool ok;
  if (inner_.ReadLink(path)) {
    ok = Linked();
  } else if (inner_.FileLockedByOther(path)) {
    ok = InUse();
  } else if (dryRun_) {
    FindData data;
    const bool exists = GetFileData(path, data);
    if (exists && (data.attributes & platform::kAttrReadOnly)) {
      ok = Refuse();
    } else if (!DirectoryExists(FolderOf(Full(path)))) {
      ok = false;
      platform::SetLastError(platform::kErrorPathNotFound);
    } else {
      FileState& f = overlay_[Key(path)];
      f.exists = true;
      f.content = std::string(bytes);
      f.data.size = bytes.size();
      if (!exists) f.data.attributes = platform::kAttrArchive;
      ok = true;
    }
  } else {
    if (Journaled())
      Record(journal_->BeforeWrite(std::string(path), FingerprintOf(bytes)) && journal_->Commit(true));
    ok = inner_.WriteFile(path, bytes);
    if (ok && Journaled()) journal_->Written(std::string(path));
  }
  if (ok) result_.Actions.push_back(WriteAction(Full(path), bytes));
  return ok;
}

bool TransferPlatform::FlushFileSystem(std::string_view path) {
  return dryRun_ || inner_.FlushFileSystem(path);
}

size_t TransferPlatform::RemoveStaleTemporaries(std::string_view folder) {
  return dryRun_ ? 0 : inner_.RemoveStaleTemporaries(folder);
}

std::optional<Fingerprint> TransferPlatform::AnnouncedOrRead(const std::string& source,
                                                             const std::string& target) {
  if (auto it = announced_.find({Key(source), Key(target)}); it != announced_.end()) return it->second;
  return FingerprintOfFile(inner_, source);
}

std::string TransferPlatform::Full(std::string_view path) {
  std::string full = inner_.FullPath(path).value_or(std::string(path));
  for (char& c : full)
    if (c == '/') c = '\\';
  return full;
}

bool TransferPlatform::Refuse() {
  platform::SetLastError(platform::kErrorAccessDenied);
  return false;
}

bool TransferPlatform::Linked() {
  platform::SetLastError(platform::kErrorStoppedOnSymlink);
  return false;
}

bool TransferPlatform::InUse() {
  platform::SetLastError(platform::kErrorLockViolation);
  return false;
}

bool TransferPlatform::NotFound() {
  platform::SetLastError(platform::kErrorFileNotFound);
  return false;
}

std::string TransferPlatform::Key(std::string_view path) {
  std::string full = Full(path);
  while (full.size() > 3 && full.back() == '\\') full.pop_back();
  return platform::FoldUpper(full);
}

const TransferPlatform::FileState* TransferPlatform::Overlay(std::string_view path) {
  auto it = overlay_.find(Key(path));
  return it == overlay_.end() ? nullptr : &it->second;
}

// Records one CreateFolder for the outermost missing folder and marks it and everything below it up to
// full as existing.
void TransferPlatform::PretendFolder(const std::string& full) {
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

bool TransferPlatform::PretendCopy(const std::string& src, const std::string& dst, bool failIfExists) {
  FindData data;
  if (!GetFileData(src, data) || (data.attributes & platform::kAttrDirectory)) return NotFound();
  if (Key(src) == Key(dst)) return Refuse();
  if (DirectoryExists(dst)) return Refuse();
  const std::string parent = FolderOf(Full(dst));
  if (parent.empty() || !DirectoryExists(parent.size() == 2 ? parent + "\\" : parent)) {
    platform::SetLastError(platform::kErrorPathNotFound);
    return false;
  }
  FindData existing;
  if (GetFileData(dst, existing)) {
    if (failIfExists) {
      platform::SetLastError(platform::kErrorFileExists);
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

void TransferPlatform::Progress(const std::string& current) {
  if (phase == TransferPhase::Other) return;
  ++done;
  if (done > total) total = done;
  if (progress_) progress_(done, total, current);
}

}  // namespace velmor
