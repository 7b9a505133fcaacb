// The Windows world as EPLAN 5 sees it, read and written natively from its Wine prefix.
//
// Every file-system, registry and environment call of the program goes through the interfaces here,
// one per role (files and folders, registry, INI files, shell, system). The window and velmorctl take
// the host's platform (Os()) at their top and pass it down; each service takes the roles it uses as a
// parameter, so a caller (the transfer, a test) can hand it a wrapper, for example one that journals
// every change or fails chosen calls.
//
// Conventions of these interfaces:
// - Paths are Windows paths in UTF-8 ("C:\EPLAN5\P", "D:\EXF\EPL_ASC.EXF"); "/" counts as "\".
//   Relative paths resolve against CurrentDirectory(). Only ToHost/ToWindows deal in host paths.
// - A call that can fail returns false, an empty optional or a null pointer and sets LastError() to a
//   Windows error code (constants below), like the Win32 calls it stands for. Nothing here throws.
// - Byte contents (ReadFile, WriteFile, IFile) are raw bytes; texts of ANSI files are converted with
//   AnsiToUtf8/Utf8ToAnsi by the caller.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmor::platform {

// Windows error codes used by the layer.
inline constexpr uint32_t kErrorSuccess = 0;
inline constexpr uint32_t kErrorFileNotFound = 2;
inline constexpr uint32_t kErrorPathNotFound = 3;
inline constexpr uint32_t kErrorAccessDenied = 5;
inline constexpr uint32_t kErrorNotSameDevice = 17;
inline constexpr uint32_t kErrorNotReady = 21;
inline constexpr uint32_t kErrorWriteFault = 29;
inline constexpr uint32_t kErrorReadFault = 30;
inline constexpr uint32_t kErrorSharingViolation = 32;
inline constexpr uint32_t kErrorLockViolation = 33;  // another process holds the lock
inline constexpr uint32_t kErrorHandleDiskFull = 39;
inline constexpr uint32_t kErrorFileExists = 80;
inline constexpr uint32_t kErrorInvalidParameter = 87;
inline constexpr uint32_t kErrorDiskFull = 112;
inline constexpr uint32_t kErrorInvalidName = 123;
inline constexpr uint32_t kErrorDirNotEmpty = 145;
inline constexpr uint32_t kErrorFilenameTooLong = 206;  // a name longer than the file system allows
inline constexpr uint32_t kErrorAlreadyExists = 183;
inline constexpr uint32_t kErrorDirectory = 267;         // the name is not a folder
inline constexpr uint32_t kErrorStoppedOnSymlink = 681;  // refused to write through a symbolic link
inline constexpr uint32_t kErrorCancelled = 1223;
inline constexpr uint32_t kErrorNotConnected = 2250;  // no network drive of that letter

// Windows file attribute bits.
inline constexpr uint32_t kAttrReadOnly = 0x01;
inline constexpr uint32_t kAttrHidden = 0x02;
inline constexpr uint32_t kAttrSystem = 0x04;
inline constexpr uint32_t kAttrVolumeLabel = 0x08;  // a filter bit only: no entry here carries it
inline constexpr uint32_t kAttrDirectory = 0x10;
inline constexpr uint32_t kAttrArchive = 0x20;
inline constexpr uint32_t kAttrNormal = 0x80;
// Every bit an entry of a folder can carry; as an enumeration filter it lets every entry through.
inline constexpr uint32_t kAttrAnyEntry =
    kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrDirectory | kAttrArchive;
inline constexpr uint32_t kInvalidAttributes = 0xFFFFFFFF;

// Windows drive types (GetDriveType).
enum class DriveType : uint32_t {
  Unknown = 0,
  NoRootDir = 1,
  Removable = 2,
  Fixed = 3,
  Remote = 4,
  CdRom = 5,
  RamDisk = 6,
};

// Display name of the node above the drives ("My Computer").
inline constexpr std::string_view kComputerDisplayName = "Arbeitsplatz";

// A Windows file time: 100 ns intervals since 1601-01-01 UTC.
using FileTime = uint64_t;

