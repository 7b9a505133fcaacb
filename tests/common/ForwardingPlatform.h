// An IPlatform that passes every call on to another one. The tests' wrappers (fault injection, killing
// the process at a chosen call, logging the order of calls) derive from it and override only the calls
// they change. The product has none: its wrappers decide every call of the interface themselves.
#pragma once

#include "platform/Platform.h"

namespace velmor::platform {

class ForwardingPlatform : public IPlatform {
 public:
  explicit ForwardingPlatform(IPlatform& inner) : inner_(inner) {}

  uint32_t LastError() const override { return inner_.LastError(); }
  void SetLastError(uint32_t code) override { inner_.SetLastError(code); }
  std::string GetEnv(std::string_view name) override { return inner_.GetEnv(name); }
  std::string PrefixDirectory() override { return inner_.PrefixDirectory(); }
  std::string CurrentDirectory() override { return inner_.CurrentDirectory(); }
  bool SetCurrentDirectory(std::string_view path) override { return inner_.SetCurrentDirectory(path); }
  std::string ProgramDirectory() override { return inner_.ProgramDirectory(); }
  std::string WindowsDirectory() override { return inner_.WindowsDirectory(); }
  std::optional<std::string> FullPath(std::string_view path) override { return inner_.FullPath(path); }
  std::optional<std::string> ToHost(std::string_view windowsPath) override {
    return inner_.ToHost(windowsPath);
  }
  std::string ToWindows(std::string_view hostPath) override { return inner_.ToWindows(hostPath); }
  uint32_t LogicalDrives() override { return inner_.LogicalDrives(); }
  DriveType GetDriveType(char letter) override { return inner_.GetDriveType(letter); }
  bool DriveReady(char letter) override { return inner_.DriveReady(letter); }
  bool DriveSpace(char letter, uint64_t& total, uint64_t& available) override {
    return inner_.DriveSpace(letter, total, available);
  }
  std::string DriveDisplayName(char letter) override { return inner_.DriveDisplayName(letter); }
  std::string DriveTarget(char letter) override { return inner_.DriveTarget(letter); }
  bool ConnectNetworkDrive(char letter, std::string_view hostFolder) override {
    return inner_.ConnectNetworkDrive(letter, hostFolder);
  }
  bool DisconnectNetworkDrive(char letter) override { return inner_.DisconnectNetworkDrive(letter); }
  bool FileExists(std::string_view path) override { return inner_.FileExists(path); }
  bool DirectoryExists(std::string_view path) override { return inner_.DirectoryExists(path); }
  uint32_t GetFileAttributes(std::string_view path) override { return inner_.GetFileAttributes(path); }
  bool SetFileAttributes(std::string_view path, uint32_t attributes) override {
    return inner_.SetFileAttributes(path, attributes);
  }
  bool SetFileTime(std::string_view path, FileTime lastWrite) override {
    return inner_.SetFileTime(path, lastWrite);
  }
  bool GetFileData(std::string_view path, FindData& out) override { return inner_.GetFileData(path, out); }
  bool CopyFile(std::string_view source, std::string_view target, bool failIfExists) override {
    return inner_.CopyFile(source, target, failIfExists);
  }
  bool DeleteFile(std::string_view path) override { return inner_.DeleteFile(path); }
  bool CreateDirectory(std::string_view path) override { return inner_.CreateDirectory(path); }
  bool ForceDirectories(std::string_view path) override { return inner_.ForceDirectories(path); }
  bool RemoveDirectory(std::string_view path) override { return inner_.RemoveDirectory(path); }
  bool MoveFile(std::string_view source, std::string_view target) override {
    return inner_.MoveFile(source, target);
  }
  std::unique_ptr<IFile> OpenFile(std::string_view path, OpenMode mode) override {
    return inner_.OpenFile(path, mode);
  }
  std::optional<std::string> ReadFile(std::string_view path, size_t maxBytes = SIZE_MAX) override {
    return inner_.ReadFile(path, maxBytes);
  }
  bool WriteFile(std::string_view path, std::string_view bytes) override {
    return inner_.WriteFile(path, bytes);
  }
  std::unique_ptr<IFolderListing> ListFolder(std::string_view folder) override {
    return inner_.ListFolder(folder);
  }
  std::optional<FolderId> GetFolderId(std::string_view folder) override { return inner_.GetFolderId(folder); }
  std::vector<FindData> FindFiles(std::string_view pattern,
                                  uint32_t attributeFilter = kAttrAnyEntry) override {
    return inner_.FindFiles(pattern, attributeFilter);
  }
  bool RegKeyExists(std::string_view key) override { return inner_.RegKeyExists(key); }
  std::optional<std::vector<std::string>> RegSubKeys(std::string_view key) override {
    return inner_.RegSubKeys(key);
  }
  std::optional<std::string> RegString(std::string_view key, std::string_view name) override {
    return inner_.RegString(key, name);
  }
  std::string GetPrivateProfileString(std::string_view section, std::string_view key,
                                      std::string_view defaultValue, std::string_view file,
                                      size_t bufferSize = 2048) override {
    return inner_.GetPrivateProfileString(section, key, defaultValue, file, bufferSize);
  }
  bool WritePrivateProfileString(std::string_view section, std::optional<std::string_view> key,
                                 std::optional<std::string_view> value, std::string_view file) override {
    return inner_.WritePrivateProfileString(section, key, value, file);
  }
  bool ShellCopy(std::string_view source, std::string_view targetFolder, const ShellConfirmReplace& confirm,
                 const ShellProgress& progress) override {
    return inner_.ShellCopy(source, targetFolder, confirm, progress);
  }
  bool ShellMove(std::string_view source, std::string_view targetFolder, const ShellConfirmReplace& confirm,
                 const ShellProgress& progress) override {
    return inner_.ShellMove(source, targetFolder, confirm, progress);
  }
  bool ShellRename(std::string_view source, std::string_view newPath) override {
    return inner_.ShellRename(source, newPath);
  }
  bool MoveToTrash(std::string_view path) override { return inner_.MoveToTrash(path); }
  bool DeleteTree(std::string_view path) override { return inner_.DeleteTree(path); }
  bool OpenWithAssociatedProgram(std::string_view path) override {
    return inner_.OpenWithAssociatedProgram(path);
  }
  bool HostCreateDirectories(std::string_view hostPath) override {
    return inner_.HostCreateDirectories(hostPath);
  }
  bool HostWriteFile(std::string_view hostPath, std::string_view bytes) override {
    return inner_.HostWriteFile(hostPath, bytes);
  }
  bool HostSymlink(std::string_view target, std::string_view linkPath) override {
    return inner_.HostSymlink(target, linkPath);
  }
  std::string HostAbsolute(std::string_view hostPath) override { return inner_.HostAbsolute(hostPath); }
  std::unique_ptr<IFileLock> TryLockFile(std::string_view path, std::string_view holder) override {
    return inner_.TryLockFile(path, holder);
  }
  bool FlushFileSystem(std::string_view path) override { return inner_.FlushFileSystem(path); }
  int64_t ProcessId() override { return inner_.ProcessId(); }
  bool ProcessRunning(int64_t pid) override { return inner_.ProcessRunning(pid); }
  size_t RemoveStaleTemporaries(std::string_view folder) override {
    return inner_.RemoveStaleTemporaries(folder);
  }

 protected:
  IPlatform& inner_;
};

}  // namespace velmor::platform
