// The file role a transfer runs on. The transfer hands it to the search and copy components it drives,
// so every file call they make while the transfer works passes through it. It keeps the books (what was
// copied, what failed, progress), refuses to overwrite an original that exists nowhere else, and, in a dry
// run, records each change instead of making it: an overlay of the folders and files it pretends to have made
// lets later steps see the station as the real run would (the project folder exists after its creation, a
// backup copy has the original's size, a deleted original is gone).
//
// Deny by default: its base passes on only the calls that look. A changing call added to the file role
// does not compile here until it is decided whether the transfer may make it; every change the
// transfer does not make on purpose (file times, removing folders, writing through an open file) is
// refused in both modes. The other roles (profiles, the shell, the system) are not handed to what the
// transfer drives at all.
#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "core/ProjectTransfer.h"
#include "core/TransferJournal.h"
#include "platform/Error.h"
#include "platform/Platform.h"
#include "platform/ReadForwardingPlatform.h"

namespace velmor {

// Which step of the transfer the calls belong to: the books count copies differently per step, and
// the backup step writes its own journal records.
enum class TransferPhase { Other, BackUp, Samples, CopyTree };

// The journal could not be written: the change it was to record is not made, and the transfer ends.
class JournalFailure : public VelmorError {
 public:
  explicit JournalFailure(const TransferJournal& journal)
      : VelmorError(journal.Error() +
                    ". Die Übertragung wurde abgebrochen; zurücknehmen mit: velmorctl undo " + journal.Id()) {
  }
};

class TransferPlatform final : public platform::ReadForwardingPlatform {
 public:
  TransferPlatform(platform::IFileSystem& inner, bool dryRun, TransferResult& result,
                   const TransferProgress& progress);

  TransferPhase phase = TransferPhase::Other;
  size_t done = 0;
  size_t total = 0;

  // An original symbol file whose backup is not complete must not be overwritten by a new symbol file
  // of the same name later in the run: it would be lost.
  void Protect(const std::string& path) { protected_.insert(Key(path)); }

  // In a real run with a journal, every change is recorded in it before it is made (the backup step
  // records its own); a change that cannot be recorded is not made (JournalFailure).
  void SetJournal(TransferJournal* journal) { journal_ = dryRun_ ? nullptr : journal; }
  // Records the copies of a step together, with one flush, before the step makes them.
  void Announce(const std::vector<std::pair<std::string, std::string>>& copies);

  // The searches of a transfer list folders that it has not changed yet when they run: the overlay
  // adds no entries to a listing. The other reading calls, and the process's own state, are passed on
  // unchanged by the base.

  // --- read through the dry run's overlay ---
  bool FileExists(std::string_view path) override;
  bool DirectoryExists(std::string_view path) override;
  uint32_t GetFileAttributes(std::string_view path) override;
  bool GetFileData(std::string_view path, platform::FindData& out) override;
  std::optional<std::string> ReadFile(std::string_view path, size_t maxBytes = SIZE_MAX) override;
  // Files are opened for reading only.
  std::unique_ptr<platform::IFile> OpenFile(std::string_view path, platform::OpenMode mode) override;

  // --- the changes a transfer makes: made and booked, or in a dry run only booked ---
  bool SetFileAttributes(std::string_view path, uint32_t attributes) override;
  bool CopyFile(std::string_view source, std::string_view target, bool failIfExists) override;
  // Only the backup step copies without replacing: its backups never take the place of a file.
  bool CopyFileNoReplace(std::string_view source, std::string_view target) override;
  bool DeleteFile(std::string_view path) override;
  bool CreateDirectory(std::string_view path) override;
  bool ForceDirectories(std::string_view path) override;
  // Only the backup step moves: an older backup is renamed to its versioned name.
  bool MoveFile(std::string_view source, std::string_view target) override;
  bool WriteFile(std::string_view path, std::string_view bytes) override;
  // A dry run has nothing to put on the disk, and leaves the leftovers of killed runs where they are.
  bool FlushFileSystem(std::string_view path) override;
  size_t RemoveStaleTemporaries(std::string_view folder) override;

  // --- refused, whatever the mode ---
  bool SetFileTime(std::string_view, platform::FileTime) override { return Refuse(); }
  bool RemoveDirectory(std::string_view) override { return Refuse(); }
  bool DeleteTree(std::string_view) override { return Refuse(); }

  // The full path of a path as the books show it: absolute, "\" only.
  std::string Full(std::string_view path);

 private:
  struct FileState {
    bool exists = false;
    platform::FindData data;
    std::string source;                  // where the content comes from (a pretended copy)
    std::optional<std::string> content;  // pretended written content
  };

  bool Refuse();
  bool NotFound();
  // A file to be written is a link: written through, it would change a file elsewhere.
  bool Linked();
  // A file to be replaced or removed is locked by a Windows program (a lock the host can see).
  bool InUse();
  // One spelling per file or folder: absolute, "\" only, no trailing backslash, case folded.
  std::string Key(std::string_view path);
  const FileState* Overlay(std::string_view path);
  void PretendFolder(const std::string& full);
  bool PretendCopy(const std::string& src, const std::string& dst, bool failIfExists);
  void Progress(const std::string& current);

  const bool dryRun_;
  TransferResult& result_;
  const TransferProgress& progress_;
  void Record(bool recorded);
  std::optional<Fingerprint> AnnouncedOrRead(const std::string& source, const std::string& target);
  // Copies, deletions and renames of the backup step are covered by its own records.
  bool Journaled() const { return journal_ && phase != TransferPhase::BackUp; }

  TransferJournal* journal_ = nullptr;
  std::map<std::pair<std::string, std::string>, Fingerprint> announced_;
  std::set<std::string> protected_;
  std::set<std::string> createdFolders_;
  std::map<std::string, FileState> overlay_;
};

}  // namespace velmor