// Everything FindFirstFile reports about one entry.
struct FindData {
  std::string name;  // without folder
  uint32_t attributes = 0;
  uint64_t size = 0;
  FileTime creationTime = 0;
  FileTime lastAccessTime = 0;
  FileTime lastWriteTime = 0;
};

// Identity of a folder (or file) on the host (device and inode): two folder texts name the same folder,
// through whatever links, when their identities are equal.
struct FolderId {
  uint64_t device = 0;
  uint64_t inode = 0;
  bool operator==(const FolderId&) const = default;
};

// A folder where a file system is mounted, below a folder that a walk starts from.
struct MountedFolder {
  std::string folder;      // spelled as the walk spells it: its start folder's spelling, then names, "\"
  bool isVirtual = false;  // proc, sysfs, devpts, cgroup, …: nothing stored, nothing for a walk there
};

// What a walk needs from the mount table. Below a plain folder only a mount can lead back to a folder
// the walk is inside of (a bind mount of it) or into a file system without stored files (/proc, whose
// links name every process's folders, /sys, /dev), so only mount points, and the folders reached
// through links, need a look at their identity.
struct FolderMounts {
  std::vector<MountedFolder> mounts;     // the walk's start folder itself included when it is one
  std::vector<uint64_t> virtualDevices;  // the device of every virtual file system of the host
  bool IsVirtual(const FolderId& id) const {
    for (const uint64_t device : virtualDevices)
      if (device == id.device) return true;
    return false;
  }
};

// One listed folder. Entries are sorted the way Wine delivers them (upper-cased name, ties by bytes;
// "." and ".." first except in a drive root). The name, the folder bit and the link bit come from the
// listing itself; attributes, size, times and the folder's own identity are fetched from the host only
// when asked for, so a walk that needs only names and the folder bit never stats anything.
class IFolderListing {
 public:
  virtual ~IFolderListing() = default;
  virtual size_t Count() const = 0;
  virtual std::string_view Name(size_t index) const = 0;
  virtual bool IsDirectory(size_t index) const = 0;
  // The entry is a symbolic link (its folder bit is that of what it points to).
  virtual bool IsLink(size_t index) const = 0;
  // Full attributes (read-only needs a stat, hidden/system the extended attribute).
  virtual uint32_t Attributes(size_t index) = 0;
  // Attributes, size and times; false when the entry vanished since the listing.
  virtual bool Details(size_t index, FindData& out) = 0;
  // The size alone (one stat, links followed): 0 for a folder and for an entry that vanished.
  virtual uint64_t Size(size_t index) = 0;
  // What the entry takes up as `du` counts it (one stat, a link not followed but counted with its own
  // length), and its identity when it has more than one name (hard links), so that a count over many
  // folders can count it once; false when the entry vanished since the listing.
  virtual bool StoredSize(size_t index, uint64_t& size, std::optional<FolderId>& sharedIdentity) = 0;
  // The listed folder itself (one stat on the first call; any thread may ask).
  virtual FolderId Identity() const = 0;
};

// An open file (CreateFile/ReadFile/WriteFile/SetFilePointer/CloseHandle). Closed by the destructor.
class IFile {
 public:
  virtual ~IFile() = default;
  // Reads up to count bytes; returns the number read (0 at the end), or -1 on error (LastError set).
  virtual int64_t Read(void* buffer, size_t count) = 0;
  // Writes count bytes; false on a short or failed write (LastError set).
  virtual bool Write(const void* buffer, size_t count) = 0;
  virtual bool Seek(int64_t offset) = 0;  // absolute position
  virtual std::optional<uint64_t> Size() = 0;
  // Puts everything written so far on the disk (FlushFileBuffers; fsync).
  virtual bool Flush() = 0;
};

