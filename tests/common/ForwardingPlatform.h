// An IPlatform that passes every call on to another one, the changing ones too. The tests' wrappers
// (fault injection, killing the process at a chosen call, logging the order of calls) derive from it
// and override only the calls they change. The product has none: its wrappers pass on only the
// reading calls and decide every change themselves.
#pragma once

#include "platform/ReadForwardingPlatform.h"

namespace velmor::platform {

class ForwardingPlatform : public ReadForwardingPlatform {
 public:
  explicit ForwardingPlatform(IPlatform& inner) : ReadForwardingPlatform(inner) {}

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
  bool CopyFileNoReplace(std::string_view source, std::string_view target) override {
    return inner_.CopyFileNoReplace(source, target);
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
  std::unique_ptr<IFileLock> OpenLockFile(std::string_view path) override {
    return inner_.OpenLockFile(path);
  }
  bool FlushFileSystem(std::string_view path) override { return inner_.FlushFileSystem(path); }
  size_t RemoveStaleTemporaries(std::string_view folder) override {
    return inner_.RemoveStaleTemporaries(folder);
  }
};

}  // namespace velmor::platform
