// The host implementation of every role of the platform (IPlatform), shared by the source files that
// implement its parts (paths and drives, files, folder listing, delegations). Not for use outside platform/.
#pragma once

#include <sys/stat.h>

#include <optional>
#include <string>
#include <string_view>

#include "platform/Platform.h"

namespace velmor::platform::detail {

// The thread's last error (GetLastError); every host call that fails sets it.
uint32_t& ThreadLastError();
inline bool Fail(uint32_t code) {
  ThreadLastError() = code;
  return false;
}
// Windows error code for an errno value. For ENOENT the code depends on whether the folder of
// hostPath exists (file not found) or not (path not found).
uint32_t ErrorFromErrno(int err, std::string_view hostPath = {});

// GetFullPathName against a given current folder (a Windows path such as "C:\work"); pure.
std::optional<std::string> FullPathFrom(std::string_view path, std::string_view currentDirectory);
// The root part of a full Windows path ("C:\", "\\?\unix\", "\\server\share\"); empty when none.
std::string_view RootOf(std::string_view fullPath);
// The direct host form \\?\unix\... of a path whose components are all plain names maps to its host
// path by turning the separators round: normalising it would change nothing. A search hands the
// platform every folder of its walk (and every file it reads) in this form, built from the names as
// listed, which spares it a full-path pass and a lookup each time. Anything special (an empty, "." or
// ".." component, a name ending in a dot or blank, a "/") gives nullopt: take the general way.
std::optional<std::string> PlainDirectHostPath(std::string_view path);

// Last path component of a host path (after the last '/').
std::string_view HostBaseName(std::string_view hostPath);
// Folder part of a host path ("/" for "/x"); empty when there is none.
std::string HostParent(std::string_view hostPath);
// The host folder that counts as the program's folder for an executable: its own folder when the
// sample project EXF0 lies beside it (build tree, a copied program folder), else PREFIX/share/velmor
// for an executable in PREFIX/bin when EXF0 lies there (an installed program, wherever it was put),
// else its own folder.
std::string ProgramFolderOf(std::string_view executable);

// Windows attributes of a host entry from its stat data, the name it is listed under and its path
// (for the user.DOSATTRIB extended attribute).
uint32_t AttributesOf(const struct stat& st, std::string_view name, const std::string& hostPath);
// The hidden/system bits stored in user.DOSATTRIB (0 when absent or unreadable).
uint32_t StoredDosBits(const std::string& hostPath);
// Writes (or removes, for 0) the hidden/system bits. A file system without extended attributes
// silently keeps none; false only for real errors.
bool StoreDosBits(const std::string& hostPath, uint32_t bits);
// Windows file time from a host time.
FileTime ToFileTime(int64_t seconds, uint32_t nanoseconds);
// Fills attributes, size and the three times of a host entry (name is what the entry is listed as).
// dirFd/relative name are used for the stat; hostPath for the extended attribute.
bool FillFindData(int dirFd, const char* relName, std::string_view name, const std::string& hostPath,
                  FindData& out);
// True when a host file (not folder) has no write bit at all: the layer treats it as read-only.
inline bool IsReadOnlyFile(const struct stat& st) {
  return !S_ISDIR(st.st_mode) && (st.st_mode & 0222) == 0;
}
// The process's umask, read without changing it.
mode_t CurrentUmask();
// Temporary files of copies and whole-file writes are named ".velmor-PID-N.tmp" after the process that
// writes them, so that a leftover of a process that was killed can be told from one still in use.
std::string TemporaryName(uint64_t n);
// The process id in a temporary file's name; nullopt for any other name.
std::optional<int64_t> TemporaryOwner(std::string_view name);
// Writes bytes to a temporary file beside hostPath and renames it over hostPath. Keeps the old
// file's permissions and hidden/system bits; on any failure the old file is untouched and the
// temporary is removed.
bool AtomicWrite(const std::string& hostPath, std::string_view bytes);

// Whether a DeferredFrees object lives on this thread.
bool FreesDeferred();
// Removes a file kept under a temporary name (hostPath) on a background thread.
void FreeLater(std::string hostPath);

class HostPlatformImpl : public IPlatform {
 public:
  std::string GetEnv(std::string_view name) override;
  std::string PrefixDirectory() override;
  std::string CurrentDirectory() override;
  bool SetCurrentDirectory(std::string_view path) override;
  std::string ProgramDirectory() override;
  std::string WindowsDirectory() override;

  std::optional<std::string> FullPath(std::string_view path) override;
  std::optional<std::string> ToHost(std::string_view windowsPath) override;
  std::string ToWindows(std::string_view hostPath) override;

  uint32_t LogicalDrives() override;
  DriveType GetDriveType(char letter) override;
  bool DriveReady(char letter) override;
  bool DriveSpace(char letter, uint64_t& total, uint64_t& available) override;
  std::string DriveDisplayName(char letter) override;
  std::string DriveTarget(char letter) override;
  bool ConnectNetworkDrive(char letter, std::string_view hostFolder) override;
  bool DisconnectNetworkDrive(char letter) override;