// An open lock file. Its exclusive lock, once taken, is held until the object is destroyed; the
// system drops it when the process ends in any way, a kill included, so a lock never outlives its
// holder. The file's content is the holder's record, for whoever finds the file locked.
class IFileLock {
 public:
  virtual ~IFileLock() = default;
  // Takes the exclusive lock without waiting; false with kErrorLockViolation while another open of
  // the file (in any process, this one included) holds it.
  virtual bool TryLock() = 0;
  // The file's content, up to maxBytes.
  virtual std::optional<std::string> Read(size_t maxBytes) = 0;
  // Replaces the whole content and puts it on the disk.
  virtual bool Replace(std::string_view bytes) = 0;
  // The path still names this very file: nobody removed or replaced it since it was opened.
  virtual bool StillAtPath() = 0;
  // Removes the file's name, when the path still names this file.
  virtual bool Remove() = 0;
};

// Who runs this process, and where: enough to tell it from every other process that could hold a
// lock of the same station, on this machine or another.
struct ProcessIdentity {
  std::string host;  // the machine's host name
  std::string user;  // the name of the user the process runs as (the number when it has none)
  int64_t pid = 0;
  uint64_t start = 0;  // ProcessStartTime(pid)
};

enum class OpenMode {
  Read,          // existing file, read access, sharing allowed
  ReadWrite,     // existing file, read and write access (fails on a read-only file)
  CreateAlways,  // create or truncate, read and write access (fails on a read-only file)
};

// Progress of a shell folder operation: bytes done / bytes total and the Windows path of the file
// being worked on.
// Return false to cancel.
using ShellProgress = std::function<bool(uint64_t done, uint64_t total, const std::string& current)>;
// Asked, with its Windows path, before an existing file is replaced; return false to refuse (the
// operation then fails).
using ShellConfirmReplace = std::function<bool(const std::string& existingFile)>;

// The error of the last failed platform call on this thread (GetLastError). Windows keeps it per
// thread, and so does the layer: every role and every wrapper of one reads and sets the same slot, so
// a wrapper that fails a call itself only sets it, and one that passes a call on has nothing to do.
uint32_t LastError();
void SetLastError(uint32_t code);

// The platform comes in roles, one interface each; a service asks only for the roles it uses, and a
// wrapper (the transfer's journaling platform, a test's fault injector) wraps only the roles it
// changes. IPlatform joins them all; the host implements it.

// Files and folders: paths, the current folder, files, attributes and times, whole trees, folder
// listings and the mounts below a folder, and putting what was written on the disk.
class IFileSystem {
 public:
  virtual ~IFileSystem() = default;

  // --- paths ----------------------------------------------------------------------------------------
  // Process working folder as a Windows path, without trailing backslash (except a drive root).
  virtual std::string CurrentDirectory() = 0;
  virtual bool SetCurrentDirectory(std::string_view path) = 0;
  // GetFullPathName; nullopt for the empty path.
  virtual std::optional<std::string> FullPath(std::string_view path) = 0;
  // Windows path → host path, components matched case-insensitively; nullopt when no drive maps it.
  // Components that do not exist are appended as spelled.
  virtual std::optional<std::string> ToHost(std::string_view windowsPath) = 0;
  // Host path → Windows path (longest drive prefix; else the \\?\unix\ form).
  virtual std::string ToWindows(std::string_view hostPath) = 0;

  // --- files and folders ----------------------------------------------------------------------------
  virtual bool FileExists(std::string_view path) = 0;             // names a file (never with trailing "\")
  virtual bool DirectoryExists(std::string_view path) = 0;        // names a folder
  virtual uint32_t GetFileAttributes(std::string_view path) = 0;  // kInvalidAttributes when missing
  virtual bool SetFileAttributes(std::string_view path, uint32_t attributes) = 0;
  // Sets the last-write time of a file (SetFileTime), as an undo gives a file back exactly.
  virtual bool SetFileTime(std::string_view path, FileTime lastWrite) = 0;
  virtual bool GetFileData(std::string_view path, FindData& out) = 0;
  // CopyFile: content, last-write time and read-only/hidden/system bits; atomic replace of the target.
  virtual bool CopyFile(std::string_view source, std::string_view target, bool failIfExists) = 0;
  // Copies source to a new file of exactly the name target spells (its last component is taken as
  // written, never matched to an entry of another case; the folder is looked up as usual). The copy is
  // written to a temporary file first and then put under the name only if nothing holds that name
  // meanwhile: it never replaces anything, not even a file another process creates at the same
  // moment. kErrorFileExists when an entry of that very name (a link included) is there. Content,
  // last-write time and attributes as CopyFile.
  virtual bool CopyFileNoReplace(std::string_view source, std::string_view target) = 0;
  // The target of a symbolic link at path (its last component, looked up as usual), as the link holds
  // it; nullopt when path names no link.
  virtual std::optional<std::string> ReadLink(std::string_view path) = 0;
  virtual bool DeleteFile(std::string_view path) = 0;
  virtual bool CreateDirectory(std::string_view path) = 0;
  // Creates the folder and all missing parents; true when the folder exists afterwards.
  virtual bool ForceDirectories(std::string_view path) = 0;
  virtual bool RemoveDirectory(std::string_view path) = 0;  // empty folders only
  // Deletes a file or folder with everything in it.
  virtual bool DeleteTree(std::string_view path) = 0;
  virtual bool MoveFile(std::string_view source, std::string_view target) = 0;  // rename, no replace

  virtual std::unique_ptr<IFile> OpenFile(std::string_view path, OpenMode mode) = 0;
  // The first maxBytes bytes of a file (all of it by default).
  virtual std::optional<std::string> ReadFile(std::string_view path, size_t maxBytes = SIZE_MAX) = 0;
  // Replaces a file atomically: temporary file in the same folder, flush, rename over.
  // Fails on a read-only target.
  virtual bool WriteFile(std::string_view path, std::string_view bytes) = 0;

  // --- folder enumeration ---------------------------------------------------------------------------
  // Lists one folder (all entries, "." and ".." included where Wine shows them); nullptr when the
  // folder cannot be listed.
  virtual std::unique_ptr<IFolderListing> ListFolder(std::string_view folder) = 0;
  // FindFirstFile/FindNextFile over "folder\mask": the entries whose name matches the mask (Windows
  // wildcard rules, MaskMatches) and whose attributes pass the filter: an entry is delivered unless it
  // has one of the bits folder/hidden/system that the filter lacks. kAttrAnyEntry delivers everything.
  virtual std::vector<FindData> FindFiles(std::string_view pattern,
                                          uint32_t attributeFilter = kAttrAnyEntry) = 0;
  // Whether another process holds a byte-range lock on some part of a file: LockFile of a Windows
  // program, which Wine passes on to the host as a POSIX lock. (Share modes of an open without a
  // lock are Wine's own and cannot be seen from the host.) False for a file that cannot be opened.
  virtual bool FileLockedByOther(std::string_view path) = 0;
  // The identity of the folder a path names (links followed); nullopt when it names no folder.
  virtual std::optional<FolderId> GetFolderId(std::string_view folder) = 0;
  // The host's mount table as a walk of the folders below `folder` meets it, read once per call.
  virtual FolderMounts MountsBelow(std::string_view folder) = 0;

  // --- durability -----------------------------------------------------------------------------------
  // Puts everything written so far on the file system that holds path on the disk (syncfs): one call
  // makes a whole batch of copies and the folders they are in durable.
  virtual bool FlushFileSystem(std::string_view path) = 0;
  // Removes the temporary files that copies and whole-file writes of processes that no longer run
  // left in folder (a kill between writing and renaming them); returns how many went.
  virtual size_t RemoveStaleTemporaries(std::string_view folder) = 0;
};

// The registry: HKEY_LOCAL_MACHINE, read only, 32-bit view.
class IRegistry {
 public:
  virtual ~IRegistry() = default;
  virtual bool RegKeyExists(std::string_view key) = 0;
  // Sub-key names in Wine's order; nullopt when the key does not exist.
  virtual std::optional<std::vector<std::string>> RegSubKeys(std::string_view key) = 0;
  // A string value (REG_SZ / REG_EXPAND_SZ as stored); nullopt when key or value is missing.
  virtual std::optional<std::string> RegString(std::string_view key, std::string_view name) = 0;
};