  bool FileExists(std::string_view path) override;
  bool DirectoryExists(std::string_view path) override;
  uint32_t GetFileAttributes(std::string_view path) override;
  bool SetFileAttributes(std::string_view path, uint32_t attributes) override;
  bool SetFileTime(std::string_view path, FileTime lastWrite) override;
  bool GetFileData(std::string_view path, FindData& out) override;
  bool CopyFile(std::string_view source, std::string_view target, bool failIfExists) override;
  bool CopyFileNoReplace(std::string_view source, std::string_view target) override;
  std::optional<std::string> ReadLink(std::string_view path) override;
  bool FileLockedByOther(std::string_view path) override;
  bool DeleteFile(std::string_view path) override;
  bool CreateDirectory(std::string_view path) override;
  bool ForceDirectories(std::string_view path) override;
  bool RemoveDirectory(std::string_view path) override;
  bool MoveFile(std::string_view source, std::string_view target) override;
  std::unique_ptr<IFile> OpenFile(std::string_view path, OpenMode mode) override;
  std::optional<std::string> ReadFile(std::string_view path, size_t maxBytes = SIZE_MAX) override;
  bool WriteFile(std::string_view path, std::string_view bytes) override;

  std::unique_ptr<IFolderListing> ListFolder(std::string_view folder) override;
  std::vector<FindData> FindFiles(std::string_view pattern,
                                  uint32_t attributeFilter = kAttrAnyEntry) override;
  std::optional<FolderId> GetFolderId(std::string_view folder) override;
  FolderMounts MountsBelow(std::string_view folder) override;

  bool RegKeyExists(std::string_view key) override;
  std::optional<std::vector<std::string>> RegSubKeys(std::string_view key) override;
  std::optional<std::string> RegString(std::string_view key, std::string_view name) override;

  std::string GetPrivateProfileString(std::string_view section, std::string_view key,
                                      std::string_view defaultValue, std::string_view file,
                                      size_t bufferSize = 2048) override;
  bool WritePrivateProfileString(std::string_view section, std::optional<std::string_view> key,
                                 std::optional<std::string_view> value, std::string_view file) override;

  bool ShellCopy(std::string_view source, std::string_view targetFolder, const ShellConfirmReplace& confirm,
                 const ShellProgress& progress) override;
  bool ShellMove(std::string_view source, std::string_view targetFolder, const ShellConfirmReplace& confirm,
                 const ShellProgress& progress) override;
  bool ShellRename(std::string_view source, std::string_view newPath) override;
  bool MoveToTrash(std::string_view path) override;
  bool DeleteTree(std::string_view path) override;
  bool OpenWithAssociatedProgram(std::string_view path) override;

  bool HostCreateDirectories(std::string_view hostPath) override;
  bool HostWriteFile(std::string_view hostPath, std::string_view bytes) override;
  bool HostSymlink(std::string_view target, std::string_view linkPath) override;
  std::string HostAbsolute(std::string_view hostPath) override;
  std::optional<uint64_t> HostFreeSpace(std::string_view hostFolder) override;

  std::unique_ptr<IFileLock> OpenLockFile(std::string_view path) override;
  bool FlushFileSystem(std::string_view path) override;
  int64_t ProcessId() override;
  bool ProcessRunning(int64_t pid) override;
  std::optional<uint64_t> ProcessStartTime(int64_t pid) override;
  ProcessIdentity ThisProcess() override;
  size_t RemoveStaleTemporaries(std::string_view folder) override;

 private:
  // Full path then host path; nullopt (LastError set) when the path cannot be mapped.
  std::optional<std::string> Resolve(std::string_view path);
  // Copies or moves a file or folder into a folder, as one change of the folders.
  bool ShellCopyOrMove(std::string_view source, std::string_view targetFolder, bool move,
                       const ShellConfirmReplace& confirm, const ShellProgress& progress);
  // Removes what a path names with a host-side removal (to the trash, or for good), as one change of
  // the folders; the removal's error becomes the last error.
  bool RemoveOnHost(std::string_view path, bool (*remove)(const std::string& hostPath, uint32_t& error));
  // ToHost; when the path exists as spelled, found is set and st holds its lstat.
  // absent (when given) is set when the lookup saw that nothing of that name, in any case, is there.
  std::optional<std::string> MapPath(std::string_view windowsPath, struct stat& st, bool& found,
                                     bool* absent = nullptr);
  // The host path a Windows path names when every component is spelled as on disk: the drive's
  // target plus the components as given, nothing looked up but the drive. final is set for the
  // \\?\unix\ form, which needs no matching at all. nullopt (LastError set) when no drive maps it.
  std::optional<std::string> SpelledHostPath(std::string_view windowsPath, bool& final);
  std::optional<std::string> SpelledHostPath(std::string_view windowsPath, bool& final, std::string& full,
                                             bool& trailing);
  // Resolve, then the stat of what the path names (links followed): statError is 0 when st is
  // filled, else the errno of the stat. Reuses the lookup's own lstat where it can.
  std::optional<std::string> ResolveStat(std::string_view path, struct stat& st, int& statError);
  // Opens a file by its spelled host path, and by its matched one when that differs; -1 with
  // LastError set on failure. host is the path that was opened (or the one that failed).
  int OpenMapped(std::string_view path, int flags, std::string& host);
  // Host folder of the prefix's dosdevices; the drive link of a letter ("" when absent).
  std::string DriveLink(char letter);
  // The real host folder of a drive ("" when absent). Without revalidate a remembered real path of
  // an unchanged link is trusted as it is (callers check the paths they build on it).
  std::string DriveRoot(char letter, bool revalidate);
  // The profile file a name stands for, as a host path.
  std::optional<std::string> ProfileHostPath(std::string_view file, bool createWindowsFolder);
};

}  // namespace velmor::platform::detail