// Private profile (INI) files. A file name without folder lives in the Windows folder.
class IProfiles {
 public:
  virtual ~IProfiles() = default;
  virtual std::string GetPrivateProfileString(std::string_view section, std::string_view key,
                                              std::string_view defaultValue, std::string_view file,
                                              size_t bufferSize = 2048) = 0;
  // key nullopt erases the section; value nullopt deletes the key.
  virtual bool WritePrivateProfileString(std::string_view section, std::optional<std::string_view> key,
                                         std::optional<std::string_view> value, std::string_view file) = 0;
};

// The shell: drives, the shell's folder operations with their questions and progress (used by the
// folder tree), the trash, and opening a file with its program.
class IShell {
 public:
  virtual ~IShell() = default;

  // --- drives ---------------------------------------------------------------------------------------
  virtual uint32_t LogicalDrives() = 0;  // bit 0 = A:
  virtual DriveType GetDriveType(char letter) = 0;
  virtual bool DriveReady(char letter) = 0;
  virtual bool DriveSpace(char letter, uint64_t& total, uint64_t& available) = 0;
  // Label + " (X:)", e.g. "Lokaler Datenträger (C:)".
  virtual std::string DriveDisplayName(char letter) = 0;
  // Host folder a drive letter links to; empty when the drive is not present.
  virtual std::string DriveTarget(char letter) = 0;
  // Creates dosdevices/x: → hostFolder. Fails when the letter is in use.
  virtual bool ConnectNetworkDrive(char letter, std::string_view hostFolder) = 0;
  // Removes the link of a drive of type Remote.
  virtual bool DisconnectNetworkDrive(char letter) = 0;

  // --- shell folder operations ----------------------------------------------------------------------
  // Copies or moves a file or folder into targetFolder under its own name.
  virtual bool ShellCopy(std::string_view source, std::string_view targetFolder,
                         const ShellConfirmReplace& confirm, const ShellProgress& progress) = 0;
  virtual bool ShellMove(std::string_view source, std::string_view targetFolder,
                         const ShellConfirmReplace& confirm, const ShellProgress& progress) = 0;
  virtual bool ShellRename(std::string_view source, std::string_view newPath) = 0;
  // Moves a file or folder to the XDG trash. False with kErrorAccessDenied when no trash can take it.
  virtual bool MoveToTrash(std::string_view path) = 0;
  // Opens a file with the desktop's associated program (xdg-open); false when it could not start.
  virtual bool OpenWithAssociatedProgram(std::string_view path) = 0;
};

// The system: the environment and the well-known folders, the host side of a prefix, locks and
// other processes.
class ISystem {
 public:
  virtual ~ISystem() = default;

  // --- environment and well-known folders -----------------------------------------------------------
  // The value of an environment variable; empty when unset or longer than 255 bytes.
  virtual std::string GetEnv(std::string_view name) = 0;
  // The prefix's host folder ($WINEPREFIX or $HOME/.wine); may not exist.
  virtual std::string PrefixDirectory() = 0;
  // The program's folder, Windows path with trailing backslash: the folder of the running executable,
  // or share/velmor of an installed program (where its sample project EXF0 lies).
  virtual std::string ProgramDirectory() = 0;
  // The Windows folder (C:\windows, or the host configuration folder when the prefix has no C:).
  virtual std::string WindowsDirectory() = 0;

  // --- host side (setting up a prefix that does not exist yet: the demo station) -------------------
  virtual bool HostCreateDirectories(std::string_view hostPath) = 0;
  virtual bool HostWriteFile(std::string_view hostPath, std::string_view bytes) = 0;
  // Creates (or replaces) the symbolic link linkPath → target.
  virtual bool HostSymlink(std::string_view target, std::string_view linkPath) = 0;
  // Absolute form of a host path relative to the process's working folder.
  virtual std::string HostAbsolute(std::string_view hostPath) = 0;
  // The bytes this user may still write on the file system that holds the existing host folder;
  // nullopt when that cannot be told.
  virtual std::optional<uint64_t> HostFreeSpace(std::string_view hostFolder) = 0;

  // --- locks and other processes --------------------------------------------------------------------
  // Opens a lock file, created when missing, without following a link at its name: a link, anything
  // but a plain file, and a file with a second name (a hard link made elsewhere) are refused with
  // kErrorAccessDenied, so nothing is ever written through them. Opened for reading only when the
  // file may not be written (another user's). The lock is taken by IFileLock::TryLock.
  virtual std::unique_ptr<IFileLock> OpenLockFile(std::string_view path) = 0;
  // The id of this process, and whether a process of some id still exists.
  virtual int64_t ProcessId() = 0;
  virtual bool ProcessRunning(int64_t pid) = 0;
  // When a running process started (clock ticks since the boot): with its id it tells the process
  // from a later one that got the same id. nullopt when no process of that id runs.
  virtual std::optional<uint64_t> ProcessStartTime(int64_t pid) = 0;
  virtual ProcessIdentity ThisProcess() = 0;
};

// Every role at once: what the host implements, and what the window and velmorctl hand down.
class IPlatform : public IFileSystem, public IRegistry, public IProfiles, public IShell, public ISystem {};

// The host platform, the one the window and velmorctl pass to what they run.
IPlatform& Os();
// The real host implementation (process-wide); the same object as Os().
IPlatform& HostPlatform();

// Replacing or deleting a file frees its blocks, and on some disks that waits for the disk (with
// online discard, milliseconds a file). While a DeferredFrees object lives, the host's CopyFile and
// DeleteFile calls made on its thread leave that freeing to background threads: the old file is kept
// under a temporary name beside it (a second link to a copy's target, a rename for a delete) and
// removed in the background. Every name a caller sees is as without it, at every moment; the
// destructor of the outermost object waits until every file so kept is gone. A crash in between leaves
// temporaries that RemoveStaleTemporaries takes away.
class DeferredFrees {
 public:
  DeferredFrees();
  ~DeferredFrees();
  DeferredFrees(const DeferredFrees&) = delete;
  DeferredFrees& operator=(const DeferredFrees&) = delete;
};

// --- pure helpers (no file system) ------------------------------------------------------------------

// Windows wildcard match of a name against an enumeration mask (FindFirstFile rules). Trailing blanks
// of the mask are dropped and a run of dots and blanks at its end counts as one final dot, which also
// matches the end of a name without extension.
bool MaskMatches(std::string_view name, std::string_view mask);

// An enumeration mask prepared once for applying to many folders: what FindFiles delivers for
// "folder\mask", computed from a listing the caller already holds.
class FolderMask {
 public:
  explicit FolderMask(std::string_view mask);
  // The mask delivers nothing from any folder (empty, or nothing but dots and blanks).
  bool FindsNothing() const { return kind_ == Kind::Nothing; }
  bool Matches(std::string_view name) const;
  // Appends the indices of the entries the mask delivers, in listing order ("." and ".." included
  // when they match). A mask without wildcards names at most one entry: the exact spelling when
  // listed, otherwise the first case-insensitive match.
  void Select(const IFolderListing& listing, std::vector<size_t>& out) const;

 private:
  enum class Kind : uint8_t { Nothing, Everything, Suffix, General };
  Kind kind_ = Kind::Nothing;
  bool literal_ = false;
  std::string text_;   // the mask (General) or its upper-cased suffix after the "*" (Suffix)
  std::string exact_;  // a literal mask's name as spelled, without a final dot
};
// The direct host form of a host folder: "\\?\unix\" + the host path with "\" for "/", ending in "\".
// It names that very folder whatever drives there are, and the platform maps a path in this form made
// of plain names back without looking any name up, so walks hand it every folder below one they know.
// Empty when hostPath is not absolute.
std::string DirectHostForm(std::string_view hostPath);
// Windows-1252 ↔ UTF-8.
std::string AnsiToUtf8(std::string_view ansi);
std::string Utf8ToAnsi(std::string_view utf8);
// Upper-cases ASCII and the Windows-1252 letters (ä→Ä, é→É; ß stays) of a UTF-8 text.
std::string FoldUpper(std::string_view utf8);
// Case-insensitive equality under FoldUpper.
bool EqualsNoCase(std::string_view a, std::string_view b);

}  // namespace velmor::platform
